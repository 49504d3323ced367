#include "workspace.h"

#include "journal/history.h"
#include "journal/journalfile.h"
#include "platform/paths.h"
#include "platform/readable.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <future>
#include <limits>

Workspace::Workspace(QObject* parent) : QObject(parent), journal_(new journal::Journal(this))
{}

QString Workspace::settingsFile()
{
    return QString::fromLatin1(settingsfile::kFileName);
}

bool Workspace::readSettings()
{
    return settingsfile::read(settingsFile(), settings);
}

bool Workspace::writeSettings(QString* why) const
{
    return settingsfile::write(settingsFile(), settings, why);
}

qint16 Workspace::fontSize(double points)
{
    if (std::isnan(points))
        return 0;
    return qint16(std::clamp(std::nearbyint(points), double(std::numeric_limits<qint16>::min()),
                             double(std::numeric_limits<qint16>::max())));
}

QString Workspace::journalPath() const
{
    return journal::journalPath(settings.SaveDir);
}

placenames::Result Workspace::writeLayer(const QStringList& rows) const
{
    return placenames::write(settings.WWDir, rows, placenames::labelFont(settings));
}

journal::Journal::SaveResult Workspace::save(int waitMs, const journal::Journal::Ask& ask)
{
    const QStringList listed = journal_->rows();
    placenames::DataDraft draft(settings.WWDir, listed);
    std::future<void> made = std::async(std::launch::async, [&draft] { draft.make(); });
    const journal::Journal::SaveResult saved = journal_->save(waitMs, ask, [&](const QStringList& rows) {
        if (rows != listed) {
            draft.stop();
            made.wait();
            return writeLayer(rows).failures;
        }
        made.wait();
        return placenames::writeWith(settings.WWDir, draft, placenames::labelFont(settings)).failures;
    });
    draft.stop();  // a save that wrote no layer needs no draft
    return saved;
}

Workspace::Followed Workspace::followOtherWriter()
{
    if (!journal_->isModified())
        return {QStringLiteral("The journal was changed by another program; the list was read again"), openJournal()};
    if (journal_->noteChange())
        return {QStringLiteral("The journal was changed by another program; the list has unsaved changes, so it was "
                               "not read again"),
                std::nullopt};
    return {};
}

std::optional<journal::Journal::SaveResult> Workspace::mergeCopiesFound(int waitMs)
{
    if (journal_->isModified())
        return std::nullopt;
    const journal::Journal::SaveResult saved = journal_->saveEdited(
        journal_->path(), waitMs, [] { return false; },
        [this](const QStringList& rows) { return writeLayer(rows).failures; });
    journal_->takeSaved(saved);  // the list is the journal written
    return saved;
}

bool Workspace::openSettings()
{
    if (readSettings())
        return true;
    journal_->setUnread(journalPath());
    return false;
}

const journal::ReadResult& Workspace::openJournal()
{
    return journal_->open(journalPath());
}

void Workspace::openJournalInBackground()
{
    journal_->openInBackground(journalPath());
}

void Workspace::readAhead()
{
    // Without a readable settings file the Configuration dialog comes
    // first, and nothing is read here.
    Settings settings;
    if (settingsfile::read(settingsFile(), settings))
        journal::Journal::readAhead(journal::journalPath(settings.SaveDir));
}

ImportOutcome Workspace::planImport(QList<exchange::ImportFile> files) const
{
    return {exchange::planImport(journal_->rows(), std::move(files))};
}

ImportOutcome Workspace::import(const QString& file, int selected)
{
    ImportOutcome outcome = planImport({exchange::readForImport(file)});
    // The menu names the file alone, not its folders.
    if (outcome.adds())
        journal_->history().append(outcome.plan.rows,
                                   QStringLiteral("Import from %1").arg(readable::fileName(QFileInfo(file).fileName())),
                                   selected);
    return outcome;
}

ExportOutcome Workspace::exportTo(const QString& file) const
{
    ExportOutcome outcome;
    outcome.shown = readable::fileName(file);
    outcome.places = journal_->count();
    outcome.written = exchange::writeFile(file, journal_->rows(), &outcome.error);
    return outcome;
}

ConfigureOutcome Workspace::configure(const Settings& chosen, const Tell& notSaved)
{
    ConfigureOutcome outcome;
    settings = chosen;
    QString why;
    if (!writeSettings(&why)) {
        outcome.settingsNotSaved = texts::settingsNotSaved(why);
        // Said in the order it happened: the read below may log that the
        // history is gone.
        if (notSaved)
            notSaved(outcome.settingsNotSaved);
    }
    // The list becomes the journal of the new folder, unmodified: any
    // changes before were saved or given up.
    outcome.read = openJournal();
    outcome.log = copyWebViewFiles();
    return outcome;
}

namespace {

const QString kWebPage = QStringLiteral("velmora.html");
// The page's own four files first, then the map's libraries and outlines.
const char* const kWebViewFiles[] = {
    "velmoralib.js", "velmora.html",           "velmora.css",   "bg.jpg",      "d3-array.min.js",
    "d3-geo.min.js", "topojson-client.min.js", "world-110m.js", "world-50m.js"};

}  // namespace

QString Workspace::webPage() const
{
    return paths::shown(paths::join(settings.SaveDir, kWebPage));
}

bool Workspace::webPageMissing() const
{
    const QString page = paths::local(paths::join(settings.SaveDir, kWebPage));
    return QFileInfo(page).dir().exists() && !QFileInfo::exists(page);
}

QStringList Workspace::copyWebViewFiles() const
{
    QStringList log{QStringLiteral("Copying other files (jsLib, html, css)")};
    for (const char* name : kWebViewFiles) {
        const QString file = QString::fromLatin1(name);
        // Never over an existing file: a page the user changed in the save
        // folder stays as it is.
        const QString target = paths::local(paths::join(settings.SaveDir, file));
        QString why;
        if (!textfile::copyIfMissing(file, target, textfile::kMostCopied, &why) && !why.isEmpty())
            log << QStringLiteral("%1 was not copied: %2").arg(paths::shown(target), why);
    }
    return log;
}
