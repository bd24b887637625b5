// The offline reader's cache: the folder its settings name, "\Windows\AvantGo" by default.
#include "app/quillex.h"

DWORD cleanupAvantGo(int flag) {
    if (flag) writeLog("cleanupAvantGo");
    WCHAR folder[MAX_PATH];
    StringCchCopyW(folder, MAX_PATH, TEXT("\\Windows\\AvantGo"));
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\AvantGo"), 0, 0, &key) == ERROR_SUCCESS) {
        queryFolderValue(key, TEXT("DatabaseLocation"), folder);
        RegCloseKey(key);
    }
    DWORD total = sweepFolder(folder, flag);
    return flag ? 0 : total;
}
