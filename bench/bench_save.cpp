// The window's whole Save with a full journal like a user's (32,767 places,
// with "&", accents and quotes), from the click until the window has
// handled everything the save caused, offscreen: the journal, the three
// layer files, the message, the log, the caption and the fields. Its floor,
// measured in turns with it in the same run (BM_SaveFloor): the same
// journal and layer bytes encoded and written to new files with fdatasync
// and renamed, as a save writes them. The save should stay within 1.3
// times its floor. The parses of the journal by the watch after our own
// saves are counted: there should be none.

#include "benchdata.h"
#include "exchange/places.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "worldwind/placenames.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using benchdata::cpuMs;
using benchdata::median;
using benchdata::usersJournal;

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

// Writes `bytes` as a save writes a file, with nothing else: a new file,
// its bytes, fdatasync, renamed over `path`.
bool writeLikeASave(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path), copy = target + ".new";
    const int fd = ::open(copy.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    const bool ok = done == bytes.size() && fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok && std::rename(copy.constData(), target.constData()) == 0;
}

// The floor of a save: the journal and layer bytes that change with every
// save, encoded and written as a save writes them. Milliseconds.
double floorRound(const QStringList& rows)
{
    QElapsedTimer clock;
    clock.start();
    const QDir dir(folder().filePath(QStringLiteral("floor")));
    if (!writeLikeASave(dir.filePath(QStringLiteral("velmora.js")), journal::journalBytes(rows))
        || !writeLikeASave(dir.filePath(QStringLiteral("velmora.wwp")), placenames::dataFile(rows)))
        qFatal("the floor's files could not be written");
    return double(clock.nsecsElapsed()) / 1e6;
}

// Floor rounds of BM_Save, taken between its saves.
std::vector<double> floorMs;

// Save and its floor in turns, so that both see the same machine: each
// round one save and one floor, their ratio taken round by round.
void BM_Save(benchmark::State& state)
{
    Form1& f = window();
    journal::Journal& model = *f.journal();
    std::vector<double> ms, cpu, ratios, floorCpu;
    floorMs.clear();
    int watchParses = 0;
    for (auto _ : state) {
        // Every save has a change to write, as after an edit: a save
        // without one leaves the file as it is.
        model.replace(kMaxRows / 2, usersJournal()[kMaxRows / 2] + QString::number(ms.size()));
        QApplication::processEvents();
        const double floorCpuStart = cpuMs();
        const double floor = floorRound(model.rows());
        floorCpu.push_back(cpuMs() - floorCpuStart);

        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuMs();
        QTest::mouseClick(f.Command11, Qt::LeftButton);
        QApplication::processEvents();
        cpu.push_back(cpuMs() - cpuStart);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        state.SetIterationTime(ms.back() / 1e3);
        floorMs.push_back(floor);
        ratios.push_back(ms.back() / floor);

        // The watch looks a moment after the burst of changes.
        const int parses = model.parses();
        QTest::qWait(400);
        watchParses += model.parses() - parses;
    }
    const double saveMs = median(ms);
    state.counters["median_ms"] = saveMs;
    state.counters["floor_ms"] = median(floorMs);
    state.counters["ratio_to_floor"] = median(ratios);
    state.counters["cpu_ratio_to_floor"] = median(cpu) / median(floorCpu);
    state.counters["load_ms"] = loadMs;
    state.counters["ratio_to_load"] = loadMs > 0 ? saveMs / loadMs : 0;
    state.counters["cpu_ratio_to_load"] = loadCpuMs > 0 ? median(cpu) / loadCpuMs : 0;
    state.counters["watch_parses"] = watchParses;
}
BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// The floor rounds taken between BM_Save's rounds, as a row of their own.
void BM_SaveFloor(benchmark::State& state)
{
    size_t i = 0;
    for (auto _ : state)
        state.SetIterationTime(floorMs.empty() ? 0 : floorMs[i++ % floorMs.size()] / 1e3);
    state.counters["median_ms"] = median(floorMs);
}
BENCHMARK(BM_SaveFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

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
    dir.mkpath(QStringLiteral("floor"));
    if (!textfile::writeAtomically(journalFile(), journal::journalBytes(usersJournal()))
        || !textfile::writeAtomically(dir.filePath(QStringLiteral("velmora.ini")),
                                      ".\\\r\nww\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n"))
        return 1;
    QString error;
    if (!exchange::writeFile(dir.filePath(QStringLiteral("places.kml")), usersJournal(), &error))
        return 1;
    QDir::setCurrent(dir.path());
    window();  // built and loaded once, outside every timing

    return benchdata::runBenchmarks(argc, argv);
}
