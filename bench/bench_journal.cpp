// Load, save and list filling for the largest journal (32,767 places): each
// runs with the user waiting, so each should stay well under 50 ms, and the
// save should cost not much more than putting the same bytes on disk.

#include "benchdata.h"
#include "exchange/places.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "ui/journallist.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

namespace {

constexpr int kPlaces = 32767;

const QStringList& fullJournal()
{
    return benchdata::usersJournal();
}

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString journalPath()
{
    return folder().filePath(QString::fromLatin1(journal::kFileName));
}

void BM_LoadJournal(benchmark::State& state)
{
    const QByteArray bytes = journal::journalBytes(fullJournal());
    if (!textfile::writeAtomically(journalPath(), bytes)) {
        state.SkipWithError("cannot write the journal");
        return;
    }
    for (auto _ : state) {
        journal::ReadResult r = journal::readJournalFile(journalPath());
        benchmark::DoNotOptimize(r);
        if (r.rows.size() != kPlaces) {
            state.SkipWithError("journal did not load completely");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_LoadJournal)->Unit(benchmark::kMillisecond);

void BM_ParseJournal(benchmark::State& state)
{
    const QByteArray bytes = journal::journalBytes(fullJournal());
    for (auto _ : state)
        benchmark::DoNotOptimize(journal::parseJournal(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseJournal)->Unit(benchmark::kMillisecond);

void BM_JournalBytes(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(journal::journalBytes(fullJournal()));
}
BENCHMARK(BM_JournalBytes)->Unit(benchmark::kMillisecond);

void BM_SaveJournal(benchmark::State& state)
{
    QString error;
    for (auto _ : state) {
        if (!textfile::writeAtomically(journalPath(), journal::journalBytes(fullJournal()), &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
    }
}
BENCHMARK(BM_SaveJournal)->Unit(benchmark::kMillisecond);

// The file half of the save alone, bytes ready.
void BM_WriteAtomically(benchmark::State& state)
{
    const QByteArray bytes = journal::journalBytes(fullJournal());
    for (auto _ : state) {
        if (!textfile::writeAtomically(journalPath(), bytes)) {
            state.SkipWithError("atomic write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_WriteAtomically)->Unit(benchmark::kMillisecond);

// The yardstick for the save: the finished bytes put into a file with one write.
void BM_OneWriteBaseline(benchmark::State& state)
{
    const QByteArray bytes = journal::journalBytes(fullJournal());
    const QString path = folder().filePath(QStringLiteral("plain.js"));
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
            state.SkipWithError("plain write failed");
            break;
        }
        file.close();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_OneWriteBaseline)->Unit(benchmark::kMillisecond);

// Places out to other programs and back, file included. The yardsticks,
// measured in the same run: the journal's own load, and gpsbabel (an
// independent reader of the same formats) reading the same file.

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One load of the full journal, as the window and the command line load it.
double journalLoadSeconds()
{
    static const bool written = textfile::writeAtomically(journalPath(), journal::journalBytes(fullJournal()));
    if (!written)
        return 0;
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(journal::readJournalFile(journalPath()));
    return secondsSince(start);
}

// The best of three runs of gpsbabel reading `path` and keeping nothing
// (no output), as a process started from here; 0 when it cannot run.
double gpsbabelSeconds(const QString& path, const char* format)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (program.isEmpty())
        return 0;
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QProcess p;
        const auto start = std::chrono::steady_clock::now();
        p.start(program, {QStringLiteral("-i"), QLatin1String(format), QStringLiteral("-f"), path, QStringLiteral("-x"),
                          QStringLiteral("nuketypes,waypoints")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return 0;
        best = std::min(best, secondsSince(start));
    }
    return best;
}

// `seconds` of the benchmark's rounds beside `loads`, the journal loads
// made between them (so that both meet the same machine), and beside
// gpsbabel on the same file.
void yardsticks(benchmark::State& state, double seconds, double loads, const QString& path, const char* format)
{
    const double per = seconds / double(state.iterations());
    state.counters["vs_journal_load"] = seconds / loads;
    state.counters["journal_load_ms"] = loads / double(state.iterations()) * 1e3;
    if (const double babel = format ? gpsbabelSeconds(path, format) : 0) {
        state.counters["vs_gpsbabel"] = per / babel;
        state.counters["gpsbabel_ms"] = babel * 1e3;
    }
}

void BM_ExportPlaces(benchmark::State& state, const char* name, const char* format)
{
    const QString path = folder().filePath(QLatin1String(name));
    QString error;
    double seconds = 0;
    double loads = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!exchange::writeFile(path, fullJournal(), &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        const double took = secondsSince(start);
        state.SetIterationTime(took);
        seconds += took;
        loads += journalLoadSeconds();
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
    yardsticks(state, seconds, loads, path, format);
}
BENCHMARK_CAPTURE(BM_ExportPlaces, kml, "places.kml", "kml")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPlaces, gpx, "places.gpx", "gpx")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPlaces, kmz, "places.kmz", nullptr)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPlaces, geojson, "places.geojson", "geojson")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPlaces, csv, "places.csv", "unicsv")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ImportPlaces(benchmark::State& state, const char* name, const char* format)
{
    const QString path = folder().filePath(QLatin1String(name));
    if (!exchange::writeFile(path, fullJournal(), nullptr)) {
        state.SkipWithError("cannot write the places file");
        return;
    }
    double seconds = 0;
    double loads = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        exchange::Import found = exchange::readFile(path);
        const double took = secondsSince(start);
        state.SetIterationTime(took);
        seconds += took;
        loads += journalLoadSeconds();
        benchmark::DoNotOptimize(found);
        if (found.rows != fullJournal()) {
            state.SkipWithError("places file did not come back as the same rows");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
    yardsticks(state, seconds, loads, path, format);
}
BENCHMARK_CAPTURE(BM_ImportPlaces, kml, "places.kml", "kml")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportPlaces, gpx, "places.gpx", "gpx")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportPlaces, kmz, "places.kmz", nullptr)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportPlaces, geojson, "places.geojson", "geojson")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportPlaces, csv, "places.csv", "unicsv")->UseManualTime()->Unit(benchmark::kMillisecond);

// A GeoJSON file of the full journal against the KML file of the same
// places, the floor: a round of each in turn, so that both meet the same
// machine, and the medians compared. vs_kml should stay within 1.3.
void BM_ImportGeoJsonAgainstKml(benchmark::State& state)
{
    const QString json = folder().filePath(QStringLiteral("against.geojson"));
    const QString kml = folder().filePath(QStringLiteral("against.kml"));
    if (!exchange::writeFile(json, fullJournal(), nullptr) || !exchange::writeFile(kml, fullJournal(), nullptr)) {
        state.SkipWithError("cannot write the places files");
        return;
    }
    std::vector<double> jsonRounds, kmlRounds;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const exchange::Import fromJson = exchange::readFile(json);
        const double tookJson = secondsSince(start);
        start = std::chrono::steady_clock::now();
        const exchange::Import fromKml = exchange::readFile(kml);
        const double tookKml = secondsSince(start);
        state.SetIterationTime(tookJson);
        jsonRounds.push_back(tookJson);
        kmlRounds.push_back(tookKml);
        if (fromJson.rows != fullJournal() || fromKml.rows != fullJournal()) {
            state.SkipWithError("places files did not come back as the same rows");
            return;
        }
    }
    state.counters["vs_kml"] = benchdata::median(jsonRounds) / benchdata::median(kmlRounds);
    state.counters["kml_ms"] = benchdata::median(kmlRounds) * 1e3;
}
BENCHMARK(BM_ImportGeoJsonAgainstKml)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// The places of a file that the list holds already are left out: against
// an empty list (a first import) and against the full journal, every place
// of the file in it (the second import of the same file).
void BM_LeaveOutKnown(benchmark::State& state, bool fullList)
{
    const QStringList list = fullList ? fullJournal() : QStringList();
    double seconds = 0;
    double loads = 0;
    for (auto _ : state) {
        exchange::Import found;
        found.rows = fullJournal();
        const auto start = std::chrono::steady_clock::now();
        exchange::leaveOutKnown(found, list);
        const double took = secondsSince(start);
        state.SetIterationTime(took);
        seconds += took;
        loads += journalLoadSeconds();
        if (found.rows.size() != (fullList ? 0 : kPlaces)) {
            state.SkipWithError("places were not left out as they should");
            return;
        }
    }
    yardsticks(state, seconds, loads, QString(), nullptr);
}
// A fixed count: against an empty list the rounds take next to no time.
BENCHMARK_CAPTURE(BM_LeaveOutKnown, empty_list, false)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LeaveOutKnown, full_list, true)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// Start-up: an empty list receives the whole journal and is laid out.
void BM_FillList(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto list = std::make_unique<JournalList>();
        list->resize(600, 400);
        list->show();
        QApplication::processEvents();
        state.ResumeTiming();

        list->setRows(fullJournal());
        QApplication::processEvents();

        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond);

// Reload after a save: a full list is replaced by the whole journal.
void BM_RefillList(benchmark::State& state)
{
    JournalList list;
    list.resize(600, 400);
    list.show();
    list.setRows(fullJournal());
    QApplication::processEvents();
    for (auto _ : state) {
        list.setRows(fullJournal());
        QApplication::processEvents();
    }
    if (list.count() != kPlaces)
        state.SkipWithError("list is incomplete");
}
BENCHMARK(BM_RefillList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!folder().isValid())
        return 1;
    fullJournal();  // built once, outside every timing

    return benchdata::runBenchmarks(argc, argv);
}
