#include "journalimport.h"

#include "journal/journal.h"
#include "journal/row.h"
#include "platform/readable.h"

namespace exchange {

ImportFile readForImport(const QString& file)
{
    return {readable::fileName(file), readFile(file)};
}

qsizetype placesIn(const QList<ImportFile>& files)
{
    qsizetype places = 0;
    for (const ImportFile& f : files)
        places += f.found.rows.size();
    return places;
}

ImportPlan planImport(const QStringList& held, QList<ImportFile> files)
{
    ImportPlan plan;
    plan.held = held.size();
    const auto refuse = [&plan](const ImportFile& file, const QString& why) {
        plan.outcome = ImportPlan::Refused;
        plan.refusedFile = file.shown;
        plan.why = why;
        plan.rows.clear();
        return plan;
    };
    for (const ImportFile& file : std::as_const(files))
        if (!file.found.ok())
            return refuse(file, readable::message(file.found.error));
    for (ImportFile& file : files) {
        // A place the journal holds already is left out before the limits
        // are looked at: it was taken once and is not taken again.
        leaveOutKnown(file.found, held + plan.rows);
        if (const QString why = overlongField(file.found.rows); !why.isEmpty())
            return refuse(file, why);
        plan.rows += file.found.rows;
    }
    plan.files = std::move(files);
    if (plan.rows.isEmpty()) {
        plan.outcome = ImportPlan::NothingNew;
        return plan;
    }
    if (!journal::Journal::hasRoom(held.size(), plan.rows.size())) {
        plan.outcome = ImportPlan::Refused;
        plan.refusedFile = plan.files.size() == 1 ? plan.files.first().shown : QString();
        return plan;
    }
    plan.outcome = ImportPlan::Adds;
    return plan;
}

}  // namespace exchange
