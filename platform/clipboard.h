#pragma once
// The clipboard, as the capture of copied links needs it: whether it holds
// text, that text, and emptying it. Tests put an in-process clipboard in
// place of the system's, prepare what it holds and read back what was
// emptied.

#include <QString>
#include <QStringList>
#include <optional>

namespace Clipboard {

bool hasText();
// The text on the clipboard, or an empty text when it holds none.
QString text();
// Empties the clipboard, whatever it holds.
void clear();

// For tests: an in-process clipboard instead of the system's (holding
// nothing at first), or the system's again.
void setFake(bool on);
// For tests: what the in-process clipboard holds; std::nullopt stands for
// contents that are not text (a picture, files) or nothing at all.
void setFakeText(std::optional<QString> text);
// What the clipboard held each time it was emptied, oldest first (an empty
// text when it held no text). Kept for the system's clipboard too.
QStringList emptied();
void clearHistory();

}  // namespace Clipboard
