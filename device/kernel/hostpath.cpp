// Device paths to host descriptors, always relative to fs/ and never through a link.
// A path spelled exactly as on the host is resolved in one kernel call that refuses to
// leave fs/ or to cross any link (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS);
// when a name differs in case, or the kernel lacks openat2, each folder is opened
// relative to the one before it instead, names tried exactly and then ignoring case.
#include "device/kernel/hostpath.h"

#include "device/core/faults.h"
#include "device/core/folder.h"
#include "device/core/preview.h"
#include "device/core/utf.h"
#include "device/kernel/overlay.h"
#include "platform/winstring.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace device {

HostFd& HostFd::operator=(HostFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int HostFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void HostFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

bool isHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A name the device can hold: anything else would be ambiguous on the host (an unpaired
// surrogate turns into U+FFFD) or would step out of its folder.
bool validComponent(std::u16string_view name, bool pattern) {
    if (name.empty() || name.size() > MAX_PATH - 1) return false;
    if (name == u"." || name == u"..") return false;
    for (size_t i = 0; i < name.size(); ++i) {
        WCHAR c = name[i];
        if (c == u'\0' || c == u'/' || c == u'\\') return false;
        if (!pattern && (c == u'*' || c == u'?')) return false;
        if (isHighSurrogate(c)) {
            if (i + 1 == name.size() || !isLowSurrogate(name[i + 1])) return false;
            ++i;
        } else if (isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// Scans `folder` for an entry equal to `wanted` ignoring case. Only used once the exact
// name is known to be missing.
bool findIgnoringCase(int folder, std::u16string_view wanted, std::string* hostName) {
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool found = false;
    WCHAR name[MAX_PATH];
    while (const dirent* entry = readdir(dir)) {
        int length = deviceName(entry->d_name, name);
        if (length == static_cast<int>(wanted.size()) &&
            sameNameIgnoringCase(wanted, std::u16string_view(name, static_cast<size_t>(length)))) {
            *hostName = entry->d_name;
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Cleared for good once the kernel answers that it has no openat2 (or may not use it).
std::atomic<bool> kernelResolvesBeneath{true};

// The host spelling of the components of `path` (after its leading '\\') up to `end`,
// joined by '/'. RETURNS false when one is not a valid device name.
bool hostSpelling(std::u16string_view path, bool patternLast, std::string* out) {
    out->clear();
    out->reserve(path.size() + 16);
    for (;;) {
        size_t slash = path.find(u'\\');
        bool last = slash == std::u16string_view::npos;
        std::u16string_view component = path.substr(0, slash);
        if (!validComponent(component, patternLast && last)) return false;
        for (size_t i = 0; i < component.size(); ++i) {
            uint32_t c = component[i];
            if (isHighSurrogate(static_cast<WCHAR>(c))) c = 0x10000 + ((c - 0xD800) << 10) + (component[++i] - 0xDC00);
            if (c < 0x80) {
                out->push_back(static_cast<char>(c));
            } else if (c < 0x800) {
                out->push_back(static_cast<char>(0xC0 | (c >> 6)));
                out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else if (c < 0x10000) {
                out->push_back(static_cast<char>(0xE0 | (c >> 12)));
                out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                out->push_back(static_cast<char>(0xF0 | (c >> 18)));
                out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
                out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        if (last) return true;
        out->push_back('/');
        path.remove_prefix(slash + 1);
    }
}

// Opens `hostPath` below fs/ in one call; the kernel refuses "..", absolute paths, any
// link on the way or at the end, and any escape, so the result lies below fs/.
// RETURNS the descriptor, or -1 with errno; ENOSYS when the kernel cannot do this.
int openBeneath(const std::string& hostPath, int flags) {
    int root = fsRoot();
    if (root < 0) {
        errno = ENOENT;
        return -1;
    }
    if (!kernelResolvesBeneath.load(std::memory_order_relaxed) || faultHit("openat2")) {
        errno = ENOSYS;
        return -1;
    }
    struct open_how how {};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    int fd = static_cast<int>(syscall(SYS_openat2, root, hostPath.c_str(), &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM || errno == E2BIG)) {
        kernelResolvesBeneath.store(false, std::memory_order_relaxed);
        errno = ENOSYS;
    }
    return fd;
}

// Opens the real folder `name` inside `parent`; invalid when there is none.
HostFd openFolder(int parent, std::u16string_view name) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    std::string hostName = toUtf8(name);
    int fd = openat(parent, hostName.c_str(), flags);
    if (fd < 0 && errno == ENOENT && findIgnoringCase(parent, name, &hostName)) fd = openat(parent, hostName.c_str(), flags);
    HostFd folder(fd);
    struct stat ignored;
    if (folder.valid() && previewing() && !overlayView(parent, hostName.c_str(), &ignored)) folder.reset();  // removed
    return folder;
}

// Splits `path`, opens every folder before its last component, and leaves that
// component in out->last.
DWORD walk(const WCHAR* path, bool pattern, HostPath* out) {
    int root = fsRoot();
    if (!path || path[0] != u'\\' || root < 0) return ERROR_PATH_NOT_FOUND;
    std::u16string_view rest(path + 1, wcslen(path + 1));
    size_t lastSlash = rest.rfind(u'\\');
    if (lastSlash != std::u16string_view::npos && !previewing()) {
        // The folders first in one call, as spelled; only a missing name needs the walk.
        // A preview walks instead, since only openFolder asks the overlay what was removed.
        std::string folders;
        if (!hostSpelling(rest.substr(0, lastSlash), false, &folders)) return ERROR_PATH_NOT_FOUND;
        std::u16string_view last = rest.substr(lastSlash + 1);
        if (!validComponent(last, pattern)) return ERROR_PATH_NOT_FOUND;
        HostFd folder(openBeneath(folders, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.valid()) {
            out->last = last;
            out->folder = std::move(folder);
            return 0;
        }
        if (errno != ENOENT && errno != ENOSYS && errno != EAGAIN) return ERROR_PATH_NOT_FOUND;
    }
    HostFd folder;
    int current = root;
    for (;;) {
        size_t slash = rest.find(u'\\');
        bool last = slash == std::u16string_view::npos;
        std::u16string_view component = rest.substr(0, slash);
        if (!validComponent(component, pattern && last)) return ERROR_PATH_NOT_FOUND;
        if (last) {
            out->last = component;
            break;
        }
        folder = openFolder(current, component);
        if (!folder.valid()) return ERROR_PATH_NOT_FOUND;
        current = folder.get();
        rest.remove_prefix(slash + 1);
    }
    // A fresh description of fs/, not a dup: a listing of "\" must have its own position.
    if (!folder.valid()) folder.reset(openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return ERROR_PATH_NOT_FOUND;
    out->folder = std::move(folder);
    return 0;
}

}  // namespace

DWORD resolvePath(const WCHAR* path, HostPath* out) {
    DWORD error = walk(path, false, out);
    if (error) return error;
    int folder = out->folder.get();
    out->name = toUtf8(out->last);
    out->exists = fstatat(folder, out->name.c_str(), &out->info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!out->exists && errno == ENOENT) {
        std::string found;
        if (findIgnoringCase(folder, out->last, &found) &&
            fstatat(folder, found.c_str(), &out->info, AT_SYMLINK_NOFOLLOW) == 0) {
            out->name = std::move(found);
            out->exists = true;
        }
    }
    if (previewing()) overlayResolve(folder, out->name.c_str(), &out->exists, &out->info);
    return 0;
}

DWORD resolveSearch(const WCHAR* pattern, HostPath* out) { return walk(pattern, true, out); }

bool validDevicePath(const WCHAR* path) {
    std::string spelled;
    return path && path[0] == u'\\' && hostSpelling(std::u16string_view(path + 1, wcslen(path + 1)), false, &spelled);
}

int openExactFile(const WCHAR* path, int flags, bool writing) {
    std::string spelled;
    int root = fsRoot();
    if (!path || path[0] != u'\\' || root < 0 ||
        !hostSpelling(std::u16string_view(path + 1, wcslen(path + 1)), false, &spelled))
        return -1;
    // The look may pass a link on the way (it only reads a status); the open below does not.
    struct stat info;
    if (fstatat(root, spelled.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) return -1;
    if (writing && (info.st_nlink > 1 || hostReadOnly(info))) return -1;
    return openBeneath(spelled, flags);
}

int deviceName(const char* hostName, WCHAR (&out)[MAX_PATH]) {
    const auto* in = reinterpret_cast<const unsigned char*>(hostName);
    int length = 0;
    while (*in) {
        uint32_t c = *in;
        int more;
        uint32_t minimum;
        if (c < 0x80) { more = 0; minimum = 0; }
        else if ((c & 0xE0) == 0xC0) { c &= 0x1F; more = 1; minimum = 0x80; }
        else if ((c & 0xF0) == 0xE0) { c &= 0x0F; more = 2; minimum = 0x800; }
        else if ((c & 0xF8) == 0xF0) { c &= 0x07; more = 3; minimum = 0x10000; }
        else return -1;
        ++in;
        for (int k = 0; k < more; ++k, ++in) {
            if ((*in & 0xC0) != 0x80) return -1;  // also stops at the terminator
            c = (c << 6) | (*in & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == u'\\') return -1;
        int units = c >= 0x10000 ? 2 : 1;
        if (length + units > MAX_PATH - 1) return -1;
        if (units == 2) {
            c -= 0x10000;
            out[length++] = static_cast<WCHAR>(0xD800 + (c >> 10));
            out[length++] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out[length++] = static_cast<WCHAR>(c);
        }
    }
    out[length] = u'\0';
    return length;
}

bool matchesPattern(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*" || pattern == u"*.*") return true;
    size_t p = 0, n = 0;
    size_t starAt = std::u16string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || towlower(pattern[p]) == towlower(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::u16string_view::npos) {
            // Let the last '*' take one more character and try again from there.
            p = starAt + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && towlower(a[i]) != towlower(b[i])) return false;
    return true;
}

}  // namespace device
