// One table of imports run three ways: the import rule of the journal
// model, File > Import places... in the window, and "velmora import" on the
// command line. Each case must end the same way in all three.

#include "exchange/journalimport.h"
#include "exchange/places.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "worldwind/links.h"

#include <QProcess>
#include <QTest>

using guitest::StartFolder;

namespace {

QString place(const QString& name, double lat)
{
    return makeRow(name, links::linkFor(lat, 2), u"");
}

const QString kParis = place(QStringLiteral("Paris"), 48.85);
const QString kLong = place(QString(kMaxFieldLength + 1, u'n'), 10);
const QString kX = place(QStringLiteral("X"), 20), kY = place(QStringLiteral("Y"), 30);

// How an import ended: the places it added, or why it added none.
struct Outcome {
    enum Kind { Adds, NothingNew, Refused } kind;
    QStringList added;
    bool operator==(const Outcome&) const = default;
};

QString describe(const Outcome& o)
{
    static const char* const kinds[] = {"adds", "nothing new", "refused"};
    return QString::fromLatin1(kinds[o.kind]) + QStringLiteral(" %1 places").arg(o.added.size());
}

void prepare(StartFolder& start, const QStringList& journal, const QByteArray& file)
{
    start.write("velmora.ini", guitest::kSettings);
    start.write("velmora.js", journal::journalBytes(journal));
    start.write("in.kml", file);
    QDir().mkpath(start.path("add-ons/earth"));
    QDir().mkpath(start.path("config/earth"));
}

Outcome byModel(StartFolder& start)
{
    const QStringList held = journal::readJournalFile(start.path("velmora.js")).rows;
    const exchange::ImportPlan plan = exchange::planImport(held, {exchange::readForImport(start.path("in.kml"))});
    switch (plan.outcome) {
    case exchange::ImportPlan::Adds: return {Outcome::Adds, plan.rows};
    case exchange::ImportPlan::NothingNew: return {Outcome::NothingNew, {}};
    case exchange::ImportPlan::Refused: break;
    }
    return {Outcome::Refused, {}};
}

Outcome byWindow(StartFolder& start)
{
    Form1 form;
    guitest::startUp(form);
    const QStringList before = form.List1->rows();
    MessageBox::clearHistory();
    const bool imported = form.importPlaces(start.path("in.kml"));
    const QString said = MessageBox::history().value(0);
    if (imported)
        return {Outcome::Adds, form.List1->rows().mid(before.size())};
    return {said.startsWith(QLatin1String("Nothing was imported")) ? Outcome::Refused : Outcome::NothingNew, {}};
}

Outcome byCommandLine(StartFolder& start)
{
    const QStringList before = journal::readJournalFile(start.path("velmora.js")).rows;
    QProcess p;
    p.setWorkingDirectory(start.path());
    p.start(QStringLiteral(VELMORA_PROGRAM), {QStringLiteral("import"), QStringLiteral("in.kml")});
    if (!p.waitForFinished(60'000))
        return {Outcome::Refused, {QStringLiteral("did not finish")}};
    switch (p.exitCode()) {
    case 0: return {Outcome::Adds, journal::readJournalFile(start.path("velmora.js")).rows.mid(before.size())};
    case 3: return {Outcome::NothingNew, {}};
    default: return {Outcome::Refused, {}};
    }
}

}  // namespace

class TestImportCases : public QObject {
    Q_OBJECT

private slots:
    void theModelTheWindowAndTheCommandLineAgree()
    {
        const struct {
            const char* what;
            QStringList journal;
            QByteArray file;
            Outcome outcome;
        } cases[] = {
            {"new places", {kParis}, exchange::kmlBytes({kX, kY}), {Outcome::Adds, {kX, kY}}},
            {"a known place with a name of 32,768 characters, and a new one",
             {kParis, kLong},
             exchange::kmlBytes({kLong, kX}),
             {Outcome::Adds, {kX}}},
            {"a new place with a name of 32,768 characters",
             {kParis},
             exchange::kmlBytes({kLong, kX}),
             {Outcome::Refused, {}}},
            {"known places only", {kParis, kX}, exchange::kmlBytes({kX, kParis}), {Outcome::NothingNew, {}}},
            {"no places at all",
             {kParis},
             "<kml><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark></kml>",
             {Outcome::NothingNew, {}}},
            {"ill-formed", {kParis}, "<kml><Placemark>", {Outcome::Refused, {}}},
        };
        for (const auto& c : cases) {
            const std::pair<const char*, Outcome (*)(StartFolder&)> ways[] = {
                {"model", byModel}, {"window", byWindow}, {"command line", byCommandLine}};
            for (const auto& [way, run] : ways) {
                StartFolder start;
                prepare(start, c.journal, c.file);
                const Outcome got = run(start);
                QVERIFY2(got == c.outcome, qPrintable(QStringLiteral("%1, %2: %3, expected %4")
                                                          .arg(QLatin1String(c.what), QLatin1String(way), describe(got),
                                                               describe(c.outcome))));
            }
        }
    }
};

QTEST_MAIN(TestImportCases)
#include "test_importcases.moc"
