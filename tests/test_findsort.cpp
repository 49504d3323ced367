// Finding and ordering places on the core, without a window: the folded
// text, the steps through the matches as the journal changes, the orders
// by name and by distance, and the reorder that a Sort and its undo make.

#include "journal/journal.h"
#include "journal/row.h"
#include "worldwind/finder.h"
#include "worldwind/links.h"
#include "worldwind/placeorder.h"

#include <QCollator>
#include <QItemSelectionModel>
#include <QTest>

namespace {

QString place(const char* name, double lat, double lon, const char* comment = "")
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, lon), QString::fromUtf8(comment));
}

QStringList names(const QStringList& rows, const QList<int>& order)
{
    QStringList out;
    for (const int i : order)
        out.append(splitRow(rows[i]).name);
    return out;
}

QStringList names(const QStringList& rows)
{
    QStringList out;
    for (const QString& r : rows)
        out.append(splitRow(r).name);
    return out;
}

}  // namespace

class TestFindSort : public QObject {
    Q_OBJECT

private slots:
    void foldingIgnoresCaseAndAccents()
    {
        const std::pair<const char*, const char*> cases[] = {
            {"Zürich", "zurich"},
            {"ZÜRICH", "zurich"},
            {"Straße", "strasse"},
            {"Ærøskøbing", "aeroskobing"},
            {"Łódź", "lodz"},
            {"Ｔｏｋｙｏ", "tokyo"},
            {"Ｃafé", "cafe"},
            {"İstanbul", "istanbul"},
            {"Tom & \"Jerry's\"", "tom & \"jerry's\""},
            {"東京", "東京"},
        };
        for (const auto& [text, folded] : cases)
            QCOMPARE(finder::fold(QString::fromUtf8(text)), QString::fromUtf8(folded));
    }

    void stepsThroughNameCommentAndCoordinates()
    {
        journal::Journal model;
        model.setRows({place("Zürich", 47.3769, 8.5417), place("Café & \"Bar\"", 48.85, 2.35, "near ZURICH lake"),
                       place("Berlin", 52.52, 13.405, "capital"), place("Paris", 48.8566, 2.3522)});
        finder::Finder find(model);
        struct Step {
            const char* text;
            int from;
            bool backward;
            int row;
            bool wrapped;
        };
        const Step steps[] = {
            {"zurich", -1, false, 0, false},      // the name
            {"zurich", 0, false, 1, false},       // the comment
            {"zurich", 1, false, 0, true},        // round past the end
            {"ZÜRICH", 1, true, 0, false},        // backward
            {"zurich", 0, true, 1, true},         // round past the top
            {"48.85", 1, false, 3, false},        // the coordinates
            {"2.35", -1, true, 3, false},         // from the bottom
            {"& \"bar", -1, false, 1, false},     // as typed, quotes and all
            {"capital", 2, false, 2, true},       // only itself: found last
            {"worldwind", -1, false, -1, false},  // the link is not its text
            {"earth", -1, false, -1, false},
            {"lake\n", -1, false, -1, false},  // never across fields
            {"capital\nberlin", -1, false, -1, false},
            {"", -1, false, -1, false},
        };
        for (const Step& s : steps) {
            const finder::Finder::Found f = find.next(QString::fromUtf8(s.text), s.from, s.backward);
            QVERIFY2(f.row == s.row && f.wrapped == s.wrapped, s.text);
        }

        // It follows every kind of change of the rows.
        model.remove(0);
        QCOMPARE(find.next(QStringLiteral("berlin"), -1, false).row, 1);
        model.insert(0, {place("Zug", 47.17, 8.52, "near Zürich")});
        QCOMPARE(find.next(QStringLiteral("zurich"), -1, false).row, 0);
        model.replace(3, place("Lyon", 45.76, 4.84));
        QCOMPARE(find.next(QStringLiteral("paris"), -1, false).row, -1);
        QCOMPARE(find.next(QStringLiteral("lyon"), -1, false).row, 3);
        QVERIFY(model.reorder({3, 2, 1, 0}));
        QCOMPARE(find.next(QStringLiteral("lyon"), -1, false).row, 0);
        model.setRows({});
        QCOMPARE(find.next(QStringLiteral("lyon"), -1, false).row, -1);
    }

    void byNameInTheLocalesCollation()
    {
        const QStringList rows = {
            place("zebra", 0, 0),   place("Zürich", 0, 1), place("apple", 0, 2),  place("Zug", 0, 3),
            place("Äpple", 0, 4),   place("Banana", 0, 5), place("apple", 0, 6),  place("banana", 0, 7),
            place("Zurzach", 0, 8), place("", 0, 9),       place("apple", 0, 10),
        };
        const QList<int> order = placeorder::byName(rows, QCollator(QLocale(QStringLiteral("en_US"))));
        QCOMPARE(names(rows, order), QStringList({"", "apple", "apple", "apple", "Äpple", "banana", "Banana", "zebra",
                                                  "Zug", "Zürich", "Zurzach"}));
        // Equal names keep their order.
        QCOMPARE(order.mid(1, 3), QList<int>({2, 6, 10}));
        // Swedish puts Ä after Z.
        const QList<int> sv = placeorder::byName(rows, QCollator(QLocale(QStringLiteral("sv_SE"))));
        QCOMPARE(names(rows, sv).last(), QStringLiteral("Äpple"));
    }

    void byDistanceAcrossTheAntimeridian()
    {
        const QStringList rows = {
            place("Suva", -18.14, 178.44),      makeRow(u"no position", u"worldwind://goto/", u""),
            place("Apia", -13.83, -171.76),     place("Nuku'alofa", -21.14, -175.2),
            place("London", 51.5, -0.12),       place("Suva again", -18.14, 178.44),
            place("Port Vila", -17.73, 168.32), place("Pole", -90, 0),
        };
        const QList<int> order = placeorder::byDistance(rows, links::linkFor(-18.14, 178.44));
        QCOMPARE(names(rows, order), QStringList({"Suva", "Suva again", "Nuku'alofa", "Port Vila", "Apia", "Pole",
                                                  "London", "no position"}));
        QVERIFY(placeorder::byDistance(rows, u"worldwind://goto/").isEmpty());
        QVERIFY(qAbs(placeorder::distanceKm(0, 179.5, 0, -179.5) - 111.2) < 0.1);
        QVERIFY(qAbs(placeorder::distanceKm(90, 0, -90, 0) - 20015.1) < 0.1);
    }

    void reorderIsUndoneByItsInverse()
    {
        journal::Journal model;
        const QStringList rows = {place("a", 1, 1), place("b", 2, 2), place("b", 3, 3), place("c", 4, 4)};
        model.setRows(rows);
        QItemSelectionModel selection(&model);
        selection.setCurrentIndex(model.index(1), QItemSelectionModel::ClearAndSelect);

        const QList<int> order = {3, 2, 0, 1};
        QVERIFY(model.reorder(order));
        QCOMPARE(names(model.rows()), QStringList({"c", "b", "a", "b"}));
        QCOMPARE(model.rows()[3], rows[1]);
        QVERIFY(model.isModified());
        QCOMPARE(selection.currentIndex().row(), 3);  // the place keeps its selection
        QVERIFY(selection.isRowSelected(3));

        QVERIFY(model.reorder(journal::Journal::inverse(order)));
        QCOMPARE(model.rows(), rows);
        QCOMPARE(selection.currentIndex().row(), 1);

        // Anything but an order of all the rows changes nothing.
        for (const QList<int>& bad : {QList<int>{0, 1, 2}, QList<int>{0, 1, 2, 2}, QList<int>{0, 1, 2, 4},
                                      QList<int>{-1, 0, 1, 2}, QList<int>{0, 1, 2, 3, 4}})
            QVERIFY(!model.reorder(bad));
        QCOMPARE(model.rows(), rows);
    }
};

QTEST_GUILESS_MAIN(TestFindSort)
#include "test_findsort.moc"
