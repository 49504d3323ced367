#pragma once
// Folders of this user on this machine that a synced save folder must not
// hold: the writers' locks and the record of the journal as last seen
// here. Both are found from the environment at each call, so a test (or a
// second instance) points them elsewhere by setting the variables.

#include <QString>

namespace userfolders {

// $XDG_RUNTIME_DIR/velmora, or where that is unset or not absolute a
// folder of this user's own under the temporary folder. Made when missing
// (0700); refused, with the reason in `why`, when it is not a folder of
// this user that only this user may enter.
QString runtimeFolder(QString* why = nullptr);

// $XDG_STATE_HOME/velmora, by default ~/.local/state/velmora; made when
// missing. Empty, with the reason in `why`, when it cannot be made.
QString stateFolder(QString* why = nullptr);

}  // namespace userfolders
