// Sharing locks (layout in sharing.h): marks placed with F_OFD_SETLK, which the kernel
// checks against every other open file description, in this process or another.
#include "device/kernel/sharing.h"

#include "device/core/preview.h"
#include "device/kernel/hostpath.h"
#include "platform/windows.h"

#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace device {
namespace {

bool lockRange(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// A byte of a zone no other handle is likely to pick: two handles on the narrow side
// of a rule meet on one byte (and the second is refused) once in 2^40 opens.
off_t randomByteOf(off_t zone) {
    static thread_local uint64_t state = [] {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(now.tv_nsec) ^
               static_cast<uint64_t>(now.tv_sec) << 20;
    }();
    state += 0x9E3779B97F4A7C15ull;  // splitmix64
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return zone + static_cast<off_t>(z % static_cast<uint64_t>(kSharingZoneBytes));
}

}  // namespace

bool admitSharing(int fd, bool read, bool write, DWORD share) {
    bool denyRead = !(share & FILE_SHARE_READ), denyWrite = !(share & FILE_SHARE_WRITE);
    // The whole zones this handle spans, with kOpenMark between them, as one read lock.
    off_t first = read ? kDenyReadZone : kOpenMark;
    off_t end = denyWrite ? kDenyWriteZone + kSharingZoneBytes : kOpenMark + 1;
    if (!lockRange(fd, F_RDLCK, first, end - first)) return false;
    // The narrow sides: one byte each, written over the read lock of this same handle.
    if (denyRead && !lockRange(fd, F_WRLCK, randomByteOf(kDenyReadZone), 1)) return false;
    if (write && !lockRange(fd, F_WRLCK, randomByteOf(kDenyWriteZone), 1)) return false;
    return true;
}

// Seen from a request for the whole byte: a write lock there is a deletion's mark, read
// locks are handles.
OpenState openStateOf(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kOpenMark;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return OpenState::InUse;  // unknown: keep the file
    if (lock.l_type == F_UNLCK) return OpenState::Free;
    return lock.l_type == F_WRLCK ? OpenState::Deleting : OpenState::InUse;
}

OpenState markForDeletion(int folder, const char* name, HostFd* mark) {
    constexpr int kProbeFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (!previewing()) {
        // The mark is a write lock, which needs a descriptor open for writing.
        HostFd writable(openat(folder, name, O_RDWR | kProbeFlags));
        if (writable.valid()) {
            if (!lockRange(writable.get(), F_WRLCK, kOpenMark, 1)) {
                // Refused, then let go before the look: whoever held it is gone; look again.
                OpenState holder = openStateOf(writable.get());
                return holder == OpenState::Free ? OpenState::Deleting : holder;
            }
            *mark = std::move(writable);
            return OpenState::Marked;
        }
    }
    HostFd probe(openat(folder, name, O_RDONLY | kProbeFlags));
    return probe.valid() ? openStateOf(probe.get()) : OpenState::Free;
}

void waitForDeletion() {
    timespec pause{0, 50 * 1000};
    nanosleep(&pause, nullptr);
}

}  // namespace device
