// The web browser's cache and history: folders located through the registry or a default,
// with the browser's own "Content.IE5" or "History.IE5" sub-folder looked for below a
// location that does not already name one, and the two remembered lists of the registry.
#include "app/quillex.h"

namespace {

const WCHAR kShellFolders[] = TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
const WCHAR kCacheFallback[] = TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Content");
const WCHAR kHistoryFallback[] =
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Cookies");

// The list walk's buffers: a value name of up to 259 characters and up to 4200 bytes of data.
const DWORD kListDataSize = 4200;

// Looks for `ie5Name` directly below `folder` when the folder is known and does not
// already name an IE5 folder ("IE5", matched case and all). RETURNS true, with the path
// in `candidate` (MAX_PATH characters), when something of that name exists there. A
// folder longer than 247 characters leaves no room for the name and finds nothing.
bool findIE5Folder(const WCHAR* folder, const WCHAR* ie5Name, WCHAR* candidate) {
    if (!folder[0] || wcsstr(folder, TEXT("IE5"))) return false;
    if (FAILED(StringCchPrintfW(candidate, MAX_PATH, TEXT("%s\\%s"), folder, ie5Name))) return false;
    return GetFileAttributesW(candidate) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

DWORD cleanupIECache(int flag) {
    if (flag) writeLog("cleanupIECache");
    WCHAR folder[MAX_PATH];
    WCHAR candidate[MAX_PATH];
    StringCchCopyW(folder, MAX_PATH, TEXT("\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5"));
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, 0, &key) == ERROR_SUCCESS) {
        queryFolderValue(key, TEXT("Cache"), folder);
        RegCloseKey(key);
        // The per-user location may name the folder above the browser's own cache folder;
        // then only that cache folder is swept, not what else lies beside it.
        if (findIE5Folder(folder, TEXT("Content.IE5"), candidate)) StringCchCopyW(folder, MAX_PATH, candidate);
    } else if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCacheFallback, 0, 0, &key) == ERROR_SUCCESS) {
        // The machine-wide location is taken as it stands.
        queryFolderValue(key, TEXT("CachePath"), folder);
        RegCloseKey(key);
    }
    DWORD total = sweepFolder(folder, flag);
    return flag ? 0 : total;
}

DWORD cleanupHistory(int flag) {
    if (flag) writeLog("cleanupHistory");
    WCHAR folder[MAX_PATH];
    WCHAR candidate[MAX_PATH];
    StringCchCopyW(folder, MAX_PATH, TEXT("\\Windows\\Profiles\\guest\\History"));
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, 0, &key) == ERROR_SUCCESS) {
        queryFolderValue(key, TEXT("History"), folder);
        RegCloseKey(key);
    } else if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHistoryFallback, 0, 0, &key) == ERROR_SUCCESS) {
        queryFolderValue(key, TEXT("CachePath"), folder);
        RegCloseKey(key);
    }
    DWORD total = sweepFolder(folder, flag);

    // "History.IE5" keeps its pages a level deeper than one sweep reaches, so it gets a
    // sweep of its own. Looked for after the first sweep: one that emptied and removed it
    // leaves nothing to do.
    if (findIE5Folder(folder, TEXT("History.IE5"), candidate)) {
        // The first sweep took "History.IE5" for one of its sub-folders and has already
        // counted the files lying directly in it; measuring adds only those a level below.
        if (flag) sweepFolder(candidate, flag);
        else total += subFolderSizes(candidate);
    }

    if (flag) {
        clearHistoryList(TEXT("Explorer\\RunHistory"));
        clearHistoryList(TEXT("Explorer\\AddressHistory"));
    }
    return flag ? 0 : total;
}

void clearHistoryList(const WCHAR* subkey) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, 0, &key) != ERROR_SUCCESS) return;
    WCHAR name[MAX_PATH];
    BYTE data[kListDataSize];
    for (;;) {
        DWORD nameLength = MAX_PATH;
        DWORD dataSize = kListDataSize;
        DWORD type;
        // Deleting a value moves the ones behind it up, so the first position always holds
        // the next value. The walk ends at a value too big for the buffers, and at one that
        // will not go, which would otherwise be read again and again.
        if (RegEnumValueW(key, 0, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        if (RegDeleteValueW(key, name) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
}
