#pragma once
// The clipboard, as the capture of copied locations needs it: its text,
// the data of its other flavours, emptying it, and whether what it holds
// came back right after it was emptied. Tests put an in-process clipboard
// in place of the system's, prepare what it holds and read back what was
// emptied.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace Clipboard {

// Offers larger than this are not fetched: a copied location is a few
// hundred bytes, and a link longer than a box holds is still told apart.
inline constexpr qint64 kMaxOfferBytes = 2 * 1024 * 1024;

// On X11, while another program owns the clipboard, it is read with one
// short deadline for all the flavours of an offer: an owner that does not
// answer is asked again only once the clipboard changed, and an owner that
// keeps changing it at most once a second (until then it holds nothing).
bool hasText();
// The text on the clipboard, or an empty text when it holds none.
QString text();
// The data of a flavour ("application/gpx+xml"), empty when it is not offered.
QByteArray data(const QString& mimeType);
// Empties the clipboard, whatever it holds.
void clear();
// When an offer was left unasked for now (its owner keeps changing it),
// how many milliseconds until it may be asked; 0 otherwise.
qint64 askAgainInMs();

// How long after an emptying a change of the clipboard counts as a refill.
inline constexpr qint64 kRefillMs = 2000;
// Whether the clipboard last changed within kRefillMs of the last
// emptying, or not at all since: clipboard managers put back what was
// taken at once. False before the first emptying.
bool refilledSinceCleared();

// For tests: an in-process clipboard instead of the system's (holding
// nothing at first), or the system's again.
void setFake(bool on);
// For tests: new contents of the in-process clipboard; std::nullopt stands
// for contents that are not text (a picture, files) or nothing at all.
void setFakeText(std::optional<QString> text);
// For tests: one more flavour for the contents set last.
void setFakeData(const QString& mimeType, const QByteArray& data);
// For tests: moves the in-process clipboard's clock on.
void advanceFakeClock(qint64 ms);
// What the in-process clipboard held each time it was emptied, oldest
// first (an empty text when it held no text).
QStringList emptied();
// Owners that did not answer in time, and the size of the last offer left
// unread for its size (at least that many bytes), since the start.
int unansweredOwners();
qint64 lastOversizedOffer();
void clearHistory();

}  // namespace Clipboard
