#pragma once
// Finding places as the user types: any part of a name, a comment or the
// coordinates, without regard to case or accents. Each row's text is folded
// once and kept up to date as the journal changes, so that a step through
// the matches only searches.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringView>

#include <vector>

namespace journal {
class Journal;
}

namespace finder {

// The text as the finder compares it: case folded, accents and other marks
// dropped, compatibility forms made plain ("Zürich" and "ZURICH" both give
// "zurich", "Straße" "strasse").
QString fold(QStringView text);

// What a row is found by, folded, as UTF-8: name, comment and "lat, lon"
// of its link, on lines of their own so that no match runs from one into
// the next.
QByteArray foldedRow(QStringView row);

class Finder : public QObject {
    Q_OBJECT
public:
    explicit Finder(journal::Journal& journal, QObject* parent = nullptr);

    struct Found {
        int row = -1;          // -1: no place matches
        bool wrapped = false;  // the search went past the end (or the top)
    };
    // The first row after `from` (before it when `backward`) whose text
    // holds `text`, going round past the end; `from` -1 starts at the top
    // (or the bottom). The row `from` itself is found last.
    Found next(const QString& text, int from, bool backward);

private:
    void refold(int first, int last);
    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void forgetAll();
    void join();

    journal::Journal& journal_;
    std::vector<QByteArray> folded_;  // UTF-8
    bool allStale_ = true;
    // Every folded row one after the other, and where each one starts.
    QByteArray joined_;
    std::vector<qsizetype> starts_;
    bool joinStale_ = true;
};

}  // namespace finder
