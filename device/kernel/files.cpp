// The device file system on the host's fs/ folder: files, folders and searches.
// Links below fs/ are never followed, nothing but a plain file is ever opened (its type is
// looked at first), read-only means "owner may not write" whoever runs us, a file with a
// second host link is never opened for writing, and sharing modes hold across processes
// through locks on bytes past any content (sharing.h). A write that falls short leaves the
// file as it was. While a preview runs, deletions hide entries in the overlay and writes go
// to memory (overlay.h, previewfile.h), after the same checks, those the host would make
// included. Outcomes are recorded (record.h); a requested stop is acted on before each
// file (core/interrupt.h).
#include "device/core/changes.h"
#include "device/core/faults.h"
#include "device/core/folder.h"
#include "device/core/interrupt.h"
#include "device/core/preview.h"
#include "device/core/utf.h"
#include "device/kernel/calendar.h"
#include "device/kernel/clock.h"
#include "device/kernel/files.h"
#include "device/kernel/handles.h"
#include "device/kernel/hostpath.h"
#include "device/kernel/overlay.h"
#include "device/kernel/previewfile.h"
#include "device/kernel/record.h"
#include "device/kernel/sharing.h"
#include "platform/windows.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using device::Admission;
using device::HostFd;
using device::HostPath;
using device::OpenState;
using device::PreviewFile;


DWORD attributesOf(const char* hostName, const struct stat& info) {
    // A link is shown as a plain file: what it points at is none of the device's business.
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (device::hostReadOnly(info)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (hostName[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;  // the host's notion of hidden
    return attributes;
}

// A host time as the device's local FILETIME; 0 before 1601.
FILETIME localFileTime(const struct timespec& when) { return device::fileTimeFromCount(device::hostLocalCount(when)); }

struct FileObject : device::KernelObject {
    FileObject(HostFd descriptor, bool read, bool write, bool linkedOutside, int64_t fixedSize)
        : host(std::move(descriptor)), canRead(read), canWrite(write), contentsHidden(linkedOutside), fixedSize(fixedSize) {}
    int fd() const { return host.get(); }

    HostFd host;  // closing it drops the sharing locks
    const bool canRead, canWrite;
    // A file with a second host link was put there from outside the device: its size and
    // times may be seen, its contents never read.
    const bool contentsHidden;
    // The size at open when no handle can change it while this one lives (this one cannot
    // write and shares with no writer); otherwise -1 and the size is asked of the host.
    const int64_t fixedSize;
    std::string recordedPath;  // the device path, when its writes are recorded
};

class SearchObject : public device::KernelObject {
public:
    // `folderPath` is the device path of the folder listed, as the pattern spells it.
    SearchObject(DIR* dir, std::u16string_view folderPath, std::u16string_view pattern)
        : dir_(dir), pattern_(pattern), folderLength_(folderPath.size()),
          reportsUnlisted_(device::changesRecording() && (pattern == u"*" || pattern == u"*.*")) {
        if (reportsUnlisted_) folderPath_ = device::toUtf8(folderPath);
    }
    ~SearchObject() override { closedir(dir_); }
    SearchObject(const SearchObject&) = delete;
    SearchObject& operator=(const SearchObject&) = delete;

    // Fills *data with the next matching entry. RETURNS false when none is left.
    bool next(WIN32_FIND_DATAW* data) {
        while (const dirent* entry = readdir(dir_)) {
            const char* hostName = entry->d_name;
            if (std::strcmp(hostName, ".") == 0 || std::strcmp(hostName, "..") == 0) continue;
            int length = device::deviceName(hostName, name_);
            if (length < 0 && !reportsUnlisted_) continue;
            if (length >= 0 && !device::matchesPattern(pattern_, std::u16string_view(name_, static_cast<size_t>(length))))
                continue;
            struct stat info;
            if (fstatat(dirfd(dir_), hostName, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            if (device::previewing() && !device::overlayView(dirfd(dir_), hostName, &info)) continue;
            // A sweep lists every entry to act on it: one it cannot be given, or cannot name
            // in a path of the device's length, stays, and the record says so.
            if (reportsUnlisted_ && (length < 0 || folderLength_ + 1 + static_cast<size_t>(length) > MAX_PATH - 1))
                device::recordUnlisted(folderPath_, hostName, info);
            if (length < 0) continue;
            fill(data, hostName, info, static_cast<size_t>(length));
            return true;
        }
        return false;
    }

private:
    void fill(WIN32_FIND_DATAW* data, const char* hostName, const struct stat& info, size_t length) const {
        data->dwFileAttributes = attributesOf(hostName, info);
        data->ftLastWriteTime = localFileTime(info.st_mtim);
        data->ftCreationTime = data->ftLastWriteTime;
        data->ftLastAccessTime = localFileTime(info.st_atim);
        uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(size);
        data->dwOID = 0;
        std::memcpy(data->cFileName, name_, (length + 1) * sizeof(WCHAR));
    }

    DIR* dir_;
    std::u16string pattern_;
    size_t folderLength_;
    bool reportsUnlisted_;
    std::string folderPath_;  // UTF-8, only when reportsUnlisted_
    WCHAR name_[MAX_PATH];
};

HANDLE failHandle(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

FileObject* fileOf(HANDLE file) {
    FileObject* object = device::handleGet<FileObject>(file);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

}  // namespace

namespace {

// Whether the name `path` still leads to the file open as `opened`. The link count alone
// cannot tell for a file with a second host link: removing the device's name leaves one
// link, outside fs/. Removing a name changes the file's ctime, though, so only a file
// changed since `since` (the coarse clock before the open) is looked up again.
bool stillNamed(LPCWSTR path, const struct stat& opened, const timespec& since) {
    if (opened.st_nlink == 0) return false;
    bool changed = opened.st_ctim.tv_sec > since.tv_sec ||
                   (opened.st_ctim.tv_sec == since.tv_sec && opened.st_ctim.tv_nsec >= since.tv_nsec);
    if (!changed) return true;
    HostPath now;
    return device::resolvePath(path, &now) == 0 && now.exists && now.info.st_dev == opened.st_dev &&
           now.info.st_ino == opened.st_ino;
}

// Hands out the file just opened as `fd`, once it proves to be a plain file the request
// may use: a file with more than one host link is never written or truncated, since the
// device makes none and its other name may lie outside fs/. A deletion that has not seen
// this handle's marks may still remove the name, so the file is looked at once the marks
// stand (see stillNamed). A request to read places its marks first; one to
// write or truncate is checked first (read-only, a second link), so that a request bound
// to be refused never holds marks another could meet, and is looked at again after. When
// the name went meanwhile, or a deletion is removing it now, *gone is set and the caller
// looks the path up again. (The caller looked at the entry's type before opening it.)
HANDLE admitOpened(HostFd fd, bool existed, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                   LPCWSTR path, const timespec& openStarted, bool* gone) {
    bool wantRead = access & GENERIC_READ, wantWrite = access & GENERIC_WRITE;
    bool truncates = existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    struct stat opened;
    Admission admission;
    if (wantWrite || truncates) {
        if (fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
        if (opened.st_nlink > 1 || (existed && device::hostReadOnly(opened))) return failHandle(ERROR_ACCESS_DENIED);
        admission = device::admitSharing(fd.get(), wantRead, wantWrite, share);
        if (admission == Admission::Admitted && fstat(fd.get(), &opened) != 0) return failHandle(ERROR_ACCESS_DENIED);
    } else {
        admission = device::admitSharing(fd.get(), wantRead, wantWrite, share);
        if (fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
    }
    if (admission != Admission::Admitted) {
        // A deletion is removing the name, or refused only by a handle of a name gone by now?
        *gone = admission == Admission::Deleting || (fstat(fd.get(), &opened) == 0 && !stillNamed(path, opened, openStarted));
        return failHandle(ERROR_SHARING_VIOLATION);
    }
    if (!stillNamed(path, opened, openStarted)) {  // the name was removed before the marks stood
        *gone = true;
        return failHandle(ERROR_FILE_NOT_FOUND);
    }
    bool linkedOutside = opened.st_nlink > 1;
    if ((wantWrite || truncates) && linkedOutside) return failHandle(ERROR_ACCESS_DENIED);  // linked meanwhile
    if (truncates && ftruncate(fd.get(), 0) != 0) return failHandle(ERROR_ACCESS_DENIED);
    if (!existed && (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)) fchmod(fd.get(), opened.st_mode & ~0222u);

    bool sizeFixed = !wantWrite && !(share & FILE_SHARE_WRITE) && !truncates;
    auto object = std::make_unique<FileObject>(std::move(fd), wantRead, wantWrite, linkedOutside,
                                               sizeFixed ? static_cast<int64_t>(opened.st_size) : -1);
    if (device::changesRecording() && wantWrite) object->recordedPath = device::toUtf8(path);
    if (device::changesRecording() && truncates && opened.st_size > 0)
        device::changeAdd(device::Change{device::FileEmptied{.path = device::toUtf8(path)}});
    HANDLE handle = device::handleInsert(std::move(object));
    bool reportExisting = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

namespace {

// Whether this process may add or remove a name in the host folder `folder` (the entry
// removed being `entry`), as the host will judge when it does: a preview, which leaves
// the folder alone, refuses where the run would be refused.
bool hostMayChangeFolder(int folder, const struct stat* entry) {
    if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
    struct stat self;
    if (!entry || fstat(folder, &self) != 0 || !(self.st_mode & S_ISVTX)) return true;
    // A sticky folder lets only the owners of the entry or the folder remove it.
    uid_t me = geteuid();
    return me == 0 || me == entry->st_uid || me == self.st_uid;
}

HANDLE openFile(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return failHandle(ERROR_INVALID_PARAMETER);
    bool wantRead = access & GENERIC_READ, wantWrite = access & GENERIC_WRITE;
    bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (disposition == TRUNCATE_EXISTING && !wantWrite) return failHandle(ERROR_ACCESS_DENIED);
    // No sharing mark needs a descriptor open for writing (sharing.h): only changing the file does.
    int mode = wantWrite || truncates ? O_RDWR : O_RDONLY;
    constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    timespec openStarted {};  // the file clock's own (coarse) time, as ctimes are stamped
    clock_gettime(CLOCK_REALTIME_COARSE, &openStarted);

    // An existing plain file spelled as on the host opens in one call, once looked at; a
    // folder, a link, a name that differs in case, a file to create or one the request may
    // not use takes the look-up below, and so does every open of a preview, whose overlay
    // only the look-up consults.
    if (disposition != CREATE_NEW && !device::previewing()) {
        HostFd fd(device::openExactFile(path, mode | kOpenFlags, wantWrite || truncates));
        bool gone = false;
        if (fd.valid()) {
            HANDLE handle = admitOpened(std::move(fd), true, access, share, disposition, flagsAndAttributes, path, openStarted, &gone);
            if (!gone) return handle;
        }
    }

    // Another process may create or remove the name between look-up and open: look again.
    int waits = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        HostPath target;
        if (DWORD error = device::resolvePath(path, &target)) return failHandle(error);
        int folder = target.folder.get();
        const char* name = target.name.c_str();
        HostFd fd;
        if (target.exists) {
            // Folders, links and anything else but a plain file are never opened.
            if (!S_ISREG(target.info.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
            if (disposition == CREATE_NEW) return failHandle(ERROR_FILE_EXISTS);
            if ((wantWrite || truncates) && (device::hostReadOnly(target.info) || target.info.st_nlink > 1))
                return failHandle(ERROR_ACCESS_DENIED);
            if (device::previewing() && (wantWrite || truncates || device::overlayHasContent(folder, name)))
                return device::overlayOpenFile(path, target, wantRead, wantWrite, truncates, share,
                                               disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS, device::admitSharing);
            fd.reset(openat(folder, name, mode | kOpenFlags));
            if (!fd.valid()) {
                if (errno == ENOENT) continue;
                return failHandle(ERROR_ACCESS_DENIED);
            }
        } else {
            if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return failHandle(ERROR_FILE_NOT_FOUND);
            if (device::previewing()) {
                if (!hostMayChangeFolder(folder, nullptr)) return failHandle(ERROR_ACCESS_DENIED);
                return device::overlayOpenFile(path, target, wantRead, wantWrite, truncates, share, false, device::admitSharing);
            }
            // O_EXCL: never creates through a link, and loses cleanly to a racing creator.
            fd.reset(openat(folder, name, (wantWrite ? O_RDWR : O_RDONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!fd.valid()) {
                if (errno == EEXIST) continue;
                if (errno == ENOSPC || errno == EDQUOT) return failHandle(ERROR_DISK_FULL);
                return failHandle(errno == ENAMETOOLONG ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
            }
        }
        bool gone = false;
        HANDLE handle = admitOpened(std::move(fd), target.exists, access, share, disposition, flagsAndAttributes, path, openStarted, &gone);
        if (!gone) return handle;
        // A deletion is removing the name, or just has: not counted as an attempt, but
        // given the moment it takes before the path is looked up again.
        if (++waits > device::kDeletionWaits) return failHandle(ERROR_SHARING_VIOLATION);
        device::waitForDeletion();
        --attempt;
    }
    return failHandle(ERROR_ACCESS_DENIED);
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
    device::interruptPoint();
    if (device::faultHit("CreateFileW")) return failHandle(ERROR_ACCESS_DENIED);
    HANDLE handle = openFile(path, access, share, disposition, flagsAndAttributes);
    bool changes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (handle == INVALID_HANDLE_VALUE && changes && device::changesRecording()) {
        DWORD error = GetLastError();
        device::recordNotWritten(path, error);
        SetLastError(error);
    }
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID) {
    if (bytesRead) *bytesRead = 0;
    if (device::faultHit("ReadFile")) return fail(ERROR_READ_FAULT);
    if (PreviewFile* preview = device::handleGet<PreviewFile>(file)) {
        DWORD done = 0;
        BOOL ok = preview->read(buffer, bytesToRead, &done);
        if (bytesRead) *bytesRead = done;
        return ok;
    }
    FileObject* object = fileOf(file);
    if (!object) return FALSE;
    if (!object->canRead || object->contentsHidden) return fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    while (done < bytesToRead) {
        ssize_t got = read(object->fd(), static_cast<char*>(buffer) + done, bytesToRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(ERROR_READ_FAULT);
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (bytesRead) *bytesRead = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPVOID) {
    if (bytesWritten) *bytesWritten = 0;
    if (device::faultHit("WriteFile")) return fail(ERROR_WRITE_FAULT);
    if (PreviewFile* preview = device::handleGet<PreviewFile>(file)) {
        DWORD done = 0;
        BOOL ok = preview->write(buffer, bytesToWrite, &done);
        if (bytesWritten) *bytesWritten = done;
        return ok;
    }
    FileObject* object = fileOf(file);
    if (!object) return FALSE;
    if (!object->canWrite) return fail(ERROR_ACCESS_DENIED);
    // The size before, so that a write falling short (a full disk) takes back what it
    // wrote: a log line is whole or absent, never a piece the next line is glued to.
    struct stat before;
    if (fstat(object->fd(), &before) != 0) return fail(ERROR_WRITE_FAULT);
    DWORD done = 0;
    int cause = 0;  // why a write fell short
    while (done < bytesToWrite && !cause) {
        const char* from = static_cast<const char*>(buffer) + done;
        DWORD left = bytesToWrite - done;
        // The "write" fault plays a full disk: half of what is left goes out, then no more.
        bool full = device::faultHit("write");
        ssize_t put = write(object->fd(), from, full ? left / 2 : left);
        if (put > 0) done += static_cast<DWORD>(put);
        if (full || put == 0) cause = ENOSPC;
        else if (put < 0 && errno != EINTR) cause = errno;
    }
    if (cause) {
        off_t at = lseek(object->fd(), 0, SEEK_CUR);
        // Back to the size before, and the position where this write began.
        if (done > 0 && at >= 0 && ftruncate(object->fd(), before.st_size) == 0)
            lseek(object->fd(), at - static_cast<off_t>(done), SEEK_SET);
        DWORD error = cause == ENOSPC || cause == EDQUOT || cause == EFBIG ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
        if (!object->recordedPath.empty()) device::recordNotWritten(device::toUtf16(object->recordedPath).c_str(), error);
        return fail(error);
    }
    if (bytesWritten) *bytesWritten = done;
    if (!object->recordedPath.empty())
        device::changeAdd(device::Change{device::FileWritten{
            .path = object->recordedPath, .bytes = std::string(static_cast<const char*>(buffer), done)}});
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    if (device::faultHit("GetFileSize")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (PreviewFile* preview = device::handleGet<PreviewFile>(file)) {
        if (sizeHigh) *sizeHigh = static_cast<DWORD>(preview->size() >> 32);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(preview->size());
    }
    FileObject* object = fileOf(file);
    struct stat info;
    if (!object || (object->fixedSize < 0 && fstat(object->fd(), &info) != 0)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(object->fixedSize >= 0 ? object->fixedSize : info.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a size of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    if (device::faultHit("SetFilePointer")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    PreviewFile* preview = device::handleGet<PreviewFile>(file);
    FileObject* object = preview ? nullptr : fileOf(file);
    if (!object && !preview) return INVALID_SET_FILE_POINTER;
    // Without distanceHigh the distance is a signed 32-bit move and the result must fit 32 bits.
    int64_t move = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                       static_cast<uint32_t>(distance))
                                : distance;
    int64_t base;
    struct stat info;
    switch (moveMethod) {
        case FILE_BEGIN: base = 0; break;
        case FILE_CURRENT: base = preview ? preview->position() : lseek(object->fd(), 0, SEEK_CUR); break;
        case FILE_END:
            base = preview ? static_cast<int64_t>(preview->size()) : fstat(object->fd(), &info) == 0 ? info.st_size : -1;
            break;
        default: base = -1; break;
    }
    int64_t target;
    if (base < 0 || __builtin_add_overflow(base, move, &target) || target < 0 ||
        (!distanceHigh && target > int64_t{0xFFFFFFFF}) ||
        (preview ? !preview->seek(target) : lseek(object->fd(), target, SEEK_SET) < 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a position of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(target);
}

BOOL FlushFileBuffers(HANDLE file) {
    if (device::faultHit("FlushFileBuffers")) return fail(ERROR_WRITE_FAULT);
    if (device::handleGet<PreviewFile>(file)) return TRUE;  // nothing of it reaches the host
    FileObject* object = fileOf(file);
    if (!object) return FALSE;
    if (fsync(object->fd()) != 0) return fail(ERROR_WRITE_FAULT);
    return TRUE;
}

namespace {

// RETURNS 0 when the resolved file is deleted (hidden, in a preview), else the error;
// *again when the name changed under the deletion, to look the path up again shortly.
DWORD deleteResolved(const HostPath& target, bool* again) {
    if (!target.exists) return ERROR_FILE_NOT_FOUND;
    const struct stat& info = target.info;
    if (S_ISDIR(info.st_mode) || device::hostReadOnly(info)) return ERROR_ACCESS_DENIED;
    HostFd mark;  // dropped on return, once the name is gone
    // Only a plain file can be open, and only one is ever opened; anything else (a link,
    // a FIFO, a device) loses its name without being opened.
    if (S_ISREG(info.st_mode)) {
        switch (device::markForDeletion(target.folder.get(), target.name.c_str(), &mark)) {
            case OpenState::InUse: return ERROR_SHARING_VIOLATION;
            case OpenState::Closed: return ERROR_ACCESS_DENIED;  // no mark can stand: kept
            case OpenState::Gone: *again = true; return ERROR_FILE_NOT_FOUND;
            case OpenState::Marked:
            case OpenState::Free: break;
        }
    }
    if (device::previewing()) {
        if (!hostMayChangeFolder(target.folder.get(), &info)) return ERROR_ACCESS_DENIED;
        device::overlayHide(target.folder.get(), target.name.c_str());
        return 0;
    }
    // A link is removed itself: unlinkat never follows one.
    if (unlinkat(target.folder.get(), target.name.c_str(), 0) != 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    return 0;
}

// RETURNS 0 when the resolved folder is removed (hidden, in a preview), else the error.
DWORD removeResolved(const HostPath& target) {
    if (!target.exists) return ERROR_FILE_NOT_FOUND;
    if (!S_ISDIR(target.info.st_mode)) return ERROR_DIRECTORY;
    if (device::previewing()) {
        // The host looks at the parent's permissions before the folder's contents.
        if (!hostMayChangeFolder(target.folder.get(), &target.info)) return ERROR_ACCESS_DENIED;
        if (!device::overlayFolderEmpty(target.folder.get(), target.name.c_str())) return ERROR_DIR_NOT_EMPTY;
        device::overlayHide(target.folder.get(), target.name.c_str());
        return 0;
    }
    if (unlinkat(target.folder.get(), target.name.c_str(), AT_REMOVEDIR) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) return ERROR_DIR_NOT_EMPTY;
        if (errno == ENOENT) return ERROR_FILE_NOT_FOUND;
        return errno == ENOTDIR ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED;
    }
    return 0;
}

}  // namespace

BOOL DeleteFileW(LPCWSTR path) {
    device::interruptPoint();
    if (device::faultHit("DeleteFileW")) return fail(ERROR_ACCESS_DENIED);
    HostPath target;
    DWORD error;
    for (int wait = 0;; ++wait) {
        target = HostPath{};
        if (DWORD missing = device::resolvePath(path, &target)) {
            if (device::changesRecording() && !device::validDevicePath(path)) device::recordUnnamable(path);
            return fail(missing);
        }
        bool again = false;
        error = deleteResolved(target, &again);
        if (!again || wait == device::kDeletionWaits) break;
        device::waitForDeletion();  // see what the name leads to now
    }
    if (device::changesRecording()) device::recordDeletion(path, target, error);
    return error ? fail(error) : TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    if (device::faultHit("CreateDirectoryW")) return fail(ERROR_ACCESS_DENIED);
    HostPath target;
    if (DWORD error = device::resolvePath(path, &target)) return fail(error);
    if (target.exists) return fail(ERROR_ALREADY_EXISTS);
    // The overlay holds no new folders (the program never makes one): a preview refuses,
    // visibly, rather than touch fs/.
    if (device::previewing()) return fail(ERROR_ACCESS_DENIED);
    if (mkdirat(target.folder.get(), target.name.c_str(), 0777) != 0) {
        if (errno == EEXIST) return fail(ERROR_ALREADY_EXISTS);
        return fail(errno == ENOENT || errno == ENAMETOOLONG ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    }
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
    device::interruptPoint();
    if (device::faultHit("RemoveDirectoryW")) return fail(ERROR_ACCESS_DENIED);
    HostPath target;
    if (DWORD error = device::resolvePath(path, &target)) {
        if (device::changesRecording() && !device::validDevicePath(path)) device::recordUnnamable(path);
        return fail(error);
    }
    DWORD error = removeResolved(target);
    if (device::changesRecording()) device::recordRemoval(path, error);
    return error ? fail(error) : TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
    if (device::faultHit("GetFileAttributesW")) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (path && path[0] == u'\\' && path[1] == u'\0' && device::fsRoot() >= 0) return FILE_ATTRIBUTE_DIRECTORY;
    HostPath target;
    DWORD error = device::resolvePath(path, &target);
    if (!error && !target.exists) error = ERROR_FILE_NOT_FOUND;
    if (error) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributesOf(target.name.c_str(), target.info);
}

namespace device {
namespace {
uint64_t listed = 0;
std::function<void()> listedHook;

void countListed() {
    ++listed;
    if (listedHook) listedHook();
}
}  // namespace

uint64_t filesListed() { return listed; }

void setFilesListedHook(std::function<void()> hook) { listedHook = std::move(hook); }

}  // namespace device

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    if (device::faultHit("FindFirstFileW")) return failHandle(ERROR_ACCESS_DENIED);
    if (!data) return failHandle(ERROR_INVALID_PARAMETER);
    HostPath folder;
    if (DWORD error = device::resolveSearch(pattern, &folder)) return failHandle(error);
    // The walk's descriptor is fresh and at the start of the folder: the listing takes it over.
    DIR* dir = fdopendir(folder.folder.get());
    if (!dir) return failHandle(ERROR_ACCESS_DENIED);
    folder.folder.release();
    std::u16string_view whole(pattern, wcslen(pattern));
    auto search = std::make_unique<SearchObject>(dir, whole.substr(0, whole.rfind(u'\\')), folder.last);
    if (!search->next(data)) return failHandle(ERROR_FILE_NOT_FOUND);
    device::countListed();
    return device::handleInsert(std::move(search));
}

BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data) {
    device::interruptPoint();
    if (device::faultHit("FindNextFileW")) return fail(ERROR_NO_MORE_FILES);
    SearchObject* object = device::handleGet<SearchObject>(search);
    if (!object || !data) return fail(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    if (!object->next(data)) return fail(ERROR_NO_MORE_FILES);
    device::countListed();
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    if (device::faultHit("FindClose")) return fail(ERROR_INVALID_HANDLE);
    if (!device::handleGet<SearchObject>(search) || !device::handleRemove(search)) return fail(ERROR_INVALID_HANDLE);
    return TRUE;
}
