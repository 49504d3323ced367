#pragma once
// Small pieces shared by every file the program writes.

#include <QByteArray>
#include <QString>

namespace textfile {

// A number as the program prints it into its text files: one blank before
// the digits ("-" instead for a negative value) and one after: " 10 ".
QString printedNumber(qint64 value);

// Writes the whole file or nothing: the bytes go to a temporary file in the
// same folder, which replaces `path` only once it is complete. On failure
// `error` (if given) receives the reason and any old file is left as it was.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

}  // namespace textfile
