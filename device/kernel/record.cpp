// Turning the kernel's outcomes into records of changes. The reason a file stayed is read
// from what the deletion saw: a folder, a read-only file, a file some handle holds open.
#include "device/kernel/record.h"

#include "device/core/changes.h"
#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "platform/windows.h"

namespace device {

void recordDeletion(const WCHAR* path, const HostPath& target, DWORD error) {
    Change change{error ? ChangeKind::FileKept : ChangeKind::FileDeleted, toUtf8(path), {}, {}, 0, {}};
    const struct stat& info = target.info;
    if (target.exists && S_ISREG(info.st_mode)) change.size = static_cast<uint64_t>(info.st_size);
    if (error) {
        if (target.exists && S_ISDIR(info.st_mode)) change.detail = "folder";
        else if (error == ERROR_SHARING_VIOLATION) change.detail = "in use";
        else if (error == ERROR_ACCESS_DENIED && target.exists && hostReadOnly(info))
            change.detail = "read-only";
        else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) change.detail = "not found";
        else change.detail = "refused";
    }
    changeAdd(std::move(change));
}

void recordRemoval(const WCHAR* path, DWORD error) {
    Change change{error ? ChangeKind::FolderKept : ChangeKind::FolderRemoved, toUtf8(path), {}, {}, 0, {}};
    if (error == ERROR_DIR_NOT_EMPTY) change.detail = "folder not empty";
    else if (error == ERROR_DIRECTORY) change.detail = "not a folder";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) change.detail = "not found";
    else if (error) change.detail = "refused";
    changeAdd(std::move(change));
}

void recordValue(int64_t keyId, const WCHAR* valueName, bool deleted, uint64_t size) {
    changeAdd(Change{deleted ? ChangeKind::ValueDeleted : ChangeKind::ValueSet, registryKeyName(keyId),
                     valueName ? toUtf8(valueName) : std::string(), {}, size, {}});
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
