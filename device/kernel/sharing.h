// Sharing modes and deletions of one file, held between handles and processes alike by
// open-file-description locks on bytes far past any content. No mark needs a descriptor
// open for writing, so a process that may only read a file (an ordinary user with another's
// file, a file with a second host link) shares and deletes it by the same rules: a mark the
// kernel can refuse as it is placed is a write lock of a writer; every other mark is a read
// lock, placed first and then the rival marks looked for, so that of two handles (or a
// handle and a deletion) arriving together at least one sees the other.
#pragma once

#include "platform/wintypes.h"

#include <sys/types.h>

namespace device {

class HostFd;

// The lock layout, all bytes past kReadMark:
// - kReadMark: read-locked by every handle that reads;
// - kOpenMark: read-locked by every handle; a deletion finds the file in use there;
// - the deny-write zone: a handle that denies writing read-locks all of it, a writer
//   write-locks one byte of it chosen at random, so the two exclude each other and
//   neither excludes its own kind (two writers meet on one byte once in 2^40 opens);
// - kDenyReadMark: read-locked by every handle that denies reading;
// - kDeletionMark: read-locked by a deletion for the moment it removes the name.
constexpr off_t kSharingZoneBytes = off_t{1} << 40;
constexpr off_t kReadMark = off_t{1} << 60;
constexpr off_t kOpenMark = kReadMark + 1;
constexpr off_t kDenyWriteZone = kOpenMark + 1;
constexpr off_t kDenyReadMark = kDenyWriteZone + kSharingZoneBytes;
constexpr off_t kDeletionMark = kDenyReadMark + 1;
// The common open (reading, sharing reads only) read-locks kReadMark, kOpenMark and the
// deny-write zone, which lie end to end: one lock, placed and checked by a single call.
constexpr off_t kCommonOpenLength = kDenyReadMark - kReadMark;

enum class Admission {
    Admitted,  // the marks stand until the descriptor closes
    Refused,   // another handle forbids this open, or this open forbids another's
    Deleting,  // a deletion is removing the name now: look the path up again shortly
};

// Places the marks of a handle open as `fd` (read-only unless it writes) that reads and
// writes as asked and shares as `share` (FILE_SHARE_*), then looks for the marks that
// could not refuse it as they were placed. On anything but Admitted the caller closes
// `fd`, which drops whatever was placed.
Admission admitSharing(int fd, bool read, bool write, DWORD share);

// What a deletion finds.
enum class OpenState {
    Marked,  // nobody has the file open; *mark holds the deletion's mark until closed
    Free,    // nobody has it open (only looked at, in a preview)
    InUse,   // some handle, of any process, has the file open
    Gone,    // the name no longer leads to a file to mark: look the path up again
    Closed,  // the file cannot be opened even for reading, so no mark can stand: keep it
};

// Whether the regular file `name` in the host folder `folder` (its type checked by the
// caller) may be deleted now. Opens it read-only and marks it, so that no open slips in
// between this look and the unlink; a preview, which removes nothing, only looks.
OpenState markForDeletion(int folder, const char* name, HostFd* mark);

// A deletion holds its mark for the few microseconds an unlink takes; who meets one waits
// (waitForDeletion) before looking again, at most kDeletionWaits times.
constexpr int kDeletionWaits = 200;
void waitForDeletion();

}  // namespace device
