#pragma once
// The import of places files into the journal: which places join it, in
// one rule for the window and the command line. Known places are left
// out first (against the journal and the files before), then what is
// left must fit the field and row limits.

#include "places.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace exchange {

// One places file as read for an import: its name as messages show it
// and what it holds.
struct ImportFile {
    QString shown;
    Import found;
};
ImportFile readForImport(const QString& file);

struct ImportPlan {
    enum Outcome {
        Refused,     // nothing is imported: `refusedFile` says `why`, or the rows would not fit
        NothingNew,  // the files hold no place the journal lacks
        Adds,        // `rows` join the journal at its end
    };
    Outcome outcome = NothingNew;
    QString refusedFile;
    QString why;              // the file's fault; empty when the journal had no room
    QStringList rows;         // the places to add, in file order
    QList<ImportFile> files;  // each with the places it adds, the others counted
    qsizetype held = 0;
    bool tooMany() const { return outcome == Refused && why.isEmpty(); }
};

// The places of `files` (in order) that join the `held` rows.
ImportPlan planImport(const QStringList& held, QList<ImportFile> files);

// Places the files hold before any is left out.
qsizetype placesIn(const QList<ImportFile>& files);

}  // namespace exchange
