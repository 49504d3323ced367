#include "art.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <initializer_list>

namespace art {
namespace {

constexpr double kDegree = M_PI / 180.0;
constexpr double kTropic = 23.44;

// Coarse outlines of the land masses, (longitude, latitude) in degrees:
// enough to recognise the Earth at the sizes drawn here.
using Outline = std::initializer_list<QPointF>;
const Outline kLand[] = {
    // Africa
    {{-17.1, 21}, {-13, 27.7}, {-9.8, 29.5}, {-6, 35.8}, {-2, 35.1}, {3, 36.8}, {10, 37.3}, {11, 33.5},
     {15, 32.3}, {20, 30.9}, {25, 31.6}, {32.3, 31.2}, {34.2, 27.8}, {37.2, 21}, {39, 16}, {43.3, 12.6},
     {51.2, 11.8}, {49.5, 6}, {42, -0.5}, {39.5, -5}, {40.5, -10.5}, {40.6, -15}, {35.5, -23}, {32.8, -26},
     {30, -31}, {25.6, -34}, {20, -34.8}, {18.4, -34}, {17.8, -30}, {15.2, -27}, {14.5, -22}, {11.8, -17.3},
     {13.5, -12}, {13.2, -8.8}, {12.2, -6}, {9.3, -1}, {9.8, 3.5}, {8.5, 4.5}, {5.5, 4.3}, {1.2, 6},
     {-4, 5.2}, {-7.5, 4.4}, {-11.5, 7}, {-13.3, 9.4}, {-16.7, 12.4}, {-17.5, 14.7}},
    // Madagascar
    {{44, -25}, {47, -25}, {50.5, -15.5}, {49.2, -12}, {44, -17}},
    // Europe
    {{-9.5, 36.9}, {-9, 43}, {-1.5, 43.4}, {-4.5, 48.4}, {1.5, 50.9}, {4, 51.5}, {8.5, 53.6}, {9.5, 57},
     {12, 56}, {10.5, 54}, {14, 54}, {19.5, 54.5}, {21.3, 57}, {24, 57.5}, {28, 59.5}, {22.5, 60.2},
     {25, 65}, {21.5, 65.5}, {17.5, 62.5}, {19, 60}, {16.5, 57}, {12.5, 55.5}, {11, 58.8}, {5.3, 59},
     {5, 62}, {10, 64}, {14.4, 67.9}, {19, 70}, {25.8, 71}, {31, 70}, {33, 69}, {40, 67}, {44, 68.5},
     {55, 68.3}, {60, 69}, {60, 55}, {50, 47}, {42, 41.5}, {36, 41}, {29, 41}, {26, 40.5}, {23.9, 38},
     {22.5, 36.5}, {21, 38.5}, {19.4, 41.8}, {13.5, 45.6}, {12.3, 44.4}, {16, 41.4}, {18.5, 40.1},
     {15.7, 38}, {12.5, 41.9}, {10, 44}, {7, 43.5}, {3.2, 43}, {3.2, 42}, {0.3, 40}, {-2, 36.8}, {-5.5, 36}},
    // Great Britain and Ireland
    {{-5.7, 50}, {1.5, 51}, {1.7, 52.7}, {0, 53.5}, {-1.5, 55.5}, {-3, 58.6}, {-5, 58.6}, {-6.2, 56.5},
     {-4.8, 55}, {-3, 54}, {-4.5, 53.3}, {-4.3, 51.7}, {-5.7, 51.7}},
    {{-10, 51.6}, {-6, 52}, {-6, 54.2}, {-8, 55.2}, {-10, 54}},
    // Asia with Anatolia and Arabia
    {{60, 69}, {68, 69}, {73, 72.5}, {80, 73}, {87, 75}, {100, 77}, {113, 73.5}, {130, 71}, {140, 72.5},
     {160, 70}, {180, 69}, {180, 65}, {178, 64.5}, {170, 60}, {163, 59.5}, {156, 51}, {156, 57.5},
     {143, 59.3}, {135, 54.7}, {141, 48}, {131, 42.5}, {129.5, 36}, {126.5, 34.5}, {126, 37.5}, {121, 40.5},
     {122, 37}, {119, 34.5}, {121.8, 31}, {119.5, 25}, {110, 20.5}, {108, 21.5}, {106, 18}, {109, 11.5},
     {105, 8.5}, {104, 10.5}, {100.5, 13.5}, {99, 8}, {103.5, 1.3}, {98, 4}, {98.5, 12}, {97.5, 16.5},
     {94.5, 18}, {91.8, 22.3}, {86.5, 20}, {80.2, 15.5}, {80, 10}, {77.5, 8}, {72.8, 19}, {70.2, 23},
     {66.6, 25.4}, {61.5, 25.2}, {57.3, 25.8}, {59.8, 22.5}, {55.7, 17.8}, {52, 15.8}, {45, 12.8},
     {43.2, 13.3}, {39, 21.5}, {35, 28}, {34.5, 31.5}, {35.8, 35.8}, {36, 36.8}, {30, 36.4}, {26.2, 39.5},
     {29, 41}, {36, 41.5}, {41.5, 41.5}, {50, 45}, {60, 55}},
    // Japan
    {{130, 31.5}, {135, 33.5}, {140, 35}, {141, 38}, {141.5, 41.3}, {140, 40}, {139, 38}, {136, 36.5},
     {132, 35}, {130.9, 34}},
    // North America
    {{-168, 65.5}, {-162, 70.2}, {-156.5, 71.3}, {-141, 69.7}, {-128, 70}, {-115, 68.5}, {-95, 68},
     {-88, 68.5}, {-82, 66.5}, {-87, 64}, {-94, 59}, {-92.5, 57}, {-82.5, 55}, {-79, 51.5}, {-77, 56},
     {-78, 62.4}, {-72, 61.8}, {-65, 60}, {-61, 56}, {-56, 52}, {-60, 50}, {-66, 49.3}, {-64, 46.8},
     {-60, 46}, {-66, 44.5}, {-70, 43.7}, {-70.5, 41.7}, {-74, 40.5}, {-76, 38}, {-75.5, 35.2}, {-81, 31.5},
     {-80, 27}, {-80.5, 25.2}, {-82.5, 27.8}, {-83.5, 29.8}, {-89, 30.3}, {-94, 29.6}, {-97.3, 27.5},
     {-97.5, 22}, {-95, 18.7}, {-91.5, 18.5}, {-90.5, 21}, {-87, 21.5}, {-88, 16}, {-83.3, 15}, {-83.7, 11},
     {-81.5, 8.8}, {-79.5, 9.5}, {-77.5, 8.5}, {-79.7, 7.3}, {-85.5, 10}, {-88, 13.2}, {-92.2, 14.5},
     {-96, 15.7}, {-105, 19.5}, {-105.7, 23}, {-109.5, 26}, {-112.8, 31.5}, {-114.7, 31.3}, {-112, 28},
     {-110, 23}, {-112.2, 24.8}, {-114.2, 28}, {-115.7, 30.5}, {-117.2, 32.6}, {-120.6, 34.5},
     {-122.5, 37.8}, {-124, 40.4}, {-124.5, 43}, {-124, 46.5}, {-124.7, 48.4}, {-127.5, 50.5}, {-131, 54},
     {-135, 57.5}, {-140, 59.8}, {-146, 61}, {-152, 59}, {-157, 58.5}, {-162, 55}, {-158, 58.7}, {-162, 60},
     {-166, 62}, {-165, 64.4}},
    // South America
    {{-77.5, 8.5}, {-72, 12}, {-64, 10.6}, {-61, 10.7}, {-57.5, 6}, {-51.5, 4.2}, {-50, 0}, {-44.5, -2.5},
     {-35.2, -5.5}, {-35, -9}, {-39, -13.5}, {-39.2, -17.8}, {-41, -22}, {-44.5, -23.2}, {-48.5, -26.5},
     {-48.7, -28.5}, {-53, -33.7}, {-56.8, -36.5}, {-57.5, -38.2}, {-62, -39}, {-65, -41}, {-63.8, -42.4},
     {-67.5, -46.4}, {-65.8, -47.8}, {-69, -50.3}, {-68.4, -52.5}, {-70, -54.9}, {-74.5, -52.5},
     {-75.5, -46.9}, {-73.5, -42}, {-73.6, -37}, {-71.5, -32}, {-70.4, -23}, {-70.3, -18.4}, {-75.8, -14.5},
     {-79.5, -7.5}, {-81.2, -5.5}, {-80, -2}, {-80.1, 0.9}, {-78.8, 1.5}, {-77.3, 4}, {-77.5, 6.5}},
    // Greenland
    {{-73, 78}, {-60, 82}, {-32, 83.5}, {-18, 81}, {-19, 75}, {-22, 70.5}, {-32, 68}, {-40, 65}, {-43, 60},
     {-48, 61}, {-52, 65}, {-54, 70}, {-58, 75.5}, {-66, 76.5}},
    // Australia
    {{114, -22}, {113.5, -26}, {115, -34}, {118, -35}, {123.5, -33.8}, {129, -31.6}, {134, -32.7},
     {138, -35.5}, {140, -38}, {144, -38.2}, {146.5, -39}, {150, -37.5}, {153.3, -28.5}, {153, -25},
     {149, -21.5}, {146, -18.8}, {145.4, -14.5}, {143.5, -14.2}, {142.5, -10.7}, {141.5, -13}, {141.6, -17},
     {140.5, -17.5}, {137.8, -16}, {136.5, -12}, {132.5, -11.5}, {130, -13}, {129, -15}, {126, -14},
     {122.2, -17.3}, {121, -19.5}},
    // Antarctica
    {{-180, -78}, {-150, -77}, {-120, -73}, {-90, -72.5}, {-75, -70}, {-60, -64}, {-57, -63.5}, {-60, -70},
     {-45, -78}, {-20, -73}, {0, -70}, {30, -69}, {60, -67}, {90, -66.5}, {120, -66.5}, {150, -68.5},
     {165, -72}, {170, -77}, {180, -78}, {180, -90}, {-180, -90}},
};

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
        for (const Outline& outline : kLand) {
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

    // Paints the lit sphere: ocean and land, darker towards the night side.
    void paintSurface(QImage& image) const
    {
        const QImage& mask = landMask();
        const double phi0 = lat0 * kDegree;
        const double lx = -0.45, ly = 0.45, lz = 0.77;  // light from the upper left
        const int top = std::max(0, int(centre.y() - radius)), bottom = std::min(image.height() - 1, int(centre.y() + radius) + 1);
        const int left = std::max(0, int(centre.x() - radius)), right = std::min(image.width() - 1, int(centre.x() + radius) + 1);
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
                image.setPixel(px, py, qRgb(std::min(255.0, r * light + rim * 0.5), std::min(255.0, g * light + rim * 0.8),
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

QImage icon()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const Globe globe{QPointF(16, 16), 15, 25, 5};
    globe.paintSurface(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 220, 255, 120), 0.6));
    for (int lat = -60; lat <= 60; lat += 30)
        p.drawPath(globe.line(true, lat));
    for (int lon = -180; lon < 180; lon += 30)
        p.drawPath(globe.line(false, lon));
    // A marker on a place, the journal's business.
    QPainterPath pin;
    pin.moveTo(21, 17);
    pin.cubicTo(17, 11, 17, 5, 21.5, 4.5);
    pin.cubicTo(26, 5, 26, 11, 21, 17);
    p.setPen(QPen(QColor(90, 0, 0), 1.0));
    p.setBrush(QColor(230, 40, 40));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(21.5, 8.7), 1.6, 1.6);
    return image;
}

}  // namespace art
