// Build step: writes the program's icon, drawn by the program's own code,
// as a PNG file for installing.

#include "widgets/art.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    return art::icon().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
