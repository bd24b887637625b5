// Files opened while a preview runs (device/core/preview.h) for writing, or whose content
// the preview already holds: the calls act on the content in memory (device/kernel/overlay.h),
// and only reads ever reach the host.
#pragma once

#include "device/kernel/handles.h"
#include "device/kernel/hostpath.h"
#include "device/kernel/sharing.h"
#include "platform/wintypes.h"

#include <memory>
#include <string>

namespace device {

// Sharing admission of a host descriptor, as CreateFileW places it.
using AdmitSharing = Admission (*)(int fd, bool read, bool write, DWORD share);

// Opens a file within the preview, after CreateFileW has made its checks: a file on the
// host is opened for reading only (its sharing locks placed as the real open would), its
// content copied to memory at the first write; a missing file is created in memory.
// RETURNS the handle, or INVALID_HANDLE_VALUE with the last error set as the real open would.
HANDLE overlayOpenFile(const WCHAR* devicePath, HostPath& target, bool read, bool write, bool truncates,
                       DWORD share, bool reportExisting, AdmitSharing admit);

// A handle overlayOpenFile gave; the file calls act on the content in memory.
class PreviewFile : public KernelObject {
public:
    PreviewFile(std::shared_ptr<std::string> content, HostFd locks, bool read, bool write, std::string path);
    BOOL read(void* buffer, DWORD count, DWORD* done);
    BOOL write(const void* buffer, DWORD count, DWORD* done);
    uint64_t size() const { return content_->size(); }
    // As SetFilePointer: RETURNS false for a position before the start.
    bool seek(int64_t position);
    int64_t position() const { return position_; }

private:
    std::shared_ptr<std::string> content_;
    HostFd locks_;  // closing it drops the sharing locks
    bool canRead_, canWrite_;
    std::string path_;  // the device path, UTF-8, for the record of writes
    int64_t position_ = 0;
};

}  // namespace device
