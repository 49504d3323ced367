#pragma once
// The X11 clipboard read over a connection of the program's own, with a
// deadline and a size limit: an owner that stops answering costs one short
// wait, an offer larger than the limit is never transferred. (Qt's own
// reading waits seconds for each request and takes any size whole.)

#include <QByteArray>

namespace x11clipboard {

// Whether the X server named by DISPLAY can be reached.
bool available();

// The window that owns the clipboard now; 0 when nobody does.
quint32 owner();

struct Fetch {
    enum Outcome {
        Got,         // `data` holds the offer
        NotOffered,  // the owner does not offer that target
        TooLarge,    // the offer is larger than the limit; `size` says how large (at least)
        NoAnswer,    // the owner did not answer in time, or the transfer broke off
        Replaced,    // another owner took the clipboard before this one answered
    };
    Outcome outcome = NotOffered;
    QByteArray data;
    qint64 size = 0;
};

// The clipboard's data as `target` (an atom name: "UTF8_STRING", a MIME
// type), at most `maxBytes` of it, all within `waitMs`. The wait ends as
// soon as another window takes the clipboard: an owner that was replaced
// has nothing left to give.
Fetch fetch(const char* target, qint64 maxBytes, int waitMs);

}  // namespace x11clipboard
