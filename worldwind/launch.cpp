#include "launch.h"

#include "links.h"
#include "platform/globebus.h"
#include "platform/readable.h"
#include "platform/shell.h"

namespace launch {

namespace {
// Enough to recognise a link, short enough for one line of a message box.
constexpr qsizetype kNamedLength = 80;

// Invisible characters that are not format characters: fillers, joiners
// of graphemes, variation selectors, the blank Braille pattern.
bool invisible(char32_t c)
{
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F)
           || c == 0x2800 || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0
           || (c >= 0xE0000 && c <= 0xE0FFF);
}

// What a link handed to another program may hold: visible characters other
// than blanks and quotes. Besides those that move text on the screen,
// format characters (U+200B, U+FEFF, U+FFF9 ...) and the other invisible
// ones would make the link opened differ from the one the user sees; a
// blank or a quote ends it on a command line; a lone surrogate is no
// character at all.
bool linkCharacter(char32_t c)
{
    if (c <= 0xFFFF && readable::controlOrBidi(char16_t(c)))
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return false;
    default: break;
    }
    return !invisible(c) && c != U'"' && c != U'\'' && c != U'`';
}

bool wholeLinkText(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (!linkCharacter(c))
            return false;
    }
    return true;
}
}  // namespace

bool isPlaceLink(QStringView target)
{
    if (!wholeLinkText(target))
        return false;
    return links::isLocationLink(target)
           || (target.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive) && links::readGeoUri(target).has_value());
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
        if (shown) {
            done(Shell::kOpened);
            return;
        }
        Shell::open(target, show, fallbacks, context, [=](int code) {
            // The globe started for it opens at the view's zoom, not its own.
            if (Shell::succeeded(code))
                GlobeBus::centreOnceStarted(view->latitude, view->longitude, view->zoom, context);
            done(code);
        });
    });
}

}  // namespace launch
