#include "commandline.h"

#include "exchange/journalimport.h"
#include "exchange/places.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/paths.h"
#include "platform/readable.h"
#include "settings/settings.h"
#include "version.h"
#include "workspace/workspace.h"
#include "worldwind/placenames.h"

#include <QDir>
#include <QFileInfo>

namespace commandline {
namespace {

const QString kUsage = QStringLiteral(
    "Usage: velmora                       open the journal window\n"
    "       velmora export FILE.kml       write the journal's places to a KML file\n"
    "       velmora export FILE.gpx       write the journal's places to a GPX file\n"
    "       velmora export FILE.kmz       write the journal's places to a KMZ (zipped KML) file\n"
    "       velmora export FILE.geojson   write them as GeoJSON (also FILE.json), or FILE.csv as CSV\n"
    "       velmora import FILE...        add the places of KML, KMZ, GPX, GeoJSON or CSV files\n"
    "                                     (.json, .geojson, .csv) to the journal\n"
    "       velmora merge                 merge sync tools' conflict copies into the journal\n"
    "       velmora --help | --version\n"
    "\n"
    "The journal is the one of the save folder named in velmora.ini of the per-user\n"
    "folder, ~/.local/share/velmora (or $XDG_DATA_HOME/velmora), where the launcher\n"
    "runs the program, as in the window; file names are taken from the folder you\n"
    "call it in. An import saves the journal and refreshes the World Wind layer, as\n"
    "Save does in the window; a file that cannot be read changes nothing. Imports at\n"
    "the same time take turns. Conflict copies of the journal that a sync tool left\n"
    "beside it are merged whenever the journal is written.\n"
    "\n"
    "In the window: Edit > Find... (Ctrl+F) finds a place by any part of its name,\n"
    "comment or coordinates (Enter or F3 the next, Shift+F3 the one before); Edit >\n"
    "Sort by name and Sort by distance from the selected place reorder the list;\n"
    "Edit > Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z, Ctrl+Y) take changes back and redo\n"
    "them; File > Import places... and Export places... read and write places files.\n"
    "\"Show this place\" on Linux centres a Marble that is open (over D-Bus); else it\n"
    "hands the link to the program for worldwind: links, and without one to the\n"
    "program for geo: links.\n"
    "\n"
    "Exit status: 0 done; 1 failed, nothing changed; 2 not understood; 3 nothing\n"
    "to import, nothing changed; 4 the journal was saved, but the World Wind layer\n"
    "could not all be written.\n");

enum Exit { kDone = 0, kFailed = 1, kNotUnderstood = 2, kUnchanged = 3, kLayerNotWritten = 4 };

// How long an import waits while other writers have their turn.
constexpr int kWaitForTurnMs = 120'000;

using journal::placesText;

class Command {
public:
    Command(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}

    int exportTo(const QString& file)
    {
        if (!exchange::formatOf(file))
            return fail(QStringLiteral("export: %1 must end in .kml, .gpx, .kmz, .geojson, .json or .csv")
                            .arg(readable::fileName(file)),
                        kNotUnderstood);
        if (!readSettings() || !saveFolderExists() || !readJournal())
            return kFailed;
        const ExportOutcome exported = workspace_.exportTo(file);
        if (!exported.ok())
            return fail(exported.line());
        out_ << exported.line() << Qt::endl;
        return kDone;
    }

    int importFrom(const QStringList& files)
    {
        if (!readSettings())
            return kFailed;
        // Every file is read before anything is written: one bad file
        // leaves the journal as it was.
        for (const QString& file : files) {
            exchange::ImportFile read = exchange::readForImport(file);
            if (!read.found.ok())
                return fail(texts::notImported(read.shown, readable::message(read.found.error)));
            read_.append(std::move(read));
        }
        if (exchange::placesIn(read_) == 0) {
            reports_ = workspace_.planImport(read_).fileLines();
            return nothingToImport();
        }
        return saveImport();
    }

    // Only the conflict copies beside the journal, merged into it.
    int mergeCopies()
    {
        if (!readSettings() || !saveFolderExists())
            return kFailed;
        const QString path = workspace_.journalPath();
        bool whole = true;
        const journal::Journal::SaveResult saved = journal_.saveEdited(
            path, kWaitForTurnMs, [this, &whole] { return whole = journalReadInFull(); },
            [this](const QStringList& rows) { return writeLayerOf(rows); });
        if (!whole)
            return kFailed;
        if (saved.outcome == journal::Journal::SaveResult::NoTurn
            || saved.outcome == journal::Journal::SaveResult::NotWritten)
            return fail(texts::notSaved(path, saved.why));
        reportCopies(saved);
        if (saved.copiesMerged.isEmpty()) {
            if (!saved.copiesLeft.isEmpty())
                return kFailed;
            out_ << "No conflict copies of the journal to merge" << Qt::endl;
            return kUnchanged;
        }
        return layerOutcome(saved);
    }

private:
    QTextStream& out_;
    QTextStream& err_;
    Workspace workspace_;
    journal::Journal& journal_ = workspace_.journal();
    // An import: each file as shown and what it holds; the places it adds
    // and the line said for each file.
    QList<exchange::ImportFile> read_;
    QStringList added_;
    QStringList reports_;
    // The exit code when the import stops before writing.
    int stopped_ = kFailed;

    int nothingToImport()
    {
        for (const QString& report : std::as_const(reports_))
            out_ << report << Qt::endl;
        out_ << "No places to import; the journal is unchanged" << Qt::endl;
        return kUnchanged;
    }

    int nothingNew()
    {
        for (const QString& report : std::as_const(reports_))
            out_ << report << Qt::endl;
        out_ << "No new places to import" << Qt::endl;
        return kDone;
    }

    // From reading the journal to writing it and its layer: no other
    // writer comes between.
    int saveImport()
    {
        const QString path = workspace_.journalPath();
        const journal::Journal::SaveResult saved = journal_.saveEdited(
            path, kWaitForTurnMs, [this] { return joinImport(); },
            [this, &path](const QStringList& rows) { return writeLayer(path, rows); });
        reportCopies(saved);
        switch (saved.outcome) {
        case journal::Journal::SaveResult::NoTurn:
        case journal::Journal::SaveResult::NotWritten: return fail(texts::notSaved(path, saved.why));
        case journal::Journal::SaveResult::Stopped: return stopped_;
        case journal::Journal::SaveResult::Written: break;
        }
        if (added_.isEmpty())
            return stopped_;  // only copies were merged
        return layerOutcome(saved);
    }

    // The journal as read under the turn with the new places after it, by
    // the import rule the window follows too; false, having said why, when
    // there are none or they cannot be taken.
    bool joinImport()
    {
        if (!journalReadInFull())
            return false;
        const ImportOutcome planned = workspace_.planImport(read_);
        switch (planned.plan.outcome) {
        case exchange::ImportPlan::Refused: stopped_ = fail(planned.refusal()); return false;
        case exchange::ImportPlan::NothingNew:
            reports_ = planned.fileLines();
            // Conflict copies merged meanwhile are written all the same.
            stopped_ = journal_.isModified() ? nothingNew() : nothingToImport();
            return false;
        case exchange::ImportPlan::Adds: break;
        }
        reports_ = planned.fileLines();
        for (const QString& report : std::as_const(reports_))
            out_ << report << Qt::endl;
        added_ = planned.plan.rows;
        journal_.append(added_);
        return true;
    }

    // Said before the layer is written: the journal is saved by then.
    QStringList writeLayer(const QString& path, const QStringList& rows)
    {
        if (!added_.isEmpty())
            out_ << "Imported " << placesText(added_.size()) << " into " << paths::shown(path) << " ("
                 << placesText(rows.size()) << " now)" << Qt::endl;
        return writeLayerOf(rows);
    }

    QStringList writeLayerOf(const QStringList& rows) { return workspace_.writeLayer(rows).failures; }

    // Each conflict copy merged is said once; one left in place is a warning.
    void reportCopies(const journal::Journal::SaveResult& saved)
    {
        for (const QString& line : saved.copiesMerged)
            out_ << line << Qt::endl;
        for (const QString& line : saved.copiesLeft)
            err_ << "velmora: " << line << Qt::endl;
    }

    // The end of a save that wrote the journal: the layer written whole, or
    // which of its files were not.
    int layerOutcome(const journal::Journal::SaveResult& saved)
    {
        if (!saved.layerFailures.isEmpty())
            return fail(QStringLiteral("the journal was saved, but the World Wind layer could not all be written: ")
                            + saved.layerFailures.join(QStringLiteral("; ")),
                        kLayerNotWritten);
        out_ << "placenames files written" << Qt::endl;
        return kDone;
    }

    int fail(const QString& line, int code = kFailed)
    {
        err_ << "velmora: " << line << Qt::endl;
        return code;
    }

    bool readSettings()
    {
        const QString ini = Workspace::settingsFile();
        if (workspace_.openSettings())
            return true;
        fail(QStringLiteral("no readable settings file %1 in %2; start velmora without arguments to choose "
                            "the save folder")
                 .arg(ini, readable::fileName(QDir::toNativeSeparators(QDir::currentPath()))));
        return false;
    }

    // A missing save folder holds no journal: exporting it would look like
    // an empty journal.
    bool saveFolderExists()
    {
        const QString folder = QFileInfo(workspace_.journalPath()).absolutePath();
        if (QFileInfo(folder).isDir())
            return true;
        fail(QStringLiteral("the save folder %1 named in %2 does not exist")
                 .arg(paths::shown(folder), QString::fromLatin1(settingsfile::kFileName)));
        return false;
    }

    // The journal the settings name, all of it: a journal read in part must
    // not be replaced, nor exported as if it were whole.
    bool readJournal()
    {
        workspace_.openJournal();
        return journalReadInFull();
    }

    bool journalReadInFull()
    {
        const journal::ReadResult& read = journal_.asRead();
        if (read.complete())
            return true;
        fail(texts::notReadInFull(read));
        return false;
    }
};

}  // namespace

namespace {

// "velmora import --help": the command's own usage, never a file of that
// name (one is still reached as ./--help). Empty for a command without one.
QString commandUsage(const QStringList& args)
{
    const QStringList rest = args.mid(1);
    if (!rest.contains(QLatin1String("--help")) && !rest.contains(QLatin1String("-h")))
        return {};
    if (args[0] == QLatin1String("export"))
        return QStringLiteral(
            "Usage: velmora export FILE.kml | FILE.kmz | FILE.gpx | FILE.geojson | FILE.json | FILE.csv\n"
            "\n"
            "Writes the places of the journal (the one of the save folder named in\n"
            "velmora.ini of the per-user folder, ~/.local/share/velmora) to FILE, in the\n"
            "format its extension names.\n");
    if (args[0] == QLatin1String("import"))
        return QStringLiteral("Usage: velmora import FILE...\n"
                              "\n"
                              "Adds the places of KML, KMZ, GPX, GeoJSON (.json, .geojson) or CSV files to the\n"
                              "journal (the one of the save folder named in velmora.ini of the per-user\n"
                              "folder, ~/.local/share/velmora), leaving out those it holds already, saves it\n"
                              "and refreshes the World Wind layer. A file that cannot be read changes nothing.\n");
    if (args[0] == QLatin1String("merge"))
        return QStringLiteral("Usage: velmora merge\n"
                              "\n"
                              "Merges the conflict copies that a sync tool (Syncthing, Nextcloud, Dropbox)\n"
                              "left beside the journal into it, saves it, refreshes the World Wind layer and\n"
                              "removes the copies. A copy that cannot be read is left in place and named.\n");
    return {};
}

}  // namespace

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const QString command = args.value(0);
    if (const QString usage = commandUsage(args); !usage.isEmpty()) {
        out << usage;
        out.flush();
        return kDone;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out << kUsage;
        out.flush();
        return kDone;
    }
    if (command == QLatin1String("--version")) {
        out << "velmora " << version::kText << Qt::endl;
        return kDone;
    }
    Command c(out, err);
    if (command == QLatin1String("export")) {
        if (args.size() != 2) {
            err << "velmora: export takes one file name (velmora export FILE.kml, FILE.kmz or FILE.gpx)" << Qt::endl;
            return kNotUnderstood;
        }
        return c.exportTo(args[1]);
    }
    if (command == QLatin1String("import")) {
        if (args.size() < 2) {
            err << "velmora: import takes one or more file names (velmora import FILE...)" << Qt::endl;
            return kNotUnderstood;
        }
        return c.importFrom(args.mid(1));
    }
    if (command == QLatin1String("merge")) {
        if (args.size() != 1) {
            err << "velmora: merge takes no arguments (velmora merge)" << Qt::endl;
            return kNotUnderstood;
        }
        return c.mergeCopies();
    }
    err << "velmora: unknown command \"" << readable::text(command) << "\" (velmora --help lists the commands)"
        << Qt::endl;
    return kNotUnderstood;
}

}  // namespace commandline
