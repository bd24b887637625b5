// The registry's access mask: the handheld ignores it, and the program passes 0 where the
// desktop would then grant a key with no rights. 0 asks the desktop for reading and
// writing, or for reading alone where it refuses writing (a machine key for a user).
#include "port/win32/port.h"

#undef RegOpenKeyExW
#undef RegCreateKeyExW

namespace {

const REGSAM kEverything = KEY_READ | KEY_WRITE;

}  // namespace

LONG WINAPI portRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    if (access != 0) return RegOpenKeyExW(key, subKey, options, access, result);
    LONG status = RegOpenKeyExW(key, subKey, options, kEverything, result);
    if (status == ERROR_ACCESS_DENIED) status = RegOpenKeyExW(key, subKey, options, KEY_READ, result);
    return status;
}

LONG WINAPI portRegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (access != 0)
        return RegCreateKeyExW(key, subKey, reserved, keyClass, options, access, security, result, disposition);
    LONG status = RegCreateKeyExW(key, subKey, reserved, keyClass, options, kEverything, security, result, disposition);
    if (status == ERROR_ACCESS_DENIED)
        status = RegCreateKeyExW(key, subKey, reserved, keyClass, options, KEY_READ, security, result, disposition);
    return status;
}
