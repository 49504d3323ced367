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
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "worldwind/launch.h"
#include "worldwind/links.h"
#include "worldwind/placenames.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
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
// One look at the journal for a burst of changes (a save creates, renames
// and removes several files in the folder).
constexpr int kChangesSettleMs = 150;
// While a dialog is open the look waits for it, trying again this often.
constexpr int kUnderDialogRetryMs = 500;
// The log panel starts afresh past this many lines.
constexpr int kMostLogLines = 50;
// How many of the places another writer added the save question names.
constexpr int kAddedNamesShown = 3;
// Between a caption and its box, in twips.
constexpr float kCaptionGap = 100.0f;
const char* const kWebViewFiles[] = {"velmoralib.js", "velmora.html", "velmora.css", "bg.jpg"};

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

Form1::Form1(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    createControls();
    createFocusOrder();
    createMenus();
    connectCommands();
    connectLaunchCommands();
    connectEditingCommands();
    fixWindowSize();
    Text1->setFocus();

    journal_ = new journal::Journal(this);
    journalWatcher_ = new QFileSystemWatcher(this);
    journalCheck_ = new QTimer(this);
    journalCheck_->setSingleShot(true);
    journalCheck_->setInterval(kChangesSettleMs);
    connect(journalCheck_, &QTimer::timeout, this, &Form1::journalChangedOnDisk);
    connect(journalWatcher_, &QFileSystemWatcher::fileChanged, journalCheck_, qOverload<>(&QTimer::start));
    connect(journalWatcher_, &QFileSystemWatcher::directoryChanged, journalCheck_, qOverload<>(&QTimer::start));
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
}

void Form1::Form_Load()
{
    settings = Settings{};
    logsShown_ = true;
    Command6_Click();
    // Settings read before a failing value stay; the dialog then shows them.
    if (!settingsfile::read(QString::fromLatin1(settingsfile::kFileName), settings)) {
        configure();
        return;
    }
    loadVelmora();
}

QString Form1::journalPath() const
{
    return journal::journalPath(settings.SaveDir);
}

void Form1::loadVelmora()
{
    const CaptureHold hold(*this);
    const journal::ReadResult& read = journal_->reload(journalPath());
    changeNoted_.clear();
    List1->setRows(read.rows);  // replaces every row, also when nothing could be read
    watchJournal();
    reportUnreadPlaces(read);
}

void Form1::watchJournal()
{
    const QFileInfo file(journalPath());
    QStringList wanted;
    // The folder too: a save by rename puts a new file in the place of the
    // watched one, and a first save creates it.
    for (const QString& path : {file.absoluteFilePath(), file.absolutePath()})
        if (QFileInfo::exists(path))
            wanted << path;
    QStringList old = journalWatcher_->files() + journalWatcher_->directories();
    for (const QString& path : std::as_const(old))
        if (!wanted.contains(path))
            journalWatcher_->removePath(path);
    for (const QString& path : std::as_const(wanted))
        if (!old.contains(path))
            journalWatcher_->addPath(path);
}

void Form1::journalChangedOnDisk()
{
    watchJournal();
    // Not under a dialog: a command waiting for it expects the list as it was.
    if (QApplication::activeModalWidget()) {
        journalCheck_->start(kUnderDialogRetryMs);
        return;
    }
    const journal::ReadResult now = journal::readJournalFile(journalPath());
    if (journal_->isAsRead(now))
        return;
    if (!modified_) {
        log(QStringLiteral("The journal was changed by another program; the list was read again"));
        setSelectionButtons(false);
        loadVelmora();
        return;
    }
    if (now.fingerprint == changeNoted_)
        return;
    changeNoted_ = now.fingerprint;
    log(QStringLiteral("The journal was changed by another program; the list has unsaved changes, so it was not "
                       "read again"));
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
    MessageBox::information(this, QStringLiteral("Only part of the journal %1 could be read: %2 read.\n\n%3\n\n%4")
                                      .arg(path, placesRead(int(read.rows.size())), why.join(QLatin1Char(' ')), after));
}

bool Form1::takeWriteTurn(journal::WriteTurn& turn, const QString& path)
{
    QString why;
    if (turn.take(kWaitForTurnMs, &why))
        return true;
    reportBusy(path, why);
    return false;
}

void Form1::reportBusy(const QString& path, const QString& why)
{
    MessageBox::information(this, QStringLiteral("The journal could not be saved to %1: %2. Try again in a moment.")
                                      .arg(paths::shown(path), why));
}

bool Form1::confirmReplacing(const QString& path, journal::WriteTurn& turn)
{
    // The turn is given back while the user decides, and the file read
    // again after: the answer holds only for the file the question was about.
    std::optional<QByteArray> approved;
    for (;;) {
        const journal::ReadResult onDisk = journal::readJournalFile(path);
        const QString question = replacingQuestion(path, onDisk);
        if (question.isEmpty() || approved == onDisk.fingerprint)
            return true;
        turn.release();
        if (MessageBox::askSaveCancel(this, question) != MessageBox::Save)
            return false;
        approved = onDisk.fingerprint;
        if (!takeWriteTurn(turn, path))
            return false;
    }
}

QString Form1::replacingQuestion(const QString& path, const journal::ReadResult& read) const
{
    const journal::ReadResult& asRead = journal_->asRead();
    const bool sameFile = path == asRead.path;
    const bool asLoaded = sameFile && read.fingerprint == asRead.fingerprint;
    // As loaded, the list holds what was read of it; another file, or one
    // changed since, only what the list happens to share with it.
    journal::ReadResult onDisk = asLoaded ? asRead : read;
    if (!asLoaded && !sameFile)
        onDisk.rows.clear();
    const QString list = placesText(List1->count());
    if (onDisk.complete() && !asLoaded && sameFile) {
        const QStringList added = journal::addedByOthers(asRead.rows, onDisk.rows, List1->rows());
        if (added.isEmpty())
            return {};
        QStringList names;
        for (const QString& row : added.mid(0, kAddedNamesShown))
            names << QLatin1Char('"') + readable::text(viewRow(row).name) + QLatin1Char('"');
        if (added.size() > kAddedNamesShown)
            names << QStringLiteral("%1 more").arg(added.size() - kAddedNamesShown);
        return QStringLiteral("The journal %1 was changed by another program since the list was read: it holds %2 "
                              "that the list does not (%3).\n\nSaving replaces the file with the list (%4), and "
                              "those places are lost.\n\nSave anyway?")
            .arg(paths::shown(path), placesText(int(added.size())), names.join(QStringLiteral(", ")), list);
    }
    if (onDisk.complete())
        return {};
    QString text;
    if (onDisk.placesInFile < 0)
        text = QStringLiteral("The journal %1 could not be read (%2), so none of its places are in the list.\n\n"
                              "Saving replaces the file with the list (%3), and whatever the file holds is lost.")
                   .arg(paths::shown(path), onDisk.whyNotRead, list);
    else
        text = QStringLiteral("The journal %1 holds %2, and %3 into the list.\n\nSaving replaces the file with the "
                              "list (%4), and the places that were not read are lost.")
                   .arg(paths::shown(path), placesText(onDisk.placesInFile),
                        onDisk.rows.isEmpty() ? QStringLiteral("none of them were read")
                                              : QStringLiteral("only %1").arg(placesRead(int(onDisk.rows.size()))),
                        list);
    return text + QStringLiteral("\n\nSave anyway?");
}

bool Form1::saveVelmora()
{
    const CaptureHold hold(*this);  // its boxes let repaints through, and it ends with a reload
    const QString path = journalPath();
    const journal::Journal::SaveResult saved = journal_->save(
        path, kWaitForTurnMs,
        [&](journal::WriteTurn& turn) -> std::optional<QStringList> {
            if (!confirmReplacing(path, turn))
                return std::nullopt;
            return List1->rows();
        },
        [this](const QStringList& rows) { return writeLayer(rows).failures; });
    if (!reportSave(path, saved))
        return false;
    log(QStringLiteral("Velmora updated successfully"));
    setModified(false);
    resetEntryFields();
    loadVelmora();
    return true;
}

bool Form1::reportSave(const QString& path, const journal::Journal::SaveResult& saved)
{
    switch (saved.outcome) {
    case journal::Journal::SaveResult::NoTurn: reportBusy(path, saved.why); return false;
    case journal::Journal::SaveResult::NotWritten:
        MessageBox::information(
            this, QStringLiteral("The journal could not be saved to %1: %2.").arg(paths::shown(path), saved.why));
        return false;
    case journal::Journal::SaveResult::Stopped: return false;
    case journal::Journal::SaveResult::Written: reportLayer(placenames::Result{saved.layerFailures}); return true;
    }
    return false;
}

void Form1::make_placenames()
{
    reportLayer(writeLayer(List1->rows()));
}

placenames::Result Form1::writeLayer(const QStringList& rows) const
{
    return placenames::write(settings.WWDir, rows, placenames::labelFont(settings));
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

void Form1::setModified(bool flag)
{
    if (flag) {
        if (modified_)
            return;
        modified_ = true;
        setWindowTitle(kCaptionModified);
        return;
    }
    modified_ = false;
    setWindowTitle(kCaption);
}

void Form1::log(const QString& logEvent)
{
    if (logList->count() > kMostLogLines)
        logList->clear();
    logList->addItem(logEvent);
}

QString Form1::HTMLize(const QString& str) const
{
    return journal::HTMLize(str);
}

QString Form1::unHTMLize(const QString& str) const
{
    return journal::unHTMLize(str);
}

Form2* Form1::form2()
{
    return form2_.get(this);
}

Form3* Form1::form3()
{
    return form3_.get(nullptr);  // a window of its own: on first start it is the only one
}

bool Form1::settleUnsavedChanges(bool* discarded)
{
    if (discarded)
        *discarded = false;
    if (!modified_)
        return true;
    switch (MessageBox::askSaveDiscardCancel(this, QStringLiteral("Save changes to the journal?"))) {
    case MessageBox::Save: return saveVelmora();
    case MessageBox::Discard:
        if (discarded)
            *discarded = true;
        return true;
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
    const CaptureHold hold(*this);
    bool discarded = false;
    if (!settleUnsavedChanges(&discarded)) {
        QDir::setCurrent(startFolder);
        return;
    }
    takeConfiguration(dialog);
    writeSettings();
    loadVelmora();
    if (discarded)
        setModified(false);
    copyWebViewFiles();
}

void Form1::fillConfiguration(Form3* dialog) const
{
    dialog->Text1->setText(settings.SaveDir);
    dialog->Text2->setText(settings.WWDir);
    dialog->setPreviewFont(settings.fontName_, settings.fontSize_, settings.fontColor_, settings.fontBold_,
                           settings.fontItalic_);
}

void Form1::takeConfiguration(const Form3* dialog)
{
    settings.SaveDir = dialog->Text1->text();
    settings.WWDir = dialog->Text2->text();
    const QFont font = dialog->Label2->font();
    settings.fontName_ = dialog->previewFontName();
    settings.fontSize_ = qint16(std::clamp(std::nearbyint(font.pointSizeF()),
                                           double(std::numeric_limits<qint16>::min()),
                                           double(std::numeric_limits<qint16>::max())));
    settings.fontColor_ = dialog->previewColor();
    settings.fontBold_ = font.bold();
    settings.fontItalic_ = font.italic();
}

void Form1::writeSettings()
{
    const QString iniPath = QString::fromLatin1(settingsfile::kFileName);
    QString reason;
    if (!settingsfile::write(iniPath, settings, &reason))
        MessageBox::information(
            this, QStringLiteral("The settings could not be saved to %1: %2.").arg(paths::shown(iniPath), reason));
}

void Form1::copyWebViewFiles()
{
    log(QStringLiteral("Copying other files (jsLib, html, css)"));
    for (const char* name : kWebViewFiles) {
        const QString file = QString::fromLatin1(name);
        // Never over an existing file: a page the user changed in the save
        // folder stays as it is.
        textfile::copyIfMissing(file, paths::local(paths::join(settings.SaveDir, file)));
    }
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

void Form1::Command11_Click()
{
    mnuFileSave->trigger();
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
    log(QStringLiteral("Opening velmora with default browser"));
    shellOpen(paths::shown(paths::join(settings.SaveDir, QStringLiteral("velmora.html"))), Shell::kShowNormal);
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

bool Form1::showPlacesOnGlobe()
{
    log(QStringLiteral("Showing the places on the globe"));
    const QString file = globeFile();
    QString error = QStringLiteral("the folder could not be made");
    if (!QDir().mkpath(QFileInfo(file).absolutePath())
        || !exchange::writeFile(file, List1->rows(), &error, placenames::labelFont(settings))) {
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
        this, QStringLiteral("Import places"), QStringLiteral("Places (*.kml *.kmz *.gpx);;All files (*)"));
    if (file)
        importPlaces(*file);
}

bool Form1::importPlaces(const QString& file)
{
    const QString shown = readable::fileName(file);
    log(QStringLiteral("Importing places from ") + shown);
    exchange::Import found = exchange::readFile(file);
    if (found.ok())
        exchange::leaveOutKnown(found, List1->rows());
    QString refused;
    if (!found.ok())
        refused = readable::message(found.error);
    else if (const QString why = overlongField(found.rows); !why.isEmpty())
        refused = why;
    else if (!journal::Journal::hasRoom(List1->count(), found.rows.size()))
        refused = QStringLiteral("the list holds %1 and the file %2, more than the %3 places a journal can hold")
                      .arg(placesText(List1->count()), placesText(int(found.rows.size())), QString::number(kMaxRows));
    if (!refused.isEmpty()) {
        MessageBox::information(this, QStringLiteral("Nothing was imported from %1: %2.").arg(shown, refused));
        return false;
    }
    if (found.rows.isEmpty()) {
        const QString text = found.alreadyInList > 0
                                 ? QStringLiteral(
                                     "No new places in %1: the list holds them already (%2); it is unchanged.")
                                 : QStringLiteral("No places were found in %1 (%2); the list is unchanged.");
        MessageBox::information(this, text.arg(shown, exchange::summary(found)));
        return false;
    }
    List1->addItems(found.rows);
    setModified(true);
    MessageBox::information(this, QStringLiteral("Imported from %1: %2.\n\nThe places are at the end of the list; "
                                                 "save to keep them in the journal.")
                                      .arg(shown, exchange::summary(found)));
    return true;
}

void Form1::mnuFileExport_Click()
{
    const std::optional<QString> file = CommonDialog::saveFileAs(
        this, QStringLiteral("Export places"), QStringLiteral("velmora.kml"),
        QStringLiteral("KML (*.kml);;KMZ (*.kmz);;GPX (*.gpx)"));
    if (file)
        exportPlaces(*file);
}

bool Form1::exportPlaces(const QString& file)
{
    const QString shown = readable::fileName(file);
    log(QStringLiteral("Exporting places to ") + shown);
    QString error;
    if (!exchange::writeFile(file, List1->rows(), &error)) {
        MessageBox::information(this, QStringLiteral("The places could not be exported to %1: %2.").arg(shown, error));
        return false;
    }
    MessageBox::information(this, QStringLiteral("%1 exported to %2.").arg(placesText(List1->count()), shown));
    return true;
}
