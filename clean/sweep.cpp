// The folder sweep shared by every cleaning operation: it acts on the entries directly
// inside a target folder and directly inside each of its sub-folders, as the listing
// yields them, with one fixed path buffer per call and no list of entries.
#include "app/quillex.h"

namespace {

// "%s\%s" into a MAX_PATH buffer. RETURNS false when the path does not fit; the caller
// then leaves that entry alone rather than act on a cut path.
bool joinPath(WCHAR* buffer, const WCHAR* folder, const WCHAR* name) {
    return SUCCEEDED(StringCchPrintfW(buffer, MAX_PATH, TEXT("%s\\%s"), folder, name));
}

// Some file systems list the folder itself and its parent; acting on those would reach
// outside the target folder.
bool isSelfOrParent(const WCHAR* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// The size of one file, or 0 when it cannot be opened while others may read it.
DWORD sharedFileSize(const WCHAR* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) size = 0;
    CloseHandle(file);
    return size;
}

// A folder must name something below the root. One whose components are all empty, "."
// or ".." ("", "\", "\.", "\.\..\") names the root itself wherever paths are resolved,
// and its pattern would sweep the whole device.
bool namesAFolder(const WCHAR* path) {
    while (*path) {
        const WCHAR* component = path;
        while (*path && *path != '\\') ++path;
        size_t length = static_cast<size_t>(path - component);
        bool dots = length <= 2 && component[0] == '.' && (length == 1 || component[1] == '.');
        if (length > 0 && !dots) return true;
        if (*path) ++path;
    }
    return false;
}

bool startListing(const WCHAR* folder, WCHAR* pattern, WIN32_FIND_DATAW* entry, HANDLE* search) {
    if (!namesAFolder(folder) || !joinPath(pattern, folder, TEXT("*"))) return false;
    *search = FindFirstFileW(pattern, entry);
    return *search != INVALID_HANDLE_VALUE;
}

}  // namespace

DWORD folderSize(const WCHAR* path) {
    WCHAR entryPath[MAX_PATH];
    WIN32_FIND_DATAW entry;
    HANDLE search;
    DWORD total = 0;
    if (!startListing(path, entryPath, &entry, &search)) return 0;
    do {
        // Sub-folders are opened like files, fail to open, and count 0.
        if (!isSelfOrParent(entry.cFileName) && joinPath(entryPath, path, entry.cFileName))
            total += sharedFileSize(entryPath);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return total;
}

void removeFolder(const WCHAR* path) {
    WCHAR entryPath[MAX_PATH];
    WIN32_FIND_DATAW entry;
    HANDLE search;
    if (startListing(path, entryPath, &entry, &search)) {
        do {
            // A sub-folder survives: deleting a folder as a file fails.
            if (!isSelfOrParent(entry.cFileName) && joinPath(entryPath, path, entry.cFileName))
                DeleteFileW(entryPath);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path);  // succeeds only when the folder is now empty
}

DWORD sweepFolder(const WCHAR* folder, int flag) {
    WCHAR entryPath[MAX_PATH];
    WIN32_FIND_DATAW entry;
    HANDLE search;
    DWORD total = 0;
    if (!startListing(folder, entryPath, &entry, &search)) return 0;
    do {
        if (isSelfOrParent(entry.cFileName) || !joinPath(entryPath, folder, entry.cFileName)) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (flag) removeFolder(entryPath);
            else total += folderSize(entryPath);
        } else {
            if (flag) DeleteFileW(entryPath);
            else total += sharedFileSize(entryPath);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return flag ? 0 : total;
}

DWORD subFolderSizes(const WCHAR* folder) {
    WCHAR entryPath[MAX_PATH];
    WIN32_FIND_DATAW entry;
    HANDLE search;
    DWORD total = 0;
    if (!startListing(folder, entryPath, &entry, &search)) return 0;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isSelfOrParent(entry.cFileName) &&
            joinPath(entryPath, folder, entry.cFileName))
            total += folderSize(entryPath);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return total;
}

void queryFolderValue(HKEY key, const WCHAR* valueName, WCHAR* folder) {
    WCHAR value[MAX_PATH];
    DWORD size = sizeof value;
    size_t length;
    // The folder must leave room for "\*" within MAX_PATH: at most 257 characters.
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        SUCCEEDED(StringCchLengthW(value, size / sizeof(WCHAR), &length)) && length <= MAX_PATH - 3 &&
        namesAFolder(value))
        StringCchCopyW(folder, MAX_PATH, value);
}
