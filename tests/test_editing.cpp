// The main window's editing through its real widgets, with the clipboard
// and the message boxes prepared in advance: the capture of copied links,
// selecting entries, the commands and the rule for leaving the list.

#include "dialogs/findbox.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "shownwindow.h"
#include "widgets/look.h"
#include "worldwind/links.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

using guitest::StartFolder;
using guitest::whenModal;

namespace {

const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.35");
const QString kOther = QStringLiteral("worldwind://goto/world=Earth&lat=-1&lon=1");
const QString kNoPlacename = QStringLiteral("No placename to add, use worldwind, and copy a location");
const QStringList kFour = {QStringLiteral("A\tworldwind://a\tone"), QStringLiteral("B\tworldwind://b\ttwo"),
                           QStringLiteral("C\t\tthree"), QStringLiteral("D\tworldwind://d\tfour")};

struct Window : guitest::ShownWindow {
    explicit Window(const QStringList& rows = kFour) : ShownWindow(rows) {}
};

QWidget* control(Form1& f, const QString& name)
{
    const std::pair<const char*, QWidget*> names[] = {
        {"Text1", f.Text1},         {"Text2", f.Text2},       {"Text3", f.Text3},       {"Command9", f.Command9},
        {"Command12", f.Command12}, {"Command4", f.Command4}, {"Command3", f.Command3}, {"Command7", f.Command7},
        {"Command11", f.Command11}, {"logList", f.logList},   {"Command6", f.Command6}, {"Command5", f.Command5}};
    for (const auto& [n, w] : names)
        if (name == QLatin1String(n))
            return w;
    return nullptr;
}

}  // namespace

class TestEditing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyLook(*qApp); }

    // What the capture leaves (see test_capture) it leaves untouched, unlogged.
    void clipboardTextThatIsNotALinkStays()
    {
        Window w;
        const int logLines = w->logList->count();
        Clipboard::setFakeText(QStringLiteral("http://example.org"));
        w->getUrlFromClipboard();
        QCOMPARE(Clipboard::text(), QStringLiteral("http://example.org"));
        QCOMPARE(Clipboard::emptied(), QStringList());
        QCOMPARE(w->logList->count(), logLines);
        QCOMPARE(w->List1->count(), 4);
    }

    void capturedLinkFillsTheDialog()
    {
        const QString text = kLink + "\r\nsecond line";
        Window w;
        w.clickRow(1);
        QVERIFY(w.selectionButtonsEnabled());
        w.dialog()->Option2->setChecked(true);
        w.dialog()->Text3->setText(QStringLiteral("left from before"));
        Clipboard::setFakeText(text);
        QStringList shown;
        bool cleared = false;
        whenModal([&](QWidget* modal) {
            QCOMPARE(modal, w.dialog());
            shown = {w.dialog()->Text1->text(), w.dialog()->Text2->text(), w.dialog()->Text3->text()};
            QVERIFY(w.dialog()->Option1->isChecked());
            // Before the dialog opened: clipboard emptied, selection cleared,
            // Update and Remove off, the other three as they were.
            cleared = !Clipboard::hasText() && w->List1->selectedRow() == -1 && !w->Command1->isEnabled()
                      && !w->Command8->isEnabled() && w->Command9->isEnabled();
            QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
        });
        w->update();  // a repaint of the window runs the capture
        QTRY_COMPARE(w->List1->count(), 5);
        QCOMPARE(shown, (QStringList{text, "<Enter a name>", ""}));
        QVERIFY(cleared);
        QCOMPARE(Clipboard::emptied(), QStringList{text});
        QCOMPARE(w->logList->item(w->logList->count() - 1)->text(), QStringLiteral("getting url from clipboard "));
        QCOMPARE(w->List1->row(4), makeRow(u"<Enter a name>", text, u""));
        QCOMPARE(w->List1->selectedRow(), -1);
        QCOMPARE(w->windowTitle(), QStringLiteral("WorldWind Velmora (modified)"));
    }

    void captureEndings_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("edited and added") << "edit"
                                          << "Paris\tworldwind://edited\tcapital" << QStringList();
        QTest::newRow("link emptied") << "empty link"
                                      << "" << QStringList{kNoPlacename};
        QTest::newRow("cancelled") << "cancel"
                                   << "" << QStringList();
        QTest::newRow("close box") << "close"
                                   << "" << QStringList();
    }

    void captureEndings()
    {
        QFETCH(QString, ending);
        QFETCH(QString, row);
        QFETCH(QStringList, messages);
        Window w;
        Clipboard::setFakeText(kLink);
        whenModal([&](QWidget*) {
            Form2* d = w.dialog();
            if (ending == "close") {
                d->close();
                return;
            }
            d->Text1->setText(ending == "edit" ? QStringLiteral("worldwind://edited") : QString());
            d->Text2->setText(QStringLiteral("Paris"));
            d->Text3->setText(QStringLiteral("capital"));
            QTest::mouseClick(ending == "cancel" ? d->cmdCancel : d->cmdAdd, Qt::LeftButton);
        });
        w->getUrlFromClipboard();
        QCOMPARE(w->List1->count(), row.isEmpty() ? 4 : 5);
        if (!row.isEmpty())
            QCOMPARE(w->List1->row(4), row);
        QCOMPARE(w->isModified(), !row.isEmpty());
        QCOMPARE(MessageBox::history(), messages);
        QVERIFY(!Clipboard::hasText());
    }

    void linkCopiedWhileTheDialogIsOpenReplacesItsContents()
    {
        Window w;
        Clipboard::setFakeText(kLink);
        QString nameAfterRefill;
        whenModal([&](QWidget* modal) {
            w.dialog()->Text2->setText(QStringLiteral("typed for the first"));
            Clipboard::setFakeText(kOther);
            w->update();
            QTRY_COMPARE(w.dialog()->Text1->text(), kOther);
            nameAfterRefill = w.dialog()->Text2->text();
            QCOMPARE(QApplication::activeModalWidget(), modal);  // not shown a second time
            QCOMPARE(w->List1->count(), 4);                      // the nested run added nothing
            QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
        });
        w->getUrlFromClipboard();
        QCOMPARE(nameAfterRefill, QStringLiteral("<Enter a name>"));
        QCOMPARE(w->List1->count(), 5);
        QCOMPARE(w->List1->row(4), makeRow(u"<Enter a name>", kOther, u""));
        QCOMPARE(Clipboard::emptied(), (QStringList{kLink, kOther}));
    }

    void repaintsRunTheCaptureOncePerBurst()
    {
        Window w;
        const int before = w->paintHookRuns();
        w->update();
        w->centralWidget()->repaint();
        QEvent activate(QEvent::WindowActivate);  // sent, not posted: ours to free
        QApplication::sendEvent(&w.form, &activate);
        QTRY_COMPARE(w->paintHookRuns(), before + 1);
        // A control drawing itself is no repaint of the window.
        w->Command5->repaint();
        w->Text2->update();
        QTest::qWait(30);
        QCOMPARE(w->paintHookRuns(), before + 1);
    }

    void addWithALinkWaitingShowsTwoDialogsInOrder()
    {
        Window w;
        Clipboard::setFakeText(kLink);
        QStringList showings;
        whenModal([&](QWidget*) {
            showings << w.dialog()->Text1->text();
            w.dialog()->Text2->setText(QStringLiteral("Paris"));
            whenModal([&](QWidget*) {
                showings << w.dialog()->Text1->text() + " / " + w.dialog()->Text2->text();
                QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
            });
            QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
        });
        w.click(w->Command7);
        QCOMPARE(showings, (QStringList{kLink, kLink + " / Paris"}));
        QCOMPARE(w->List1->count(), 6);
        QCOMPARE(w->List1->row(4), makeRow(u"Paris", kLink, u""));
        QCOMPARE(w->List1->row(5), w->List1->row(4));
    }

    void addShowsTheDialogAsLastLeft()
    {
        Window w;
        QStringList firstShowing;
        QWidget* focus = nullptr;
        whenModal([&](QWidget*) {
            firstShowing = {w.dialog()->Text1->text(), w.dialog()->Text2->text(), w.dialog()->Text3->text()};
            focus = QApplication::focusWidget();
            QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
        });
        w.click(w->Command7);
        QCOMPARE(firstShowing, (QStringList{"", "Noname", ""}));
        QCOMPARE(focus, w.dialog()->Text3);
        QCOMPARE(MessageBox::history(), QStringList{kNoPlacename});
        QCOMPARE(w->List1->count(), 4);
        QVERIFY(!w->isModified());

        // A second Add shows what the first one left, and adds it again.
        for (int i = 0; i < 2; ++i) {
            whenModal([&](QWidget*) {
                if (i == 0) {
                    w.dialog()->Option2->setChecked(true);
                    w.dialog()->latDeg->setText(QStringLiteral("1"));
                    w.dialog()->Text2->setText(QStringLiteral("One"));
                }
                QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
            });
            w.click(w->Command7);
        }
        QCOMPARE(w->List1->count(), 6);
        QCOMPARE(w->List1->row(4), QStringLiteral("One\tworldwind://goto/world=Earth&lat=1&lon=0\t"));
        QCOMPARE(w->List1->row(5), w->List1->row(4));

        // Cancel and the close box add nothing and say nothing.
        MessageBox::clearHistory();
        whenModal([&](QWidget*) { QTest::mouseClick(w.dialog()->cmdCancel, Qt::LeftButton); });
        w.click(w->Command7);
        whenModal([&](QWidget*) { w.dialog()->close(); });
        w.click(w->Command7);
        QCOMPARE(w->List1->count(), 6);
        QCOMPARE(MessageBox::history(), QStringList());
    }

    void update()
    {
        Window w;
        w->Command1_Click();  // no row selected (as after a save reloaded the list)
        QCOMPARE(MessageBox::history(), QStringList{"Choose an entry to modify"});

        w.clickRow(2);  // its link is empty
        w.click(w->Command1);
        QCOMPARE(MessageBox::history().last(), kNoPlacename);
        QCOMPARE(w->List1->row(2), kFour[2]);
        QVERIFY(!w->isModified());

        w.clickRow(1);
        QCOMPARE(w.fields(), (QStringList{"worldwind://b", "B", "two"}));
        w->Text2->setText(QString());
        w->Text3->setText(QStringLiteral("tab\there"));
        w.click(w->Command1);
        QCOMPARE(w->List1->row(1), QStringLiteral("\tworldwind://b\ttab here"));
        QCOMPARE(w->List1->selectedRow(), 1);
        QVERIFY(w->isModified());
        // Pressing Update ended the selection: it acted, then the buttons went off.
        QTRY_VERIFY(!w.selectionButtonsEnabled());
        QCOMPARE(w.fields(), (QStringList{"worldwind://b", "", "tab\there"}));
    }

    // Up and Down, by button or by Ctrl and an arrow: the place moves and
    // stays selected, the boxes show it (not what was typed), the buttons
    // stay on. Where the list ends nothing moves.
    void upAndDownMoveTheSelectedPlace()
    {
        using Press = std::function<void(Window&)>;
        const Press up = [](Window& w) { w.click(w->Command9); };
        const Press down = [](Window& w) { w.click(w->Command10); };
        const Press ctrlUp = [](Window& w) { QTest::keyClick(w->List1, Qt::Key_Up, Qt::ControlModifier); };
        const Press ctrlDown = [](Window& w) { QTest::keyClick(w->List1, Qt::Key_Down, Qt::ControlModifier); };
        const struct {
            const char* what;
            int from;
            Press press;
            int to;
        } cases[] = {
            {"Up", 3, up, 2},
            {"Down", 1, down, 2},
            {"Ctrl+Up", 1, ctrlUp, 0},
            {"Ctrl+Down", 1, ctrlDown, 2},
            {"Up at the top", 0, up, 0},
            {"Ctrl+Down at the end", 3, ctrlDown, 3},
        };
        for (const auto& c : cases) {
            Window w;
            w.clickRow(c.from);
            if (c.from != c.to)
                w->Text2->setText(QStringLiteral("edited, not updated"));
            c.press(w);
            QStringList rows = kFour;
            rows.move(c.from, c.to);
            QVERIFY2(w->List1->rows() == rows, c.what);
            QVERIFY2(w->List1->selectedRow() == c.to, c.what);
            const RowFields moved = splitRow(kFour[c.from]);
            QCOMPARE(w.fields(), (QStringList{moved.link, moved.name, moved.comment}));
            QVERIFY2(w.selectionButtonsEnabled(), c.what);
            QCOMPARE(w->isModified(), c.from != c.to);
        }
    }

    void removeTheLastRow()
    {
        Window w;
        Clipboard::setFakeText(QStringLiteral("kept"));
        w.dialog()->Text2->setText(QStringLiteral("in the dialog"));
        w.clickRow(3);
        w.click(w->Command8);
        QCOMPARE(w->List1->rows(), kFour.mid(0, 3));
        QCOMPARE(w->List1->selectedRow(), -1);
        QCOMPARE(w.fields(), (QStringList{"", "Noname", ""}));
        QCOMPARE(w.dialog()->Text2->text(), QStringLiteral("Noname"));
        QVERIFY(w->isModified());
        QCOMPARE(Clipboard::text(), QStringLiteral("kept"));
        QTRY_VERIFY(!w.selectionButtonsEnabled());

        w->journal()->history().markSaved();
        w->Command8_Click();  // nothing selected
        QCOMPARE(w->List1->count(), 3);
        QVERIFY(!w->isModified());
    }

    void clearDiscardsAWaitingLink()
    {
        Window w;
        w.clickRow(1);
        w->Text2->setText(QStringLiteral("typed"));
        w.dialog()->Text1->setText(kOther);
        Clipboard::setFakeText(kLink);
        w.click(w->Command5);
        QCOMPARE(Clipboard::emptied(), QStringList{kLink});
        QCOMPARE(w.fields(), (QStringList{"", "Noname", ""}));
        QCOMPARE(w.dialog()->Text1->text(), QString());
        QCOMPARE(w->List1->rows(), kFour);
        QCOMPARE(w->List1->selectedRow(), 1);
        QVERIFY(!w->isModified());
        w->getUrlFromClipboard();  // nothing left to capture: no dialog
        QCOMPARE(w->List1->count(), 4);
    }

    void arrowKeysSelectLikeClicks()
    {
        Window w;
        w.clickRow(0);
        QTest::keyClick(w->List1, Qt::Key_Down);
        QCOMPARE(w->List1->selectedRow(), 1);
        QCOMPARE(w.fields(), (QStringList{"worldwind://b", "B", "two"}));
        QTest::keyClick(w->List1, Qt::Key_Down);
        QCOMPARE(w.fields(), (QStringList{"", "C", "three"}));
        QTest::keyClick(w->List1, Qt::Key_Up);
        QCOMPARE(w.fields(), (QStringList{"worldwind://b", "B", "two"}));
        QVERIFY(w.selectionButtonsEnabled());
    }

    void leavingTheList_data()
    {
        QTest::addColumn<QStringList>("path");  // the controls the focus passes through after the list
        QTest::addColumn<bool>("ended");
        QTest::newRow("to the name box") << QStringList{"Text2"} << false;
        QTest::newRow("through keepers") << QStringList{"Text1",     "Text3",    "Command9",
                                                        "Command12", "Command4", "Command3"}
                                         << false;
        QTest::newRow("to Add") << QStringList{"Command7"} << true;
        QTest::newRow("via the name box to Save") << QStringList{"Text2", "Command11"} << true;
        QTest::newRow("to the log") << QStringList{"logList"} << true;
        QTest::newRow("to the log toggle") << QStringList{"Command6"} << true;
        QTest::newRow("to Clear") << QStringList{"Command5"} << true;
    }

    void leavingTheList()
    {
        QFETCH(QStringList, path);
        QFETCH(bool, ended);
        Window w;
        w->Command6_Click();  // the log panel shown, so that the log can take the focus
        w.clickRow(1);
        for (const QString& name : path) {
            QWidget* target = control(*w, name);
            QVERIFY2(target, qPrintable(name));
            target->setFocus(Qt::TabFocusReason);
        }
        QTest::qWait(20);
        QCOMPARE(w.selectionButtonsEnabled(), !ended);
        QCOMPARE(w->List1->selectedRow(), 1);  // the selection itself stays
        QCOMPARE(w.fields()[1], QStringLiteral("B"));
    }

    void focusInAnotherWindowDoesNotEndTheSelection()
    {
        Window w;
        w.clickRow(1);
        QWidget* focusInDialog = nullptr;
        whenModal([&](QWidget*) {
            focusInDialog = QApplication::focusWidget();
            QTest::mouseClick(w.dialog()->cmdCancel, Qt::LeftButton);
        });
        w.dialog()->showModal();
        QTest::qWait(20);
        QCOMPARE(focusInDialog, w.dialog()->Text3);
        QVERIFY(w.selectionButtonsEnabled());
    }

    void aFullJournalTakesNoMore()
    {
        QStringList full;
        for (int i = 0; i < kMaxRows; ++i)
            full << QStringLiteral("p%1\tworldwind://goto/world=Earth&lat=1&lon=2\t").arg(i);
        Window w(full);
        const QString message = QStringLiteral("The journal is full");

        Clipboard::setFakeText(kLink);
        w->getUrlFromClipboard();  // no dialog: the message at once
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history().last().startsWith(message));
        QVERIFY(!Clipboard::hasText());

        w.click(w->Command7);
        QCOMPARE(MessageBox::history().size(), 2);
        QVERIFY(MessageBox::history().last().startsWith(message));

        // Add with a location waiting: the capture it runs first says it, once.
        Clipboard::setFakeText(kOther);
        w.click(w->Command7);
        QCOMPARE(MessageBox::history().size(), 3);
        QVERIFY(!Clipboard::hasText());
        QCOMPARE(w->List1->count(), kMaxRows);
        QVERIFY(!w->isModified());
    }

    void aPlaceCopiedDuringASaveIsCapturedAfterIt()
    {
        Window w;
        w->journal()->history().move(0, 1);    // unsaved changes
        MessageBox::setNonInteractive(false);  // the save's box is up, as for the user
        QPointer<QWidget> saveBox;
        bool duringSave = true;
        // Answers the Add a place dialog whenever it comes, during the save or after it.
        int looks = 300;
        std::function<void(QWidget*)> answer = [&](QWidget* modal) {
            if (modal != w.dialog()) {
                if (--looks > 0)
                    whenModal(answer);
                return;
            }
            duringSave = saveBox && saveBox->isVisible();
            w.dialog()->Text2->setText(QStringLiteral("Louvre"));
            QTest::mouseClick(w.dialog()->cmdAdd, Qt::LeftButton);
        };
        whenModal([&](QWidget* box) {
            saveBox = box;
            whenModal(answer);
            Clipboard::setFakeText(kLink);
            const int runs = w->paintHookRuns();
            w->update();
            QTest::qWait(100);
            QVERIFY(w->paintHookRuns() > runs);
            qobject_cast<QDialog*>(box)->accept();
        });
        w.click(w->Command11);
        QTRY_COMPARE(w->List1->count(), 5);
        QVERIFY(!duringSave);
        QCOMPARE(w->List1->row(4), makeRow(u"Louvre", kLink, u""));
        QVERIFY(w->isModified());
    }

    // The clipboard's own part of the rule (see test_capture): what comes
    // back within kRefillMs of our emptying is put back, later it is new.
    void aLocationPutBackRightAwayIsNotTakenAgain()
    {
        Window w;
        int shown = 0;
        const auto capture = [&](bool dialogExpected) {
            whenModal(
                [&](QWidget*) {
                    ++shown;
                    QTest::mouseClick(w.dialog()->cmdCancel, Qt::LeftButton);
                },
                20);
            w->getUrlFromClipboard();
            if (!dialogExpected)
                QTest::qWait(300);  // the watch for a dialog has given up
        };
        Clipboard::setFakeText(kLink);
        capture(true);
        Clipboard::setFakeText(kLink);  // a clipboard manager puts it back
        capture(false);
        Clipboard::advanceFakeClock(Clipboard::kRefillMs + 1);
        Clipboard::setFakeText(kLink);  // copied again by the user
        capture(true);
        QCOMPARE(shown, 2);
        QCOMPARE(Clipboard::emptied(), (QStringList{kLink, kLink}));
    }

    void emptyAreaAndCtrlClickEndTheSelection()
    {
        Window w;
        QWidget* rows = w->List1->viewport();
        w.clickRow(1);
        QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(5, rows->height() - 3));
        QCOMPARE(w->List1->selectedRow(), -1);
        QVERIFY(!w.selectionButtonsEnabled());
        w.clickRow(2);
        QVERIFY(w.selectionButtonsEnabled());
        QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier,
                          w->List1->visualRect(w->List1->model()->index(2, 0)).center());
        QCOMPARE(w->List1->selectedRow(), -1);
        QVERIFY(!w.selectionButtonsEnabled());
    }

    void keyboard()
    {
        Window w;
        w.clickRow(1);
        JournalList* list = w->List1;
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(Shell::history().size(), 1);
        QCOMPARE(Shell::history()[0].target, QStringLiteral("worldwind://b"));

        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->rows(), (QStringList{kFour[0], kFour[2], kFour[3]}));
        QCOMPARE(w->List1->selectedRow(), -1);
        QVERIFY(!w.selectionButtonsEnabled());
        QCOMPARE(w.fields(), (QStringList{"", "Noname", ""}));
        // Without a selection the keys do nothing.
        for (const int key : {int(Qt::Key_Delete), int(Qt::Key_Return)})
            QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(list->count(), 3);
        QCOMPARE(Shell::history().size(), 1);

        // Enter presses the button that has the focus.
        bool opened = false;
        whenModal([&](QWidget*) {
            opened = true;
            QTest::mouseClick(w.dialog()->cmdCancel, Qt::LeftButton);
        });
        w->Command7->setFocus();
        QTest::keyClick(w->Command7, Qt::Key_Return);
        QVERIFY(opened);
    }

    // Start-up reads the journal beside the window: what comes before the
    // rows are in the list waits for them.
    void aLocationCopiedAtStartUpJoinsTheJournalRead()
    {
        Clipboard::setFake(true);
        Clipboard::clearHistory();
        StartFolder start;
        start.write("velmora.ini", guitest::kSettings);
        start.write("velmora.js", journal::journalBytes(kFour));
        Clipboard::setFakeText(kLink);
        Form1 form;
        int rowsWhenAsked = -1;
        whenModal([&](QWidget* modal) {
            QCOMPARE(modal, form.form2());
            rowsWhenAsked = form.List1->count();
            form.form2()->Text2->setText(QStringLiteral("Paris"));
            QTest::mouseClick(form.form2()->cmdAdd, Qt::LeftButton);
        });
        form.Form_Load();
        QVERIFY(form.journal()->isOpening());
        form.getUrlFromClipboard();  // a repaint before the rows are read waits
        QCOMPARE(Clipboard::emptied(), QStringList());
        form.show();
        QTRY_COMPARE(form.List1->count(), 5);
        QCOMPARE(rowsWhenAsked, 4);
        QCOMPARE(form.List1->rows().mid(0, 4), kFour);
        QCOMPARE(form.List1->row(4), makeRow(u"Paris", kLink, u""));
        QCOMPARE(Clipboard::emptied(), QStringList{kLink});
        Clipboard::setFake(false);
    }

    void aSaveClickedBeforeTheJournalIsReadSavesIt()
    {
        StartFolder start;
        start.write("velmora.ini", guitest::kSettings);
        const QByteArray bytes = journal::journalBytes(kFour);
        start.write("velmora.js", bytes);
        Form1 form;
        form.Form_Load();
        QVERIFY(form.journal()->isOpening());
        MessageBox::clearHistory();
        QTest::mouseClick(form.Command11, Qt::LeftButton);
        QCOMPARE(form.List1->rows(), kFour);
        QCOMPARE(start.read("velmora.js"), bytes);
        QVERIFY2(!MessageBox::history().isEmpty()
                     && MessageBox::history().first().contains(QStringLiteral("placenames")),
                 qPrintable(MessageBox::history().join(u'|')));
    }

    // A Sort is one step: undone, the order and the selected place return.
    void sortIsOneStepOfTheHistory()
    {
        const QStringList rows = {makeRow(u"b", kLink, u""), makeRow(u"c", kOther, u""), makeRow(u"a", kLink, u"")};
        Window w(rows);
        w.clickRow(0);
        w->mnuEditSortName->trigger();
        QCOMPARE(w->List1->rows(), QStringList({rows[2], rows[0], rows[1]}));
        QCOMPARE(w->List1->selectedRow(), 1);
        QCOMPARE(w->mnuEditUndo->text(), QStringLiteral("Undo Sort by name"));
        QVERIFY(w->isModified());
        w->mnuEditUndo->trigger();
        QCOMPARE(w->List1->rows(), rows);
        QCOMPARE(w->List1->selectedRow(), 0);
        QVERIFY(!w->isModified());

        w->mnuEditSortDistance->trigger();  // from "b", where "a" is too
        QCOMPARE(w->List1->rows(), QStringList({rows[0], rows[2], rows[1]}));
        QCOMPARE(w->mnuEditUndo->text(), QStringLiteral("Undo Sort by distance from \"b\""));
    }

    // Ctrl+F, typing, Enter, F3 and Shift+F3 through names, comments and
    // coordinates; the found place selected as if clicked; notes in the box.
    void findSelectsPlacesAsIfClicked()
    {
        const QStringList rows = {makeRow(u"Berlin", links::linkFor(52.52, 13.405), u"capital"),
                                  makeRow(u"Zürich", links::linkFor(47.3769, 8.5417), u"lake"),
                                  makeRow(u"Bern", links::linkFor(46.948, 7.447), u"river"),
                                  makeRow(u"Lucerne", links::linkFor(47.05, 8.31), u"an hour from ZURICH")};
        Window w(rows);
        QTest::keyClick(w->List1, Qt::Key_F, Qt::ControlModifier);
        FindBox* box = w->findChild<FindBox*>();
        QVERIFY(box);
        QTRY_VERIFY(box->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), box->findText);

        struct Step {
            const char* what;
            std::function<void()> keys;
            int row;
            const char* note;
        };
        const auto type = [box](const char* text) {
            return [box, text] {
                box->findText->selectAll();
                QTest::keyClicks(box->findText, QString::fromUtf8(text));
            };
        };
        const auto key = [box](Qt::Key k, Qt::KeyboardModifiers m = {}) {
            return [box, k, m] { QTest::keyClick(box->findText, k, m); };
        };
        const Step steps[] = {
            {"typing finds a name", type("zurich"), 1, ""},
            {"Enter: a comment", key(Qt::Key_Return), 3, ""},
            {"F3 goes round", key(Qt::Key_F3), 1, "Passed the end: went on from the top"},
            {"Shift+F3 goes back round", key(Qt::Key_F3, Qt::ShiftModifier), 3, "Passed the top: went on from the end"},
            {"coordinates", type("46.948"), 2, ""},
            {"nothing found keeps the place", type("Quito"), 2, "No place matches"},
        };
        for (const Step& s : steps) {
            s.keys();
            QVERIFY2(w->List1->selectedRow() == s.row, s.what);
            QCOMPARE(box->note->text(), QString::fromUtf8(s.note));
            QCOMPARE(w.fields(), QStringList({splitRow(rows[s.row]).link, splitRow(rows[s.row]).name,
                                              splitRow(rows[s.row]).comment}));
            QVERIFY2(w.selectionButtonsEnabled(), s.what);
            QVERIFY(box->isVisible());
        }
        QCOMPARE(MessageBox::history(), QStringList());

        // Escape: back in the list, the found place still selected; Remove
        // then removes it.
        QTest::keyClick(box->findText, Qt::Key_Escape);
        QVERIFY(!box->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->List1));
        QCOMPARE(w->List1->selectedRow(), 2);
        w.click(w->Command8);
        QCOMPARE(w->List1->rows(), QStringList({rows[0], rows[1], rows[3]}));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
