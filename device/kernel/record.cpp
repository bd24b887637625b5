// Turning the kernel's outcomes into records of changes. The reason a file stayed is read
// from what the deletion saw: a folder, a read-only file, a file some handle holds open, a
// name the device cannot hold; the reason a write failed, from a look at the file.
#include "device/kernel/record.h"

#include "device/core/changes.h"
#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "platform/windows.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace device {

void recordDeletion(const WCHAR* path, const HostPath& target, DWORD error) {
    const struct stat& info = target.info;
    uint64_t size = target.exists && S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    if (!error) {
        changeAdd(Change{FileDeleted{.path = toUtf8(path), .size = size}});
        return;
    }
    const char* reason = "refused";
    if (target.exists && S_ISDIR(info.st_mode)) reason = "folder";
    else if (error == ERROR_SHARING_VIOLATION) reason = "in use";
    else if (error == ERROR_ACCESS_DENIED && target.exists && hostReadOnly(info))
        reason = "read-only";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) reason = "not found";
    changeAdd(Change{FileKept{.path = toUtf8(path), .size = size, .reason = reason}});
}

namespace {
constexpr const char* kUnnamable = "name not valid on the device";
}  // namespace

void recordUnnamable(const WCHAR* path) {
    // The folder may still be found: a search allows wildcards in the last component.
    HostPath folder;
    if (resolveSearch(path, &folder) != 0) return;
    std::string name = toUtf8(folder.last);
    struct stat info;
    if (fstatat(folder.folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(info.st_mode)) changeAdd(Change{FolderKept{.path = toUtf8(path), .reason = kUnnamable}});
    else changeAdd(Change{FileKept{.path = toUtf8(path), .size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0,
                                   .reason = kUnnamable}});
}

void recordUnlisted(const std::string& folderPath, const char* hostName, const struct stat& info) {
    // The host's bytes as they are: the report shows what is no text visibly.
    std::string path = folderPath + "\\" + hostName;
    if (S_ISDIR(info.st_mode)) changeAdd(Change{FolderKept{.path = std::move(path), .reason = kUnnamable}});
    else changeAdd(Change{FileKept{.path = std::move(path), .size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0,
                                   .reason = kUnnamable}});
}

void recordNotWritten(const WCHAR* path, DWORD error) {
    const char* reason = nullptr;
    if (error == ERROR_DISK_FULL) reason = "disk full";
    else if (error == ERROR_ACCESS_DENIED) reason = "refused";
    else if (error == ERROR_WRITE_FAULT) reason = "write failed";
    // Not for a missing file or folder, nor for a file in use, which its program may wait for.
    if (!reason) return;
    if (error == ERROR_ACCESS_DENIED) {
        // Refused by the device's own rules, or by the host?
        HostPath target;
        if (resolvePath(path, &target) == 0 && target.exists && S_ISREG(target.info.st_mode)) {
            if (target.info.st_nlink > 1) reason = "hard-linked";
            else if (hostReadOnly(target.info)) reason = "read-only";
        }
    }
    changeAdd(Change{FileNotWritten{.path = toUtf8(path), .reason = reason}});
}

void recordRemoval(const WCHAR* path, DWORD error) {
    if (!error) {
        changeAdd(Change{FolderRemoved{.path = toUtf8(path)}});
        return;
    }
    const char* reason = "refused";
    if (error == ERROR_DIR_NOT_EMPTY) reason = "folder not empty";
    else if (error == ERROR_DIRECTORY) reason = "not a folder";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) reason = "not found";
    changeAdd(Change{FolderKept{.path = toUtf8(path), .reason = reason}});
}

void recordValueKept(int64_t keyId, const WCHAR* valueName, const std::string& reason) {
    changeAdd(Change{ValueKept{.key = registryKeyName(keyId), .name = valueName ? toUtf8(valueName) : std::string(),
                               .reason = reason}});
}

void recordValue(int64_t keyId, const WCHAR* valueName, bool deleted, uint64_t size) {
    std::string key = registryKeyName(keyId), name = valueName ? toUtf8(valueName) : std::string();
    if (deleted) changeAdd(Change{ValueDeleted{.key = std::move(key), .name = std::move(name)}});
    else changeAdd(Change{ValueSet{.key = std::move(key), .name = std::move(name), .size = size}});
}

std::string registryKeyName(int64_t keyId) {
    std::string name;
    Statement row(store(), "SELECT parent, name FROM reg_keys WHERE id = ?");
    // Keys are a tree below the four roots; the bound stops a damaged store's loop.
    for (int depth = 0; keyId != 0 && depth < 512; ++depth) {
        row.reset();
        if (!row.bind(1, keyId).step()) break;
        name = name.empty() ? row.columnText(1) : row.columnText(1) + "\\" + name;
        keyId = row.columnInt(0);
    }
    return name;
}

}  // namespace device
