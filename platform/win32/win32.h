#pragma once
// The Win32 calls behind the shell and registry seams, in plain C++ without
// Qt, so that a cross compiler can check this layer on any machine. Texts
// are narrow, in the system's ANSI code page.

namespace win32 {

// ShellExecuteA(no owner, "open", target, no parameters, no folder, show),
// its result as a number.
int shellOpen(const char* target, int show);

// RegOpenKeyExA / RegQueryValueExA / RegCloseKey. On success `*size` is
// the number of bytes written into `buffer` (which holds `*size` bytes on
// entry) and `*type` the value's type. False when the key cannot be
// opened, the value is missing or longer than the buffer.
bool readRegistryValue(unsigned long root, const char* keyName, const char* valueName, unsigned long* type,
                       unsigned char* buffer, unsigned long* size);

}  // namespace win32
