#include "journallist.h"

#include "journal/journal.h"

#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Tab stops every this many average characters.
constexpr int kTabStopChars = 24;

class TabStopDelegate : public QStyledItemDelegate {
public:
    explicit TabStopDelegate(JournalList* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                      : QPalette::Text));
        painter->setFont(opt.font);
        painter->setClipRect(area);
        const QFontMetrics fm(opt.font);
        const int stop = list_->tabStop();
        int x = 0;
        for (const QStringView field : QStringView(text).split(u'\t')) {
            painter->drawText(area.left() + x, area.top() + (area.height() + fm.ascent() - fm.descent()) / 2,
                              field.toString());
            const int end = x + fm.horizontalAdvance(field.toString());
            x = (end / stop + 1) * stop;  // the next tab stop past the text
            if (x > area.width())
                break;
        }
        painter->restore();
    }

private:
    JournalList* list_;
};

}  // namespace

JournalList::JournalList(QWidget* parent) : QListView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new TabStopDelegate(this));
}

journal::Journal* JournalList::journal() const
{
    return qobject_cast<journal::Journal*>(model());
}

void JournalList::setRows(const QStringList& rows)
{
    journal()->setRows(rows);
}

QStringList JournalList::rows() const
{
    return journal()->rows();
}

int JournalList::count() const
{
    return journal()->count();
}

QString JournalList::row(int i) const
{
    return journal()->row(i);
}

int JournalList::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void JournalList::selectRow(int i)
{
    selectionModel()->setCurrentIndex(model()->index(i, 0), QItemSelectionModel::ClearAndSelect);
}

void JournalList::clearSelectedRow()
{
    // Also without a current row, so that the arrow keys start afresh.
    selectionModel()->clear();
}

template <class Handle>
void JournalList::watchClearing(Handle handle)
{
    const bool before = selectedRow() >= 0;
    handle();
    if (before && selectedRow() < 0)
        emit selectionClearedByUser();
}

void JournalList::mousePressEvent(QMouseEvent* event)
{
    watchClearing([&] { QListView::mousePressEvent(event); });
}

void JournalList::mouseReleaseEvent(QMouseEvent* event)
{
    watchClearing([&] { QListView::mouseReleaseEvent(event); });
}

void JournalList::keyPressEvent(QKeyEvent* event)
{
    watchClearing([&] { QListView::keyPressEvent(event); });
}

int JournalList::tabStop() const
{
    return fontMetrics().averageCharWidth() * kTabStopChars;
}

void JournalList::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // Every row takes the first row's size, so a change to one other row
    // moves nothing: it is redrawn without laying out the whole journal
    // again, which costs a millisecond per edit with 32,767 rows.
    if (topLeft == bottomRight && topLeft.row() > 0)
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    else
        QListView::dataChanged(topLeft, bottomRight, roles);
}
