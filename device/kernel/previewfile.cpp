// Preview files: the content lives in the overlay, shared by every handle of the file, so
// a second open sees what the first one wrote. A file on the host keeps a read-only
// descriptor open only to hold the sharing locks the real open would hold.
#include "device/kernel/previewfile.h"

#include "device/core/changes.h"
#include "device/core/utf.h"
#include "device/kernel/overlay.h"
#include "platform/windows.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace device {
namespace {

bool readAll(int fd, std::string* out) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        out->append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

HANDLE overlayOpenFile(const WCHAR* devicePath, HostPath& target, bool read, bool write, bool truncates, DWORD share,
                       bool reportExisting, AdmitSharing admit) {
    int folder = target.folder.get();
    std::shared_ptr<std::string> content = overlayContent(folder, target.name.c_str());
    HostFd locks;
    if (target.exists) {
        // On the host: opened as the real open would be (for writing when it changes the
        // file, which the host may refuse) with the locks it would place, and never written.
        // CreateFileW has looked at its type, links and attributes.
        bool changes = write || truncates;
        locks.reset(openat(folder, target.name.c_str(), (changes ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK |
                                                            O_NOCTTY | O_CLOEXEC));
        if (locks.valid()) {
            struct stat opened;
            if (fstat(locks.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            if (admit(locks.get(), read, write, share) != Admission::Admitted) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
            if (!content && (write || truncates)) {
                content = std::make_shared<std::string>();
                if (!readAll(locks.get(), content.get()) || lseek(locks.get(), 0, SEEK_SET) < 0) {
                    SetLastError(ERROR_ACCESS_DENIED);
                    return INVALID_HANDLE_VALUE;
                }
            }
        } else if (!content) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!content) content = std::make_shared<std::string>();  // created by this open
    overlaySetContent(folder, target.name.c_str(), content);
    std::string path = toUtf8(devicePath);
    if (target.exists && truncates && !content->empty()) {
        content->clear();
        if (changesRecording()) changeAdd(Change{FileEmptied{.path = path}});
    }
    HANDLE handle = handleInsert(std::make_unique<PreviewFile>(content, std::move(locks), read, write, path));
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

PreviewFile::PreviewFile(std::shared_ptr<std::string> content, HostFd locks, bool read, bool write, std::string path)
    : content_(std::move(content)), locks_(std::move(locks)), canRead_(read), canWrite_(write), path_(std::move(path)) {}

BOOL PreviewFile::read(void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    if (!canRead_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (position_ < static_cast<int64_t>(content_->size())) {
        size_t available = content_->size() - static_cast<size_t>(position_);
        *done = static_cast<DWORD>(std::min<size_t>(available, count));
        std::memcpy(buffer, content_->data() + position_, *done);
        position_ += *done;
    }
    return TRUE;
}

BOOL PreviewFile::write(const void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    if (!canWrite_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A preview holds its files in memory: one past this size fails as a full disk would.
    constexpr int64_t kLargestPreviewFile = int64_t{1} << 30;
    if (position_ + int64_t{count} > kLargestPreviewFile) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    size_t at = static_cast<size_t>(position_);
    if (content_->size() < at + count) content_->resize(at + count);
    std::memcpy(content_->data() + at, buffer, count);
    position_ += count;
    *done = count;
    if (changesRecording())
        changeAdd(Change{FileWritten{.path = path_, .bytes = std::string(static_cast<const char*>(buffer), count)}});
    return TRUE;
}

bool PreviewFile::seek(int64_t position) {
    if (position < 0) return false;
    position_ = position;
    return true;
}

}  // namespace device
