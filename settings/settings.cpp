#include "settings.h"

#include "platform/codepage.h"
#include "platform/textfile.h"

#include <QList>
#include <limits>

namespace settingsfile {
namespace {

// Reads comma-delimited fields the way the file was always read: blanks
// before a field are skipped, a quoted field runs to the next quote, any
// other field to the next comma or line end, without its trailing blanks.
class FieldReader {
public:
    explicit FieldReader(const QString& text) : t_(text) {}

    bool next(QString& field)
    {
        while (i_ < t_.size() && (t_[i_] == u' ' || t_[i_] == u'\t'))
            ++i_;
        if (i_ >= t_.size())
            return false;
        if (t_[i_] == u'"') {
            const qsizetype close = t_.indexOf(u'"', i_ + 1);
            const qsizetype stop = close < 0 ? t_.size() : close;
            field = t_.mid(i_ + 1, stop - i_ - 1);
            i_ = stop + 1;
            // Whatever stands between the closing quote and the delimiter is dropped.
            while (i_ < t_.size() && !isDelimiter(t_[i_]))
                ++i_;
        } else {
            const qsizetype start = i_;
            while (i_ < t_.size() && !isDelimiter(t_[i_]))
                ++i_;
            field = t_.mid(start, i_ - start);
            while (field.endsWith(u' ') || field.endsWith(u'\t'))
                field.chop(1);
        }
        skipDelimiter();
        return true;
    }

private:
    static bool isDelimiter(QChar c) { return c == u',' || c == u'\r' || c == u'\n'; }

    void skipDelimiter()
    {
        if (i_ >= t_.size())
            return;
        if (t_[i_] == u'\r') {
            ++i_;
            if (i_ < t_.size() && t_[i_] == u'\n')
                ++i_;
        } else {
            ++i_;
        }
    }

    const QString& t_;
    qsizetype i_ = 0;
};

bool toInteger(const QString& field, qint64 min, qint64 max, qint64& out)
{
    bool ok = false;
    const qint64 v = field.trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool toBoolean(const QString& field, bool& out)
{
    const QString f = field.trimmed();
    if (f.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        out = true;
        return true;
    }
    if (f.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        out = false;
        return true;
    }
    bool ok = false;
    const double v = f.toDouble(&ok);
    if (!ok)
        return false;
    out = v != 0;
    return true;
}

QString textLine(const QString& value)
{
    const bool needsQuotes = value.contains(u',') || value.startsWith(u' ') || value.startsWith(u'\t')
                             || value.endsWith(u' ') || value.endsWith(u'\t') || value.startsWith(u'"')
                             || value.contains(u'\r') || value.contains(u'\n')
                             || value.startsWith(QStringView(u"\u00EF\u00BB\u00BF"));  // read as a byte-order mark
    return needsQuotes ? u'"' + value + u'"' : value;
}

}  // namespace

bool parse(const QByteArray& bytes, Settings& s)
{
    // Editors put a UTF-8 byte-order mark in front of files they save.
    const qsizetype bom = codepage::utf8MarkLength(bytes);
    const QString text = codepage::decode(bytes.constData() + bom, bytes.size() - bom);
    FieldReader in(text);
    QString f;
    qint64 n = 0;
    bool b = false;

    if (!in.next(f))
        return false;
    s.SaveDir = f;
    if (!in.next(f))
        return false;
    s.WWDir = f;
    if (!in.next(f))
        return false;
    s.fontName_ = f;
    if (!in.next(f) || !toInteger(f, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), n))
        return false;
    s.fontSize_ = qint16(n);
    if (!in.next(f) || !toInteger(f, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), n))
        return false;
    s.fontColor_ = qint32(n);
    if (!in.next(f) || !toBoolean(f, b))
        return false;
    s.fontBold_ = b;
    if (!in.next(f) || !toBoolean(f, b))
        return false;
    s.fontItalic_ = b;
    return true;
}

bool read(const QString& path, Settings& s)
{
    // Seven short lines are far below the limit.
    const textfile::FileRead file = textfile::readRegularFile(path, 1 << 20);
    return file.ok() && parse(file.bytes, s);
}

QByteArray bytes(const Settings& s)
{
    const auto boolean = [](bool v) { return v ? QStringLiteral("True") : QStringLiteral("False"); };
    const QString text = textLine(s.SaveDir) + QLatin1String("\r\n") + textLine(s.WWDir) + QLatin1String("\r\n")
                         + textLine(s.fontName_) + QLatin1String("\r\n") + textfile::printedNumber(s.fontSize_)
                         + QLatin1String("\r\n") + textfile::printedNumber(s.fontColor_) + QLatin1String("\r\n")
                         + boolean(s.fontBold_) + QLatin1String("\r\n") + boolean(s.fontItalic_)
                         + QLatin1String("\r\n");
    return codepage::encode(text);
}

bool write(const QString& path, const Settings& s, QString* error)
{
    return textfile::writeAtomically(path, bytes(s), error);
}

bool storable(const QString& text)
{
    if (text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n'))
        return false;
    for (const char32_t cp : text.toUcs4())
        if (!codepage::canHold(cp))
            return false;
    return true;
}

}  // namespace settingsfile
