// The store's host files under a check of their own. SQLite's Unix layer takes its open()
// from a table it lets a program replace; ours looks at what a name is before anything is
// opened for reading or writing: a plain file with one host link is opened, and the
// descriptor is taken from the very file looked at, so a name swapped meanwhile reaches
// nothing new. A file made here is made exclusively, so it has no other name yet.
#include "device/core/storefiles.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace device {
namespace {

thread_local std::string lastRefusal;

// RETURNS what keeps `info`, found at `path`, from being a file of the store, or empty.
std::string problemOf(const std::string& path, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return path + " is a symbolic link; the store's files are never reached through one";
    if (S_ISDIR(info.st_mode)) return path + " is a folder, where the store keeps a file";
    if (!S_ISREG(info.st_mode)) return path + " is not a plain file";
    if (info.st_nlink > 1) {
        return path + " has " + std::to_string(info.st_nlink) +
               " host links; the store writes through no file that another name shares";
    }
    return std::string();
}

int refuse(const std::string& why) {
    lastRefusal = why;
    errno = EPERM;
    return -1;
}

int closeKeepingErrno(int fd, int result) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return result;
}

// Opens the plain file `look` (an O_PATH descriptor) as `flags` asks.
int reopen(int look, const char* path, const struct stat& looked, int flags) {
    flags &= ~(O_CREAT | O_EXCL | O_NOFOLLOW);
    char own[40];
    std::snprintf(own, sizeof own, "/proc/self/fd/%d", look);
    int fd = ::open(own, flags);
    if (fd >= 0 || errno != ENOENT) return closeKeepingErrno(look, fd);
    // Without /proc: open the name again and keep the descriptor only if it is the same file.
    ::close(look);
    fd = ::open(path, flags | O_NOFOLLOW);
    struct stat opened;
    if (fd < 0) return -1;
    if (fstat(fd, &opened) != 0) return closeKeepingErrno(fd, -1);
    if (opened.st_dev != looked.st_dev || opened.st_ino != looked.st_ino || opened.st_nlink > 1) {
        ::close(fd);
        return refuse(std::string(path) + " changed while the store opened it");
    }
    return fd;
}

// SQLite's open(), checked. `mode` is an int, as SQLite's table declares it.
int checkedOpen(const char* path, int flags, int mode) {
    // A file made exclusively is new: it has no other name yet.
    if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) return ::open(path, flags | O_NOFOLLOW, mode);
    int look = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (look < 0) {
        if (errno != ENOENT || !(flags & O_CREAT)) return -1;
        int made = ::open(path, flags | O_EXCL | O_NOFOLLOW, mode);
        if (made >= 0 || errno != EEXIST) return made;
        look = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);  // another process made it meanwhile
        if (look < 0) return -1;
    }
    struct stat info;
    if (fstat(look, &info) != 0) return closeKeepingErrno(look, -1);
    bool readOnly = (flags & O_ACCMODE) == O_RDONLY && !(flags & O_CREAT);
    if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode)) {
        ::close(look);
        // The folder holding the store is opened, read-only, to sync it; it may be named
        // through a link (a device folder given as one). A file never is.
        if (readOnly) {
            int folder = ::open(path, flags | O_DIRECTORY, mode);
            if (folder >= 0 || errno != ENOTDIR) return folder;
        }
        return refuse(problemOf(path, info));
    }
    std::string problem = problemOf(path, info);
    if (!problem.empty()) return closeKeepingErrno(look, refuse(problem));
    return reopen(look, path, info, flags);
}

}  // namespace

void storeFilesGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_vfs* unixLayer = sqlite3_vfs_find("unix");
        if (unixLayer && unixLayer->iVersion >= 3 && unixLayer->xSetSystemCall) {
            unixLayer->xSetSystemCall(unixLayer, "open", reinterpret_cast<sqlite3_syscall_ptr>(&checkedOpen));
        }
    });
}

bool storeFilesCheck(const std::string& path, std::string* error) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::string name = path + suffix;
        struct stat info;
        if (lstat(name.c_str(), &info) != 0) continue;
        std::string problem = problemOf(name, info);
        if (!problem.empty()) {
            *error = problem;
            return false;
        }
    }
    return true;
}

std::string storeFilesRefusal() { return lastRefusal; }

void storeFilesForget() { lastRefusal.clear(); }

}  // namespace device
