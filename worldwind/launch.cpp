#include "launch.h"

#include "links.h"
#include "platform/readable.h"

namespace launch {

namespace {
// Enough to recognise a link, short enough for one line of a message box.
constexpr qsizetype kNamedLength = 80;
}  // namespace

bool isPlaceLink(QStringView target)
{
    return links::isLocationLink(target) || target.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive);
}

QString refusal(QStringView target)
{
    if (target.isEmpty())
        return QStringLiteral("There is no location link to show.");
    return QStringLiteral("\"%1\" is not a location link (worldwind:// or geo:), so it was not opened.")
        .arg(readable::text(target, kNamedLength));
}

QStringList preferredForms(const QString& link)
{
#ifdef Q_OS_WIN
    Q_UNUSED(link);
    return {};
#else
    if (!links::isLocationLink(link))
        return {};
    const std::optional<links::Position> at = links::position(link);
    if (!at)
        return {};
    return {QStringLiteral("geo:") + links::decimal(at->latitude) + QLatin1Char(',') + links::decimal(at->longitude)};
#endif
}

}  // namespace launch
