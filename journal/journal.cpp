#include "journal.h"

#include "row.h"

#include <QLocale>

namespace journal {

QString placesText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 place") : QStringLiteral("%1 places").arg(n);
}

QString placesRead(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 place was read") : QStringLiteral("%1 places were read").arg(n);
}

bool Journal::hasRoom(qsizetype held, qsizetype adding)
{
    return held + adding <= kMaxRows;
}

QString Journal::fullText()
{
    return QStringLiteral("The journal is full: it holds %1 places, the most it can hold. Remove places to make "
                          "room for new ones; nothing was added.")
        .arg(QLocale().toString(kMaxRows));
}

const ReadResult& Journal::reload(const QString& path)
{
    asRead_ = readJournalFile(path);
    emit reloaded();
    return asRead_;
}

bool Journal::isAsRead(const ReadResult& now) const
{
    return now.path == asRead_.path && now.fingerprint == asRead_.fingerprint;
}

Journal::SaveResult Journal::save(const QString& path, int waitMs, const Prepare& prepare, const LayerWriter& layer)
{
    SaveResult result;
    WriteTurn turn(path);
    if (!turn.take(waitMs, &result.why)) {
        // Only a busy turn is worth another try; a folder or lock path that
        // keeps anyone from writing is a failure to write.
        result.outcome = turn.busy() ? SaveResult::NoTurn : SaveResult::NotWritten;
        return result;
    }
    std::optional<QStringList> rows = prepare(turn);
    if (!rows)
        return result;
    result.rows = std::move(*rows);
    if (!journal::save(path, result.rows, &result.why)) {
        result.outcome = SaveResult::NotWritten;
        return result;
    }
    result.outcome = SaveResult::Written;
    // The layer is part of the save: no other writer comes in before it.
    result.layerFailures = layer(result.rows);
    turn.release();
    emit saved(path);
    return result;
}

}  // namespace journal
