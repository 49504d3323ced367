// The main window driven through its real widgets: start-up, the settings
// dialog on first start, saving, the caption, the log and its panel.

#include "dialogs/form2.h"
#include "dialogs/form3.h"
#include "journal/journalfile.h"
#include "platform/shell.h"
#include "shownwindow.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "widgets/look.h"
#include "widgets/twips.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include <functional>

using guitest::ShownWindow;
using guitest::StartFolder;
using guitest::whenModal;

namespace {

const QByteArray kDefaultIni = guitest::kSettings;
using testfolder::kTwoPlaces;
const QStringList kTwoRows = journal::parseJournal(kTwoPlaces).rows;
const char* const kWebFiles[] = {
    "velmoralib.js", "velmora.html",           "velmora.css",   "bg.jpg",      "d3-array.min.js",
    "d3-geo.min.js", "topojson-client.min.js", "world-110m.js", "world-50m.js"};

QString iniFor(const QString& saveDir, const QString& wwDir = QStringLiteral(".\\"))
{
    return QString::fromLatin1(guitest::settingsFile(saveDir.toLatin1(), wwDir.toLatin1()));
}

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyLook(*qApp); }

    // The Configuration at start-up, when the settings cannot be read
    // whole: the boxes show what was read, Cancel writes nothing, Ok writes
    // the settings (the bytes and the files copied are checked on the open
    // journal) and reads the journal of the folder chosen.
    void theFirstStartAsksForTheSettings()
    {
        using Choose = std::function<void(Form3*)>;
        const Choose cancel = [](Form3* d) { QTest::mouseClick(d->Command4, Qt::LeftButton); };
        const Choose ok = [](Form3* d) { QTest::mouseClick(d->Command3, Qt::LeftButton); };
        const Choose another = [](Form3* d) {
            d->Text1->setText(QStringLiteral("journal"));
            d->setPreviewFont(QStringLiteral("arial"), 10.5, 255, true, false);
            QTest::mouseClick(d->Command3, Qt::LeftButton);
        };
        const QByteArray partial = "C:\\places\r\nD:\\ww\r\ntimes\r\nbig\r\n";
        const struct {
            const char* what;
            QByteArray ini;  // none: no settings file; "/": a folder in its place
            Choose choose;
            QStringList shown;  // the save and World Wind folders
            QByteArray written;
            int rows;
            const char* box;
            const char* lastLog;
        } cases[] = {
            {"cancelled", {}, cancel, {".\\", ".\\"}, {}, 0, nullptr, "WorldWind Velmora..."},
            {"confirmed as it stands", {}, ok, {".\\", ".\\"}, kDefaultIni, 0, nullptr, nullptr},
            {"another folder and font",
             {},
             another,
             {".\\", ".\\"},
             "journal\r\n.\\\r\narial\r\n 10 \r\n 255 \r\nTrue\r\nFalse\r\n",
             2,
             nullptr,
             "Copying other files (jsLib, html, css)"},
            {"settings that cannot be written",
             "/",
             ok,
             {".\\", ".\\"},
             {},
             0,
             "The settings could not be saved to ",
             nullptr},
            {"a partial file, cancelled", partial, cancel, {"C:\\places", "D:\\ww"}, partial, 0, nullptr, nullptr},
        };
        for (const auto& c : cases) {
            StartFolder start;
            for (const char* f : kWebFiles)
                start.write(f, QByteArray("source of ") + f);
            start.write("journal/velmora.js", kTwoPlaces);
            if (c.ini == "/")
                QDir(start.path()).mkdir(QStringLiteral("velmora.ini"));
            else if (!c.ini.isEmpty())
                start.write("velmora.ini", c.ini);
            Form1 form;
            QStringList shown;
            whenModal([&](QWidget*) {
                shown = QStringList{form.form3()->Text1->text(), form.form3()->Text2->text()};
                c.choose(form.form3());
            });
            guitest::startUp(form);
            QVERIFY2(shown == c.shown, c.what);
            if (c.ini != "/")
                QCOMPARE(start.read("velmora.ini"), c.written);
            QCOMPARE(form.List1->count(), c.rows);
            QVERIFY(!start.exists("velmora.js"));
            QVERIFY(!form.isModified());
            QCOMPARE(MessageBox::history().size(), c.box ? 1 : 0);
            if (c.box)
                QVERIFY2(MessageBox::history().first().startsWith(QString::fromUtf8(c.box))
                             && MessageBox::history().first().contains(QStringLiteral("velmora.ini")),
                         qPrintable(MessageBox::history().first()));
            if (c.lastLog)
                QCOMPARE(form.logList->item(form.logList->count() - 1)->text(), QString::fromUtf8(c.lastLog));
        }
    }

    // An unchanged Configuration asks nothing and gives the settings back
    // as they were, the font name too: QFont reads a family as a
    // comma-separated list and drops quotes and blanks. A size chosen in
    // the dialog is rounded (how, on the open journal).
    void theConfigurationKeepsWhatItDoesNotChange()
    {
        for (const char* name : {"My, Font", " Lead and trail ", "'quoted'", "arial"}) {
            StartFolder start;
            Settings held;
            held.fontName_ = QString::fromLatin1(name);
            const QByteArray ini = settingsfile::bytes(held);
            start.write("velmora.ini", ini);
            Form1 form;
            guitest::startUp(form);
            QCOMPARE(form.settings.fontName_, held.fontName_);
            whenModal([&](QWidget*) { QTest::mouseClick(form.form3()->Command3, Qt::LeftButton); });
            form.mnuConfigConfig->trigger();
            QCOMPARE(form.settings.fontName_, held.fontName_);
            QCOMPARE(start.read("velmora.ini"), ini);
            QVERIFY(MessageBox::history().isEmpty());
            QVERIFY(!form.isModified());

            whenModal([&](QWidget*) {
                form.form3()->setPreviewFont(QStringLiteral("arial"), 11.5, 0, false, true);
                QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
            });
            form.mnuConfigConfig->trigger();
            QCOMPARE(int(form.settings.fontSize_), 12);
            QVERIFY(form.settings.fontItalic_);
        }
    }

    // The window as it starts, and the log panel that "logs >>" unfolds.
    void startUpLayoutAndTheLogPanel()
    {
        ShownWindow w(kTwoRows);
        Form1& form = *w;
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        QCOMPARE(form.Command6->text(), QStringLiteral("logs >>"));
        QVERIFY(!form.logList->isVisible());
        QCOMPARE(form.centralWidget()->size(), QSize(8070 / 15, 4815 / 15));
        for (QLineEdit* field : {form.Text1, form.Text2, form.Text3}) {
            QCOMPARE(twips::geometry(field).width(), 5915);
            QCOMPARE(twips::geometry(field).left(), 2160);
        }
        QVERIFY(!w.selectionButtonsEnabled());
        QCOMPARE(QApplication::focusWidget(), form.Text1);
        QCOMPARE(form.List1->count(), 2);
        // The row text stays exactly as stored; only its drawing is in columns.
        QCOMPARE(form.List1->row(0), QStringLiteral("Paris\tworldwind://goto/world=Earth&lat=48.85&lon=2.35\tcapital"));
        QTRY_VERIFY(form.paintHookRuns() > 0);

        const int folded = form.height();
        QTest::mouseClick(form.Command6, Qt::LeftButton);
        QCOMPARE(form.height(), folded + 450 / 15);
        QCOMPARE(form.Command6->text(), QStringLiteral("logs <<"));
        QVERIFY(form.logList->isVisible());
        QCOMPARE(form.logList->item(0)->text(), QStringLiteral("WorldWind Velmora..."));
        // The panel shows the newest line, however many came before it.
        for (int i = 1; i <= 20; ++i)
            form.log(QStringLiteral("line %1").arg(i));
        QVERIFY(form.logList->viewport()->rect().contains(
            form.logList->visualItemRect(form.logList->item(form.logList->count() - 1))));
        QTest::mouseClick(form.Command6, Qt::LeftButton);
        QCOMPARE(form.height(), folded);
        QCOMPARE(form.Command6->text(), QStringLiteral("logs >>"));
    }

    void captionFollowsModifiedState()
    {
        Form1 form;
        const QStringList place{QStringLiteral("a\tworldwind://goto/world=Earth&lat=1&lon=2\t")};
        form.journal()->history().append(place, QStringLiteral("Add"), -1);
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora (modified)"));
        form.setWindowTitle(QStringLiteral("changed elsewhere"));
        form.journal()->history().append(place, QStringLiteral("Add"), -1);  // marked once: not set again
        QCOMPARE(form.windowTitle(), QStringLiteral("changed elsewhere"));
        form.undoStack()->undo();
        QCOMPARE(form.windowTitle(), QStringLiteral("changed elsewhere"));
        form.undoStack()->undo();  // back at the saved step
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        form.undoStack()->redo();
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora (modified)"));
    }

    void logEmptiesItselfPastFiftyLines()
    {
        Form1 form;
        for (int i = 1; i <= 50; ++i)
            form.log(QString::number(i));
        QCOMPARE(form.logList->count(), 51);
        form.log(QString());
        QCOMPARE(form.logList->count(), 1);
        QCOMPARE(form.logList->item(0)->text(), QString());
    }

    // Save, by its key: the list read back as the file holds it and the
    // boxes reset; a save that fails says why in a box and leaves the list,
    // the boxes and the log as they were.
    void aSaveResetsTheBoxesOnlyWhenItWrites()
    {
        for (const bool writes : {true, false}) {
            StartFolder start;
            start.write("velmora.ini", writes ? kDefaultIni : iniFor(QStringLiteral("missing")).toLatin1());
            start.write("velmora.js", kTwoPlaces);
            Form1 form;
            guitest::startUp(form);
            form.journal()->append({QStringLiteral("L\u0141\"d\\<z>\tworldwind://goto/a\"b\tit's")});
            const QStringList before = form.List1->rows();
            form.Text2->setText(QStringLiteral("typed"));
            form.Text3->setText(QStringLiteral("comment"));
            form.form2()->Text2->setText(QStringLiteral("dialog name"));
            form.show();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            const int logLines = form.logList->count();
            MessageBox::clearHistory();
            QTest::keyClick(form.Text3, Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(form.isModified(), !writes);
            QCOMPARE(form.windowTitle(),
                     writes ? QStringLiteral("WorldWind Velmora") : QStringLiteral("WorldWind Velmora (modified)"));
            const QStringList fields = {form.Text1->text(), form.Text2->text(), form.Text3->text(),
                                        form.form2()->Text2->text()};
            if (writes) {
                QCOMPARE(form.List1->rows(), journal::readJournalFile(start.path("velmora.js")).rows);
                QCOMPARE(form.List1->row(2), QStringLiteral("L\u0141\"d\\<z>\tworldwind://goto/a%22b\tit's"));
                QCOMPARE(fields, (QStringList{"", "Noname", "", "Noname"}));
                QCOMPARE(
                    form.logList->findItems(QStringLiteral("Velmora updated successfully"), Qt::MatchExactly).size(),
                    1);
                continue;
            }
            QCOMPARE(MessageBox::history().size(), 1);
            QVERIFY2(MessageBox::history().last().contains(QStringLiteral("velmora.js")),
                     qPrintable(MessageBox::history().last()));
            QVERIFY(!start.exists("missing"));
            QCOMPARE(form.List1->rows(), before);
            QCOMPARE(fields, (QStringList{"", "typed", "comment", "dialog name"}));
            QCOMPARE(form.logList->count(), logLines);
        }
    }

    // Configuration's Ok offers to create a missing save folder, or keeps
    // the dialog; the created folder gets the web page; one made by hand
    // later gets it with "Show Velmora".
    void aMissingSaveFolderIsCreatedOrTheDialogStays()
    {
        StartFolder start;
        for (const char* f : kWebFiles)
            start.write(f, QByteArray("source of ") + f);
        start.write("velmora.ini", kDefaultIni);
        Form1 form;
        guitest::startUp(form);
        MessageBox::clearHistory();
        bool stayed = false;
        whenModal([&](QWidget*) {
            form.form3()->Text1->setText(QStringLiteral("trips\\2026"));
            MessageBox::setNextAnswer(MessageBox::Cancel);
            QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
            stayed = form.form3()->isVisible() && !start.exists("trips");
            MessageBox::setNextAnswer(MessageBox::Create);
            QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
        });
        form.mnuConfigConfig->trigger();
        QVERIFY(stayed);
        const QString asked = QStringLiteral("The save folder %1 does not exist. Create it?")
                                  .arg(QDir::toNativeSeparators(start.path(QStringLiteral("trips/2026"))));
        QCOMPARE(MessageBox::history(), QStringList({asked, asked}));
        QCOMPARE(form.settings.SaveDir, QStringLiteral("trips\\2026"));
        QCOMPARE(start.read("trips/2026/velmora.html"), QByteArray("source of velmora.html"));
        form.journal()->append({QStringLiteral("a\tworldwind://goto/world=Earth&lat=1&lon=2\t")});
        QVERIFY(form.saveVelmora());

        // Gone and made again by hand: the page is copied before it is shown.
        QVERIFY(QDir(start.path(QStringLiteral("trips"))).removeRecursively());
        QVERIFY(QDir(start.path()).mkpath(QStringLiteral("trips/2026")));
        Shell::setNonInteractive(true);
        QTest::mouseClick(form.Command3, Qt::LeftButton);
        Shell::setNonInteractive(false);
        QCOMPARE(start.read("trips/2026/velmora.html"), QByteArray("source of velmora.html"));

        // A file in the folder's place is refused without a question.
        start.write("trips/file", "");
        MessageBox::clearHistory();
        whenModal([&](QWidget*) {
            form.form3()->Text1->setText(QStringLiteral("trips\\file"));
            QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
            QTest::mouseClick(form.form3()->Command4, Qt::LeftButton);
        });
        form.mnuConfigConfig->trigger();
        QCOMPARE(form.settings.SaveDir, QStringLiteral("trips\\2026"));
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history().first().contains(QStringLiteral("is not a folder")),
                 qPrintable(MessageBox::history().first()));
    }

    void failedExportIsReportedAndTheJournalStillSaved()
    {
        StartFolder start;
        start.write("velmora.ini", iniFor(QStringLiteral(".\\"), QStringLiteral("nowhere")).toLatin1());
        Form1 form;
        guitest::startUp(form);
        form.journal()->append(QStringList() << QStringLiteral("a\tworldwind://goto/world=Earth&lat=1&lon=2\t"));
        form.mnuFileSave->trigger();
        const QString why = QStringLiteral("the World Wind folder \"%1\" does not exist")
                                .arg(QDir::toNativeSeparators(start.path("nowhere")));
        QCOMPARE(MessageBox::history(),
                 QStringList{QStringLiteral("The placenames files could not all be written:\n\n") + why});
        QVERIFY(start.read("velmora.js").startsWith("add_place(\"a\""));
        QVERIFY(!form.isModified());

        // Once a run in a message; later saves say it in the log only, never as success.
        for (const char* folder : {"nowhere", "empty"}) {
            QDir(start.path()).mkpath(QStringLiteral("empty"));
            form.settings.WWDir = QString::fromLatin1(folder);
            form.journal()->append(QStringList() << QStringLiteral("b\tworldwind://goto/world=Earth&lat=3&lon=4\t"));
            MessageBox::clearHistory();
            const int logged = form.logList->count();
            form.mnuFileSave->trigger();
            QCOMPARE(MessageBox::history(), QStringList{});
            QVERIFY(!form.isModified());
            QStringList lines;
            for (int i = logged; i < form.logList->count(); ++i)
                lines << form.logList->item(i)->text();
            const QString said = QStringLiteral("The placenames files could not all be written: ")
                                 + placenames::noWorldWind(form.settings.WWDir);
            QVERIFY2(lines.contains(said), qPrintable(lines.join(u'\n')));
        }
        // A folder with World Wind in it is written, and said so, again.
        QDir(start.path()).mkpath(QStringLiteral("empty/config/earth"));
        QDir(start.path()).mkpath(QStringLiteral("empty/add-ons/earth"));
        form.mnuFileSave->trigger();
        QCOMPARE(MessageBox::history().last(), QStringLiteral("placenames files written"));
    }

    // Quit with unsaved changes asks; Cancel keeps the window open.
    void quittingWithUnsavedChangesAsks()
    {
        const struct {
            MessageBox::Answer answer;
            QByteArray file;
        } cases[] = {{MessageBox::Cancel, journal::journalBytes(kTwoRows)},
                     {MessageBox::Save, journal::journalBytes(kTwoRows.mid(1))},
                     {MessageBox::Discard, journal::journalBytes(kTwoRows)}};
        for (const auto& c : cases) {
            ShownWindow w(kTwoRows);
            w->journal()->remove(0);
            MessageBox::setNextAnswer(c.answer);
            w->mnuFileQuit->trigger();
            QCOMPARE(w->isVisible(), c.answer == MessageBox::Cancel);
            QCOMPARE(MessageBox::history().first(), QStringLiteral("Save changes to the journal?"));
            QCOMPARE(w.start.read("velmora.js"), c.file);
        }
    }

    void configureWithUnsavedChanges()
    {
        ShownWindow w(kTwoRows);
        Form1& form = *w;
        const StartFolder& start = w.start;
        start.write("other/velmora.js", "add_place(\"x\",\"y\",\"z\");\r\n");
        form.journal()->remove(0);
        auto confirmOther = [&](QWidget*) {
            form.form3()->Text1->setText(QStringLiteral("other"));
            QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
        };

        // Cancel abandons the configuration.
        MessageBox::setNextAnswer(MessageBox::Cancel);
        whenModal(confirmOther);
        form.mnuConfigConfig->trigger();
        QCOMPARE(form.settings.SaveDir, QStringLiteral(".\\"));
        QCOMPARE(form.List1->count(), 1);
        QVERIFY(form.isModified());
        QCOMPARE(start.read("velmora.ini"), kDefaultIni);

        // Discard goes on and the reloaded list is unmodified.
        MessageBox::setNextAnswer(MessageBox::Discard);
        whenModal(confirmOther);
        form.mnuConfigConfig->trigger();
        QCOMPARE(form.settings.SaveDir, QStringLiteral("other"));
        QCOMPARE(form.List1->count(), 1);
        QCOMPARE(form.List1->row(0), QStringLiteral("x\ty\tz"));
        QVERIFY(!form.isModified());
        QCOMPARE(start.read("velmora.js"), kTwoPlaces);

        // Save writes into the old save folder before switching.
        form.journal()->append(QStringList() << QStringLiteral("new\tlink\t"));
        MessageBox::setNextAnswer(MessageBox::Save);
        whenModal([&](QWidget*) {
            form.form3()->Text1->setText(QStringLiteral(".\\"));
            QTest::mouseClick(form.form3()->Command3, Qt::LeftButton);
        });
        form.mnuConfigConfig->trigger();
        QCOMPARE(start.read("other/velmora.js"),
                 QByteArray("add_place(\"x\",\"y\",\"z\");\r\nadd_place(\"new\",\"link\",\"\");\r\n"));
        QCOMPARE(form.List1->count(), 2);
        QVERIFY(!form.isModified());
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
