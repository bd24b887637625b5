// The install directory: where the log lives and the program file is registered from.
#include "app/quillex.h"

WCHAR installDir[MAX_PATH];

void readInstallDir(WCHAR* buffer) {
    StringCchCopyW(buffer, MAX_PATH, TEXT("\\Program Files\\Quillex"));
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Apps\\Holvenark Quillex"), 0, 0, &key) != ERROR_SUCCESS)
        return;
    // Read into a scratch buffer first: a value that is not a terminated string, or does
    // not fit, keeps the default rather than leaving a cut or unterminated path behind.
    WCHAR value[MAX_PATH];
    DWORD type = REG_NONE;
    DWORD size = sizeof value;
    size_t length;
    if (RegQueryValueExW(key, TEXT("InstallDir"), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) &&
        SUCCEEDED(StringCchLengthW(value, size / sizeof(WCHAR), &length)))
        StringCchCopyW(buffer, MAX_PATH, value);
    RegCloseKey(key);
}

void resolveInstallDir(void) { readInstallDir(installDir); }
