#include "outcomes.h"

#include "journal/journal.h"
#include "journal/row.h"
#include "platform/paths.h"
#include "settings/settings.h"

using journal::placesText;

QString ImportOutcome::message() const
{
    const QString shown = plan.files.isEmpty() ? plan.refusedFile : plan.files.first().shown;
    switch (plan.outcome) {
    case exchange::ImportPlan::Refused: {
        const QString why = plan.tooMany()
                                ? QStringLiteral("the list holds %1 and the file %2, more than the %3 places a "
                                                 "journal can hold")
                                      .arg(placesText(plan.held), placesText(plan.rows.size()),
                                           QString::number(kMaxRows))
                                : plan.why;
        return QStringLiteral("Nothing was imported from %1: %2.").arg(shown, why);
    }
    case exchange::ImportPlan::NothingNew: {
        const exchange::Import& found = plan.files.first().found;
        const QString text = found.alreadyInList > 0
                                 ? QStringLiteral("%2 (%1); the list is unchanged.")
                                 : QStringLiteral("No places were found in %1 (%2); the list is unchanged.");
        return text.arg(shown, exchange::summary(found));
    }
    case exchange::ImportPlan::Adds: break;
    }
    return QStringLiteral("Imported from %1: %2.\n\nThe places are at the end of the list; save to keep them in "
                          "the journal.")
        .arg(shown, exchange::summary(plan.files.first().found));
}

QStringList ImportOutcome::fileLines() const
{
    QStringList lines;
    for (const exchange::ImportFile& file : plan.files)
        lines << file.shown + QStringLiteral(": ") + exchange::summary(file.found);
    return lines;
}

QString ImportOutcome::refusal() const
{
    if (!plan.tooMany())
        return texts::notImported(plan.refusedFile, plan.why);
    return QStringLiteral("the journal holds %1 and the files %2, more than the %3 a journal can hold; the journal "
                          "is unchanged")
        .arg(placesText(plan.held), placesText(plan.rows.size()), QString::number(kMaxRows));
}

QString ExportOutcome::message() const
{
    if (!ok())
        return QStringLiteral("The places could not be exported to %1: %2.").arg(shown, error);
    return QStringLiteral("%1 exported to %2.").arg(placesText(places), shown);
}

QString ExportOutcome::line() const
{
    if (!ok())
        return QStringLiteral("%1 could not be written: %2").arg(shown, error);
    return QStringLiteral("Exported %1 to %2").arg(placesText(places), shown);
}

namespace texts {

QString notImported(const QString& shownFile, const QString& why)
{
    return shownFile + QStringLiteral(" was not imported: ") + why + QStringLiteral("; the journal is unchanged");
}

QString notSaved(const QString& path, const QString& why)
{
    return QStringLiteral("the journal %1 could not be saved: %2; it is unchanged").arg(paths::shown(path), why);
}

QString notReadInFull(const journal::ReadResult& read)
{
    const QString why = !read.opened ? read.whyNotRead
                        : read.firstCrowdedLine > 0
                            ? QStringLiteral("line %1 holds more than one place").arg(read.firstCrowdedLine)
                            : QStringLiteral("reading stopped at line %1").arg(read.stoppedAtLine);
    return QStringLiteral("the journal %1 could not be read in full (%2); open it in the window to mend it, "
                          "nothing was changed")
        .arg(paths::shown(read.path), why);
}

QString saveFailed(const QString& path, const QString& why, bool tryAgain)
{
    const QString text = QStringLiteral("The journal could not be saved to %1: %2.").arg(paths::shown(path), why);
    return tryAgain ? text + QStringLiteral(" Try again in a moment.") : text;
}

QString settingsNotSaved(const QString& why)
{
    return QStringLiteral("The settings could not be saved to %1: %2.")
        .arg(paths::shown(QString::fromLatin1(settingsfile::kFileName)), why);
}

}  // namespace texts
