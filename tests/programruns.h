#pragma once
// The built program run as other writers run it, several at once.

#include <QProcess>
#include <QStringList>

#include <memory>
#include <vector>

namespace programruns {

struct Run {
    int exitCode = -1;  // -1: it did not end by itself in time
    QString out, err;
};

// Starts the program once per argument list, all at once, behind the
// command `before` (setpriv, prlimit), each in its entry of `folders`.
inline std::vector<std::unique_ptr<QProcess>> start(const QList<QStringList>& argLists, const QStringList& before = {},
                                                    const QStringList& folders = {})
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (qsizetype i = 0; i < argLists.size(); ++i) {
        const QStringList line = before + QStringList{QStringLiteral(VELMORA_PROGRAM)} + argLists[i];
        auto& p = processes.emplace_back(std::make_unique<QProcess>());
        if (i < folders.size())
            p->setWorkingDirectory(folders[i]);
        p->start(line.first(), line.mid(1));
    }
    return processes;
}

// Waits up to `ms` for each; one that has not ended then is killed.
inline QList<Run> finish(std::vector<std::unique_ptr<QProcess>>& processes, int ms = 120'000)
{
    QList<Run> runs;
    for (auto& p : processes) {
        Run r;
        if (p->waitForFinished(ms) && p->exitStatus() == QProcess::NormalExit)
            r.exitCode = p->exitCode();
        else
            p->kill();
        r.out = QString::fromUtf8(p->readAllStandardOutput());
        r.err = QString::fromUtf8(p->readAllStandardError());
        runs << r;
    }
    return runs;
}

inline QList<Run> atOnce(const QList<QStringList>& argLists, const QStringList& folders = {})
{
    auto processes = start(argLists, {}, folders);
    return finish(processes);
}

}  // namespace programruns
