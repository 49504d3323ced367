#pragma once
// The journal list: a view of the journal model. Each row's text stays
// exactly name TAB link TAB comment; the fields are drawn in columns at tab
// stops, as a list box with tab stops shows them.

#include <QListView>
#include <QStringList>

namespace journal {
class Journal;
}

class JournalList : public QListView {
    Q_OBJECT
public:
    explicit JournalList(QWidget* parent = nullptr);

    // The journal shown (set with setModel).
    journal::Journal* journal() const;
    // Its rows, as a list box would give them.
    void setRows(const QStringList& rows);
    QStringList rows() const;
    int count() const;
    QString row(int i) const;

    // The selected row, or -1 when none is.
    int selectedRow() const;
    // Selects row `i` (it becomes the current row too).
    void selectRow(int i);
    // No row selected afterwards.
    void clearSelectedRow();

    // Distance between tab stops, in pixels.
    int tabStop() const;

signals:
    // A click or a key of the user left no row selected (a click under the
    // rows, Ctrl+click on the selected one).
    void selectionClearedByUser();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;

private:
    template <class Handle>
    void watchClearing(Handle handle);
};
