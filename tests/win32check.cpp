// Linked against the Win32 layer by a cross compiler: proves that it builds
// and links with the Windows libraries. Never run.

#include "win32.h"

int main(int argc, char**)
{
    if (argc > 99) {
        unsigned long type = 0, size = 1;
        unsigned char buffer[1];
        win32::readRegistryValue(0x80000002ul, "SOFTWARE", "PATH", &type, buffer, &size);
        return win32::shellOpen("help.html", 1);
    }
    return 0;
}
