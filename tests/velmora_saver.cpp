// Saves the full journal and its placename layer over and over, switching
// between two versions, until it is killed. Used by test_killsave.
// Usage: velmora_saver SAVE_FOLDER WORLD_WIND_FOLDER [SAVES]

#include "journal/journalfile.h"
#include "killsave.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    const QString journalPath = journal::journalPath(QString::fromLocal8Bit(argv[1]));
    const QString wwDir = QString::fromLocal8Bit(argv[2]);
    const long saves = argc > 3 ? std::atol(argv[3]) : -1;
    const QStringList versions[2] = {killsave::rows(0), killsave::rows(1)};
    std::puts("ready");
    std::fflush(stdout);
    for (long i = 0; saves < 0 || i < saves; ++i) {
        const int v = int(i % 2);
        QString error;
        if (!journal::save(journalPath, versions[v], &error))
            return std::fprintf(stderr, "journal: %s\n", qPrintable(error)), 1;
        const placenames::Result r = placenames::write(wwDir, versions[v], killsave::font(v));
        if (!r.ok())
            return std::fprintf(stderr, "layer: %s\n", qPrintable(r.failures.join(u'\n'))), 1;
    }
    return 0;
}
