#include "launch.h"

#include "links.h"
#include "platform/globebus.h"
#include "platform/readable.h"
#include "platform/shell.h"

#include <algorithm>

namespace launch {

namespace {
// Enough to recognise a link, short enough for one line of a message box.
constexpr qsizetype kNamedLength = 80;
}  // namespace

bool isPlaceLink(QStringView target)
{
    if (links::isLocationLink(target))
        return std::none_of(target.begin(), target.end(), [](QChar c) { return readable::controlOrBidi(c.unicode()); });
    // readGeoUri allows blanks around the URI; a whole URI has none.
    return target.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive) && target.trimmed().size() == target.size()
           && links::readGeoUri(target).has_value();
}

QString refusal(QStringView target)
{
    if (target.isEmpty())
        return QStringLiteral("There is no location link to show.");
    return QStringLiteral("\"%1\" is not a location link (worldwind:// or geo:), so it was not opened.")
        .arg(readable::text(target, kNamedLength));
}

QStringList fallbackForms(const QString& link)
{
#ifdef Q_OS_WIN
    Q_UNUSED(link);
    return {};
#else
    if (!links::isLocationLink(link) || !isPlaceLink(link) || link == links::startLink())
        return {};
    const std::optional<links::Position> at = links::position(link);
    if (!at)
        return {};
    return {QStringLiteral("geo:") + links::decimal(at->latitude) + QLatin1Char(',') + links::decimal(at->longitude)};
#endif
}

std::optional<GlobeView> globeView(const QString& target)
{
    if (!isPlaceLink(target))
        return std::nullopt;
    if (target == links::startLink())
        return GlobeView{0, 0, kEarthZoom};
    if (links::isLocationLink(target)) {
        const std::optional<links::Position> at = links::position(target);
        return at ? std::optional(GlobeView{at->latitude, at->longitude}) : std::nullopt;
    }
    const std::optional<links::GeoPoint> at = links::readGeoUri(target);
    return GlobeView{at->latitude, at->longitude};
}

void open(const QString& target, int show, QObject* context, std::function<void(int)> done)
{
    const QStringList fallbacks = fallbackForms(target);
    const std::optional<GlobeView> view = globeView(target);
    if (!view) {
        Shell::open(target, show, fallbacks, context, std::move(done));
        return;
    }
    GlobeBus::centre(view->latitude, view->longitude, view->zoom, context, [=](bool shown) {
        if (shown)
            done(Shell::kOpened);
        else
            Shell::open(target, show, fallbacks, context, done);
    });
}

}  // namespace launch
