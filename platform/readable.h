#pragma once
// Texts from files and from the user, made fit for a message: control
// characters shown escaped (a line end or an escape sequence must not
// rearrange the message or the terminal) and cut to a length a message box
// or a terminal line can show at once.

#include <QString>
#include <QStringView>

namespace readable {

// Characters that end a line or a command, start an escape sequence, or
// move or hide text on the screen: C0 and C1 controls, line and paragraph
// separators, and the bidirectional marks, overrides and isolates.
bool controlOrBidi(char16_t c);

// A place's name or a comment: at most `most` characters, then "…".
QString text(QStringView text, qsizetype most = 60);

// A file name exactly as it was given (relative stays relative, a backslash
// stays a backslash), long ones cut in the middle, where paths differ least.
QString fileName(QStringView name);

// A whole message built by another part (a reader's reason): escaped and
// cut, so that no name inside it can flood a message box.
QString message(QStringView text);

}  // namespace readable
