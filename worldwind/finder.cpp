#include "finder.h"

#include "journal/journal.h"
#include "journal/row.h"
#include "worldwind/links.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace finder {
namespace {

// Letters that fold to plain letters without a decomposition of their own.
QStringView plainFor(char16_t c)
{
    switch (c) {
    case u'ß': return u"ss";
    case u'æ': return u"ae";
    case u'œ': return u"oe";
    case u'ø': return u"o";
    case u'ł': return u"l";
    case u'đ': return u"d";
    case u'ð': return u"d";
    case u'þ': return u"th";
    case u'ı': return u"i";
    default: return {};
    }
}

// One character folded, as UTF-8: its compatibility decomposition case
// folded, marks dropped. Worked out once per character met.
const QByteArray& foldedChar(char16_t c)
{
    thread_local std::unordered_map<char16_t, QByteArray> known;
    auto [at, added] = known.try_emplace(c);
    if (!added)
        return at->second;
    const QString plain = QString(QChar(c)).normalized(QString::NormalizationForm_KD).toCaseFolded();
    QString folded;
    for (const QChar p : plain) {
        if (p.category() == QChar::Mark_NonSpacing)
            continue;
        if (const QStringView mapped = plainFor(p.unicode()); !mapped.isEmpty())
            folded += mapped;
        else
            folded += p;
    }
    at->second = folded.toUtf8();
    return at->second;
}

void appendFolded(QByteArray& out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80)
            out += char(u >= u'A' && u <= u'Z' ? u + 32 : u);
        else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            out += text.sliced(i++, 2).toUtf8();  // beyond the first plane: kept as it is
        else if (!QChar::isSurrogate(u))
            out += foldedChar(u);
    }
}

}  // namespace

QString fold(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    appendFolded(out, text);
    return QString::fromUtf8(out);
}

QByteArray foldedRow(QStringView row)
{
    const RowView fields = viewRow(row);
    QByteArray text;
    text.reserve(row.size());
    appendFolded(text, fields.name);
    text += '\n';
    appendFolded(text, fields.comment);
    text += '\n';
    if (const std::optional<links::Position> p = links::position(fields.link))
        text += links::decimal(p->latitude).toLatin1() + ", " + links::decimal(p->longitude).toLatin1();
    return text + '\n';
}

Finder::Finder(journal::Journal& journal, QObject* parent) : QObject(parent), journal_(journal)
{
    using J = journal::Journal;
    connect(&journal, &J::rowsInserted, this, [this](const QModelIndex&, int f, int l) { rowsInserted(f, l); });
    connect(&journal, &J::rowsRemoved, this, [this](const QModelIndex&, int f, int l) { rowsRemoved(f, l); });
    connect(&journal, &J::dataChanged, this,
            [this](const QModelIndex& tl, const QModelIndex& br) { refold(tl.row(), br.row()); });
    connect(&journal, &J::modelReset, this, &Finder::forgetAll);
    connect(&journal, &J::layoutChanged, this, &Finder::forgetAll);
}

void Finder::forgetAll()
{
    allStale_ = true;
    joinStale_ = true;
}

void Finder::refold(int first, int last)
{
    if (allStale_)
        return;
    for (int i = first; i <= last && i < int(folded_.size()); ++i)
        folded_[i] = foldedRow(journal_.row(i));
    joinStale_ = true;
}

void Finder::rowsInserted(int first, int last)
{
    if (allStale_)
        return;
    folded_.insert(folded_.begin() + first, last - first + 1, QByteArray());
    refold(first, last);
}

void Finder::rowsRemoved(int first, int last)
{
    if (allStale_)
        return;
    folded_.erase(folded_.begin() + first, folded_.begin() + last + 1);
    joinStale_ = true;
}

void Finder::join()
{
    if (allStale_) {
        folded_.clear();
        folded_.reserve(journal_.count());
        for (const QString& row : journal_.rows())
            folded_.push_back(foldedRow(row));
        allStale_ = false;
        joinStale_ = true;
    }
    if (!joinStale_)
        return;
    qsizetype size = 0;
    for (const QByteArray& f : folded_)
        size += f.size();
    joined_.clear();
    joined_.reserve(size);
    starts_.clear();
    starts_.reserve(folded_.size() + 1);
    for (const QByteArray& f : folded_) {
        starts_.push_back(joined_.size());
        joined_ += f;
    }
    starts_.push_back(joined_.size());
    joinStale_ = false;
}

Finder::Found Finder::next(const QString& text, int from, bool backward)
{
    // UTF-8 keeps every match a match and halves what is searched; the
    // standard search runs on the bytes at memchr's pace.
    const QByteArray wanted = fold(text).toUtf8();
    if (wanted.isEmpty() || wanted.contains('\n'))
        return {};
    join();
    const int n = int(folded_.size());
    if (n == 0)
        return {};
    from = std::clamp(from, -1, n - 1);
    const std::string_view all(joined_.constData(), size_t(joined_.size()));
    const std::string_view needle(wanted.constData(), size_t(wanted.size()));
    const auto rowAt = [this](size_t pos) {
        return int(std::upper_bound(starts_.begin(), starts_.end(), qsizetype(pos)) - starts_.begin()) - 1;
    };
    // No match holds the line end that closes each row, so a match found
    // before a row's start lies wholly in the rows above it.
    if (!backward) {
        const size_t start = size_t(starts_[from + 1]);
        if (const size_t pos = all.find(needle, start); pos != all.npos)
            return {rowAt(pos), false};
        if (const size_t pos = all.substr(0, start).find(needle); pos != all.npos)
            return {rowAt(pos), from >= 0};
        return {};
    }
    const size_t end = size_t(starts_[from < 0 ? n : from]);
    if (const size_t pos = all.substr(0, end).rfind(needle); pos != all.npos)
        return {rowAt(pos), false};
    if (const size_t pos = all.rfind(needle); pos != all.npos && pos >= end)
        return {rowAt(pos), from >= 0};
    return {};
}

}  // namespace finder
