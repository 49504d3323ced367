// The journal's undo history without a window: the seven kinds of change,
// undone and done again, with the rows, the selection each step puts back,
// the modified state and the journal a save writes.

#include "journal/history.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "printers.h"
#include "worldwind/links.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

QString place(const char* name, double lat)
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, 2), u"");
}

const QString A = place("Alpha", 1), B = place("Bravo", 2), C = place("Charlie", 3), D = place("Delta", 4),
              E = place("Echo", 5);
const QString B2 = makeRow(u"Bravo", links::linkFor(2, 2), u"edited");

struct Open {
    Open()
    {
        // The journal watches and reads on threads of a core application.
        static int argc = 1;
        static char name[] = "test_history";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        EXPECT_TRUE(textfile::writeAtomically(path(), journal::journalBytes({A, B, C})));
        journal.open(path());
        QObject::connect(&journal.history(), &journal::History::selectionRestored,
                         [this](int row) { restored.append(row); });
    }
    QString path() const { return dir.filePath(QStringLiteral("velmora.js")); }
    QByteArray saved()
    {
        const auto result = journal.save(1000, nullptr, [](const QStringList&) { return QStringList(); });
        EXPECT_TRUE(result.written());
        journal.takeSaved(result);
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    journal::Journal journal;
    QList<int> restored;
};

}  // namespace

TEST(History, EachKindOfChangeUndoesAndRedoesWithItsSelection)
{
    using H = journal::History;
    const struct {
        const char* what;
        std::function<void(H&)> change;
        QString text;
        QStringList after;
        int selectedBefore, selectedAfter;  // put back by undo, by redo
    } cases[] = {
        {"Add",
         [](H& h) { h.append({D}, H::stepText(QStringLiteral("Add"), D), 2); },
         "Add \"Delta\"",
         {A, B, C, D},
         2,
         2},
        {"Add copied place",
         [](H& h) { h.append({D}, H::stepText(QStringLiteral("Add copied place"), D), -1); },
         "Add copied place \"Delta\"",
         {A, B, C, D},
         -1,
         -1},
        {"Import",
         [](H& h) {
             h.append({D, E}, QStringLiteral("Import from in.kml"), 0);
         },
         "Import from in.kml",
         {A, B, C, D, E},
         0,
         0},
        {"Update", [](H& h) { h.replace(1, B2); }, "Update \"Bravo\"", {A, B2, C}, 1, 1},
        {"Remove", [](H& h) { h.remove(1); }, "Remove \"Bravo\"", {A, C}, 1, -1},
        {"Up", [](H& h) { h.move(2, -1); }, "Up \"Charlie\"", {A, C, B}, 2, 1},
        {"Down", [](H& h) { h.move(0, 1); }, "Down \"Alpha\"", {B, A, C}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open o;
        const QByteArray original = journal::journalBytes({A, B, C});
        c.change(o.journal.history());
        EXPECT_EQ(o.journal.history().stack()->undoText(), c.text);
        EXPECT_EQ(o.journal.rows(), c.after);
        EXPECT_TRUE(o.journal.isModified());
        EXPECT_TRUE(o.restored.isEmpty());  // done the first time, the selection is the window's

        o.journal.history().undo();
        EXPECT_EQ(o.journal.rows(), (QStringList{A, B, C}));
        EXPECT_EQ(o.restored, QList<int>{c.selectedBefore});
        EXPECT_FALSE(o.journal.isModified());
        EXPECT_EQ(o.saved(), original);

        o.journal.history().redo();
        EXPECT_EQ(o.journal.rows(), c.after);
        EXPECT_EQ(o.restored, (QList<int>{c.selectedBefore, c.selectedAfter}));
        EXPECT_TRUE(o.journal.isModified());
        EXPECT_EQ(o.saved(), journal::journalBytes(c.after));
        EXPECT_FALSE(o.journal.isModified());

        // The history survives the save: the step before it is modified again.
        o.journal.history().undo();
        EXPECT_EQ(o.journal.rows(), (QStringList{A, B, C}));
        EXPECT_TRUE(o.journal.isModified());
    }
}

TEST(History, UndoneUpThenUpdatedKeepsEveryPlace)
{
    // Charlie moved up and back: the step puts the selection on Charlie
    // again, so an Update of the fields shown changes Charlie, not Bravo.
    Open o;
    journal::History& h = o.journal.history();
    h.move(2, -1);
    h.undo();
    ASSERT_EQ(o.restored, QList<int>{2});
    h.replace(o.restored.last(), makeRow(u"Charlie", links::linkFor(3, 2), u"x"));
    EXPECT_EQ(journal::parseJournal(o.saved()).rows,
              (QStringList{A, B, makeRow(u"Charlie", links::linkFor(3, 2), u"x")}));
}

TEST(History, ASaveWhoseTextsComeBackChangedIsOneStep)
{
    Open o;
    const QString amp = makeRow(u"&lt;", links::linkFor(6, 2), u"");
    o.journal.history().append({amp}, QStringLiteral("Add"), -1);
    const auto result = o.journal.save(1000, nullptr, [](const QStringList&) { return QStringList(); });
    ASSERT_TRUE(result.rowsReplaced);
    // Until the save has been told, the rows and the state stay.
    EXPECT_EQ(o.journal.rows(), (QStringList{A, B, C, amp}));
    EXPECT_TRUE(o.journal.isModified());
    o.journal.takeSaved(result);
    EXPECT_FALSE(o.journal.isModified());
    EXPECT_EQ(o.journal.rows(), journal::readJournalFile(o.path()).rows);
    EXPECT_EQ(o.journal.history().count(), 2);
    o.journal.history().undo();
    EXPECT_EQ(o.journal.rows(), (QStringList{A, B, C, amp}));
}

TEST(History, AReadOfTheFileStartsANewHistory)
{
    Open o;
    o.journal.history().remove(0);
    int forgotten = 0;
    QObject::connect(&o.journal, &journal::Journal::historyForgotten, [&] { ++forgotten; });
    o.journal.followDisk();
    EXPECT_EQ(o.journal.history().count(), 0);
    EXPECT_EQ(forgotten, 1);
    EXPECT_FALSE(o.journal.isModified());
    o.journal.followDisk();
    EXPECT_EQ(forgotten, 1);  // nothing to forget the second time
}

TEST(History, APlaceIsRefusedByOneRuleAndChangesNothing)
{
    const QString link = links::linkFor(7, 2);
    const QString longText(kMaxFieldLength + 1, u'x');
    QStringList full;
    for (int i = 0; i < kMaxRows; ++i)
        full << A;
    using R = journal::Refusal;
    const struct {
        const char* what;
        RowFields place;
        QStringList rows;  // empty: the journal as opened
        std::optional<R::Kind> add, update;
    } cases[] = {
        {"a place with a link", {"Golf", link, ""}, {}, std::nullopt, std::nullopt},
        {"no link", {"Golf", "", ""}, {}, R::NoLink, R::NoLink},
        {"the longest name the boxes hold", {QString(kMaxFieldLength, u'n'), link, ""}, {}, std::nullopt, std::nullopt},
        {"a longer name", {longText, link, ""}, {}, R::TooLong, R::TooLong},
        {"a longer link", {"Golf", link + longText, ""}, {}, R::TooLong, R::TooLong},
        {"a longer comment", {"Golf", link, longText}, {}, R::TooLong, R::TooLong},
        {"a full journal takes no place but updates one", {"Golf", link, ""}, full, R::Full, std::nullopt},
        {"no link comes first", {"Golf", "", longText}, full, R::NoLink, R::NoLink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open o;
        if (!c.rows.isEmpty())
            o.journal.setRows(c.rows);
        const QStringList before = o.journal.rows();
        const auto added = o.journal.history().add(c.place, QStringLiteral("Add"), -1);
        EXPECT_EQ(added ? std::optional(added->kind) : std::nullopt, c.add);
        EXPECT_EQ(o.journal.count(), before.size() + (added ? 0 : 1));
        o.journal.setRows(before);
        const auto updated = o.journal.history().update(0, c.place);
        EXPECT_EQ(updated ? std::optional(updated->kind) : std::nullopt, c.update);
        EXPECT_EQ(o.journal.row(0) == before[0], bool(updated));
        EXPECT_TRUE(!added || !added->text.isEmpty());
    }
}

TEST(History, APlaceMovesOnlyWithinTheList)
{
    const struct {
        const char* what;
        QStringList rows;
        int row, offset;
        bool moved;
    } cases[] = {
        {"up", {A, B, C}, 1, -1, true},
        {"down", {A, B, C}, 1, 1, true},
        {"the first up", {A, B, C}, 0, -1, false},
        {"the last down", {A, B, C}, 2, 1, false},
        {"a single row up", {A}, 0, -1, false},
        {"a single row down", {A}, 0, 1, false},
        {"nothing selected", {A, B, C}, -1, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open o;
        o.journal.setRows(c.rows);
        o.journal.history().markSaved();
        EXPECT_EQ(o.journal.history().move(c.row, c.offset), c.moved);
        EXPECT_EQ(o.journal.history().count(), c.moved ? 1 : 0);
        EXPECT_EQ(o.journal.isModified(), c.moved);
        EXPECT_EQ(o.journal.rows() == c.rows, !c.moved);
    }
}

// Each place names an overlong field in the order its boxes show them.
TEST(History, AnOverlongFieldIsNamedInTheCallersOrder)
{
    using R = journal::Refusal;
    const QString longText(kMaxFieldLength + 1, u'x');
    const RowFields all{longText, longText + "y", longText + "yy"};
    const struct {
        const char* what;
        RowFields place;
        std::initializer_list<R::Field> order;
        std::optional<R::Field> named;
        const char* text;
    } cases[] = {
        {"the window: name first", all, {R::Name, R::Link, R::Comment}, R::Name, "a name of 32768 characters"},
        {"the dialog: link first", all, {R::Link, R::Name, R::Comment}, R::Link, "a link of 32769 characters"},
        {"a field not asked about", {"", "", longText}, {R::Link, R::Name}, std::nullopt, ""},
        {"the comment", {"", "", longText}, {R::Link, R::Name, R::Comment}, R::Comment, "a comment of 32768"},
        {"the longest that fits", {QString(kMaxFieldLength, u'n'), "", ""}, {R::Name}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<R> why = journal::tooLong(c.place, c.order);
        EXPECT_EQ(why ? std::optional(why->field) : std::nullopt, c.named);
        if (why) {
            EXPECT_EQ(why->kind, R::TooLong);
            EXPECT_TRUE(why->text.startsWith(QString::fromUtf8(c.text))) << why->text.toStdString();
            EXPECT_TRUE(why->text.endsWith(QStringLiteral("more than the 32767 a name, comment or link can hold")))
                << why->text.toStdString();
        }
    }
    EXPECT_FALSE(journal::noRoom(kMaxRows - 1));
    EXPECT_EQ(journal::noRoom(kMaxRows)->kind, R::Full);
    EXPECT_EQ(journal::noRoom(kMaxRows)->text, journal::Journal::fullText());
}

TEST(Journal, ServesEachFieldAsARoleAndTheRowAsItsText)
{
    Open o;
    const QString row = makeRow(u"Caf\u00e9 \"Z\"", u"worldwind://goto/world=Earth&lat=1&lon=2", u"a\u00e9");
    o.journal.setRows({row, QStringLiteral("only a name")});
    const QModelIndex first = o.journal.index(0), second = o.journal.index(1);
    EXPECT_EQ(first.data().toString(), row);
    EXPECT_EQ(first.data(journal::Journal::NameRole).toString(), QStringLiteral("Caf\u00e9 \"Z\""));
    EXPECT_EQ(first.data(journal::Journal::LinkRole).toString(),
              QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2"));
    EXPECT_EQ(first.data(journal::Journal::CommentRole).toString(), QStringLiteral("a\u00e9"));
    EXPECT_EQ(second.data(journal::Journal::NameRole).toString(), QStringLiteral("only a name"));
    EXPECT_EQ(second.data(journal::Journal::LinkRole).toString(), QString());
    EXPECT_EQ(o.journal.place(0).comment, QStringLiteral("a\u00e9"));
    EXPECT_EQ(o.journal.roleNames().value(journal::Journal::LinkRole), QByteArray("link"));
}

TEST(Journal, IsModifiedWhileTheHistoryIsAwayFromTheFilesStep)
{
    using Act = std::function<void(Open&)>;
    journal::Journal::SaveResult merged;
    const Act step = [](Open& o) { o.journal.history().remove(0); };
    const Act undo = [](Open& o) { o.journal.history().undo(); };
    const Act redo = [](Open& o) { o.journal.history().redo(); };
    const Act save = [](Open& o) { o.saved(); };
    const Act direct = [](Open& o) { o.journal.append({D}); };
    const Act reread = [](Open& o) { o.journal.followDisk(); };
    // Conflict copies merged into the rows under the turn, nothing else edited.
    const Act copiesMerged = [&merged](Open& o) {
        EXPECT_TRUE(textfile::writeAtomically(o.dir.filePath(QStringLiteral("velmora.sync-conflict-20261207-093015-"
                                                                            "K3X2R2T.js")),
                                              journal::journalBytes({A, B, C, E})));
        merged = o.journal.saveEdited(
            o.path(), 1000, [] { return false; }, [](const QStringList&) { return QStringList(); });
        EXPECT_EQ(merged.copiesMerged.size(), 1);
        EXPECT_EQ(o.journal.rows(), (QStringList{A, B, C, E}));
    };
    const Act copiesTaken = [&merged](Open& o) { o.journal.takeSaved(merged); };
    const struct {
        const char* what;
        QList<std::pair<Act, bool>> acts;  // each with the modified state after it
    } cases[] = {
        {"a step, undone back to the file and done again", {{step, true}, {undo, false}, {redo, true}}},
        {"two steps: clean only at the saved one", {{step, true}, {step, true}, {undo, true}, {undo, false}}},
        {"a save is the new clean step", {{step, true}, {save, false}, {undo, true}, {redo, false}}},
        {"a save without changes", {{save, false}}},
        {"a step after an undo leaves no saved step",
         {{step, true}, {save, false}, {undo, true}, {step, true}, {undo, true}}},
        {"an edit outside the history is undone by no step", {{step, true}, {direct, true}, {undo, true}}},
        {"an edit outside the history on a clean journal", {{direct, true}, {save, false}}},
        {"a read of the file forgets the steps", {{step, true}, {reread, false}, {step, true}}},
        {"a read after an edit outside the history", {{direct, true}, {reread, false}}},
        {"conflict copies merged are a change until taken", {{copiesMerged, true}, {copiesTaken, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open o;
        QList<bool> told;
        QObject::connect(&o.journal, &journal::Journal::modifiedChanged, [&told](bool m) { told.append(m); });
        QList<bool> flips;  // the caption changes when the state does, once
        bool was = false;
        for (qsizetype i = 0; i < c.acts.size(); ++i) {
            SCOPED_TRACE(i);
            c.acts[i].first(o);
            EXPECT_EQ(o.journal.isModified(), c.acts[i].second);
            if (c.acts[i].second != was)
                flips.append(was = c.acts[i].second);
        }
        EXPECT_EQ(told, flips);
    }
}
