#include "links.h"

#include <cmath>
#include <cstdio>

namespace links {

bool isLocationLink(QStringView text)
{
    return text.startsWith(QLatin1String(kScheme));
}

QString startLink()
{
    return QStringLiteral("worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000");
}

QString decimal(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // 15 significant digits as d.dddddddddddddde±x, then the point moved by hand.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    QByteArray digits;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    if (digits == "0")
        return QStringLiteral("0");
    QByteArray out;
    if (exponent < 0) {
        out = "0." + QByteArray(-exponent - 1, '0') + digits;
    } else if (exponent + 1 >= digits.size()) {
        out = digits + QByteArray(exponent + 1 - digits.size(), '0');
    } else {
        out = digits.left(exponent + 1) + '.' + digits.mid(exponent + 1);
    }
    if (negative)
        out.prepend('-');
    return QString::fromLatin1(out);
}

QString linkFor(double latitude, double longitude)
{
    return QStringLiteral("worldwind://goto/world=Earth&lat=") + decimal(latitude) + QStringLiteral("&lon=")
           + decimal(longitude);
}

}  // namespace links
