// The Add a place dialog through its real controls: its first state, the
// link it builds from typed coordinates in the user's number format, the
// boxes it refuses, and how a showing ends. Run once in a locale with a
// decimal point and once in one with a decimal comma.

#include "dialogs/form2.h"
#include "guitest.h"
#include "ui/form1.h"
#include "widgets/look.h"
#include "widgets/twips.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>

using guitest::StartFolder;
using guitest::whenModal;

namespace {

// A number as the user types it: "." replaced by the user's decimal sign.
QString typed(const char* text)
{
    return QString::fromLatin1(text).replace(u'.', QLocale::system().decimalPoint());
}

struct Typed {
    const char* deg;
    const char* min;
    const char* sec;
    const char* hemisphere;
};

void enter(QLineEdit* deg, QLineEdit* min, QLineEdit* sec, QComboBox* list, const Typed& t)
{
    deg->setText(typed(t.deg));
    min->setText(typed(t.min));
    sec->setText(typed(t.sec));
    list->setCurrentIndex(list->findText(QString::fromLatin1(t.hemisphere)));
}

}  // namespace

Q_DECLARE_METATYPE(Typed)

class TestForm2 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyLook(*qApp);
        MessageBox::setNonInteractive(true);
        qInfo("numbers typed as in %s: %s", qPrintable(QLocale::system().name()), qPrintable(typed("48.5")));
    }

    void init() { MessageBox::clearHistory(); }

    void firstShowing()
    {
        Form2 dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add a place"));
        QCOMPARE(dialog.size(), QSize(505, 215));
        QCOMPARE(twips::geometry(dialog.Option2), QRect(0, 600, 1695, 615));
        QCOMPARE(twips::geometry(dialog.cmdCancel), QRect(3840, 2640, 1455, 495));
        QVERIFY(dialog.Option1->isChecked());
        QVERIFY(!dialog.Option2->isChecked());
        QCOMPARE(dialog.Text1->text(), QString());
        QCOMPARE(dialog.Text2->text(), QStringLiteral("Noname"));
        QCOMPARE(dialog.Text3->text(), QString());
        for (QLineEdit* box :
             {dialog.latDeg, dialog.latMin, dialog.latSec, dialog.lonDeg, dialog.lonMin, dialog.lonSec})
            QCOMPARE(box->text(), QStringLiteral("0"));
        QCOMPARE(dialog.Altitude->text(), QStringLiteral("180.000"));
        const std::pair<QComboBox*, QStringList> lists[] = {{dialog.ComboLat, {"N", "S"}},
                                                            {dialog.ComboLon, {"E", "W"}}};
        for (const auto& [list, texts] : lists) {
            QCOMPARE(list->currentIndex(), 0);
            QVERIFY(!list->isEditable());
            QCOMPARE(list->count(), 2);
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(list->itemText(i), texts[i]);
                QCOMPARE(list->itemData(i).toInt(), i == 0 ? -1 : 1);
            }
        }

        // The focus starts in the comment box and follows the designed order.
        QWidget* focusAtStart = nullptr;
        QList<QWidget*> order;
        whenModal([&](QWidget*) {
            focusAtStart = QApplication::focusWidget();
            for (QWidget* w = dialog.Text3; order.size() < 16; w = w->nextInFocusChain())
                if (w->focusPolicy() & Qt::TabFocus)
                    order.append(w);
            QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
        });
        dialog.showModal();
        QCOMPARE(focusAtStart, dialog.Text3);
        const QList<QWidget*> designed = {dialog.Text3,     dialog.Text2,    dialog.Text1,    dialog.cmdAdd,
                                          dialog.cmdCancel, dialog.Option1,  dialog.Option2,  dialog.latDeg,
                                          dialog.latMin,    dialog.latSec,   dialog.lonDeg,   dialog.lonMin,
                                          dialog.lonSec,    dialog.ComboLat, dialog.ComboLon, dialog.Altitude};
        QCOMPARE(order, designed);
    }

    void coordinatesBuildTheLink_data()
    {
        QTest::addColumn<Typed>("lat");
        QTest::addColumn<Typed>("lon");
        QTest::addColumn<QString>("link");
        const QString prefix = QStringLiteral("worldwind://goto/world=Earth");
        QTest::newRow("worked example") << Typed{"48", "51", "24", "N"} << Typed{"2", "21", "3", "E"}
                                        << prefix + "&lat=48.8566666666667&lon=2.35083333333333";
        // The arithmetic of the parts is checked on the core (test_links).
        QTest::newRow("fractions, west") << Typed{"12.5", "7.25", "0", "N"} << Typed{" 100 ", "0", "-0.4", "W"}
                                         << prefix + "&lat=12.6208333333333&lon=-100";
        QTest::newRow("the limits") << Typed{"89", "60", "0", "S"} << Typed{"180", "0", "0", "W"}
                                    << prefix + "&lat=-90&lon=-180";
    }

    void coordinatesBuildTheLink()
    {
        QFETCH(Typed, lat);
        QFETCH(Typed, lon);
        QFETCH(QString, link);
        Form2 dialog;
        dialog.Text1->setText(QStringLiteral("worldwind://goto/what was there"));
        enter(dialog.latDeg, dialog.latMin, dialog.latSec, dialog.ComboLat, lat);
        enter(dialog.lonDeg, dialog.lonMin, dialog.lonSec, dialog.ComboLon, lon);
        dialog.Altitude->setText(QStringLiteral("not used"));
        whenModal([&](QWidget*) {
            QTest::mouseClick(dialog.Option2, Qt::LeftButton);
            QVERIFY(dialog.Option2->isChecked());
            QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
        });
        dialog.showModal();
        QVERIFY(dialog.add);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Text1->text(), link);
        QCOMPARE(MessageBox::history(), QStringList());
    }

    // Which texts a box refuses is checked on the core (test_links); here
    // each box is named in the box that says it, and takes the focus.
    void badBoxesAreRefusedByName()
    {
        const QString otherSign = QLocale::system().decimalPoint() == u'.' ? QStringLiteral("1,5")
                                                                           : QStringLiteral("1.5");
        const struct {
            QLineEdit* Form2::*box;
            QString text;
            const char* named;
        } cases[] = {
            {&Form2::latDeg, "", "latitude degrees"},
            {&Form2::latMin, "  ", "latitude minutes"},
            {&Form2::latSec, "ten", "latitude seconds"},
            {&Form2::lonDeg, "N48", "longitude degrees"},
            {&Form2::lonMin, otherSign, "longitude minutes"},
            {&Form2::lonSec, "32768", "longitude seconds"},
            {&Form2::latDeg, "91", "latitude can be at most 90"},
            {&Form2::lonDeg, "-181", "longitude can be at most 180"},
        };
        for (const auto& c : cases) {
            MessageBox::clearHistory();
            Form2 dialog;
            QLineEdit* bad = dialog.*c.box;
            bad->setText(c.text);
            dialog.Option2->setChecked(true);
            dialog.Text1->setText(QStringLiteral("kept"));
            bool stayedOpen = false;
            bool addDuringShowing = true;
            QWidget* focus = nullptr;
            whenModal([&](QWidget*) {
                QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
                stayedOpen = dialog.isVisible();
                addDuringShowing = dialog.add;
                focus = QApplication::focusWidget();
                QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
            });
            dialog.showModal();
            QVERIFY2(stayedOpen && !addDuringShowing && !dialog.add, c.named);
            QCOMPARE(focus, bad);
            QCOMPARE(dialog.Text1->text(), QStringLiteral("kept"));
            QCOMPARE(MessageBox::history().size(), 1);
            QVERIFY2(MessageBox::history().first().contains(QString::fromUtf8(c.named)),
                     qPrintable(MessageBox::history().first()));
        }
    }

    // A text longer than the journal holds is named, never cut: the box
    // the dialog shows first among the long ones takes the focus.
    void aLongTextIsRefusedWhole()
    {
        Form2 dialog;
        const QString tooLong(32768, u'x');
        dialog.Text2->setText(tooLong);
        dialog.Text1->setText(tooLong + "y");
        QWidget* focus = nullptr;
        whenModal([&](QWidget*) {
            QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
            focus = QApplication::focusWidget();
            QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
        });
        dialog.showModal();
        QVERIFY(!dialog.add);
        QCOMPARE(focus, dialog.Text1);
        QCOMPARE(dialog.Text1->text(), tooLong + "y");
        QCOMPARE(MessageBox::history(), QStringList{"A link of 32769 characters, more than the 32767 a name, "
                                                    "comment or link can hold; shorten it to add the place."});
    }

    void copiedLinkModePassesTheLinkOn()
    {
        Form2 dialog;
        dialog.latDeg->setText(QStringLiteral("not read in this mode"));
        for (const QString& link : {QString(), QStringLiteral("edited, no longer a link")}) {
            dialog.Text1->setText(link);
            whenModal([&](QWidget*) { QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton); });
            dialog.showModal();
            QVERIFY(dialog.add);
            QCOMPARE(dialog.Text1->text(), link);
        }
        QCOMPARE(MessageBox::history(), QStringList());
    }

    // The user's own input picks the mode; a caller filling the boxes does not.
    void typingChoosesTheMode()
    {
        struct Case {
            const char* what;
            bool coordinatesBefore;
            std::function<void(Form2&)> input;
            bool coordinatesAfter;
        };
        const auto type = [](QLineEdit* Form2::*box, const char* text) {
            return [box, text](Form2& d) {
                (d.*box)->setFocus();
                QTest::keyClicks(d.*box, QString::fromLatin1(text));
            };
        };
        const auto pick = [](QComboBox* Form2::*list) {
            return [list](Form2& d) { QTest::keyClick(d.*list, Qt::Key_Down); };
        };
        const Case cases[] = {
            {"latitude degrees typed", false, type(&Form2::latDeg, "40"), true},
            {"latitude minutes typed", false, type(&Form2::latMin, "42"), true},
            {"latitude seconds typed", false, type(&Form2::latSec, "46"), true},
            {"longitude degrees typed", false, type(&Form2::lonDeg, "74"), true},
            {"longitude minutes typed", false, type(&Form2::lonMin, "1"), true},
            {"longitude seconds typed", false, type(&Form2::lonSec, "21"), true},
            {"altitude typed", false, type(&Form2::Altitude, "5"), true},
            {"N/S changed", false, pick(&Form2::ComboLat), true},
            {"E/W changed", false, pick(&Form2::ComboLon), true},
            {"link typed", true, type(&Form2::Text1, "worldwind://goto/"), false},
            {"name typed", true, type(&Form2::Text2, "x"), true},
            {"comment typed", false, type(&Form2::Text3, "x"), false},
            {"boxes filled by a caller", false, [](Form2& d) { d.latDeg->setText(QStringLiteral("1")); }, false},
            {"link filled by a caller", true, [](Form2& d) { d.Text1->setText(QStringLiteral("a")); }, true},
        };
        for (const Case& c : cases) {
            Form2 dialog;
            dialog.show();
            (c.coordinatesBefore ? dialog.Option2 : dialog.Option1)->setChecked(true);
            c.input(dialog);
            QVERIFY2(dialog.Option2->isChecked() == c.coordinatesAfter, c.what);
            QVERIFY2(dialog.Option1->isChecked() != c.coordinatesAfter, c.what);
        }

        // New York typed over a place captured earlier is saved where typed.
        Form2 dialog;
        dialog.Text1->setText(QStringLiteral("worldwind://goto/world=Earth&lat=52.52&lon=13.405"));
        whenModal([&](QWidget*) {
            for (const auto& [box, text] : {std::pair{dialog.latDeg, "40"},
                                            {dialog.latMin, "42"},
                                            {dialog.latSec, "46"},
                                            {dialog.lonDeg, "74"},
                                            {dialog.lonMin, "0"},
                                            {dialog.lonSec, "21"}}) {
                box->selectAll();
                QTest::keyClicks(box, QString::fromLatin1(text));
            }
            QTest::keyClick(dialog.ComboLon, Qt::Key_Down);
            QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
        });
        dialog.showModal();
        QVERIFY(dialog.add);
        QCOMPARE(dialog.Text1->text(),
                 QStringLiteral("worldwind://goto/world=Earth&lat=40.7127777777778&lon=-74.0058333333333"));
    }

    void eachShowingEndsOnItsOwn()
    {
        StartFolder start;
        Form1 form;
        Form2* dialog = form.form2();
        QCOMPARE(form.form2(), dialog);  // kept

        whenModal([&](QWidget*) { QTest::mouseClick(dialog->cmdAdd, Qt::LeftButton); });
        dialog->showModal();
        QVERIFY(dialog->add);

        // Add is false from the start of the next showing; Cancel and Escape
        // hide the dialog and keep what it holds.
        bool addWhileShown = true;
        whenModal([&](QWidget*) {
            addWhileShown = dialog->add;
            dialog->Text3->setText(QStringLiteral("typed"));
            QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
        });
        dialog->showModal();
        QVERIFY(!addWhileShown);
        QVERIFY(!dialog->add);
        whenModal([&](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        dialog->showModal();
        QVERIFY(!dialog->add);
        QCOMPARE(form.form2(), dialog);
        QCOMPARE(dialog->Text3->text(), QStringLiteral("typed"));

        // The close box ends the showing the same way and the next use
        // starts from a new dialog.
        dialog->Option2->setChecked(true);
        whenModal([&](QWidget*) { dialog->close(); });
        dialog->showModal();
        QVERIFY(!dialog->add);
        Form2* fresh = form.form2();
        QVERIFY(fresh != dialog);
        QCOMPARE(fresh->Text3->text(), QString());
        QVERIFY(fresh->Option1->isChecked());
    }
};

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
