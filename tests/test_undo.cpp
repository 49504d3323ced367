// Undo and redo in the window: the Edit menu names each change made through
// the window's own commands, its keys walk the history, and after each step
// the selection, the boxes and the caption show where it stands. The rows
// and the bytes each step puts back are checked on the journal.

#include "exchange/places.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "shownwindow.h"
#include "worldwind/links.h"

#include <QAction>
#include <QMenu>
#include <QUndoStack>

#include <functional>

using guitest::ShownWindow;
using guitest::whenModal;

namespace {

QString place(const char* name, double lat)
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, 2), u"");
}

const QString A = place("Alpha", 1), B = place("Bravo", 2), C = place("Charlie", 3);
const QString kCaption = QStringLiteral("WorldWind Velmora");
const QString kModified = QStringLiteral("WorldWind Velmora (modified)");

// The selected row and the name and comment boxes.
struct Shown {
    int row;
    const char* name;
    const char* comment;
};

void addThroughTheDialog(ShownWindow& w, const char* name)
{
    whenModal([&w, name](QWidget*) {
        w.dialog()->Text2->setText(QString::fromUtf8(name));
        ShownWindow::click(w.dialog()->cmdAdd);
    });
}

}  // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void eachCommandIsOneStepTheKeysWalk()
    {
        using Act = std::function<void(ShownWindow&)>;
        const auto select = [](int row, Act then) {
            return [row, then](ShownWindow& w) {
                w->List1->selectRow(row);
                then(w);
            };
        };
        const struct {
            const char* what;
            Act act;
            const char* undo;
            Shown afterUndo, afterRedo;
        } cases[] = {
            {"Add",
             [](ShownWindow& w) {
                 w.dialog()->Text1->setText(links::linkFor(4, 2));
                 addThroughTheDialog(w, "Delta");
                 w.click(w->Command7);
             },
             "Undo Add \"Delta\"",
             {-1, "Noname", ""},
             {-1, "Noname", ""}},
            {"a captured place",
             [](ShownWindow& w) {
                 Clipboard::setFakeText(links::linkFor(5, 2));
                 addThroughTheDialog(w, "Echo");
                 w->getUrlFromClipboard();
             },
             "Undo Add copied place \"Echo\"",
             {-1, "Noname", ""},
             {-1, "Noname", ""}},
            {"Update",
             select(0,
                    [](ShownWindow& w) {
                        w->Text3->setText(QStringLiteral("seen"));
                        w->Command1_Click();
                    }),
             "Undo Update \"Alpha\"",
             {0, "Alpha", ""},
             {0, "Alpha", "seen"}},
            {"Remove",
             select(1, [](ShownWindow& w) { w->Command8_Click(); }),
             "Undo Remove \"Bravo\"",
             {1, "Bravo", ""},
             {-1, "Noname", ""}},
            {"Up",
             select(2, [](ShownWindow& w) { w->Command9_Click(); }),
             "Undo Up \"Charlie\"",
             {2, "Charlie", ""},
             {1, "Charlie", ""}},
            {"Down",
             select(1, [](ShownWindow& w) { w->Command10_Click(); }),
             "Undo Down \"Bravo\"",
             {1, "Bravo", ""},
             {2, "Bravo", ""}},
            {"Import",
             [](ShownWindow& w) {
                 w.start.write("in.kml", exchange::kmlBytes({place("Foxtrot", 6)}));
                 QVERIFY(w->importPlaces(w.start.path("in.kml")));
             },
             "Undo Import from in.kml",
             {-1, "Noname", ""},
             {-1, "Noname", ""}},
        };
        for (const auto& c : cases) {
            ShownWindow w({A, B, C});
            QCOMPARE(w->mnuEdit->title(), QStringLiteral("Edit"));
            QVERIFY(!w->mnuEditUndo->isEnabled());
            c.act(w);
            const QStringList after = w->List1->rows();
            QVERIFY2(after != (QStringList{A, B, C}), c.what);
            QCOMPARE(w->mnuEditUndo->text(), QString::fromUtf8(c.undo));
            QCOMPARE(w->windowTitle(), kModified);

            const auto shows = [&](const Shown& s, const QStringList& rows, const QString& caption) {
                QVERIFY2(w->List1->rows() == rows, c.what);
                QVERIFY2(w->List1->selectedRow() == s.row, c.what);
                QCOMPARE(w->Text2->text(), QString::fromUtf8(s.name));
                QCOMPARE(w->Text3->text(), QString::fromUtf8(s.comment));
                QCOMPARE(w->Command1->isEnabled(), s.row >= 0);
                QCOMPARE(w->windowTitle(), caption);
            };
            w.activate();
            QTest::keyClick(w->List1, Qt::Key_Z, Qt::ControlModifier);
            shows(c.afterUndo, {A, B, C}, kCaption);
            QVERIFY(!w->mnuEditUndo->isEnabled());
            QTest::keyClick(w->List1, Qt::Key_Y, Qt::ControlModifier);
            shows(c.afterRedo, after, kModified);
            QTest::keyClick(w->List1, Qt::Key_Z, Qt::ControlModifier);
            QTest::keyClick(w->List1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            shows(c.afterRedo, after, kModified);

            // The saved step is the clean one, wherever it lies in the history.
            w->mnuFileSave->trigger();
            QCOMPARE(w.start.read("velmora.js"), journal::journalBytes(after));
            QCOMPARE(w->windowTitle(), kCaption);
            QTest::keyClick(w->List1, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(w->windowTitle(), kModified);
        }
    }

    void aSaveWhoseTextsComeBackChangedTellsBeforeItChangesTheList()
    {
        ShownWindow w({A});
        w->List1->selectRow(0);
        w->Text2->setText(QStringLiteral("&lt;"));
        w->Command1_Click();
        QString caption, lastLog;
        QStringList rows;
        MessageBox::setAnswerHook([&] {
            caption = w->windowTitle();
            lastLog = w->logList->item(w->logList->count() - 1)->text();
            rows = w->List1->rows();
        });
        w->mnuFileSave->trigger();
        MessageBox::setAnswerHook({});
        QCOMPARE(caption, kModified);
        QVERIFY(!lastLog.contains(QLatin1String("read from the journal again")));
        QCOMPARE(rows, QStringList{makeRow(u"&lt;", links::linkFor(1, 2), u"")});
        QCOMPARE(w->List1->rows(), QStringList{makeRow(u"<", links::linkFor(1, 2), u"")});
        QCOMPARE(w->windowTitle(), kCaption);
        QVERIFY(!w.logSays("cannot be undone"));
        QVERIFY(w->mnuEditUndo->isEnabled());  // the history survives our own save
    }

    void aJournalReadAgainForgetsTheHistory()
    {
        ShownWindow w({A, B, C});
        w->List1->selectRow(1);
        w->Command8_Click();
        w->mnuFileSave->trigger();
        QTest::qWait(300);  // our own save is not another writer's
        QVERIFY(w->mnuEditUndo->isEnabled());
        QVERIFY(!w.logSays("cannot be undone"));
        QVERIFY(textfile::writeAtomically(w.start.path("velmora.js"), journal::journalBytes({C})));
        QTRY_COMPARE(w->List1->rows(), QStringList{C});
        QVERIFY(w.logSays("the changes before cannot be undone"));
        QVERIFY(!w->mnuEditUndo->isEnabled());
    }
};

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
