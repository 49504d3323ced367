// Build step: writes the program's icon, drawn by the program's own code,
// as the files the desktop looks for: PNG files of the sizes given and
// the SVG, into one folder.

#include "widgets/art.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !art::icon(size).save(folder + QStringLiteral("/velmora-%1.png").arg(size), "PNG"))
            return 1;
    }
    QFile svg(folder + QStringLiteral("/velmora.svg"));
    return svg.open(QIODevice::WriteOnly) && svg.write(art::iconSvg()) == art::iconSvg().size() ? 0 : 1;
}
