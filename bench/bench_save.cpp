// The window's whole Save with a full journal (32,767 places), from the
// click until the window has handled everything the save caused, offscreen:
// the journal, the three layer files, the message, the log, the caption and
// the fields. One load of the same journal from its file is the yardstick
// measured in the same run; the save should stay within 1.3 of it. The
// parses of the journal by the watch after our own saves are counted: there
// should be none.

#include "benchdata.h"
#include "exchange/places.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

using benchdata::cpuMs;
using benchdata::fullJournal;
using benchdata::median;

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString journalFile()
{
    return folder().filePath(QStringLiteral("velmora.js"));
}

// Milliseconds of one journal load, median of this run: wall clock and
// processor time.
double loadMs = 0;
double loadCpuMs = 0;

void BM_LoadJournalBaseline(benchmark::State& state)
{
    std::vector<double> ms, cpu;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuMs();
        journal::ReadResult r = journal::readJournalFile(journalFile());
        benchmark::DoNotOptimize(r);
        cpu.push_back(cpuMs() - cpuStart);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    loadMs = median(ms);
    loadCpuMs = median(cpu);
    state.counters["median_ms"] = loadMs;
    state.counters["cpu_ms"] = loadCpuMs;
}
BENCHMARK(BM_LoadJournalBaseline)->Unit(benchmark::kMillisecond)->Iterations(30);

// The main window loaded with the full journal, shown offscreen.
Form1& window()
{
    static Form1* form = [] {
        auto* f = new Form1;
        f->Form_Load();
        f->show();
        if (!QTest::qWaitFor([f] { return !f->journal()->isOpening(); }, 10000))
            qFatal("the journal was not read");
        QApplication::processEvents();
        return f;
    }();
    return *form;
}

void BM_Save(benchmark::State& state)
{
    Form1& f = window();
    journal::Journal& model = *f.journal();
    std::vector<double> ms, cpu;
    int watchParses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Every save has a change to write, as after an edit: a save
        // without one leaves the file as it is.
        model.replace(kMaxRows / 2, fullJournal()[kMaxRows / 2] + QString::number(ms.size()));
        QApplication::processEvents();
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuMs();
        QTest::mouseClick(f.Command11, Qt::LeftButton);
        QApplication::processEvents();
        cpu.push_back(cpuMs() - cpuStart);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);

        state.PauseTiming();
        // The watch looks a moment after the burst of changes.
        const int parses = model.parses();
        QTest::qWait(400);
        watchParses += model.parses() - parses;
        state.ResumeTiming();
    }
    const double saveMs = median(ms);
    state.counters["median_ms"] = saveMs;
    state.counters["load_ms"] = loadMs;
    state.counters["ratio_to_load"] = loadMs > 0 ? saveMs / loadMs : 0;
    state.counters["cpu_ratio_to_load"] = loadCpuMs > 0 ? median(cpu) / loadCpuMs : 0;
    state.counters["watch_parses"] = watchParses;
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(20);

// File > Import of the list's own places as KML into the full list: the
// file read, every place found known, the list left as it is.
void BM_ImportIntoFullList(benchmark::State& state)
{
    Form1& f = window();
    const QString file = folder().filePath(QStringLiteral("places.kml"));
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        benchmark::DoNotOptimize(f.importPlaces(file));
        QApplication::processEvents();
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    state.counters["median_ms"] = median(ms);
    state.counters["ratio_to_load"] = loadMs > 0 ? median(ms) / loadMs : 0;
}
BENCHMARK(BM_ImportIntoFullList)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setNonInteractive(true);
    QDir dir(folder().path());
    dir.mkpath(QStringLiteral("ww/add-ons/earth"));
    dir.mkpath(QStringLiteral("ww/config/earth"));
    if (!textfile::writeAtomically(journalFile(), journal::journalBytes(fullJournal()))
        || !textfile::writeAtomically(dir.filePath(QStringLiteral("velmora.ini")),
                                      ".\\\r\nww\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n"))
        return 1;
    QString error;
    if (!exchange::writeFile(dir.filePath(QStringLiteral("places.kml")), fullJournal(), &error))
        return 1;
    QDir::setCurrent(dir.path());
    window();  // built and loaded once, outside every timing

    return benchdata::runBenchmarks(argc, argv);
}
