#include "textfile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace textfile {

QString printedNumber(qint64 value)
{
    return value < 0 ? QStringLiteral("-%1 ").arg(-value) : QStringLiteral(" %1 ").arg(value);
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    auto fail = [&] {
        QString reason = file.errorString();
        // QSaveFile reports a missing folder only as a generic open failure.
        if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
            reason = QStringLiteral("the folder does not exist");
        if (error)
            *error = reason;
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(bytes) != bytes.size())
        return fail();
    if (!file.commit())
        return fail();
    return true;
}

}  // namespace textfile
