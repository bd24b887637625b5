// The bare-metal floors of a two-level sweep: every file directly inside FOLDER or directly
// inside one of its sub-folders, the listings read with readdir. Plain C but for the device's
// lock offsets, compiled as C++ with the rest.
//   sweep_floor FOLDER
//     one openat, one fstat and one close per file; prints the total size.
//   sweep_floor --guarded ROOT FOLDER
//     the calls a measure cannot do without while keeping the device's guarantees, and no
//     more: the listing's stat of each entry (a listing tells size, times and attributes),
//     a look at the path before opening it (only a plain file is opened), an open of the
//     whole path beneath ROOT that refuses links and escapes, fstat (how many links, still
//     the file looked at), one lock that marks the open for sharing, one look for a
//     deletion or a handle denying reading, close.
//     FOLDER is relative to ROOT. Prints the total size.
//   sweep_floor --guarded-clean ROOT FOLDER
//     the same for a clean: the listing's stat, the folder opened beneath ROOT, the file's
//     stat (read-only files stay), a read-only open and a lock that marks the file for
//     deletion, a look for handles (files in use stay), the unlink, the mark's close and the
//     folder's close; then each emptied sub-folder removed.
// Set beside the floor, the guarded figures tell what the guarantees cost and what is the
// emulation's own overhead. The lock offsets are the device's own (sharing.h).
#include "device/kernel/sharing.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

enum Mode { FLOOR, GUARDED, GUARDED_CLEAN };

static int root = -1;

static int skip(const char *name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

static int openBeneath(const char *path, int flags) {
    struct open_how how;
    memset(&how, 0, sizeof how);
    how.flags = (unsigned long long)flags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return (int)syscall(SYS_openat2, root, path, &how, sizeof how);
}

// A lock request of `type` over [start, start + length).
static struct flock rangeLock(short type, off_t start, off_t length) {
    struct flock lock;
    memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

static int lockRange(int fd, short type, int command, off_t start, off_t length) {
    struct flock lock = rangeLock(type, start, length);
    return fcntl(fd, command, &lock);
}

// Whether another description holds a lock on [start, start + length); a failed look counts.
static int heldByAnother(int fd, off_t start, off_t length) {
    struct flock held = rangeLock(F_WRLCK, start, length);
    return fcntl(fd, F_OFD_GETLK, &held) != 0 || held.l_type != F_UNLCK;
}

// One file of the guarded measure: `path` is its path below ROOT.
static void guardedSize(int folder, const char *name, const char *path, unsigned long long *total) {
    struct stat listed, looked, info;
    if (fstatat(folder, name, &listed, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (fstatat(root, path, &looked, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(looked.st_mode)) return;
    int file = openBeneath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) return;
    if (fstat(file, &info) == 0 && S_ISREG(info.st_mode) &&
        lockRange(file, F_RDLCK, F_OFD_SETLK, device::kReadMark, device::kCommonOpenLength) == 0 &&
        !heldByAnother(file, device::kDenyReadMark, 2))
        *total += (unsigned long long)info.st_size;
    close(file);
}

// One file of the guarded clean.
static void guardedDelete(int listingFolder, const char *name, const char *folderPath) {
    struct stat listed, info;
    if (fstatat(listingFolder, name, &listed, AT_SYMLINK_NOFOLLOW) != 0) return;
    int folder = openBeneath(folderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR)) {
        // The mark stands until the name is gone, then the look for handles: no open slips in between.
        int mark = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (mark >= 0 && lockRange(mark, F_RDLCK, F_OFD_SETLK, device::kDeletionMark, 1) == 0 &&
            !heldByAnother(mark, device::kOpenMark, 1))
            unlinkat(folder, name, 0);
        if (mark >= 0) close(mark);
    }
    close(folder);
}

// Sweeps the folder `fd`, whose path below ROOT is `path`; with `descend`, each sub-folder too.
static void sweep(int fd, const char *path, int descend, enum Mode mode, unsigned long long *total) {
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    struct dirent *entry;
    char entryPath[4096];
    while ((entry = readdir(dir))) {
        if (skip(entry->d_name)) continue;
        snprintf(entryPath, sizeof entryPath, "%s/%s", path, entry->d_name);
        if (entry->d_type == DT_DIR) {
            if (!descend) continue;
            int sub = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) sweep(sub, entryPath, 0, mode, total);
            if (mode == GUARDED_CLEAN) unlinkat(dirfd(dir), entry->d_name, AT_REMOVEDIR);
            continue;
        }
        if (mode == GUARDED) {
            guardedSize(dirfd(dir), entry->d_name, entryPath, total);
        } else if (mode == GUARDED_CLEAN) {
            guardedDelete(dirfd(dir), entry->d_name, path);
        } else {
            int file = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (file < 0) continue;
            struct stat info;
            if (fstat(file, &info) == 0 && S_ISREG(info.st_mode)) *total += (unsigned long long)info.st_size;
            close(file);
        }
    }
    closedir(dir);
}

int main(int argc, char **argv) {
    enum Mode mode = FLOOR;
    const char *folder = argc == 2 ? argv[1] : NULL;
    if (argc == 4 && strcmp(argv[1], "--guarded") == 0) mode = GUARDED;
    else if (argc == 4 && strcmp(argv[1], "--guarded-clean") == 0) mode = GUARDED_CLEAN;
    else if (argc != 2) folder = NULL;
    if (mode != FLOOR) {
        folder = argv[3];
        root = open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            perror(argv[2]);
            return 1;
        }
    }
    if (!folder) {
        fprintf(stderr, "usage: sweep_floor FOLDER | --guarded ROOT FOLDER | --guarded-clean ROOT FOLDER\n");
        return 2;
    }
    int fd = root >= 0 ? openBeneath(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        perror(folder);
        return 1;
    }
    unsigned long long total = 0;
    sweep(fd, folder, 1, mode, &total);
    if (mode != GUARDED_CLEAN) printf("%llu\n", total);
    return 0;
}
