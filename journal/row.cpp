#include "row.h"

#include "platform/readable.h"

void flattenFrom(QString& row, qsizetype from)
{
    for (QChar *c = row.data() + from, *end = row.data() + row.size(); c != end; ++c)
        if (*c == u'\t' || *c == u'\r' || *c == u'\n')
            *c = u' ';
}

void escapeTabsFrom(QString& row, qsizetype from)
{
    if (QStringView(row).sliced(from).indexOf(u'\t') < 0)
        return;
    const QString tabbed = row.sliced(from);
    row.truncate(from);
    for (const QChar c : tabbed)
        if (c == u'\t')
            row += QLatin1String("%09");
        else
            row += c;
}

QString makeRow(QStringView name, QStringView link, QStringView comment)
{
    QString row;
    row.reserve(name.size() + link.size() + comment.size() + 2);
    row += name;
    flattenFrom(row, 0);
    row += u'\t';
    const qsizetype linkAt = row.size();
    row += link;
    escapeTabsFrom(row, linkAt);
    row += u'\t';
    const qsizetype commentAt = row.size();
    row += comment;
    flattenFrom(row, commentAt);
    return row;
}

RowView viewRow(QStringView row)
{
    RowView v;
    const qsizetype t1 = row.indexOf(u'\t');
    if (t1 < 0) {
        v.name = row;
        return v;
    }
    v.name = row.left(t1);
    const qsizetype t2 = row.indexOf(u'\t', t1 + 1);
    if (t2 < 0) {
        v.link = row.mid(t1 + 1);
        return v;
    }
    v.link = row.mid(t1 + 1, t2 - t1 - 1);
    const qsizetype t3 = row.indexOf(u'\t', t2 + 1);
    v.comment = t3 < 0 ? row.mid(t2 + 1) : row.mid(t2 + 1, t3 - t2 - 1);
    return v;
}

RowFields splitRow(QStringView row)
{
    const RowView v = viewRow(row);
    return {v.name.toString(), v.link.toString(), v.comment.toString()};
}

QString fieldTooLong(QLatin1StringView what, qsizetype length)
{
    return QStringLiteral("a %1 of %2 characters, more than the %3 a name, comment or link can hold")
        .arg(what, QString::number(length), QString::number(kMaxFieldLength));
}

QString overlongField(const QStringList& rows)
{
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const std::pair<QStringView, const char*> fields[] = {
            {f.name, "name"}, {f.comment, "comment"}, {f.link, "link"}};
        for (const auto& [text, what] : fields) {
            if (text.size() <= kMaxFieldLength)
                continue;
            const QString place = f.name.trimmed().isEmpty()
                                      ? QStringLiteral("a place without a name")
                                      : QStringLiteral("the place \"") + readable::text(f.name.trimmed())
                                            + QLatin1Char('"');
            return place + QStringLiteral(" has ") + fieldTooLong(QLatin1String(what), text.size());
        }
    }
    return {};
}
