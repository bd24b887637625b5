// Device paths on the host: "\Temp\a.txt" becomes a descriptor of fs/Temp plus the host
// name "a.txt", found ignoring case. Resolution never follows a link and never leaves fs/:
// it starts at device::fsRoot() and the kernel or each step refuses links and "..".
#pragma once

#include "platform/wintypes.h"

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace device {

// A host descriptor that closes itself.
class HostFd {
public:
    HostFd() = default;
    explicit HostFd(int fd) : fd_(fd) {}
    ~HostFd() { reset(); }
    HostFd(HostFd&& other) noexcept : fd_(other.release()) {}
    HostFd& operator=(HostFd&& other) noexcept;
    HostFd(const HostFd&) = delete;
    HostFd& operator=(const HostFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Where a device path lies on the host.
struct HostPath {
    HostFd folder;              // the real folder that holds the last component
    std::u16string_view last;   // the last component as the caller wrote it
    std::string name;           // its host name: the existing entry's, else `last` as UTF-8
    bool exists = false;        // an entry of that name (ignoring case) is in `folder`
    struct stat info {};        // the entry's status, links not followed, when it exists
};

// Whether a host entry is read-only on the device: no one may write it, not its owner, its
// group or anyone else (no write permission bit at all), the rule Wine reads host files by
// too. A link is never read-only. Whether this process may write a writable entry is still
// the host's to say.
inline bool hostReadOnly(const struct stat& info) {
    return !S_ISLNK(info.st_mode) && !(info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

// Resolves an absolute device path. The last component need not exist.
// RETURNS 0 with *out filled; ERROR_PATH_NOT_FOUND when the path is not a valid device
// path (no leading '\', an empty, "." or ".." component, '/', a wildcard, an unpaired
// surrogate, a name over 259 characters) or one of its folders is missing or is not a
// real folder (links are not followed).
DWORD resolvePath(const WCHAR* path, HostPath* out);

// Whether `path` is a device path whose every name the device can hold (what
// resolvePath refuses as not valid, beyond a missing folder).
bool validDevicePath(const WCHAR* path);

// As resolvePath, for a search: the last component is a pattern ('*' and '?' allowed)
// and is not looked up (out->name and out->exists are left empty).
DWORD resolveSearch(const WCHAR* pattern, HostPath* out);

// Opens the plain file at `path` when every component is spelled exactly as on the host:
// looks at the entry first, and opens it (`flags` are open(2) flags) in one kernel call that
// follows no link and cannot leave fs/ only when the look found a plain file that, when
// `writing`, has one host link and is not read-only. A FIFO, socket or device
// is thus never opened, and a file with a second link never opened for writing, unless
// swapped in between the look and the open (the caller's look at the descriptor refuses
// it then). RETURNS the descriptor, or -1 for anything else (a name not spelled exactly,
// another kind of entry, a kernel without this resolution): the caller then resolves
// the path a folder at a time and decides.
int openExactFile(const WCHAR* path, int flags, bool writing);

// The device name of a host entry, decoded from UTF-8 into `out` and terminated.
// RETURNS its length, or -1 when the device cannot show it (invalid UTF-8, longer
// than MAX_PATH - 1 characters, or holding a '\').
int deviceName(const char* hostName, WCHAR (&out)[MAX_PATH]);

// Whether `name` matches `pattern` ('*' any run, '?' one character), ignoring case
// by the device's rules.
bool matchesPattern(std::u16string_view pattern, std::u16string_view name);

// Whether two names are equal ignoring case by the device's rules.
bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace device
