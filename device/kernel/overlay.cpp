// The preview's file system overlay: a set of hidden entries and a map of file contents,
// both keyed by (device, inode) of the host folder and the host name. A folder the
// preview removed hides everything below it, since its path no longer resolves.
#include "device/kernel/overlay.h"

#include "device/core/preview.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <tuple>
#include <unistd.h>

namespace device {
namespace {

using EntryKey = std::tuple<dev_t, ino_t, std::string>;

struct Overlay {
    std::set<EntryKey> hidden;
    std::map<EntryKey, std::shared_ptr<std::string>> contents;
};

Overlay& overlay() {
    static Overlay* state = new Overlay;
    return *state;
}

void dropOverlay() {
    overlay().hidden.clear();
    overlay().contents.clear();
}

bool keyOf(int folder, const char* name, EntryKey* key) {
    struct stat info;
    if (fstat(folder, &info) != 0) return false;
    *key = EntryKey(info.st_dev, info.st_ino, name);
    return true;
}

std::shared_ptr<std::string> contentOf(const EntryKey& key) {
    auto found = overlay().contents.find(key);
    return found == overlay().contents.end() ? nullptr : found->second;
}

}  // namespace

bool overlayView(int folder, const char* name, struct stat* info) {
    EntryKey key;
    if (!keyOf(folder, name, &key)) return true;
    if (overlay().hidden.count(key)) return false;
    if (auto content = contentOf(key)) info->st_size = static_cast<off_t>(content->size());
    return true;
}

void overlayResolve(int folder, const char* name, bool* exists, struct stat* info) {
    EntryKey key;
    if (!keyOf(folder, name, &key)) return;
    if (auto content = contentOf(key)) {
        if (!*exists) {
            *info = {};
            info->st_mode = S_IFREG | 0644;
        }
        *exists = true;
        info->st_size = static_cast<off_t>(content->size());
    } else if (overlay().hidden.count(key)) {
        *exists = false;
    }
}

bool overlayHasContent(int folder, const char* name) {
    EntryKey key;
    return keyOf(folder, name, &key) && contentOf(key) != nullptr;
}

void overlayHide(int folder, const char* name) {
    EntryKey key;
    if (!keyOf(folder, name, &key)) return;
    previewOnEnd(dropOverlay);
    overlay().contents.erase(key);
    overlay().hidden.insert(key);
}

bool overlayFolderEmpty(int folder, const char* name) {
    int fd = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool empty = true;
    EntryKey key;
    bool known = keyOf(dirfd(dir), ".", &key);
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        std::get<2>(key) = entry->d_name;
        if (!known || !overlay().hidden.count(key)) {
            empty = false;
            break;
        }
    }
    // A file the preview created there counts too.
    if (empty && known) {
        std::get<2>(key).clear();
        auto next = overlay().contents.lower_bound(key);
        if (next != overlay().contents.end() && std::get<0>(next->first) == std::get<0>(key) &&
            std::get<1>(next->first) == std::get<1>(key))
            empty = false;
    }
    closedir(dir);
    return empty;
}

std::shared_ptr<std::string> overlayContent(int folder, const char* name) {
    EntryKey key;
    return keyOf(folder, name, &key) ? contentOf(key) : nullptr;
}

void overlaySetContent(int folder, const char* name, std::shared_ptr<std::string> content) {
    EntryKey key;
    if (!keyOf(folder, name, &key)) return;
    previewOnEnd(dropOverlay);
    overlay().hidden.erase(key);
    overlay().contents[key] = std::move(content);
}

}  // namespace device
