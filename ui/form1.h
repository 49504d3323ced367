#pragma once
// The main window: the entry fields, the command buttons, the journal list
// and the fold-away log panel. It shows the journal model (rows, modified
// state, its undo history, save, the watch for other writers) and holds
// the settings.

#include "exchange/copied.h"
#include "journal/history.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "settings/settings.h"
#include "widgets/keptdialog.h"
#include "workspace/capture.h"
#include "workspace/workspace.h"
#include "worldwind/placenames.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QMenu;
class QAction;
class JournalList;
class Form2;
class Form3;
class FindBox;
namespace finder {
class Finder;
}
class QWindow;

class Form1 : public QMainWindow {
    Q_OBJECT
    // The open journal the window shows: made first, the settings below
    // are its own.
    Workspace* workspace_;

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: defaults, log panel folded away, settings file, journal.
    void Form_Load();

    Settings& settings;

    // The journal the list shows, and the history of its changes.
    journal::Journal* journal() const { return journal_; }
    QUndoStack* undoStack() const { return journal_->history().stack(); }

    void loadVelmora();
    // The same, with the journal read on another thread while the window
    // is built and shown; the list is filled, and what was read said, from
    // the event loop once both are done.
    void loadVelmoraWhileShown();
    // Returns false, having changed nothing but showing why, when the
    // journal file could not be written.
    bool saveVelmora();
    bool isModified() const { return journal_->isModified(); }
    void log(const QString& logEvent);
    void logAll(const QStringList& lines);
    // The places of a KML or GPX file appended to the list; false, with a
    // message and the list unchanged, when none could be.
    bool importPlaces(const QString& file);
    // The list written as KML or GPX, by the file name's extension.
    bool exportPlaces(const QString& file);
    // The clipboard capture run by every repaint.
    void getUrlFromClipboard();
    // Hands `target` to the desktop shell (a place to the globe that is
    // open, if one is) without waiting for it; a failure
    // is shown with its text when the shell answers. `done`, if given, then
    // receives the shell's code (above 32 for success).
    void shellOpen(const QString& target, int show, std::function<void(int)> done = {});
    // The list written as KML to the cache folder and opened there with the
    // desktop's globe; false, with a message, when it could not be written.
    bool showPlacesOnGlobe();
    // Where showPlacesOnGlobe writes the list.
    static QString globeFile();
    // The mark the list's places are drawn with, written into `folder`.
    static bool writeGlobeIcon(const QString& folder, QString* error);

    // The dialogs, created on first use.
    Form2* form2();
    Form3* form3();
    // How many times the repaint hook has run (the capture depends on it).
    int paintHookRuns() const { return paintHookRuns_; }

    QLabel* Label1;
    QLineEdit* Text1;
    QLabel* Label2;
    QLineEdit* Text2;
    QLabel* Label3;
    QLineEdit* Text3;
    QPushButton* Command4;
    QPushButton* Command3;
    QPushButton* Command5;
    QPushButton* Command1;
    QPushButton* Command11;
    QPushButton* Command12;
    QPushButton* Command7;
    QPushButton* Command8;
    JournalList* List1;
    QPushButton* Command9;
    QPushButton* Command10;
    QPushButton* Command6;
    QListWidget* logList;

    QMenu* mnuFile;
    QAction* mnuFileSave;
    QAction* mnuFileImport;
    QAction* mnuFileExport;
    QAction* mnuFileGlobe;
    QAction* mnuFileQuit;
    QMenu* mnuEdit;
    QAction* mnuEditUndo;
    QAction* mnuEditRedo;
    QAction* mnuEditFind;
    QAction* mnuEditFindNext;
    QAction* mnuEditFindPrevious;
    QAction* mnuEditSortName;
    QAction* mnuEditSortDistance;
    QMenu* mnuConfig;
    QAction* mnuConfigConfig;
    QMenu* mnuHelp;
    QAction* mnuHelpHelp;
    QAction* mnuHelpAbout;

public slots:
    void Command6_Click();
    void mnuFileSave_Click();
    void mnuFileImport_Click();
    void mnuFileExport_Click();
    void mnuFileGlobe_Click();
    void mnuFileQuit_Click();
    void mnuConfigConfig_Click();
    void mnuHelpHelp_Click();
    void mnuHelpAbout_Click();
    void Command12_Click();
    void Command3_Click();
    void Command4_Click();
    // Selecting and editing entries.
    void List1_Click();
    void List1_Validate();
    void Command1_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command5_Click();
    // Finding and sorting places (Edit menu).
    void mnuEditFind_Click();
    void mnuEditSortName_Click();
    void mnuEditSortDistance_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction, step by step.
    void createControls();
    void createFocusOrder();
    void createMenus();
    void createEditMenu();
    void createFindSortMenu();
    void connectCommands();
    void connectLaunchCommands();
    void fixWindowSize();

    // The Configuration dialog, step by step.
    void configure();
    void fillConfiguration(Form3* dialog) const;
    // The settings the dialog was confirmed with.
    Settings takeConfiguration(const Form3* dialog) const;
    void Form_Resize();
    void Form_Paint();
    void Form_Unload();

    // The repaint hook and the capture.
    void watchExposure();
    void schedulePaintHook();
    void runPaintHook();
    void repaintNow();
    // What the clipboard offers the capture now.
    capture::Seen clipboardNow() const;
    // The Add a place dialog for a location taken, and the place it adds.
    void offerCaptured(const capture::Decision& offered);

    // Finding and sorting: the find box, created on first use; one step
    // of the search; the found row selected as if clicked.
    FindBox* findBox();
    void findStep(const QString& text, bool backward, bool typing);
    void showFindNote(const QString& note);
    void selectFound(int row);
    void sortBy(const QList<int>& order, const QString& text);

    // Selecting and editing entries.
    void connectEditingCommands();
    void connectListKeys();
    void removeByKey();
    void setSelectionButtons(bool enabled);
    void focusMoved(QWidget* old, QWidget* now);
    bool endsSelection(const QWidget* w) const;
    void endSelectionAfter(QWidget* control);
    void swapWithSelected(int offset);
    // Shows that the journal is full when it is; true then.
    bool refuseWhenFull();
    // Appends the entry a dialog handed back, or says why not.
    void appendEntry(const QString& name, const QString& link, const QString& comment, bool captured);
    // After an undo or redo: the step's selected row in the list and the
    // fields, or none selected and the fields reset.
    void showRestoredSelection(int row);
    void showCaption(bool modified);
    // Asks about unsaved changes; false when the user cancelled (or the
    // save they asked for failed).
    bool settleUnsavedChanges();
    void reportUnreadPlaces(const journal::ReadResult& read);
    void resetEntryFields();

    // The save, step by step: the model's save, the question it hands out
    // about another writer's places, and what the window says afterwards.
    journal::Journal::Answer askAboutOtherWriters(const journal::Journal::Question& question);
    QString othersAddedQuestion(const journal::Journal::Question& question) const;
    QString notAllReadQuestion(const journal::Journal::Question& question) const;
    // Shows why a save did not happen, or how the layer went; true once
    // the journal was written.
    bool reportSave(const journal::Journal::SaveResult& saved);
    void reportLayer(const placenames::Result& result);
    bool noWorldWindTold_ = false;

    // Another writer changed the journal: an unmodified list follows it,
    // one with unsaved changes notes it in the log.
    void journalChangedOnDisk();
    void journalCopiesFound();
    void logCopies(const journal::Journal::SaveResult& saved);
    void captureAfterHold();

    QWidget* client_;
    journal::Journal* journal_;
    bool logsShown_ = true;
    bool paintHookPending_ = false;
    QPointer<QWindow> watchedWindow_;
    // Set when the list lost the focus, until the focus comes back to it or
    // reaches a control that ends the selection.
    bool leftList_ = false;
    int paintHookRuns_ = 0;
    // A clipboard that keeps changing is asked again once it may be.
    bool askAgainPending_ = false;
    void askClipboardAgainLater();
    // What the capture took last, and whether a run had to wait.
    capture::Policy capture_;
    // Counts the "journal is full" messages: Add says it once, also when
    // the capture it runs first has said it.
    int fullRefusals_ = 0;
    finder::Finder* finder_;
    QPointer<FindBox> findBox_;
    Kept<Form2> form2_;
    Kept<Form3> form3_;
};
