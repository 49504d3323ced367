// One step of Find through a full journal (32,767 places) against one load
// of the same journal, measured in alternating rounds of the same run: the
// step must stay under a tenth of the load. Names and comments carry what
// users write ("&", accents, quotes); the text looked for is in no place, so
// every step searches all of them.

#include "benchdata.h"
#include "dialogs/findbox.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "worldwind/finder.h"
#include "worldwind/links.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include <functional>

namespace {

const QStringList& usersJournal()
{
    static const QStringList rows = [] {
        const char* names[] = {"Café & \"Bar\" n°%1", "Zürich – Öhringen %1", "L'Hôpital-Saint-Blaise %1",
                               "São Paulo & Niterói %1", "Kraków \"Stare Miasto\" %1"};
        QStringList r;
        r.reserve(kMaxRows);
        for (int i = 0; i < kMaxRows; ++i)
            r.append(makeRow(QString::fromUtf8(names[i % 5]).arg(i),
                             links::linkFor(-90 + (i % 180) + 0.123456789012, -180 + (i % 360) + 0.98765432101),
                             QStringLiteral("visited with Zoë & Anaïs, \"worth it\" (%1)").arg(i)));
        return r;
    }();
    return rows;
}

// Processor time of `work`: on a machine shared with others the wall clock
// also counts the waits for a processor.
double seconds(const std::function<void()>& work)
{
    const double start = benchdata::cpuMs();
    work();
    return (benchdata::cpuMs() - start) / 1e3;
}

// Rounds of `step`, each followed by one load of the same journal; the
// counter is the median of the rounds' ratios. A fixed count of rounds:
// a step takes next to no time beside the loads.
void againstLoads(benchmark::State& state, const std::function<void()>& step)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    if (!textfile::writeAtomically(path, journal::journalBytes(usersJournal()))) {
        state.SkipWithError("cannot write the journal");
        return;
    }
    std::vector<double> ratios;
    for (auto _ : state) {
        const double took = seconds(step);
        state.SetIterationTime(took);
        const double load = seconds([&] { benchmark::DoNotOptimize(journal::readJournalFile(path)); });
        ratios.push_back(took / load);
    }
    state.counters["vs_journal_load"] = benchdata::median(ratios);
}

// The search alone, on the core.
void BM_FindStep(benchmark::State& state)
{
    static journal::Journal model;
    static finder::Finder find(model);
    model.setRows(usersJournal());
    find.next(QStringLiteral("warm"), -1, false);  // folded once, outside the timing
    againstLoads(state, [] { benchmark::DoNotOptimize(find.next(QStringLiteral("zoë & nowhere"), 100, false)); });
}
BENCHMARK(BM_FindStep)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

// F3 in the window: the next match found, selected, its fields filled and
// the list scrolled to it: rows 3000, 30000 and 30005 in turn.
void BM_FindNextInWindow(benchmark::State& state)
{
    static Form1* form = [] {
        auto* f = new Form1;
        f->List1->setRows(usersJournal());
        f->show();
        f->mnuEditFind->trigger();
        f->findChild<FindBox*>()->findText->setText(QString::fromUtf8("bar\" n°3000"));
        QApplication::processEvents();
        return f;
    }();
    form->mnuEditFindNext->trigger();  // folded once, outside the timing
    againstLoads(state, [] {
        form->mnuEditFindNext->trigger();
        QApplication::processEvents();  // the repaint the user waits for
    });
}
BENCHMARK(BM_FindNextInWindow)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setNonInteractive(true);
    return benchdata::runBenchmarks(argc, argv);
}
