// Device selection, opening and installation. A device folder holds fs/ (the device's
// "\") and store.db (the object store); this file is the only one that knows that.
#include "device/boot/device.h"

#include "device/core/store.h"
#include "device/kernel/handles.h"
#include "device/kernel/processes.h"
#include "device/kernel/registry.h"
#include "device/notifications/notifications.h"
#include "device/windowing/windows.h"
#include "platform/windows.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace device {
namespace {

// The device setting that says the install finished.
const char kInstalledSetting[] = "installed";

InstallStep programInstall = nullptr;

bool makeFolders(const std::string& path, std::string* error) {
    // Creates every missing folder of `path`, like mkdir -p.
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot create " + prefix + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

// What a folder holds, seen without changing it.
struct FolderLook {
    std::string unreadable;        // why the folder cannot be looked at, when it cannot
    bool notAFolder = false;       // the name is taken by something that is no folder
    bool otherThings = false;      // it holds a name that is no part of a device
    bool storeExists = false;      // store.db is there, even empty
    bool storeHasContent = false;  // store.db is a file with something in it
    bool fsIsFolder = false;       // fs/ is a folder (not a link to one)
};

// The names a device folder holds: its file system, and its object store with the side
// files SQLite keeps beside it.
bool isDevicePart(const char* name) {
    static const char* const parts[] = {"fs", "store.db", "store.db-wal", "store.db-shm", "store.db-journal"};
    for (const char* part : parts) {
        if (std::strcmp(name, part) == 0) return true;
    }
    return false;
}

FolderLook lookAt(const std::string& dir) {
    FolderLook look;
    struct stat info;
    if (stat(dir.c_str(), &info) != 0) {
        // Not there: nothing in it. Anything else (no permission, a loop) is told as it is.
        if (errno != ENOENT) look.unreadable = dir + ": " + std::strerror(errno);
        return look;
    }
    if (!S_ISDIR(info.st_mode)) {
        look.notAFolder = true;
        return look;
    }
    DIR* folder = opendir(dir.c_str());
    if (!folder) {
        look.unreadable = "cannot read " + dir + ": " + std::strerror(errno);
        return look;
    }
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (!isDevicePart(entry->d_name)) look.otherThings = true;
    }
    closedir(folder);
    look.storeExists = lstat((dir + "/store.db").c_str(), &info) == 0;
    look.storeHasContent = look.storeExists && S_ISREG(info.st_mode) && info.st_size > 0;
    look.fsIsFolder = lstat((dir + "/fs").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    return look;
}

// `message`, followed by the store's reason when the store refused the last change.
std::string withStoreReason(const std::string& message) {
    std::string why = storeFailure();
    return why.empty() ? message : message + ": " + why;
}

}  // namespace

std::string defaultDir() {
    if (const char* named = std::getenv("QUILLEX_DEVICE"); named && *named) return named;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/quillex/device";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/quillex/device";
}

Opened openDevice(const std::string& dir, OpenMode mode, std::string* error) {
    close();
    std::string ignored;
    if (!error) error = &ignored;
    if (dir.empty()) {
        *error = "no device folder given";
        return Opened::failed;
    }
    FolderLook look = lookAt(dir);
    if (!look.unreadable.empty() || look.notAFolder) {
        *error = look.notAFolder ? dir + " is not a folder" : look.unreadable;
        return Opened::failed;
    }
    const std::string storePath = dir + "/store.db", fsPath = dir + "/fs";
    if (mode == OpenMode::existingOnly && !(look.storeHasContent && look.fsIsFolder)) {
        return look.otherThings && !look.storeExists ? Opened::occupied : Opened::absent;
    }
    // A store beside other things is a device with things of its owner's beside it; other
    // things without a store are someone else's folder, never turned into a device.
    if (look.otherThings && !look.storeExists) return Opened::occupied;
    if (mode == OpenMode::makeWhenAbsent) {
        if (!makeFolders(dir, error)) return Opened::failed;
        if (mkdir(fsPath.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot create " + fsPath + ": " + std::strerror(errno);
            return Opened::failed;
        }
    }
    // fs/ itself must be a real folder: a link there would lead the whole device elsewhere.
    int root = ::open(fsPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0) {
        *error = fsPath + " is not a folder: " + std::strerror(errno);
        return Opened::failed;
    }
    sqlite3* db = storeOpen(storePath, error);
    if (!db) {
        ::close(root);
        return Opened::failed;
    }
    folderAttach(dir, root, db);
    // A notification entry's handle is closed by CloseHandle too, though the kernel's
    // handle table does not hold it.
    handleAcceptForeign(isNotificationHandle);
    bool installed = settingGet(kInstalledSetting, "") == "1";
    if (!installed && mode == OpenMode::existingOnly) {
        close();
        return Opened::absent;
    }
    // The install is recorded with its last change, so a device whose first use was cut
    // short (killed, disk full) is installed again on its next opening, however far the
    // first attempt got.
    if (!installed && !install(error)) {
        close();
        return Opened::failed;
    }
    // New to the user: there was no store yet, or an empty one (a device still to make).
    return look.storeHasContent ? Opened::existing : Opened::made;
}

bool open(const std::string& dir, std::string* error, bool* made) {
    if (made) *made = false;
    std::string ignored;
    if (!error) error = &ignored;
    switch (openDevice(dir, OpenMode::makeWhenAbsent, error)) {
    case Opened::existing:
        return true;
    case Opened::made:
        if (made) *made = true;
        return true;
    case Opened::absent:
    case Opened::occupied:
        *error = dir + " holds other things and no device";
        return false;
    case Opened::failed:
        return false;
    }
    return false;
}

void close() {
    windowsReset();
    handleRemoveAll();
    regCloseAll();
    notificationsRelease();
    folderDetach();
}

bool install(std::string* error) {
    // One transaction for every store change of the install and its record; the files and
    // folders are made again harmlessly when a cut-short attempt is repeated.
    Transaction transaction(store());
    if (!transaction.ok()) {
        *error = withStoreReason("cannot write the device's object store");
        return false;
    }
    static const WCHAR* const folders[] = {
        TEXT("\\Windows"), TEXT("\\Temp"), TEXT("\\My Documents"), TEXT("\\Program Files"),
    };
    for (const WCHAR* folder : folders) {
        if (!CreateDirectoryW(folder, nullptr) && GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES) {
            *error = "cannot create the device's standard folders";
            return false;
        }
    }
    if (!installFile(TEXT("\\Windows\\calnot.exe"), "A system program of the device; starts of it run nothing.\r\n") ||
        !installFile(TEXT("\\Windows\\clocknot.exe"), "A system program of the device; starts of it run nothing.\r\n")) {
        *error = "cannot create the device's program files";
        return false;
    }
    if (programInstall && !programInstall(error)) {
        if (!storeFailure().empty()) *error = withStoreReason(*error);
        return false;
    }
    if (!settingSet(kInstalledSetting, "1") || !transaction.commit()) {
        *error = withStoreReason("cannot record the install");
        return false;
    }
    return true;
}

bool installFile(const WCHAR* path, const char* content) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetFileSize(file, nullptr) == 0) {
        DWORD written = 0;
        WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
    }
    CloseHandle(file);
    return true;
}

void installAlso(InstallStep step) { programInstall = step; }

}  // namespace device
