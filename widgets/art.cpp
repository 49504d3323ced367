#include "art.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegularExpression>
#include <cmath>

namespace art {
namespace {

constexpr double kDegree = M_PI / 180.0;
constexpr double kTropic = 23.44;

// The land outlines of the journal page's map (velmoralib.js, compiled in
// from resources/): one source for both pictures of the Earth. The page
// keeps them between two marker lines as
// "velmora.land = [ [lon,lat, lon,lat, ...], ... ];".
QList<QPolygonF> landOutlines()
{
    static const QLatin1String kBegin("\n// velmora.land: begin\n");
    static const QLatin1String kEnd("\n// velmora.land: end\n");
    QFile file(QStringLiteral(":/velmoralib.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLatin1(file.readAll());
    const qsizetype begin = text.indexOf(kBegin);
    const qsizetype end = text.indexOf(kEnd, begin + 1);
    if (begin < 0 || end < 0)
        return {};
    text = text.mid(begin + kBegin.size(), end - begin - kBegin.size());
    text.remove(QRegularExpression(QStringLiteral("//[^\n]*")));
    // The outlines are the groups inside the outer brackets.
    const qsizetype open = text.indexOf(u'['), close = text.lastIndexOf(u']');
    if (open < 0 || close <= open)
        return {};
    text = text.mid(open + 1, close - open - 1);
    QList<QPolygonF> outlines;
    static const QRegularExpression group(QStringLiteral("\\[([^\\]]*)\\]"));
    for (const QRegularExpressionMatch& m : group.globalMatch(text)) {
        const QStringList numbers = m.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        QPolygonF outline;
        for (qsizetype k = 0; k + 1 < numbers.size(); k += 2)
            outline << QPointF(numbers[k].trimmed().toDouble(), numbers[k + 1].trimmed().toDouble());
        outlines << outline;
    }
    return outlines;
}

// The land drawn once into a longitude/latitude grid of 4 cells a degree,
// so each pixel of a globe looks its ground up instead of clipping outlines
// at the globe's edge.
const QImage& landMask()
{
    static const QImage mask = [] {
        QImage image(1440, 720, QImage::Format_Grayscale8);
        image.fill(0);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (const QPolygonF& outline : landOutlines()) {
            QPolygonF polygon;
            for (const QPointF& lonLat : outline)
                polygon << QPointF((lonLat.x() + 180.0) * 4.0, (90.0 - lonLat.y()) * 4.0);
            p.drawPolygon(polygon);
        }
        return image;
    }();
    return mask;
}

// The globe as seen from far above (lat0, lon0): orthographic projection.
struct Globe {
    QPointF centre;
    double radius;
    double lat0, lon0;

    // Screen point of a place, and whether it faces the viewer.
    bool project(double lat, double lon, QPointF& out) const
    {
        const double phi = lat * kDegree, dl = (lon - lon0) * kDegree, phi0 = lat0 * kDegree;
        const double cosc = std::sin(phi0) * std::sin(phi) + std::cos(phi0) * std::cos(phi) * std::cos(dl);
        const double x = std::cos(phi) * std::sin(dl);
        const double y = std::cos(phi0) * std::sin(phi) - std::sin(phi0) * std::cos(phi) * std::cos(dl);
        out = QPointF(centre.x() + radius * x, centre.y() - radius * y);
        return cosc > 0.02;
    }

    // A projected point moved out to the rim when it lies on the far side:
    // outlines going round the back of the globe follow its edge.
    QPointF onDisc(const QPointF& projected) const
    {
        const QPointF d = projected - centre;
        const double length = std::hypot(d.x(), d.y());
        return length < 1e-9 ? projected : centre + d * (radius / length);
    }

    // Paints the lit sphere: ocean and land, darker towards the night side.
    void paintSurface(QImage& image) const
    {
        const QImage& mask = landMask();
        const double phi0 = lat0 * kDegree;
        const double lx = -0.45, ly = 0.45, lz = 0.77;  // light from the upper left
        const int top = std::max(0, int(centre.y() - radius)),
                  bottom = std::min(image.height() - 1, int(centre.y() + radius) + 1);
        const int left = std::max(0, int(centre.x() - radius)),
                  right = std::min(image.width() - 1, int(centre.x() + radius) + 1);
        for (int py = top; py <= bottom; ++py) {
            for (int px = left; px <= right; ++px) {
                const double x = (px + 0.5 - centre.x()) / radius, y = (centre.y() - py - 0.5) / radius;
                const double rho2 = x * x + y * y;
                if (rho2 >= 1.0)
                    continue;
                const double z = std::sqrt(1.0 - rho2);  // cos c
                const double rho = std::sqrt(rho2);
                double lat = lat0, lon = lon0;
                if (rho > 1e-9) {
                    const double sinc = rho;
                    lat = std::asin(z * std::sin(phi0) + y * sinc * std::cos(phi0) / rho) / kDegree;
                    lon = lon0 + std::atan2(x * sinc, rho * z * std::cos(phi0) - y * sinc * std::sin(phi0)) / kDegree;
                }
                lon = std::fmod(lon + 540.0, 360.0) - 180.0;
                const int mx = std::clamp(int((lon + 180.0) * 4.0), 0, mask.width() - 1);
                const int my = std::clamp(int((90.0 - lat) * 4.0), 0, mask.height() - 1);
                const double land = mask.constScanLine(my)[mx] / 255.0;
                const double light = 0.25 + 0.75 * std::max(0.0, x * lx + y * ly + z * lz);
                const double ice = std::abs(lat) > 66 ? 1.0 : 0.0;
                const double r = (1 - land) * 18 + land * (ice ? 225 : 70);
                const double g = (1 - land) * 52 + land * (ice ? 230 : 120);
                const double b = (1 - land) * 120 + land * (ice ? 240 : 55);
                // A thin bright rim: the atmosphere seen edge-on.
                const double rim = std::pow(1.0 - z, 4.0) * 90.0;
                image.setPixel(px, py,
                               qRgb(std::min(255.0, r * light + rim * 0.5), std::min(255.0, g * light + rim * 0.8),
                                    std::min(255.0, b * light + rim)));
            }
        }
    }

    // The visible pieces of a line of constant latitude or longitude.
    QPainterPath line(bool constantLatitude, double value) const
    {
        QPainterPath path;
        bool drawing = false;
        for (double t = constantLatitude ? -180.0 : -90.0; t <= (constantLatitude ? 180.0 : 90.0) + 1e-9; t += 1.0) {
            QPointF p;
            const bool visible = constantLatitude ? project(value, t, p) : project(t, value, p);
            if (visible && drawing)
                path.lineTo(p);
            else if (visible)
                path.moveTo(p);
            drawing = visible;
        }
        return path;
    }
};

// The icon is drawn in units of a 32 x 32 box, scaled to its size.
constexpr int kIconUnits = 32;
constexpr QPointF kPinEye(21.5, 8.7);

Globe iconGlobe(double scale)
{
    return Globe{QPointF(16, 16) * scale, 15 * scale, 25, 5};
}

// A marker on a place, the journal's business.
QPainterPath iconPin()
{
    QPainterPath pin;
    pin.moveTo(21, 17);
    pin.cubicTo(17, 11, 17, 5, 21.5, 4.5);
    pin.cubicTo(26, 5, 26, 11, 21, 17);
    return pin;
}

QByteArray svgNumber(double value)
{
    return QByteArray::number(std::round(value * 100) / 100, 'g', 6);
}

// The path's points as SVG path data (curves as they are, lines as lines).
QByteArray svgPath(const QPainterPath& path)
{
    QByteArray d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement: d += 'M'; break;
        case QPainterPath::LineToElement: d += 'L'; break;
        case QPainterPath::CurveToElement: d += 'C'; break;
        case QPainterPath::CurveToDataElement: d += ' '; break;
        }
        d += svgNumber(e.x) + ',' + svgNumber(e.y);
    }
    return d;
}

QString degrees(double value, char positive, char negative)
{
    if (value == 0)
        return QStringLiteral("0°");
    return QStringLiteral("%1°%2").arg(std::abs(value)).arg(QLatin1Char(value > 0 ? positive : negative));
}

}  // namespace

QImage aboutPicture(const QString& title)
{
    QImage image(520, 318, QImage::Format_RGB888);
    image.fill(Qt::black);

    // A few stars, always the same ones.
    quint32 seed = 7;
    for (int i = 0; i < 140; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = int(seed >> 8) % 520;
        seed = seed * 1103515245u + 12345u;
        const int y = int(seed >> 8) % 318;
        const int v = 90 + int(seed >> 24) % 140;
        image.setPixel(x, y, qRgb(v, v, v));
    }

    const Globe globe{QPointF(398, 192), 126, 18, 8};
    globe.paintSurface(image);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(200, 220, 255, 110), 0.8));
    for (int lat = -60; lat <= 60; lat += 30)
        p.drawPath(globe.line(true, lat));
    for (int lon = -180; lon < 180; lon += 30)
        p.drawPath(globe.line(false, lon));
    p.setPen(QPen(QColor(255, 205, 80, 220), 1.0, Qt::DashLine));
    p.drawPath(globe.line(true, kTropic));
    p.drawPath(globe.line(true, -kTropic));

    QFont small(QStringLiteral("Liberation Sans"));
    small.setPixelSize(9);
    p.setFont(small);
    p.setPen(QColor(220, 232, 255));
    QPointF at;
    // Latitudes along a meridian west of the centre, longitudes under the
    // equator, the tropics named where the other labels leave room.
    for (int lat = -60; lat <= 60; lat += 30)
        if (lat != 0 && globe.project(lat, -15, at))
            p.drawText(at + QPointF(3, -2), degrees(lat, 'N', 'S'));
    for (int lon = -60; lon <= 90; lon += 30)
        if (globe.project(0, lon, at))
            p.drawText(at + QPointF(3, 10), degrees(lon, 'E', 'W'));
    p.setPen(QColor(255, 205, 80));
    const QString cancer = QStringLiteral("Tropic of Cancer");
    if (globe.project(kTropic, 45, at))
        p.drawText(at + QPointF(-p.fontMetrics().horizontalAdvance(cancer) - 2, -3), cancer);
    if (globe.project(-kTropic, 0, at))
        p.drawText(at + QPointF(4, 11), QStringLiteral("Tropic of Capricorn"));

    // The title: white outlines over a dark fill, across the top.
    QFont big(QStringLiteral("Liberation Sans"));
    big.setPixelSize(38);
    big.setBold(true);
    QPainterPath text;
    text.addText(0, 0, big, title);
    const QRectF box = text.boundingRect();
    text.translate((image.width() - box.width()) / 2 - box.left(), 14 - box.top());
    p.setBrush(QColor(20, 45, 95, 200));
    p.setPen(QPen(Qt::white, 1.6));
    p.drawPath(text);
    return image;
}

QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const double scale = size / double(kIconUnits);
    const Globe globe = iconGlobe(scale);
    globe.paintSurface(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 220, 255, 120), 0.6 * scale));
    for (int lat = -60; lat <= 60; lat += 30)
        p.drawPath(globe.line(true, lat));
    for (int lon = -180; lon < 180; lon += 30)
        p.drawPath(globe.line(false, lon));
    p.scale(scale, scale);
    p.setPen(QPen(QColor(90, 0, 0), 1.0));
    p.setBrush(QColor(230, 40, 40));
    p.drawPath(iconPin());
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(kPinEye, 1.6, 1.6);
    return image;
}

QByteArray iconSvg()
{
    const Globe globe = iconGlobe(1.0);
    QByteArray svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
           "<defs>\n"
           // Light from the upper left, as the pictures' surface has it.
           "<radialGradient id=\"light\" cx=\"11\" cy=\"10\" r=\"20\" gradientUnits=\"userSpaceOnUse\">"
           "<stop offset=\"0\" stop-color=\"#000\" stop-opacity=\"0\"/>"
           "<stop offset=\"1\" stop-color=\"#000\" stop-opacity=\"0.7\"/></radialGradient>\n"
           "<radialGradient id=\"rim\" cx=\"16\" cy=\"16\" r=\"15\" gradientUnits=\"userSpaceOnUse\">"
           "<stop offset=\"0.85\" stop-color=\"#8cc8ff\" stop-opacity=\"0\"/>"
           "<stop offset=\"1\" stop-color=\"#8cc8ff\" stop-opacity=\"0.6\"/></radialGradient>\n"
           "<clipPath id=\"disc\"><circle cx=\"16\" cy=\"16\" r=\"15\"/></clipPath>\n"
           "</defs>\n"
           "<circle cx=\"16\" cy=\"16\" r=\"15\" fill=\"#123478\"/>\n"
           "<g clip-path=\"url(#disc)\">\n";
    for (const QPolygonF& outline : landOutlines()) {
        QPainterPath land;
        double latitudes = 0;
        bool anyVisible = false;
        for (const QPointF& lonLat : outline) {
            QPointF at;
            const bool visible = globe.project(lonLat.y(), lonLat.x(), at);
            anyVisible |= visible;
            if (!visible)
                at = globe.onDisc(at);
            latitudes += std::abs(lonLat.y());
            if (land.elementCount() == 0)
                land.moveTo(at);
            else
                land.lineTo(at);
        }
        if (!anyVisible || outline.isEmpty())
            continue;
        const bool ice = latitudes / outline.size() > 66;
        svg += "<path fill=\"" + QByteArray(ice ? "#e1e6f0" : "#467837") + "\" d=\"" + svgPath(land) + "Z\"/>\n";
    }
    svg += "</g>\n<circle cx=\"16\" cy=\"16\" r=\"15\" fill=\"url(#light)\"/>\n"
           "<circle cx=\"16\" cy=\"16\" r=\"15\" fill=\"url(#rim)\"/>\n"
           "<g fill=\"none\" stroke=\"#c8dcff\" stroke-opacity=\"0.47\" stroke-width=\"0.6\">\n";
    for (int lat = -60; lat <= 60; lat += 30)
        svg += "<path d=\"" + svgPath(globe.line(true, lat)) + "\"/>\n";
    for (int lon = -180; lon < 180; lon += 30)
        svg += "<path d=\"" + svgPath(globe.line(false, lon)) + "\"/>\n";
    svg += "</g>\n<path fill=\"#e62828\" stroke=\"#5a0000\" stroke-width=\"1\" d=\"" + svgPath(iconPin()) + "Z\"/>\n";
    svg += "<circle cx=\"" + QByteArray::number(kPinEye.x()) + "\" cy=\"" + QByteArray::number(kPinEye.y())
           + "\" r=\"1.6\" fill=\"#fff\"/>\n</svg>\n";
    return svg;
}

QImage placeMark()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Dark, then white, then red: the dot stands out on sea, land and ice.
    p.setPen(QPen(QColor(60, 0, 0), 1.0));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 40, 40));
    p.drawEllipse(QPointF(8, 8), 4.5, 4.5);
    return image;
}

}  // namespace art
