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
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace device {
namespace {

// The device setting that says the install finished.
const char kInstalledSetting[] = "installed";

InstallStep programInstall = nullptr;

// A host error in words, "the disk is full" as every other full-disk message says it.
std::string hostReason(int error) { return error == ENOSPC ? "the disk is full" : std::strerror(error); }

bool makeFolders(const std::string& path, std::string* error) {
    // Creates every missing folder of `path`, like mkdir -p.
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot create " + prefix + ": " + hostReason(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

// `message`, followed by the store's reason when the store refused the last change.
std::string withStoreReason(const std::string& message) {
    std::string why = storeFailure();
    return why.empty() ? message : message + ": " + why;
}

// `message`, followed by "the disk is full" when the device folder's disk has no block
// left: the platform's calls tell a failed write, not why.
std::string withDiskReason(const std::string& message) {
    struct statvfs disk;
    return statvfs(dir().c_str(), &disk) == 0 && disk.f_bavail == 0 ? message + ": the disk is full" : message;
}

}  // namespace

std::string defaultDir() {
    if (const char* named = std::getenv("QUILLEX_DEVICE"); named && *named) return named;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/quillex/device";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/quillex/device";
}

bool open(const std::string& dir, std::string* error, bool* made) {
    close();
    if (made) *made = false;
    std::string ignored;
    if (!error) error = &ignored;
    if (dir.empty()) {
        *error = "no device folder given";
        return false;
    }
    if (!makeFolders(dir, error)) return false;
    std::string fsPath = dir + "/fs";
    if (mkdir(fsPath.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot create " + fsPath + ": " + hostReason(errno);
        return false;
    }
    // fs/ itself must be a real folder: a link there would lead the whole device elsewhere.
    int root = ::open(fsPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0) {
        *error = fsPath + " is not a folder: " + std::strerror(errno);
        return false;
    }
    std::string storePath = dir + "/store.db";
    // New to the user: no store yet, or an empty one (a device still to create).
    struct stat info;
    bool fresh = lstat(storePath.c_str(), &info) != 0 || info.st_size == 0;
    sqlite3* db = storeOpen(storePath, error);
    if (!db) {
        ::close(root);
        return false;
    }
    folderAttach(dir, root, db);
    // A notification entry's handle is closed by CloseHandle too, though the kernel's
    // handle table does not hold it.
    handleAcceptForeign(isNotificationHandle);
    // The install is recorded with its last change, so a device whose first use was cut
    // short (killed, disk full) is installed again on its next opening, however far the
    // first attempt got.
    if (settingGet(kInstalledSetting, "") != "1" && !install(error)) {
        close();
        return false;
    }
    if (made) *made = fresh;
    return true;
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
            *error = withDiskReason("cannot create the device's standard folders");
            return false;
        }
    }
    if (!installFile(TEXT("\\Windows\\calnot.exe"), "A system program of the device; starts of it run nothing.\r\n") ||
        !installFile(TEXT("\\Windows\\clocknot.exe"), "A system program of the device; starts of it run nothing.\r\n")) {
        *error = withDiskReason("cannot create the device's program files");
        return false;
    }
    if (programInstall && !programInstall(error)) {
        *error = storeFailure().empty() ? withDiskReason(*error) : withStoreReason(*error);
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
    DWORD size = static_cast<DWORD>(std::strlen(content)), written = size;
    if (GetFileSize(file, nullptr) == 0 && !WriteFile(file, content, size, &written, nullptr)) written = 0;
    CloseHandle(file);
    // A stand-in left empty (a full disk) is given its content when the install is repeated.
    return written == size;
}

void installAlso(InstallStep step) { programInstall = step; }

}  // namespace device
