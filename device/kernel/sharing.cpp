// Sharing locks (layout in sharing.h): marks placed with F_OFD_SETLK and looked for with
// F_OFD_GETLK, which the kernel answers against every other open file description, in
// this process or another. Both take the file's lock list under one lock, so a mark placed
// before a look is seen by every look that comes after it: when two rivals each place
// their mark and then look for the other's, at least one of them sees the other.
#include "device/kernel/sharing.h"

#include "device/core/preview.h"
#include "device/kernel/hostpath.h"
#include "platform/windows.h"

#include <cerrno>
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

// The lock another description holds on some byte of [start, start + length), in *held;
// RETURNS false when there is none. A failed look counts as a lock held: the file is
// kept, or the open refused, rather than both going ahead unseen.
bool heldByAnother(int fd, off_t start, off_t length, struct flock* held) {
    *held = {};
    held->l_type = F_WRLCK;  // a write request meets every lock, read or write
    held->l_whence = SEEK_SET;
    held->l_start = start;
    held->l_len = length;
    if (fcntl(fd, F_OFD_GETLK, held) != 0) return true;
    return held->l_type != F_UNLCK;
}

bool covers(const struct flock& lock, off_t byte) {
    return lock.l_start <= byte && (lock.l_len == 0 || byte - lock.l_start < lock.l_len);
}

// A byte of the deny-write zone no other writer is likely to pick.
off_t randomByteOfDenyWriteZone() {
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
    return kDenyWriteZone + static_cast<off_t>(z % static_cast<uint64_t>(kSharingZoneBytes));
}

}  // namespace

Admission admitSharing(int fd, bool read, bool write, DWORD share) {
    bool denyRead = !(share & FILE_SHARE_READ), denyWrite = !(share & FILE_SHARE_WRITE);
    // The read marks this handle places, from kReadMark (a reader) or kOpenMark on, through
    // the deny-write zone (it denies writing) and kDenyReadMark (it denies reading too):
    // one lock where they lie end to end.
    off_t first = read ? kReadMark : kOpenMark;
    off_t end = denyWrite ? (denyRead ? kDenyReadMark + 1 : kDenyReadMark) : kOpenMark + 1;
    if (!lockRange(fd, F_RDLCK, first, end - first)) return Admission::Refused;  // a writer's byte
    if (denyRead && !denyWrite && !lockRange(fd, F_RDLCK, kDenyReadMark, 1)) return Admission::Refused;
    // A writer's byte, over this handle's own read lock where it denies writing.
    if (write && !lockRange(fd, F_WRLCK, randomByteOfDenyWriteZone(), 1)) return Admission::Refused;

    // Now the read marks of others that this handle's could not meet: a deletion under
    // way, and, for a reader, a handle that denies reading (the two lie side by side).
    struct flock held;
    if (heldByAnother(fd, read ? kDenyReadMark : kDeletionMark, read ? 2 : 1, &held)) {
        if (covers(held, kDeletionMark)) return Admission::Deleting;
        return heldByAnother(fd, kDeletionMark, 1, &held) ? Admission::Deleting : Admission::Refused;
    }
    // Denying reading: no other handle may be reading.
    if (denyRead && heldByAnother(fd, kReadMark, 1, &held)) return Admission::Refused;
    return Admission::Admitted;
}

OpenState markForDeletion(int folder, const char* name, HostFd* mark) {
    HostFd file(openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return errno == ENOENT || errno == ELOOP ? OpenState::Gone : OpenState::Closed;
    // The mark first, then the look for handles: an open that places its own marks
    // meanwhile either is seen here or sees this mark (see admitSharing).
    bool marking = !previewing();
    if (marking && !lockRange(file.get(), F_RDLCK, kDeletionMark, 1)) return OpenState::InUse;
    struct flock held;
    if (heldByAnother(file.get(), kOpenMark, 1, &held)) return OpenState::InUse;
    if (!marking) return OpenState::Free;
    *mark = std::move(file);
    return OpenState::Marked;
}

void waitForDeletion() {
    timespec pause{0, 50 * 1000};
    nanosleep(&pause, nullptr);
}

}  // namespace device
