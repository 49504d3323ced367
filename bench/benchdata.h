#pragma once
// What the benchmarks share: a full journal of made-up places, the
// process's processor time, the median of several rounds, and the run.

#include "journal/journal.h"
#include "journal/row.h"

#include <QStringList>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <random>
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

// A journal at the row limit like a user's: names of 10 to 30 characters,
// some with "&", one in five with accents (a few of them outside the code
// page), real-looking links, comments of 0 to 60 characters with quotes.
inline const QStringList& usersJournal()
{
    static const QStringList rows = [] {
        std::mt19937 rng(1234);
        const auto pick = [&rng](const QStringList& from) {
            return from[std::uniform_int_distribution<qsizetype>(0, from.size() - 1)(rng)];
        };
        const QStringList words = {QStringLiteral("Saint"),       QStringLiteral("Lake"),    QStringLiteral("Mount"),
                                   QStringLiteral("old"),         QStringLiteral("harbour"), QStringLiteral("bridge"),
                                   QStringLiteral("Rock & Roll"), QStringLiteral("north"),   QStringLiteral("café")};
        const QStringList accented = {QString::fromUtf8("Zürich"),    QString::fromUtf8("Montréal"),
                                      QString::fromUtf8("São Paulo"), QString::fromUtf8("Łódź"),
                                      QString::fromUtf8("Cañón"),     QString::fromUtf8("Île-de-France")};
        const QStringList remarks = {QStringLiteral("nice view"), QStringLiteral("camped here in 2004"),
                                     QStringLiteral("\"best\" fish"), QStringLiteral("ask Joe's brother"),
                                     QStringLiteral("closed in winter")};
        std::uniform_int_distribution<int> nameLen(10, 30), commentLen(0, 60), percent(0, 99);
        std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
        QStringList r;
        r.reserve(kMaxRows);
        for (int i = 0; i < kMaxRows; ++i) {
            const int wanted = nameLen(rng);
            QString name = percent(rng) < 20 ? pick(accented) : pick(words);
            while (name.size() < wanted)
                name += u' ' + pick(words);
            name.truncate(wanted);
            const int commentWanted = commentLen(rng);
            QString comment;
            while (comment.size() < commentWanted)
                comment += pick(remarks) + u' ';
            comment.truncate(commentWanted);
            const QString link = QStringLiteral("worldwind://goto/world=Earth&lat=%1&lon=%2")
                                     .arg(lat(rng), 0, 'f', 13)
                                     .arg(lon(rng), 0, 'f', 14);
            r.append(makeRow(name, link, comment));
        }
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
