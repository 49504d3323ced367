// The export runs on every save, with the user waiting: the largest
// journal (32,767 places) must export in well under a blink, and not much
// slower than merely putting the same bytes on disk.

#include "worldwind/placenames.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QStringList& fullJournal()
{
    static const QStringList rows = [] {
        QStringList r;
        for (int i = 0; i < 32767; ++i) {
            const double lat = -89.0 + (i % 17800) * 0.01;
            const double lon = -179.0 + (i % 35800) * 0.01;
            // Some names outside ASCII, as real journals have.
            r << QStringLiteral(
                     "%4 %1 by the river\tworldwind://goto/world=Earth&lat=%2&lon=%3\tVisited in spring, note %1")
                     .arg(i)
                     .arg(lat, 0, 'f', 5)
                     .arg(lon, 0, 'f', 5)
                     .arg(i % 16 ? QStringLiteral("Place") : QStringLiteral("Caf\u00e9"));
        }
        return r;
    }();
    return rows;
}

const placenames::LabelFont kFont{QStringLiteral("arial"), 10, 16777215};

// The yardstick: the data file's bytes written over the previous copy with
// one write(), as a plain program would save; `sync` adds the fdatasync
// that the export's atomic writes do before their rename.
double oneWriteSeconds(const QByteArray& bytes, const QString& folder, bool sync = false)
{
    const QByteArray path = QDir(folder).filePath(QStringLiteral("plain.bin")).toLocal8Bit();
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    if (sync)
        ::fdatasync(fd);
    ::close(fd);
    const auto stop = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(written);
    return std::chrono::duration<double>(stop - start).count();
}

void BM_DataFile(benchmark::State& state)
{
    const QStringList& rows = fullJournal();
    for (auto _ : state)
        benchmark::DoNotOptimize(placenames::dataFile(rows));
    state.SetBytesProcessed(state.iterations() * placenames::dataFile(rows).size());
}
BENCHMARK(BM_DataFile)->Unit(benchmark::kMillisecond);

void BM_OneWrite(benchmark::State& state)
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    const QByteArray bytes = placenames::dataFile(fullJournal());
    for (auto _ : state)
        state.SetIterationTime(oneWriteSeconds(bytes, dir.path()));
}
BENCHMARK(BM_OneWrite)->UseManualTime()->Unit(benchmark::kMillisecond);

// The whole export into a World Wind folder. Each round also writes the
// data file's bytes with one write() in the same folder, plain and synced,
// so that the ratios compare them under the same disk conditions.
void BM_Export(benchmark::State& state)
{
    QTemporaryDir ww(QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    QDir().mkpath(ww.filePath(QStringLiteral("add-ons/earth")));
    QDir().mkpath(ww.filePath(QStringLiteral("config/earth")));
    const QStringList& rows = fullJournal();
    const QByteArray bytes = placenames::dataFile(rows);

    double exports = 0;
    double plain = 0;
    double synced = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const placenames::Result r = placenames::write(ww.path(), rows, kFont);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!r.ok())
            state.SkipWithError("export failed");
        state.SetIterationTime(seconds);
        exports += seconds;
        plain += oneWriteSeconds(bytes, ww.path());
        synced += oneWriteSeconds(bytes, ww.path(), true);
    }
    const double rounds = double(state.iterations());
    state.counters["one_write_ms"] = plain / rounds * 1e3;
    state.counters["vs_one_write"] = exports / plain;
    state.counters["vs_synced_write"] = exports / synced;
}
BENCHMARK(BM_Export)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
