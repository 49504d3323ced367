#pragma once
// The program without its window: places in and out of the journal from a
// shell or a script, on machines with no display. It works on the same
// files as the window: the journal of the save folder named in
// "velmora.ini" of the current folder, and the World Wind layer.

#include <QStringList>
#include <QTextStream>

namespace commandline {

// Runs the command in `args` (the arguments after the program's name).
// Reports go to `out`; a failure is one line on `err`. Returns the exit
// code: 0 done, 1 failed (nothing changed), 2 not understood, 3 nothing to
// do (nothing changed), 4 the journal was saved but the World Wind layer
// could not all be written.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace commandline
