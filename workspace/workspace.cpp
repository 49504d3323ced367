#include "workspace.h"

#include "journal/journalfile.h"

#include <QFile>

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
    std::future<QByteArray> layerData = std::async(std::launch::async,
                                                   [listed] { return placenames::dataFile(listed); });
    return journal_->save(waitMs, ask, [&](const QStringList& rows) {
        if (rows != listed)
            return writeLayer(rows).failures;
        return placenames::writeWith(
                   settings.WWDir, [&layerData] { return layerData.get(); }, placenames::labelFont(settings))
            .failures;
    });
}
