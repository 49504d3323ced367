// What the main window says about its journal, one case for each message:
// at start-up, at Save, when another writer changes the file, and when a
// capture or the Add dialog refuses a place. What the journal reads and
// writes in each case is checked on the core; here only what is shown.

#include "dialogs/form2.h"
#include "dialogs/form3.h"
#include "exchange/copied.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/clipboard.h"
#include "ui/journallist.h"
#include "watchdog.h"
#include "worldwind/links.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <functional>

using guitest::settingsFile;
using guitest::StartFolder;

namespace {

const QByteArray kParis = "add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\",\"capital\");";
const QByteArray kRock = "add_place(\"Rock & Roll\",\"worldwind://goto/world=Earth&lat=-1&lon=1\",\"\");";
const QByteArray kTwoPlaces = kParis + "\r\n" + kRock + "\r\n";
const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.8566&lon=2.3522");

struct Case {
    const char* name;
    // Lays out the start folder: the settings, the journal, what is odd.
    std::function<bool(StartFolder&)> prepare;
    // Fragments of the one message at start-up (none expected when empty).
    QStringList atLoad;
    // Fragments of the messages of a Save of one added place, answered Cancel.
    QList<QStringList> atSave;
    bool configureCancelled = false;
};

bool contains(const QString& text, const QStringList& fragments)
{
    for (const QString& f : fragments)
        if (!text.contains(f))
            return false;
    return true;
}

QString shown(const QStringList& messages)
{
    return messages.isEmpty() ? QStringLiteral("(no message)") : messages.join(QStringLiteral("\n---\n"));
}

bool lay(StartFolder& s, const QByteArray& settings, const QByteArray& journal)
{
    s.write("velmora.ini", settings);
    s.write("velmora.js", journal);
    return true;
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"a journal read in part",
         [](StartFolder& s) { return lay(s, settingsFile(), kParis + "\n" + kRock + "\n" + kParis + "\n"); },
         {"Only part of the journal", "Line 1 holds more than one place", "could be read: 1 place.\n",
          "holds 3 places"},
         {{"holds 3 places", "only 1 place was read", "Save anyway?"}}},
        {"a journal that cannot be read",
         [](StartFolder& s) {
             return lay(s, settingsFile(), {}) && QFile::remove("velmora.js") && QDir().mkdir("velmora.js");
         },
         {"could not be read: it is a folder, not a file"},
         {{"could not be read (it is a folder, not a file)", "Save anyway?"}}},
        {"a journal of notes only",
         [](StartFolder& s) { return lay(s, settingsFile(), "Places to see:\r\n"); },
         {"Reading stopped at line 1"},
         {{"holds text that is not journal lines (from line 1 on)", "Save anyway?"}}},
        {"settings rejected, configuration cancelled: the unread journal",
         [](StartFolder& s) { return lay(s, settingsFile(".\\", ".\\", "arial", "99999"), kTwoPlaces); },
         {},
         {{"holds 2 places", "none of them were read", "Save anyway?"}},
         true},
        {"a missing save folder",
         [](StartFolder& s) { return lay(s, settingsFile("missing"), kTwoPlaces); },
         {},
         {{"The journal could not be saved to", "does not exist"}}},
    };
    return all;
}

}  // namespace

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        Clipboard::setFake(false);
        guitest::closeModals();
    }

    void startUpAndSaveSayWhatIsWrong_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases().size(); ++i)
            QTest::newRow(cases()[i].name) << int(i);
    }

    void startUpAndSaveSayWhatIsWrong()
    {
        QFETCH(int, index);
        const Case& c = cases()[std::size_t(index)];
        const Watchdog watchdog(c.name, std::chrono::seconds(60));
        StartFolder start;
        QVERIFY(c.prepare(start));
        Form1 form;
        if (c.configureCancelled)
            guitest::whenModal([&](QWidget*) { QTest::mouseClick(form.form3()->Command4, Qt::LeftButton); });
        guitest::startUp(form);
        const QStringList atLoad = MessageBox::history();
        QVERIFY2(c.atLoad.isEmpty() ? atLoad.isEmpty() : atLoad.size() == 1 && contains(atLoad.first(), c.atLoad),
                 qPrintable(shown(atLoad)));

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(MessageBox::Cancel);
        form.journal()->append({makeRow(u"added", links::linkFor(1, 2), u"")});
        form.Command11->click();
        const QStringList atSave = MessageBox::history();
        bool matches = atSave.size() == c.atSave.size();
        for (qsizetype i = 0; matches && i < atSave.size(); ++i)
            matches = contains(atSave[i], c.atSave[i]);
        QVERIFY2(matches, qPrintable(shown(atSave)));
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
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(contains(MessageBox::history().first(), {"holds 1 place that the list does not (\"Other-2\")",
                                                          "Keep both saves the list (4 places)"}),
                 qPrintable(MessageBox::history().first()));
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

    // Too long to keep whole: refused with a message, never cut.
    void aCapturedLinkTooLongIsRefused()
    {
        StartFolder start;
        Form1 form;
        guitest::loadWindow(start, form);
        MessageBox::clearHistory();
        Clipboard::setFake(true);
        Clipboard::setFakeText(kLink + QString((1 << 20) - kLink.size(), u'0'));
        bool dialog = false;
        guitest::whenModal(
            [&](QWidget*) {
                dialog = true;
                guitest::closeModals();
            },
            20);
        form.getUrlFromClipboard();
        QTest::qWait(300);
        QVERIFY2(!dialog, "the Add dialog opened with a cut text");
        QCOMPARE(form.List1->count(), 0);
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history().first().contains(QLatin1String("it has a link of 1048576 characters")),
                 qPrintable(MessageBox::history().first()));
    }

    void aTypedNameTooLongIsRefusedAndKeptWhole()
    {
        Form2 dialog;
        const QString name(60'000, u'n');
        dialog.Text1->setText(kLink);
        dialog.Text2->setText(name);
        MessageBox::clearHistory();
        QStringList said;
        bool stayedOpen = false;
        guitest::whenModal([&](QWidget*) {
            QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
            said = MessageBox::history();
            stayedOpen = dialog.isVisible() && !dialog.add;
            guitest::closeModals();
        });
        dialog.showModal();
        QVERIFY(stayedOpen);
        QCOMPARE(dialog.Text2->text(), name);
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(QLatin1String("A name of 60000 characters")), qPrintable(said.first()));
    }
};

QTEST_MAIN(TestMessages)
#include "test_messages.moc"
