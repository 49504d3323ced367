// The About box: caption, version, its keys, and the system information
// button over a fake registry.

#include "dialogs/frmabout.h"
#include "guitest.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "version.h"
#include "widgets/art.h"
#include "widgets/look.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using guitest::StartFolder;

namespace {

const quint32 kMachine = Registry::kLocalMachine;
const QString kMsinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kNotAvailable = QStringLiteral("Les informations système ne sont pas disponibles actuellement");

Registry::Value text(const QByteArray& bytes)
{
    return {Registry::kString, bytes};
}

}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyLook(*qApp); }
    void cleanup()
    {
        Registry::clearFake();
        Shell::clearHistory();
        Shell::setNonInteractive(false);
    }

    void captionVersionAndLayout()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("À propos de Velmora"));
        QCOMPARE(about.lblVersion->text(), QStringLiteral("Version ") + QLatin1String(version::kText));
        QCOMPARE(about.lblDescription->text(), QStringLiteral("A velmora for Worldwind : keep trace of good places"));
        QCOMPARE(about.size(), QSize(514, 295));
        QCOMPARE(about.geometry().topLeft(), QPoint(156, 129));
        QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("&Infos système..."));
        QVERIFY(about.cmdOK->isDefault());
        QCOMPARE(about.cmdOK->nextInFocusChain(), about.cmdSysInfo);
    }

    // The picture is drawn, not stored: check it shows what it should.
    void pictureIsTheEarthOnBlackWithTheTitle()
    {
        const QImage picture = art::aboutPicture(QStringLiteral("Velmora"));
        QCOMPARE(picture.size(), QSize(520, 318));
        QCOMPARE(picture.depth(), 24);
        int land = 0, sea = 0, white = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QColor c = picture.pixelColor(x, y);
                land += c.green() > c.red() + 20 && c.green() > c.blue() + 20;
                sea += c.blue() > c.red() + 40 && c.blue() > c.green() + 20;
                white += y < 60 && c.red() > 240 && c.green() > 240 && c.blue() > 240;
            }
        }
        QVERIFY2(land > 5000, qPrintable(QString::number(land)));  // the land outlines were found
        QVERIFY2(sea > 10000, qPrintable(QString::number(sea)));
        QVERIFY2(white > 200, qPrintable(QString::number(white)));  // the title's outlines
        QCOMPARE(picture.pixelColor(2, 317), QColor(Qt::black));
        const QImage icon = art::icon();
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
    }

    void escapeAndEnterAndOkCloseTheBox()
    {
        for (const int key : {int(Qt::Key_Escape), int(Qt::Key_Return), 0}) {
            frmAbout about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            if (key)
                QTest::keyClick(&about, Qt::Key(key));
            else
                QTest::mouseClick(about.cmdOK, Qt::LeftButton);
            QVERIFY(!about.isVisible());
        }
    }

    void enterPressesTheFocusedButton()
    {
        StartFolder start;
        Shell::setNonInteractive(true);
        Registry::setFake({{{kMachine, kMsinfoKey, "PATH"}, text("C:\\Tools\\MSINFO32.EXE")}});
        frmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        about.cmdSysInfo->setFocus();
        QTest::keyClick(about.cmdSysInfo, Qt::Key_Return);
        QVERIFY(about.isVisible());
        QCOMPARE(Shell::history().size(), 1);
        about.cmdOK->setFocus();
        QTest::keyClick(about.cmdOK, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!about.isVisible());
        QCOMPARE(Shell::history().size(), 1);
    }

    void getKeyValueReadsTextsAndNumbers()
    {
        Registry::setFake({
            {{kMachine, "K", "sz"}, text("C:\\Tools\\msinfo32.exe")},
            {{kMachine, "K", "sz0"}, text(QByteArray("C:\\x\xE9", 5) + '\0')},  // Windows-1252 é, trailing zero
            {{kMachine, "K", "empty"}, text(QByteArray(1, '\0'))},
            {{kMachine, "K", "dword"}, {Registry::kDword, QByteArray("\x05\x00\x00\x00", 4)}},
            {{kMachine, "K", "dword-1"}, {Registry::kDword, QByteArray("\xFF\xFF\xFF\xFF", 4)}},
            {{kMachine, "K", "dwordhigh"}, {Registry::kDword, QByteArray("\x00\x00\x00\x80", 4)}},
            {{kMachine, "K", "binary"}, {3, QByteArray("\x01\x02", 2)}},
            {{kMachine, "K", "full"}, text(QByteArray(1024, 'a'))},
            {{kMachine, "K", "over"}, text(QByteArray(1025, 'a'))},
        });
        const struct {
            const char* root;
            quint32 key;
            const char* name;
            bool read;
            QString value;
        } cases[] = {
            {"K", kMachine, "sz", true, QStringLiteral("C:\\Tools\\msinfo32.exe")},
            {"K", kMachine, "sz0", true, QStringLiteral("C:\\xé")},
            {"K", kMachine, "empty", true, QString()},
            {"K", kMachine, "dword", true, QStringLiteral("5")},
            {"K", kMachine, "dword-1", true, QStringLiteral("-1")},
            {"K", kMachine, "dwordhigh", true, QStringLiteral("-2147483648")},
            {"K", kMachine, "binary", true, QStringLiteral("as passed")},
            {"K", kMachine, "full", true, QString(1024, QLatin1Char('a'))},
            {"K", kMachine, "over", false, QString()},
            {"K", kMachine, "missing", false, QString()},
            {"Other", kMachine, "sz", false, QString()},
            {"K", 0x80000001, "sz", false, QString()},
        };
        for (const auto& c : cases) {
            QString value = QStringLiteral("as passed");
            QCOMPARE(frmAbout::GetKeyValue(c.key, QString::fromLatin1(c.root), QString::fromLatin1(c.name), value),
                     c.read);
            QCOMPARE(value, c.value);
        }
    }

    void sysInfoFirstRouteStartsThePathAsItIs()
    {
        StartFolder start;
        Shell::setNonInteractive(true);
        Registry::setFake({{{kMachine, kMsinfoKey, "PATH"}, text("C:\\Missing\\MSINFO32.EXE")}});
        frmAbout about;
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QCOMPARE(Shell::history().size(), 1);
        QCOMPARE(Shell::history()[0].kind, Shell::Call::Start);
        QCOMPARE(Shell::history()[0].target, QStringLiteral("C:\\Missing\\MSINFO32.EXE"));
        QCOMPARE(MessageBox::history(), QStringList{});

        Shell::setNextResult(2);  // the file was not there after all
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QCOMPARE(MessageBox::history(), QStringList{kNotAvailable});
    }

    void sysInfoSecondRouteNeedsTheToolInTheFolder()
    {
        StartFolder start;
        Shell::setNonInteractive(true);
        QDir(start.path()).mkdir(QStringLiteral("tools"));
        Registry::setFake({{{kMachine, kLocationKey, "MSINFO"}, text("tools")}});
        frmAbout about;
        about.StartSysInfo();
        QCOMPARE(Shell::history().size(), 0);
        QCOMPARE(MessageBox::history(), QStringList{kNotAvailable});

        start.write(QStringLiteral("tools/MSINFO32.EXE"), "tool");
        MessageBox::clearHistory();
        about.StartSysInfo();
        QCOMPARE(Shell::history().size(), 1);
        QCOMPARE(Shell::history()[0].target, QStringLiteral("tools/MSINFO32.EXE"));
        QCOMPARE(MessageBox::history(), QStringList{});
    }

    void sysInfoWithNeitherRouteTellsTheUser()
    {
        StartFolder start;
        Shell::setNonInteractive(true);
        frmAbout about;
        about.show();
        about.StartSysInfo();  // this system's registry: no values at all
        QCOMPARE(Shell::history().size(), 0);
        QCOMPARE(MessageBox::history(), QStringList{kNotAvailable});
        QVERIFY(about.isVisible());  // the box stays open
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
