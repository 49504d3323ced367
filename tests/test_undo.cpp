// Undo and redo of the list: the Edit menu's keys in the window through
// all seven kinds of change, with the journal saved byte for byte, and a
// history that ends where the list is read again.

#include "dialogs/form2.h"
#include "exchange/places.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/clipboard.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "worldwind/links.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

using guitest::StartFolder;
using guitest::whenModal;

namespace {

QString place(const char* name, double lat)
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, 2), u"");
}

const QString A = place("Alpha", 1), B = place("Bravo", 2), C = place("Charlie", 3);

bool logSays(const Form1& form, const char* text)
{
    return !form.logList->findItems(QString::fromUtf8(text), Qt::MatchContains).isEmpty();
}

}  // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void theEditMenuWalksThroughSevenKindsOfChange()
    {
        StartFolder start;
        Clipboard::setFake(true);
        start.write("velmora.js", journal::journalBytes({A, B, C}));
        const QByteArray original = start.read("velmora.js");
        Form1 form;
        guitest::loadWindow(start, form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::qWait(20);
        Form2* dialog = form.form2();
        QCOMPARE(form.mnuEdit->title(), QStringLiteral("Edit"));
        QVERIFY(!form.mnuEditUndo->isEnabled());

        QList<QStringList> states{form.List1->rows()};
        QStringList texts;
        const auto record = [&] {
            states << form.List1->rows();
            texts << form.mnuEditUndo->text();
        };
        whenModal([&](QWidget*) {
            dialog->Text1->setText(links::linkFor(4, 2));
            dialog->Text2->setText(QStringLiteral("Delta"));
            QTest::mouseClick(dialog->cmdAdd, Qt::LeftButton);
        });
        QTest::mouseClick(form.Command7, Qt::LeftButton);
        record();
        Clipboard::setFakeText(links::linkFor(5, 2));
        whenModal([&](QWidget*) {
            dialog->Text2->setText(QStringLiteral("Echo"));
            QTest::mouseClick(dialog->cmdAdd, Qt::LeftButton);
        });
        form.getUrlFromClipboard();
        record();
        form.List1->selectRow(0);
        form.Text3->setText(QStringLiteral("edited"));
        form.Command1_Click();
        record();
        form.List1->selectRow(1);
        form.Command8_Click();
        record();
        form.List1->selectRow(2);
        form.Command9_Click();
        record();
        form.List1->selectRow(1);
        form.Command10_Click();
        record();
        start.write("in.kml", exchange::kmlBytes({place("Foxtrot", 6)}));
        QVERIFY(form.importPlaces(start.path("in.kml")));
        record();
        QCOMPARE(texts, (QStringList{"Undo Add \"Delta\"", "Undo Add copied place \"Echo\"", "Undo Update \"Alpha\"",
                                     "Undo Remove \"Bravo\"", "Undo Up \"Delta\"", "Undo Down \"Delta\"",
                                     "Undo Import from in.kml"}));
        QVERIFY(form.isModified());

        // Back to the saved journal: the modified mark goes with the last undo.
        QApplication::setActiveWindow(&form);  // again, after the dialogs
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.List1->setFocus();
        for (int i = 6; i >= 0; --i) {
            QTest::keyClick(form.List1, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(form.List1->rows(), states[i]);
            QCOMPARE(form.isModified(), i > 0);
        }
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        QVERIFY(!form.mnuEditUndo->isEnabled());
        form.mnuFileSave->trigger();
        QCOMPARE(start.read("velmora.js"), original);

        // And forward again, with both keys for Redo.
        for (int i = 1; i <= 7; ++i) {
            QTest::keyClick(form.List1, i % 2 ? Qt::Key_Y : Qt::Key_Z,
                            i % 2 ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(form.List1->rows(), states[i]);
            QVERIFY(form.isModified());
        }
        form.mnuFileSave->trigger();
        QCOMPARE(start.read("velmora.js"), journal::journalBytes(states[7]));
        QVERIFY(!form.isModified());
        // The saved step is the clean one, wherever it lies in the history.
        QTest::keyClick(form.List1, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(form.isModified());
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora (modified)"));
        QTest::keyClick(form.List1, Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(!form.isModified());
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        Clipboard::setFake(false);
    }

    void undoPutsTheSelectionAndTheFieldsBack()
    {
        StartFolder start;
        start.write("velmora.js", journal::journalBytes({A, B, C}));
        Form1 form;
        guitest::loadWindow(start, form);
        const auto shows = [&](int row, const QString& name, const QString& comment) {
            QCOMPARE(form.List1->selectedRow(), row);
            QCOMPARE(form.Text2->text(), name);
            QCOMPARE(form.Text3->text(), comment);
            QCOMPARE(form.Command1->isEnabled(), row >= 0);
        };
        // Charlie up and back, then updated: Bravo stays.
        form.List1->selectRow(2);
        form.Command9_Click();
        form.mnuEditUndo->trigger();
        shows(2, QStringLiteral("Charlie"), QString());
        form.Text3->setText(QStringLiteral("seen"));
        form.Command1_Click();
        const QString seen = makeRow(u"Charlie", links::linkFor(3, 2), u"seen");
        form.mnuFileSave->trigger();
        QCOMPARE(start.read("velmora.js"), journal::journalBytes({A, B, seen}));

        // Undo of Update shows the text it put back; redo the text again.
        form.mnuEditUndo->trigger();
        shows(2, QStringLiteral("Charlie"), QString());
        form.mnuEditRedo->trigger();
        shows(2, QStringLiteral("Charlie"), QStringLiteral("seen"));
        // Remove: the row comes back selected, and goes again with nothing selected.
        form.List1->selectRow(0);
        form.Command8_Click();
        form.mnuEditUndo->trigger();
        shows(0, QStringLiteral("Alpha"), QString());
        form.mnuEditRedo->trigger();
        shows(-1, QStringLiteral("Noname"), QString());
    }

    void aSaveWhoseTextsComeBackChangedTellsBeforeItChangesTheList()
    {
        StartFolder start;
        start.write("velmora.js", journal::journalBytes({A}));
        Form1 form;
        guitest::loadWindow(start, form);
        form.List1->selectRow(0);
        form.Text2->setText(QStringLiteral("&lt;"));
        form.Command1_Click();
        QString caption, lastLog;
        QStringList rows;
        MessageBox::setAnswerHook([&] {
            caption = form.windowTitle();
            lastLog = form.logList->item(form.logList->count() - 1)->text();
            rows = form.List1->rows();
        });
        form.mnuFileSave->trigger();
        MessageBox::setAnswerHook({});
        QCOMPARE(caption, QStringLiteral("WorldWind Velmora (modified)"));
        QVERIFY(!lastLog.contains(QLatin1String("read from the journal again")));
        QCOMPARE(rows, QStringList{makeRow(u"&lt;", links::linkFor(1, 2), u"")});
        QCOMPARE(form.List1->rows(), QStringList{makeRow(u"<", links::linkFor(1, 2), u"")});
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        QVERIFY(!logSays(form, "cannot be undone"));
        QVERIFY(form.mnuEditUndo->isEnabled());  // the history survives our own save
    }

    void aJournalReadAgainForgetsTheHistory()
    {
        StartFolder start;
        start.write("velmora.js", journal::journalBytes({A, B, C}));
        Form1 form;
        guitest::loadWindow(start, form);
        form.List1->selectRow(1);
        form.Command8_Click();
        form.mnuFileSave->trigger();
        QVERIFY(form.mnuEditUndo->isEnabled());
        QVERIFY(!logSays(form, "cannot be undone"));
        QTest::qWait(300);  // our own save is not another writer's
        QVERIFY(textfile::writeAtomically(start.path("velmora.js"), journal::journalBytes({C})));
        QTRY_COMPARE(form.List1->rows(), QStringList{C});
        QVERIFY(logSays(form, "the changes before cannot be undone"));
        QCOMPARE(form.undoStack()->count(), 0);
        QVERIFY(!form.mnuEditUndo->isEnabled());
    }
};

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
