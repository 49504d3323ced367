// The launch commands of the main window: their log lines, the targets they
// hand to the shell, and the messages for the shell's failures.

#include "guitest.h"
#include "platform/shell.h"
#include "ui/form1.h"
#include "widgets/look.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
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
};

QList<Launch> launches()
{
    return {
        {"Show this place (in WW)",
         [](Form1& f) {
             f.Text1->setText(QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35"));
             f.Command12->setEnabled(true);
             QTest::mouseClick(f.Command12, Qt::LeftButton);
         },
         QString(), [](const StartFolder&) { return QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35"); }},
        {"Show this place with a link that is no location link",
         [](Form1& f) {
             f.Text1->setText(QStringLiteral("javascript:alert(1)"));
             f.Command12_Click();
         },
         QString(), [](const StartFolder&) { return QStringLiteral("javascript:alert(1)"); }},
        {"Show this place with the fields reset",
         [](Form1& f) { f.Command12_Click(); }, QString(), [](const StartFolder&) { return QString(); }},
        {"Show Velmora",
         [](Form1& f) {
             f.settings.SaveDir = QStringLiteral("my journal\\");
             QTest::mouseClick(f.Command3, Qt::LeftButton);
         },
         QStringLiteral("Opening velmora with default browser"),
         [](const StartFolder& s) { return QDir::toNativeSeparators(s.path(QStringLiteral("my journal/velmora.html"))); }},
        {"Start WorldWind", [](Form1& f) { QTest::mouseClick(f.Command4, Qt::LeftButton); },
         QStringLiteral("Starting WorldWind"),
         [](const StartFolder&) { return QStringLiteral("worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000"); }},
        {"Help", [](Form1& f) { f.mnuHelpHelp->trigger(); }, QStringLiteral("opening help"),
         [](const StartFolder&) { return QStringLiteral("help.html"); }},
    };
}

}  // namespace

class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyLook(*qApp); }
    void init() { Shell::clearHistory(); }
    void cleanup() { Shell::setNonInteractive(false); }

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
                const QList<Shell::Call> calls = Shell::history();
                QVERIFY2(calls.size() == 1, what);
                QVERIFY2(calls[0].kind == Shell::Call::Open, what);
                QCOMPARE(calls[0].target, target);
                QCOMPARE(calls[0].show, 1);
                if (launch.logLine.isEmpty()) {
                    QVERIFY2(form.logList->count() == logRows, what);
                } else {
                    QVERIFY2(form.logList->count() == logRows + 1, what);
                    QCOMPARE(lastLog(form), launch.logLine);  // also when the shell then fails
                }
                const QStringList expected = fails
                    ? QStringList{target + QStringLiteral(" : ") + Shell::errorText(31)}
                    : QStringList{};
                QCOMPARE(MessageBox::history(), expected);
                QVERIFY2(!form.isModified(), what);
            }
        }
    }

    void shellOpenReturnsTheCodeAndShowsItsText()
    {
        StartFolder start;
        Form1 form;
        const struct {
            int code;
            QString message;
        } cases[] = {
            {33, QString()},
            {42, QString()},
            {32, QStringLiteral("t : The specified dynamic-link library (DLL) was not found.")},
            {2, QStringLiteral("t : The specified file was not found")},
            {3, QStringLiteral("t : The specified path was not found.")},
            {0, QStringLiteral("t : The operating system is out of memory or resources.")},
            {12, QStringLiteral("t : The shell could not open it (error 12).")},
        };
        for (const auto& c : cases) {
            MessageBox::clearHistory();
            Shell::setNextResult(c.code);
            QCOMPARE(form.shellOpen(QStringLiteral("t"), 1), c.code);
            QCOMPARE(MessageBox::history(), c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        }
    }

#ifndef Q_OS_WIN
    // Through the desktop layer itself: these targets are missing, so
    // nothing is ever started.
    void missingPagesGiveTheShellsMessage()
    {
        StartFolder start;
        Shell::setNonInteractive(false);
        Form1 form;
        form.mnuHelpHelp->trigger();
        form.settings.SaveDir = QStringLiteral("empty\\");
        QDir(start.path()).mkdir(QStringLiteral("empty"));
        QTest::mouseClick(form.Command3, Qt::LeftButton);
        form.settings.SaveDir = QStringLiteral("nowhere\\");
        QTest::mouseClick(form.Command3, Qt::LeftButton);
        QCOMPARE(MessageBox::history(),
                 (QStringList{QStringLiteral("help.html : The specified file was not found"),
                              QDir::toNativeSeparators(start.path(QStringLiteral("empty/velmora.html")))
                                  + QStringLiteral(" : The specified file was not found"),
                              QDir::toNativeSeparators(start.path(QStringLiteral("nowhere/velmora.html")))
                                  + QStringLiteral(" : The specified path was not found.")}));
        QCOMPARE(lastLog(form), QStringLiteral("Opening velmora with default browser"));
    }
#endif
};

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
