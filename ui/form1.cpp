#include "form1.h"

#include "dialogs/form2.h"
#include "dialogs/form3.h"
#include "dialogs/frmabout.h"
#include "exchange/places.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "journallist.h"
#include "platform/commondialogs.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "platform/readable.h"
#include "platform/shell.h"
#include "platform/textfile.h"
#include "widgets/art.h"
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "worldwind/launch.h"
#include "worldwind/links.h"
#include "worldwind/placenames.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUndoStack>
#include <cmath>
#include <future>
#include <limits>
#include <utility>

namespace {

const QString kCaption = QStringLiteral("WorldWind Velmora");
const QString kCaptionModified = QStringLiteral("WorldWind Velmora (modified)");
const QString kNoname = QStringLiteral("Noname");
constexpr int kClientWidth = 8070;
constexpr int kClientHeight = 5265;
// Another writer's turn lasts a moment; the window waits a few seconds.
constexpr int kWaitForTurnMs = 5000;
// While a dialog is open the look waits for it, trying again this often.
constexpr int kUnderDialogRetryMs = 500;
// The log panel starts afresh past this many lines.
constexpr int kMostLogLines = 50;
// How many of the places another writer added the save question names.
constexpr int kAddedNamesShown = 3;
// Between a caption and its box, in twips.
constexpr float kCaptionGap = 100.0f;

// The window's client area. Its repaints drive the clipboard capture; a
// control that redraws itself (a blinking cursor, a pressed button) is not
// a repaint of the window.
class ClientArea : public QWidget {
public:
    ClientArea(QWidget* parent, std::function<void()> onPaint) : QWidget(parent), onPaint_(std::move(onPaint)) {}

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QRegion own = event->region();
        for (const QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                own -= child->geometry();
        if (!own.isEmpty())
            onPaint_();
    }

private:
    std::function<void()> onPaint_;
};

using journal::placesRead;
using journal::placesText;

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), workspace_(new Workspace(this)), settings(workspace_->settings)
{
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    journal_ = &workspace_->journal();
    createControls();
    createFocusOrder();
    createMenus();
    createEditMenu();
    connectCommands();
    connectLaunchCommands();
    connectEditingCommands();
    fixWindowSize();
    Text1->setFocus();

    connect(journal_, &journal::Journal::modifiedChanged, this, &Form1::showCaption);
    connect(journal_, &journal::Journal::historyForgotten, this, [this] {
        log(QStringLiteral("The list was read from the journal again; the changes before cannot be undone"));
    });
    connect(&journal_->history(), &journal::History::selectionRestored, this, &Form1::showRestoredSelection);
    connect(journal_, &journal::Journal::changedOnDisk, this, &Form1::journalChangedOnDisk);
    connect(journal_, &journal::Journal::conflictCopiesFound, this, &Form1::journalCopiesFound);
    connect(journal_, &journal::Journal::idle, this, &Form1::captureAfterHold);
    connect(journal_, &journal::Journal::openedInBackground, this, [this](const journal::ReadResult& read) {
        qApp->removeEventFilter(this);
        reportUnreadPlaces(read);
    });
    journal_->watchForOtherWriters();
}

void Form1::createControls()
{
    client_ = new ClientArea(this, [this] { schedulePaintHook(); });
    setCentralWidget(client_);
    QWidget* c = client_;

    Label1 = controls::label(c, QStringLiteral("WorldWind copied location :"), 0, 0, 2055, 375);
    Text1 = controls::textBox(c, QString(), 2160, 0, 4815, 375);
    Text1->setReadOnly(true);
    Label2 = controls::label(c, QStringLiteral("Name for this place :"), 0, 480, 2055, 375);
    Text2 = controls::textBox(c, kNoname, 2160, 480, 4815, 375);
    Label3 = controls::label(c, QStringLiteral("Comment :"), 0, 960, 2055, 375);
    Text3 = controls::textBox(c, QString(), 2160, 960, 4815, 375);
    Command4 = controls::button(c, QStringLiteral("Start WorldWind"), 0, 1440, 2055, 375);
    Command3 = controls::button(c, QStringLiteral("Show Velmora"), 2160, 1440, 2055, 855);
    Command5 = controls::button(c, QStringLiteral("Clear"), 4320, 1440, 1215, 375);
    Command1 = controls::button(c, QStringLiteral("Update"), 5640, 1440, 1215, 375);
    Command11 = controls::button(c, QStringLiteral("Save"), 6960, 1440, 1095, 855);
    Command12 = controls::button(c, QStringLiteral("Show this place (in WW)"), 0, 1920, 2055, 375);
    Command7 = controls::button(c, QStringLiteral("Add"), 4320, 1920, 1215, 375);
    Command8 = controls::button(c, QStringLiteral("Remove"), 5640, 1920, 1215, 375);
    List1 = new JournalList(c);
    List1->setModel(journal_);
    twips::setGeometry(List1, 0, 2400, 7335, 1815);
    Command9 = controls::button(c, QStringLiteral("Up"), 7440, 2880, 615, 375);
    Command10 = controls::button(c, QStringLiteral("Down"), 7440, 3360, 615, 375);
    Command6 = controls::button(c, QStringLiteral("logs <<"), 0, 4320, 975, 255);
    logList = new QListWidget(c);
    twips::setGeometry(logList, 0, 4680, 8055, 450);
    logList->addItem(QStringLiteral("WorldWind Velmora..."));

    for (QPushButton* b : {Command1, Command8, Command9, Command10, Command12})
        b->setEnabled(false);
}

void Form1::createFocusOrder()
{
    controls::setFocusOrder({Text1, Text2, Command1, Text3, Command3, Command4, Command5, Command6, logList, List1,
                             Command7, Command8, Command9, Command10, Command11, Command12});
}

void Form1::createMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFileSave = mnuFile->addAction(QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S), this,
                                     &Form1::mnuFileSave_Click);
    mnuFileImport = mnuFile->addAction(QStringLiteral("Import places..."), this, &Form1::mnuFileImport_Click);
    mnuFileExport = mnuFile->addAction(QStringLiteral("Export places..."), this, &Form1::mnuFileExport_Click);
    mnuFileGlobe = mnuFile->addAction(QStringLiteral("Show places on the globe"), this, &Form1::mnuFileGlobe_Click);
    mnuFileQuit = mnuFile->addAction(QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_F4), this,
                                     &Form1::mnuFileQuit_Click);
    mnuConfig = menuBar()->addMenu(QStringLiteral("Config"));
    mnuConfigConfig = mnuConfig->addAction(QStringLiteral("Config"), QKeySequence(Qt::Key_F2), this,
                                           &Form1::mnuConfigConfig_Click);
    mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelpHelp = mnuHelp->addAction(QStringLiteral("Help"), QKeySequence(Qt::Key_F1), this, &Form1::mnuHelpHelp_Click);
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("About"), this, &Form1::mnuHelpAbout_Click);
}

void Form1::createEditMenu()
{
    // Beside the window's own menus: undo and redo of the list's changes,
    // each naming its step.
    mnuEdit = new QMenu(QStringLiteral("Edit"), this);
    menuBar()->insertMenu(mnuConfig->menuAction(), mnuEdit);
    mnuEditUndo = undoStack()->createUndoAction(this, QStringLiteral("Undo"));
    mnuEditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuEditRedo = undoStack()->createRedoAction(this, QStringLiteral("Redo"));
    mnuEditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    mnuEdit->addAction(mnuEditUndo);
    mnuEdit->addAction(mnuEditRedo);
    createFindSortMenu();
}

void Form1::connectCommands()
{
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    // The button is the menu's Save: one action, whichever starts it.
    connect(Command11, &QPushButton::clicked, mnuFileSave, &QAction::trigger);
}

void Form1::fixWindowSize()
{
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(twips::toPixels(kClientWidth), twips::toPixels(kClientHeight) + menuHeight);
}

Form1::~Form1()
{
    // Closing the window moves the focus while the widgets are torn down;
    // by then this is no longer a Form1 to tell.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(journal_, nullptr, this, nullptr);
}

void Form1::Form_Load()
{
    settings = Settings{};
    logsShown_ = true;
    Command6_Click();
    // Settings read before a failing value stay; the dialog then shows them.
    if (!workspace_->openSettings()) {
        configure();
        return;
    }
    loadVelmoraWhileShown();
}

void Form1::loadVelmora()
{
    reportUnreadPlaces(workspace_->openJournal());
}

void Form1::loadVelmoraWhileShown()
{
    workspace_->openJournalInBackground();
    // The user's first key or click waits for the rows, so that no command
    // ever sees the list before it is read.
    qApp->installEventFilter(this);
}

void Form1::journalChangedOnDisk()
{
    // Not under a dialog: a command waiting for it expects the list as it was.
    if (QApplication::activeModalWidget()) {
        journal_->checkDiskLater(kUnderDialogRetryMs);
        return;
    }
    const Workspace::Followed followed = workspace_->followOtherWriter();
    if (!followed.log.isEmpty())
        log(followed.log);
    if (followed.read) {
        setSelectionButtons(false);
        reportUnreadPlaces(*followed.read);
    }
}

void Form1::journalCopiesFound()
{
    if (QApplication::activeModalWidget()) {
        journal_->checkDiskLater(kUnderDialogRetryMs);
        return;
    }
    const std::optional<journal::Journal::SaveResult> saved = workspace_->mergeCopiesFound(kWaitForTurnMs);
    if (!saved)
        return;
    logCopies(*saved);
    if (saved->written() && !saved->layerFailures.isEmpty())
        reportLayer(placenames::Result{saved->layerFailures});
}

void Form1::logCopies(const journal::Journal::SaveResult& saved)
{
    logAll(saved.copiesMerged + saved.copiesLeft);
}

void Form1::reportUnreadPlaces(const journal::ReadResult& read)
{
    const QString path = paths::shown(read.path);
    if (read.exists && !read.opened) {
        MessageBox::information(this, QStringLiteral("The journal %1 could not be read: %2.\n\nIts places are not in "
                                                     "the list. Saving will ask before replacing the file.")
                                          .arg(path, read.whyNotRead));
        return;
    }
    QStringList why;
    if (read.firstCrowdedLine > 0)
        why << QStringLiteral("Line %1 holds more than one place (its lines do not end in CR LF); only the first "
                              "place of such a line was read.")
                   .arg(read.firstCrowdedLine);
    if (read.stoppedAtLine > 0)
        why << QStringLiteral("Reading stopped at line %1, which is not a journal line; the lines from there on "
                              "are not in the list.")
                   .arg(read.stoppedAtLine);
    if (why.isEmpty())
        return;
    // The reading rule skips what it cannot take; the user must know
    // before a save drops it.
    const QString after = read.complete() ? QStringLiteral("Saving now would remove the unread text from the journal.")
                                          : QStringLiteral("The file holds %1; saving will ask before replacing it.")
                                                .arg(placesText(read.placesInFile));
    MessageBox::information(this, QStringLiteral("Only part of the journal %1 could be read: %2.\n\n%3\n\n%4")
                                      .arg(path, placesText(read.rows.size()), why.join(QLatin1Char(' ')), after));
}

journal::Journal::Answer Form1::askAboutOtherWriters(const journal::Journal::Question& question)
{
    using Answer = journal::Journal::Answer;
    if (question.kind == journal::Journal::Question::NotAllRead)
        return MessageBox::askSaveCancel(this, notAllReadQuestion(question)) == MessageBox::Save ? Answer::SaveOver
                                                                                                 : Answer::Cancel;
    switch (MessageBox::askKeepBothSaveOverCancel(this, othersAddedQuestion(question))) {
    case MessageBox::KeepBoth: return Answer::KeepBoth;
    case MessageBox::Save: return Answer::SaveOver;
    default: return Answer::Cancel;
    }
}

namespace {

// The first few places' names, quoted, and how many more there are.
QString namesOf(const QStringList& rows)
{
    QStringList names;
    for (const QString& row : rows.mid(0, kAddedNamesShown))
        names << QLatin1Char('"') + readable::text(viewRow(row).name) + QLatin1Char('"');
    if (rows.size() > kAddedNamesShown)
        names << QStringLiteral("%1 more").arg(rows.size() - kAddedNamesShown);
    return names.join(QStringLiteral(", "));
}

}  // namespace

QString Form1::othersAddedQuestion(const journal::Journal::Question& question) const
{
    return QStringLiteral("The journal %1 was changed by another program since the list was read: it holds %2 "
                          "that the list does not (%3).\n\nKeep both saves the list (%4) with those places after "
                          "it. Save over replaces the file with the list, and those places are lost.")
        .arg(paths::shown(journal_->path()), placesText(question.added.size()), namesOf(question.added),
             placesText(journal_->count()));
}

QString Form1::notAllReadQuestion(const journal::Journal::Question& question) const
{
    const journal::ReadResult& onDisk = question.onDisk;
    const QString path = paths::shown(journal_->path());
    const QString list = placesText(journal_->count());
    QString text;
    if (onDisk.placesInFile < 0)
        text = QStringLiteral("The journal %1 could not be read (%2), so none of its places are in the list.\n\n"
                              "Saving replaces the file with the list (%3), and whatever the file holds is lost.")
                   .arg(path, onDisk.whyNotRead, list);
    else if (onDisk.placesInFile == 0 && onDisk.stoppedAtLine > 0)
        text = QStringLiteral("The journal %1 holds text that is not journal lines (from line %2 on), so nothing of "
                              "it is in the list.\n\nSaving replaces the file with the list (%3), and that text is "
                              "lost.")
                   .arg(path, QString::number(onDisk.stoppedAtLine), list);
    else
        text = QStringLiteral("The journal %1 holds %2, and %3 into the list.\n\nSaving replaces the file with the "
                              "list (%4), and the places that were not read are lost.")
                   .arg(path, placesText(onDisk.placesInFile),
                        onDisk.rows.isEmpty() ? QStringLiteral("none of them were read")
                                              : QStringLiteral("only %1").arg(placesRead(int(onDisk.rows.size()))),
                        list);
    return text + QStringLiteral("\n\nSave anyway?");
}

bool Form1::saveVelmora()
{
    // Its boxes let repaints through: a capture meanwhile waits for the end.
    const journal::Journal::Busy hold(*journal_);
    const journal::Journal::SaveResult saved = workspace_->save(
        kWaitForTurnMs, [this](const journal::Journal::Question& q) { return askAboutOtherWriters(q); });
    logCopies(saved);
    if (!reportSave(saved))
        return false;
    if (!saved.taken.isEmpty())
        log(QStringLiteral("Another program removed %1 from the journal (%2); the save left them out")
                .arg(placesText(saved.taken.size()), namesOf(saved.taken)));
    log(QStringLiteral("Velmora updated successfully"));
    List1->clearSelectedRow();  // nothing selected in the list as in the file
    journal_->takeSaved(saved);
    resetEntryFields();
    return true;
}

bool Form1::reportSave(const journal::Journal::SaveResult& saved)
{
    switch (saved.outcome) {
    case journal::Journal::SaveResult::NoTurn:
    case journal::Journal::SaveResult::NotWritten:
        MessageBox::information(this, texts::saveFailed(journal_->path(), saved.why,
                                                        saved.outcome == journal::Journal::SaveResult::NoTurn));
        return false;
    case journal::Journal::SaveResult::Stopped: return false;
    case journal::Journal::SaveResult::Written: reportLayer(placenames::Result{saved.layerFailures}); return true;
    }
    return false;
}

void Form1::reportLayer(const placenames::Result& result)
{
    const QString failed = QStringLiteral("The placenames files could not all be written:\n\n");
    // A World Wind folder without World Wind is said once a run, then only logged.
    const bool noWorldWind = !result.ok() && !placenames::noWorldWind(settings.WWDir).isEmpty();
    if (result.ok())
        MessageBox::information(this, QStringLiteral("placenames files written"));
    else if (noWorldWind && std::exchange(noWorldWindTold_, true))
        log(failed.simplified() + u' ' + result.failures.join(QStringLiteral("; ")));
    else
        MessageBox::information(this, failed + result.failures.join(QLatin1Char('\n')));
}

void Form1::resetEntryFields()
{
    Text1->setText(QString());
    Text2->setText(kNoname);
    Text3->setText(QString());
    Form2* dialog = form2();
    dialog->Text1->setText(QString());
    dialog->Text2->setText(kNoname);
    dialog->Text3->setText(QString());
}

void Form1::showCaption(bool modified)
{
    // Called when the state changes, not on every change: marked once.
    setWindowTitle(modified ? kCaptionModified : kCaption);
}

void Form1::logAll(const QStringList& lines)
{
    for (const QString& line : lines)
        log(line);
}

void Form1::log(const QString& logEvent)
{
    if (logList->count() > kMostLogLines)
        logList->clear();
    logList->addItem(logEvent);
    logList->scrollToBottom();  // the newest line is the one the user looks for
}

Form2* Form1::form2()
{
    return form2_.get(this);
}

Form3* Form1::form3()
{
    return form3_.get(nullptr);  // a window of its own: on first start it is the only one
}

bool Form1::settleUnsavedChanges()
{
    if (!journal_->isModified())
        return true;
    switch (MessageBox::askSaveDiscardCancel(this, QStringLiteral("Save changes to the journal?"))) {
    case MessageBox::Save: return saveVelmora();
    case MessageBox::Discard: return true;
    default: return false;
    }
}

void Form1::configure()
{
    Form3* dialog = form3();
    fillConfiguration(dialog);
    const QString startFolder = QDir::currentPath();
    dialog->showModal();
    if (!dialog->okBouton) {
        QDir::setCurrent(startFolder);
        return;
    }
    // Unsaved changes are settled with the settings as they were, before
    // the list is replaced by the journal of the new save folder.
    const journal::Journal::Busy hold(*journal_);
    if (!settleUnsavedChanges()) {
        QDir::setCurrent(startFolder);
        return;
    }
    const ConfigureOutcome done = workspace_->configure(
        takeConfiguration(dialog), [this](const QString& notSaved) { MessageBox::information(this, notSaved); });
    reportUnreadPlaces(done.read);
    logAll(done.log);
}

void Form1::fillConfiguration(Form3* dialog) const
{
    dialog->Text1->setText(settings.SaveDir);
    dialog->Text2->setText(settings.WWDir);
    dialog->setPreviewFont(settings.fontName_, settings.fontSize_, settings.fontColor_, settings.fontBold_,
                           settings.fontItalic_);
}

Settings Form1::takeConfiguration(const Form3* dialog) const
{
    Settings chosen = settings;
    chosen.SaveDir = dialog->Text1->text();
    chosen.WWDir = dialog->Text2->text();
    const QFont font = dialog->Label2->font();
    chosen.fontName_ = dialog->previewFontName();
    chosen.fontSize_ = Workspace::fontSize(font.pointSizeF());
    chosen.fontColor_ = dialog->previewColor();
    chosen.fontBold_ = font.bold();
    chosen.fontItalic_ = font.italic();
    return chosen;
}

void Form1::Form_Unload()
{
    form2_.destroy();
    form3_.destroy();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!settleUnsavedChanges()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form1::mnuFileQuit_Click()
{
    close();
}

void Form1::mnuConfigConfig_Click()
{
    configure();
}

void Form1::mnuFileSave_Click()
{
    saveVelmora();
}

void Form1::connectLaunchCommands()
{
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
}

void Form1::shellOpen(const QString& target, int show, std::function<void(int)> done)
{
    launch::open(target, show, this, [this, target, done](int code) {
        if (!Shell::succeeded(code))
            MessageBox::information(this, target + QStringLiteral(" : ") + Shell::errorText(code));
        if (done)
            done(code);
    });
}

void Form1::Command12_Click()
{
    // A journal file may hold anything; only places go to the desktop.
    const QString link = Text1->text();
    if (!launch::isPlaceLink(link)) {
        MessageBox::information(this, launch::refusal(link));
        return;
    }
    shellOpen(link, Shell::kShowNormal);
}

void Form1::Command3_Click()
{
    // A save folder made by hand after Configuration gets its page now.
    if (workspace_->webPageMissing())
        logAll(workspace_->copyWebViewFiles());
    log(QStringLiteral("Opening velmora with default browser"));
    shellOpen(workspace_->webPage(), Shell::kShowNormal);
}

void Form1::Command4_Click()
{
    log(QStringLiteral("Starting WorldWind"));
    shellOpen(links::startLink(), Shell::kShowNormal);
}

void Form1::mnuHelpHelp_Click()
{
    log(QStringLiteral("opening help"));
    shellOpen(QStringLiteral("help.html"), Shell::kShowNormal);
}

void Form1::mnuFileGlobe_Click()
{
    showPlacesOnGlobe();
}

QString Form1::globeFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/places.kml");
}

bool Form1::writeGlobeIcon(const QString& folder, QString* error)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    art::placeMark().save(&buffer, "PNG");
    return textfile::writeAtomically(folder + QLatin1Char('/') + QLatin1String(exchange::kGlobeIcon), png, error);
}

bool Form1::showPlacesOnGlobe()
{
    log(QStringLiteral("Showing the places on the globe"));
    const QString file = globeFile();
    QString error = QStringLiteral("the folder could not be made");
    if (!QDir().mkpath(QFileInfo(file).absolutePath()) || !writeGlobeIcon(QFileInfo(file).absolutePath(), &error)
        || !exchange::writeFile(file, journal_->rows(), &error, placenames::labelFont(settings))) {
        MessageBox::information(this, QDir::toNativeSeparators(file) + QStringLiteral(" : ") + error);
        return false;
    }
    shellOpen(QDir::toNativeSeparators(file), Shell::kShowNormal);
    return true;
}

void Form1::mnuHelpAbout_Click()
{
    frmAbout about(this);
    about.exec();
}

void Form1::Command6_Click()
{
    // The outer height changes by the panel's height; the layout stays.
    const int panel = twips::toPixels(twips::geometry(logList).height());
    if (logsShown_) {
        logsShown_ = false;
        Command6->setText(QStringLiteral("logs >>"));
        logList->hide();
        setFixedHeight(height() - panel);
    } else {
        logsShown_ = true;
        Command6->setText(QStringLiteral("logs <<"));
        logList->show();
        setFixedHeight(height() + panel);
    }
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize()
{
    if (isMinimized())
        return;
    const float width = float(client_->width() * twips::kPerPixel);
    if (width <= 0)
        return;
    const std::pair<QLineEdit*, QLabel*> fields[] = {{Text1, Label1}, {Text2, Label2}, {Text3, Label3}};
    for (const auto& [field, caption] : fields) {
        const float w = width - float(twips::geometry(caption).width()) - kCaptionGap;
        if (w > 0)  // a window forced narrower than its captions keeps the old widths
            twips::setWidth(field, int(w));
    }
}

void Form1::mnuFileImport_Click()
{
    const std::optional<QString> file = CommonDialog::openFile(
        this, QStringLiteral("Import places"),
        QStringLiteral("Places (*.kml *.kmz *.gpx *.geojson *.json *.csv);;All files (*)"));
    if (file)
        importPlaces(*file);
}

bool Form1::importPlaces(const QString& file)
{
    log(QStringLiteral("Importing places from ") + readable::fileName(file));
    const ImportOutcome imported = workspace_->import(file, List1->selectedRow());
    MessageBox::information(this, imported.message());
    return imported.adds();
}

void Form1::mnuFileExport_Click()
{
    const std::optional<QString> file = CommonDialog::saveFileAs(
        this, QStringLiteral("Export places"), QStringLiteral("velmora.kml"),
        QStringLiteral("KML (*.kml);;KMZ (*.kmz);;GPX (*.gpx);;GeoJSON (*.geojson *.json);;CSV (*.csv)"));
    if (file)
        exportPlaces(*file);
}

bool Form1::exportPlaces(const QString& file)
{
    log(QStringLiteral("Exporting places to ") + readable::fileName(file));
    const ExportOutcome exported = workspace_->exportTo(file);
    MessageBox::information(this, exported.message());
    return exported.ok();
}
