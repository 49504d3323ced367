#pragma once
// What the benchmarks share: a full journal of made-up places, the
// process's processor time, the median of several rounds, and the run.

#include "journal/journal.h"
#include "journal/row.h"

#include <QStringList>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace benchdata {

// A journal at the row limit, each place with a long link and comment.
inline const QStringList& fullJournal()
{
    static const QStringList rows = [] {
        QStringList r;
        r.reserve(kMaxRows);
        for (int i = 0; i < kMaxRows; ++i)
            r.append(makeRow(QStringLiteral("Place number %1").arg(i),
                             QStringLiteral("worldwind://goto/world=Earth&lat=%1&lon=%2")
                                 .arg(-90 + (i % 180) + 0.123456789012, 0, 'f', 13)
                                 .arg(-180 + (i % 360) + 0.98765432101, 0, 'f', 14),
                             QStringLiteral("a comment of some length for place %1").arg(i)));
        return r;
    }();
    return rows;
}

// Milliseconds of processor time used by the process so far: on a busy
// machine the wall clock also counts the waits for a processor.
inline double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs the benchmarks the command line names; 1 for arguments it does
// not know.
inline int runBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchdata
