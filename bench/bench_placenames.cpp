// The export runs on every save, with the user waiting: the largest
// journal (32,767 places) must export in well under a blink, and not much
// slower than merely putting the same bytes on disk.

#include "worldwind/placenames.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

const QStringList& fullJournal()
{
    static const QStringList rows = [] {
        QStringList r;
        for (int i = 0; i < 32767; ++i) {
            const double lat = -89.0 + (i % 17800) * 0.01;
            const double lon = -179.0 + (i % 35800) * 0.01;
            r << QStringLiteral("Place %1 by the river\tworldwind://goto/world=Earth&lat=%2&lon=%3\tVisited in spring, note %1")
                     .arg(i)
                     .arg(lat, 0, 'f', 5)
                     .arg(lon, 0, 'f', 5);
        }
        return r;
    }();
    return rows;
}

const placenames::LabelFont kFont{QStringLiteral("arial"), 10, 16777215};

// The yardstick: the data file's bytes put into a file with one write().
double oneWriteSeconds(const QByteArray& bytes, const QString& folder)
{
    const QByteArray path = QDir(folder).filePath(QStringLiteral("plain.bin")).toLocal8Bit();
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
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

// The whole export into a World Wind folder; "vs_one_write" is its time
// over the median of the yardstick measured in the same folder.
void BM_Export(benchmark::State& state)
{
    QTemporaryDir ww(QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    QDir().mkpath(ww.filePath(QStringLiteral("add-ons/earth")));
    QDir().mkpath(ww.filePath(QStringLiteral("config/earth")));
    const QStringList& rows = fullJournal();

    std::vector<double> plain;
    const QByteArray bytes = placenames::dataFile(rows);
    for (int i = 0; i < 31; ++i)
        plain.push_back(oneWriteSeconds(bytes, ww.path()));
    std::nth_element(plain.begin(), plain.begin() + 15, plain.end());

    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const placenames::Result r = placenames::write(ww.path(), rows, kFont);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!r.ok())
            state.SkipWithError("export failed");
    }
    state.counters["vs_one_write"] = total / double(state.iterations()) / plain[15];
}
BENCHMARK(BM_Export)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
