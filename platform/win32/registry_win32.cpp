#include "win32.h"

#include <windows.h>

namespace win32 {

bool readRegistryValue(unsigned long root, const char* keyName, const char* valueName, unsigned long* type,
                       unsigned char* buffer, unsigned long* size)
{
    // Root handles are small constants (HKEY_LOCAL_MACHINE is 0x80000002),
    // sign-extended on 64-bit Windows as the system headers do.
    const HKEY rootKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey, keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD valueType = 0;
    DWORD length = *size;
    const LONG status = RegQueryValueExA(key, valueName, nullptr, &valueType, buffer, &length);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;  // also ERROR_MORE_DATA: the value does not fit
    *type = valueType;
    *size = length;
    return true;
}

}  // namespace win32
