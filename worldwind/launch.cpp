#include "launch.h"

#include "links.h"

namespace launch {

namespace {
constexpr qsizetype kNamedLength = 80;
}

bool isPlaceLink(QStringView target)
{
    return links::isLocationLink(target) || target.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive);
}

QString named(QStringView text)
{
    QString out;
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++count) {
        if (count == kNamedLength)
            return out + QStringLiteral("...");
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        ++i;
        const QString hex = QString::number(uint(c), 16).toUpper();
        const QChar::Category category = QChar::category(c);
        if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c < 0x100 && category == QChar::Other_Control)
            out += QLatin1String("\\x") + hex.rightJustified(2, u'0');
        else if (category == QChar::Other_Control || category == QChar::Other_Format
                 || category == QChar::Other_Surrogate || category == QChar::Separator_Line
                 || category == QChar::Separator_Paragraph)
            out += QLatin1String("\\u") + hex.rightJustified(4, u'0');
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QString refusal(QStringView target)
{
    if (target.isEmpty())
        return QStringLiteral("There is no location link to show.");
    return QStringLiteral("\"%1\" is not a location link (worldwind:// or geo:), so it was not opened.")
        .arg(named(target));
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
