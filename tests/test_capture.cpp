// The capture's decisions without a clipboard or a window: what a run
// makes of what the clipboard offers and of the journal's state, and what
// it remembers between runs.

#include "journal/row.h"
#include "printers.h"
#include "workspace/capture.h"
#include "worldwind/links.h"

#include <gtest/gtest.h>

namespace {

using capture::Decision;
using R = journal::Refusal;

const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35");
const QString kOther = QStringLiteral("worldwind://goto/world=Earth&lat=-1&lon=1");
const QByteArray kPlacemark = "<kml><Placemark><name>Louvre</name><Point><coordinates>2.3376,48.8606</coordinates>"
                              "</Point></Placemark></kml>";

capture::Seen text(std::optional<QString> t, bool refilled = false)
{
    capture::Seen s;
    s.offer.text = std::move(t);
    s.refilled = refilled;
    return s;
}

capture::Seen kml(const QByteArray& data, bool refilled = false)
{
    capture::Seen s;
    s.offer.kml = data;
    s.refilled = refilled;
    return s;
}

Decision run(capture::Policy& p, const capture::Seen& seen, int held = 4)
{
    return p.look(false, held, [&] { return seen; });
}

}  // namespace

TEST(Capture, DecidesFromTheOfferAndTheJournal)
{
    const QString longLink = kLink + QString(kMaxFieldLength, u'0');
    const QByteArray longName = "<kml><Placemark><name>" + QByteArray(60'000, 'n')
                                + "</name><Point><coordinates>2,48</coordinates></Point></Placemark></kml>";
    const struct {
        const char* what;
        capture::Seen seen;
        int held;
        Decision::Kind kind;
        QString link, name;  // Offer, Refused: the location and the name the dialog shows
        QString message;     // Refused: its start
        R::Kind refusal = R::NoLink;
    } cases[] = {
        {"a link", text(kLink), 4, Decision::Offer, kLink, "<Enter a name>", {}},
        {"the scheme alone", text("worldwind://"), 4, Decision::Offer, "worldwind://", "<Enter a name>", {}},
        {"a second line goes with it",
         text(kLink + "\r\nx"),
         4,
         Decision::Offer,
         kLink + "\r\nx",
         "<Enter a name>",
         {}},
        {"a placemark keeps its name",
         kml(kPlacemark),
         4,
         Decision::Offer,
         "worldwind://goto/world=Earth&lat=48.8606&lon=2.3376",
         "Louvre",
         {}},
        {"a geo: URI",
         text("geo:1,2"),
         4,
         Decision::Offer,
         "worldwind://goto/world=Earth&lat=1&lon=2",
         "<Enter a name>",
         {}},
        {"capitals are no link", text("WorldWind://goto/world=Earth&lat=1&lon=2"), 4, Decision::Nothing, {}, {}, {}},
        {"a leading blank", text(" " + kLink), 4, Decision::Nothing, {}, {}, {}},
        {"other text", text("meet at ten"), 4, Decision::Nothing, {}, {}, {}},
        {"empty text", text(""), 4, Decision::Nothing, {}, {}, {}},
        {"no text at all", text(std::nullopt), 4, Decision::Nothing, {}, {}, {}},
        {"an empty journal takes one", text(kLink), 0, Decision::Offer, kLink, "<Enter a name>", {}},
        {"the last free row", text(kLink), kMaxRows - 1, Decision::Offer, kLink, "<Enter a name>", {}},
        {"a full journal", text(kLink), kMaxRows, Decision::Refused, kLink, "<Enter a name>", "The journal is full",
         R::Full},
        {"a link longer than a box holds, not cut", text(longLink), 4, Decision::Refused, longLink, "<Enter a name>",
         "The location on the clipboard was not taken: it has a link of 32814 characters, more than the 32767",
         R::TooLong},
        {"a longer name", kml(longName), 4, Decision::Refused, "worldwind://goto/world=Earth&lat=48&lon=2",
         QString(60'000, u'n'), "The location on the clipboard was not taken: it has a name of 60000 characters",
         R::TooLong},
        {"too long is told before full", text(longLink), kMaxRows, Decision::Refused, longLink, "<Enter a name>",
         "The location on the clipboard was not taken: it has a link", R::TooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        capture::Policy p;
        const Decision d = run(p, c.seen, c.held);
        EXPECT_EQ(d.kind, c.kind);
        if (c.kind == Decision::Nothing)
            continue;
        EXPECT_EQ(d.found.link, c.link);
        EXPECT_EQ(d.name(), c.name);
        if (c.kind == Decision::Refused) {
            EXPECT_TRUE(d.refusal.text.startsWith(c.message)) << d.refusal.text.left(200).toStdString();
            EXPECT_EQ(d.refusal.kind, c.refusal);
        }
    }
}

TEST(Capture, ABusyJournalMakesTheRunWaitWithoutReadingTheClipboard)
{
    capture::Policy p;
    EXPECT_FALSE(p.takeMissed());
    bool read = false;
    const Decision d = p.look(true, 4, [&] {
        read = true;
        return text(kLink);
    });
    EXPECT_EQ(d.kind, Decision::Wait);
    EXPECT_FALSE(read);
    EXPECT_TRUE(p.takeMissed());
    EXPECT_FALSE(p.takeMissed());  // once
    EXPECT_EQ(run(p, text(kLink)).kind, Decision::Offer);
    EXPECT_FALSE(p.takeMissed());
}

// A clipboard manager puts back at once what was taken: taken again, the
// dialog would reopen for ever. The same location copied later is new.
TEST(Capture, WhatWasJustTakenIsNotTakenBack)
{
    capture::Policy p;
    enum Step { Look, Clear };
    const struct {
        const char* what;
        Step step;
        capture::Seen seen;
        bool taken;
    } steps[] = {
        {"copied", Look, text(kLink), true},
        {"put back at once", Look, text(kLink, true), false},
        {"still there, still not", Look, text(kLink, true), false},
        {"copied again later", Look, text(kLink), true},
        {"another location put back at once", Look, text(kOther, true), true},
        {"the same link with a name", Look, kml(kPlacemark), true},
        {"refused ones count too", Look, text(kOther), true},
        {"and are not taken back", Look, text(kOther, true), false},
        {"Clear takes a location", Clear, text(kLink), true},
        {"which is not taken back either", Look, text(kLink, true), false},
        {"nor cleared again", Clear, text(kLink, true), false},
        {"Clear leaves other text", Clear, text("meet at ten"), false},
        {"and pictures", Clear, text(std::nullopt), false},
        {"Clear takes a geo: URI", Clear, text("geo:1,2"), true},
        {"and a placemark beside other text", Clear,
         [] {
             capture::Seen s = kml(kPlacemark);
             s.offer.text = QStringLiteral("1 E, 2 N");
             return s;
         }(),
         true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.step == Clear) {
            EXPECT_EQ(p.takeWaiting(s.seen), s.taken);
            continue;
        }
        const bool full = s.what == std::string_view("refused ones count too");
        const Decision d = run(p, s.seen, full ? kMaxRows : 4);
        EXPECT_EQ(d.kind, !s.taken ? Decision::Nothing : full ? Decision::Refused : Decision::Offer);
    }
}

TEST(Capture, OtherFlavoursAreAskedOnlyWithoutALink)
{
    EXPECT_FALSE(capture::Policy::wantsFlavours(kLink));
    EXPECT_FALSE(capture::Policy::wantsFlavours(QStringLiteral("worldwind://")));
    for (const std::optional<QString>& t :
         {std::optional<QString>(), std::optional<QString>(""), std::optional<QString>("geo:1,2"),
          std::optional<QString>(" " + kLink), std::optional<QString>("1 E, 2 N")})
        EXPECT_TRUE(capture::Policy::wantsFlavours(t)) << (t ? t->toStdString() : "no text");
}
