// The launch commands of the main window: their log lines, the targets they
// hand to the shell, and the messages for the shell's failures and for
// links that are not places.

#include "guitest.h"
#include "platform/shell.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "widgets/look.h"
#include "worldwind/launch.h"

#include <QAction>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <functional>

using guitest::StartFolder;

namespace {

QString lastLog(const Form1& form)
{
    return form.logList->item(form.logList->count() - 1)->text();
}

struct Launch {
    const char* name;
    std::function<void(Form1&)> run;
    QString logLine;  // empty: the command logs nothing
    std::function<QString(const StartFolder&)> target;
    QStringList fallbacks = {};  // tried only where the desktop has no program for the target
};

#ifdef Q_OS_WIN
const QStringList kParisGeo;
#else
const QStringList kParisGeo{QStringLiteral("geo:48.85,2.35")};
#endif

QList<Launch> launches()
{
    return {
        {"Show this place (in WW)",
         [](Form1& f) {
             f.Text1->setText(QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35"));
             f.Command12->setEnabled(true);
             QTest::mouseClick(f.Command12, Qt::LeftButton);
         },
         QString(),
         [](const StartFolder&) { return QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35"); },
         kParisGeo},
        {"Show this place with a geo: link",
         [](Form1& f) {
             f.Text1->setText(QStringLiteral("geo:48.85,2.35;u=10"));
             f.Command12_Click();
         },
         QString(), [](const StartFolder&) { return QStringLiteral("geo:48.85,2.35;u=10"); }},
        {"Show this place with a link whose position cannot be read",
         [](Form1& f) {
             f.Text1->setText(QStringLiteral("worldwind://goto/world=Earth&lat=95&lon=2.35"));
             f.Command12_Click();
         },
         QString(), [](const StartFolder&) { return QStringLiteral("worldwind://goto/world=Earth&lat=95&lon=2.35"); }},
        {"Show Velmora",
         [](Form1& f) {
             f.settings.SaveDir = QStringLiteral("my journal\\");
             QTest::mouseClick(f.Command3, Qt::LeftButton);
         },
         QStringLiteral("Opening velmora with default browser"),
         [](const StartFolder& s) {
             return QDir::toNativeSeparators(s.path(QStringLiteral("my journal/velmora.html")));
         }},
        {"Start WorldWind", [](Form1& f) { QTest::mouseClick(f.Command4, Qt::LeftButton); },
         QStringLiteral("Starting WorldWind"),
         [](const StartFolder&) {
             return QStringLiteral("worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000");
         }},
        {"Help", [](Form1& f) { f.mnuHelpHelp->trigger(); }, QStringLiteral("opening help"),
         [](const StartFolder&) { return QStringLiteral("help.html"); }},
    };
}

}  // namespace

class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyLook(*qApp); }

    void eachCommandLogsFirstThenHandsItsTargetToTheShell()
    {
        for (const bool fails : {false, true}) {
            for (const Launch& launch : launches()) {
                const QByteArray what = QByteArray(launch.name) + (fails ? " (failing)" : "");
                StartFolder start;
                Form1 form;
                Shell::clearHistory();
                Shell::setNonInteractive(true);
                if (fails)
                    Shell::setNextResult(31);
                const int logRows = form.logList->count();
                launch.run(form);

                const QString target = launch.target(start);
                // A place is first offered to the globe that is open: the
                // shell is asked once that answers.
                QTRY_VERIFY2(Shell::history().size() == 1, what);
                const QList<Shell::Call> calls = Shell::history();
                QVERIFY2(calls[0].kind == Shell::Call::Open, what);
                QCOMPARE(calls[0].target, target);
                QCOMPARE(calls[0].show, 1);
                QCOMPARE(calls[0].fallbacks, launch.fallbacks);
                if (launch.logLine.isEmpty()) {
                    QVERIFY2(form.logList->count() == logRows, what);
                } else {
                    QVERIFY2(form.logList->count() == logRows + 1, what);
                    QCOMPARE(lastLog(form), launch.logLine);  // also when the shell then fails
                }
                // The shell answers later; the window goes on meanwhile.
                if (!fails)
                    QCOMPARE(MessageBox::history(), QStringList{});
                if (fails)
                    QTRY_COMPARE(MessageBox::history(),
                                 QStringList{target + QStringLiteral(" : ") + Shell::errorText(31)});
                else
                    QTest::qWait(20);
                QCOMPARE(MessageBox::history().size(), int(fails));
                QVERIFY2(!form.isModified(), what);
            }
        }
    }

    // A shared journal file may hold any text as a place's link: only
    // location links go to the shell, the others are named in a message.
    void showThisPlaceHandsOverLocationLinksOnly()
    {
        StartFolder start;
        start.write("velmora.js", "add_place(\"x\",\"/bin/sh\",\"\");\r\n");
        Form1 form;
        guitest::loadWindow(start, form);
        const struct {
            bool inJournal;  // else the link box is emptied
            QString message;
        } cases[] = {
            {true, launch::refusal(u"/bin/sh")},
            {false, QStringLiteral("There is no location link to show.")},
        };
        for (const auto& c : cases) {
            MessageBox::clearHistory();
            if (c.inJournal)
                form.List1->selectRow(0);
            else
                form.Text1->clear();
            QTest::mouseClick(form.Command12, Qt::LeftButton);
            QTest::qWait(10);
            QCOMPARE(Shell::history().size(), 0);
            QCOMPARE(MessageBox::history(), QStringList{c.message});
        }
    }

    void showPlacesWritesTheListAsKmlAndOpensIt()
    {
        QStandardPaths::setTestModeEnabled(true);
        StartFolder start;
        Form1 form;
        const QString file = Form1::globeFile();
        QFile::remove(file);
        form.List1->setRows({QStringLiteral("Paris\tworldwind://goto/world=Earth&lat=48.85&lon=2.35\tcapital")});
        form.settings.fontColor_ = 255;  // red, as Configuration keeps it
        form.settings.fontSize_ = 15;
        form.mnuFileGlobe->trigger();
        QCOMPARE(lastLog(form), QStringLiteral("Showing the places on the globe"));
        QCOMPARE(Shell::history().size(), 1);
        QCOMPARE(Shell::history()[0].target, QDir::toNativeSeparators(file));
        QFile kml(file);
        QVERIFY(kml.open(QIODevice::ReadOnly));
        const QByteArray bytes = kml.readAll();
        QVERIFY(bytes.contains("<name>Paris</name>"));  // the list, with the label font of the settings
        QVERIFY(bytes.contains("<LabelStyle><color>ff0000ff</color><scale>1.5</scale></LabelStyle>"));
        // The icon the style names lies beside it.
        QVERIFY(bytes.contains("<IconStyle><Icon><href>velmora-place.png</href></Icon></IconStyle>"));
        const QImage icon(QFileInfo(file).absolutePath() + QStringLiteral("/velmora-place.png"));
        QCOMPARE(icon.size(), QSize(16, 16));
        QFile::remove(file);
    }

    // The help page names every menu command and every key of the menus,
    // as its key table writes them ("<kbd>Ctrl</kbd>+<kbd>S</kbd>").
    void helpPageDescribesEveryMenuCommandAndKey()
    {
        QFile file(QStringLiteral(VELMORA_HELP_PAGE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString page = QString::fromLatin1(file.readAll());
        StartFolder start;
        Form1 form;
        QStringList missing;
        for (const QAction* menu : form.menuBar()->actions()) {
            for (const QAction* command : menu->menu()->actions()) {
                if (command->isSeparator())
                    continue;
                const QString named = menu->text() + QStringLiteral(" &gt; ") + command->text();
                if (!page.contains(named))
                    missing << named;
                for (const QKeySequence& keys : command->shortcuts()) {
                    const QString kbd =
                        QStringLiteral("<kbd>")
                        + keys.toString(QKeySequence::PortableText).split(u'+').join(QStringLiteral("</kbd>+<kbd>"))
                        + QStringLiteral("</kbd>");
                    if (!page.contains(kbd))
                        missing << kbd;
                }
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }
};

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
