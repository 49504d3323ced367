#pragma once
// What the clipboard capture does with a location copied in a globe: the
// window reads the clipboard and shows the outcome; this decides, without
// a clipboard or a widget of its own.

#include "exchange/copied.h"
#include "journal/history.h"

#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace capture {

// What one run of the capture found on the clipboard.
struct Seen {
    exchange::ClipboardOffer offer;
    // The clipboard changed right after our last emptying, or not at all
    // since: a clipboard manager putting back what we took.
    bool refilled = false;
};

struct Decision {
    enum Kind {
        Nothing,  // no location waiting (or the one we just took, put back)
        Wait,     // the journal is busy: run again once it is idle
        Refused,  // taken from the clipboard, but the journal will not hold it
        Offer,    // taken: the Add a place dialog shows it
    };
    Kind kind = Nothing;
    exchange::CopiedLocation found;  // Refused, Offer
    journal::Refusal refusal{};      // Refused: what the user is told

    // The name the dialog shows for `found`.
    QString name() const;
};

class Policy {
public:
    // Whether a run reads the clipboard's other flavours beside `text`: a
    // link is taken as it is, and each flavour asked costs a round trip.
    static bool wantsFlavours(const std::optional<QString>& text);

    // One run: `read` is asked only when the journal is not busy. A
    // location refused or offered counts as taken: the caller empties the
    // clipboard before it says anything, or the repaint under its message
    // would find the location again.
    Decision look(bool busy, int held, const std::function<Seen()>& read);
    // Clear: takes the location waiting, if any; true when there was one
    // (anything else on the clipboard belongs to other programs).
    bool takeWaiting(const Seen& seen);
    // True once after a run that had to wait.
    bool takeMissed() { return std::exchange(missed_, false); }

private:
    std::optional<exchange::CopiedLocation> waiting(const Seen& seen) const;
    void take(const exchange::CopiedLocation& found) { taken_ = found; }

    exchange::CopiedLocation taken_;
    bool missed_ = false;
};

}  // namespace capture
