// What the main window says about its journal, one case for each message:
// at start-up, at Save, and when another writer or a sync tool changes the
// file. What the journal reads and writes in each case is checked on the
// core; here only what is shown.

#include "dialogs/form3.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "ui/journallist.h"
#include "watchdog.h"
#include "worldwind/links.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace guitest;
using testfolder::kParis;
using testfolder::kRock;
using testfolder::kTwoPlaces;

namespace {

struct Case {
    const char* name;
    QByteArray settings;
    QByteArray journal;  // "/": the journal is a folder
    // Fragments of the one message at start-up (none when empty), and of
    // the one message of a Save of one added place, answered Cancel.
    QStringList atLoad, atSave;
};

bool contains(const QStringList& messages, const QStringList& fragments)
{
    if (messages.size() != (fragments.isEmpty() ? 0 : 1))
        return false;
    for (const QString& f : fragments)
        if (!messages.first().contains(f))
            return false;
    return true;
}

// Settings that cannot be read open the Configuration; it is cancelled.
const QByteArray kRefused = settingsFile(".\\", ".\\", "arial", "99999");

const Case kCases[] = {
    {"a journal read in part",
     settingsFile(),
     kParis + "\n" + kRock + "\n" + kParis + "\n",
     {"Only part of the journal", "Line 1 holds more than one place", "could be read: 1 place.\n", "holds 3 places"},
     {"holds 3 places", "only 1 place was read", "Save anyway?"}},
    {"a journal that cannot be read",
     settingsFile(),
     "/",
     {"could not be read: it is a folder, not a file"},
     {"could not be read (it is a folder, not a file)", "Save anyway?"}},
    {"a journal of notes only",
     settingsFile(),
     "Places to see:\r\n",
     {"Reading stopped at line 1"},
     {"holds text that is not journal lines (from line 1 on)", "Save anyway?"}},
    {"settings refused, the Configuration cancelled: the unread journal",
     kRefused,
     kTwoPlaces,
     {},
     {"holds 2 places", "none of them were read", "Save anyway?"}},
    {"a missing save folder",
     settingsFile("missing"),
     kTwoPlaces,
     {},
     {"The journal could not be saved to", "does not exist"}},
};

}  // namespace

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { guitest::closeModals(); }

    void startUpAndSaveSayWhatIsWrong_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kCases)); ++i)
            QTest::newRow(kCases[i].name) << i;
    }

    void startUpAndSaveSayWhatIsWrong()
    {
        QFETCH(int, index);
        const Case& c = kCases[index];
        const Watchdog watchdog(c.name, std::chrono::seconds(60));
        StartFolder start;
        start.write("velmora.ini", c.settings);
        if (c.journal == "/")
            QVERIFY(QDir().mkdir(start.path("velmora.js")));
        else
            start.write("velmora.js", c.journal);
        Form1 form;
        if (c.settings == kRefused)
            guitest::whenModal([&](QWidget*) { QTest::mouseClick(form.form3()->Command4, Qt::LeftButton); });
        guitest::startUp(form);
        QVERIFY2(contains(MessageBox::history(), c.atLoad), qPrintable(MessageBox::history().join(u'\n')));

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(MessageBox::Cancel);
        form.journal()->append({makeRow(u"added", links::linkFor(1, 2), u"")});
        form.Command11->click();
        QVERIFY2(contains(MessageBox::history(), c.atSave), qPrintable(MessageBox::history().join(u'\n')));
        QVERIFY(form.isModified());
    }

    // Another writer's save: followed when the list has nothing unsaved,
    // else noted once and asked about at the next Save.
    void anotherWritersSaveIsFollowedOrAskedAbout()
    {
        StartFolder start;
        start.write("velmora.ini", guitest::kSettings);
        start.write("velmora.js", kTwoPlaces);
        Form1 form;
        guitest::startUp(form);
        const auto logSays = [&](const char* text) {
            return !form.logList->findItems(QString::fromUtf8(text), Qt::MatchContains).isEmpty();
        };
        const auto otherWriterAdds = [&](const char* name) {
            QStringList rows = journal::readJournalFile(start.path("velmora.js")).rows;
            rows << makeRow(QString::fromLatin1(name), links::linkFor(3, 4), u"");
            QVERIFY(journal::save(start.path("velmora.js"), rows));
        };
        otherWriterAdds("Other-1");
        QTRY_COMPARE_WITH_TIMEOUT(form.List1->count(), 3, 5000);
        QVERIFY(logSays("The journal was changed by another program; the list was read again"));

        form.journal()->append({makeRow(u"Unsaved", links::linkFor(5, 5), u"")});
        otherWriterAdds("Other-2");
        QTRY_VERIFY_WITH_TIMEOUT(logSays("the list has unsaved changes, so it was not read again"), 5000);
        QCOMPARE(form.List1->count(), 4);
        MessageBox::clearHistory();
        QVERIFY(!form.saveVelmora());
        QVERIFY2(contains(MessageBox::history(), {"holds 1 place that the list does not (\"Other-2\")",
                                                  "Keep both saves the list (4 places)"}),
                 qPrintable(MessageBox::history().join(u'\n')));
    }

    // A sync tool's conflict copy beside the journal: merged while the list
    // has nothing unsaved, and said in the log.
    void aConflictCopyIsMergedAndLogged()
    {
        StartFolder start;
        start.write("velmora.js", kTwoPlaces);
        Form1 form;
        guitest::loadWindow(start, form);
        const QString copy = QStringLiteral("velmora.sync-conflict-20261207-093015-K3X2R2T.js");
        start.write(copy, kTwoPlaces + "add_place(\"There\",\"" + links::linkFor(3, 4).toLatin1() + "\",\"\");\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(form.List1->count(), 3, 5000);
        QVERIFY(!form.logList->findItems(QStringLiteral("Merged 1 place from ") + copy, Qt::MatchExactly).isEmpty());
        QVERIFY(!start.exists(copy));
        QCOMPARE(journal::readJournalFile(start.path("velmora.js")).rows.size(), 3);
    }
};

QTEST_MAIN(TestMessages)
#include "test_messages.moc"
