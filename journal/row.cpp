#include "row.h"

namespace {

QString flattened(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

}  // namespace

QString makeRow(const QString& name, const QString& link, const QString& comment)
{
    QString safeLink = link;
    safeLink.replace(QLatin1Char('\t'), QLatin1String("%09"));
    return flattened(name) + u'\t' + safeLink + u'\t' + flattened(comment);
}

RowFields splitRow(QStringView row)
{
    RowFields f;
    const qsizetype t1 = row.indexOf(u'\t');
    if (t1 < 0) {
        f.name = row.toString();
        return f;
    }
    f.name = row.left(t1).toString();
    const qsizetype t2 = row.indexOf(u'\t', t1 + 1);
    if (t2 < 0) {
        f.link = row.mid(t1 + 1).toString();
        return f;
    }
    f.link = row.mid(t1 + 1, t2 - t1 - 1).toString();
    const qsizetype t3 = row.indexOf(u'\t', t2 + 1);
    f.comment = (t3 < 0 ? row.mid(t2 + 1) : row.mid(t2 + 1, t3 - t2 - 1)).toString();
    return f;
}
