#include "win32.h"

// shellapi.h needs the types of windows.h first.
#include <windows.h>

#include <shellapi.h>

namespace win32 {

int shellOpen(const char* target, int show)
{
    const HINSTANCE result = ShellExecuteA(nullptr, "open", target, nullptr, nullptr, show);
    // The handle only carries a number, by the shell's own convention.
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

}  // namespace win32
