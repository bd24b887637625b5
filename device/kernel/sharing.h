// Sharing modes and deletions of one file, held between handles and processes alike by
// open-file-description locks on bytes far past any content. The kernel admits or refuses
// each open's marks in one call per mark, a handle's marks go with its descriptor, and a
// deletion and an open of one file never both succeed: the deletion write-locks the byte
// every handle read-locks while it removes the name.
#pragma once

#include "platform/wintypes.h"

#include <sys/types.h>

namespace device {

class HostFd;

// The lock layout. Each of the two rules ("reading refused by a handle that denies
// reading", and the same for writing) owns a zone of bytes: a handle on the wide side of a
// rule read-locks the whole zone, a handle on the narrow side write-locks one byte of it
// chosen at random, so the two sides exclude each other and neither excludes its own kind.
// Readers and writing-deniers are the wide sides. kOpenMark, read-locked by every handle,
// lies between the zones and tells a deletion that the file is in use.
constexpr off_t kSharingZoneBytes = off_t{1} << 40;
constexpr off_t kDenyReadZone = off_t{1} << 60;                    // readers whole; deniers of reading one byte
constexpr off_t kOpenMark = kDenyReadZone + kSharingZoneBytes;     // every handle
constexpr off_t kDenyWriteZone = kOpenMark + 1;                    // deniers of writing whole; writers one byte
// The common open (reading, sharing reads only) spans both zones with kOpenMark between
// them: one unbroken read lock from kDenyReadZone, placed and checked by a single call.
constexpr off_t kCommonOpenLength = kDenyWriteZone + kSharingZoneBytes - kDenyReadZone;

// Places the marks of a handle open as `fd` that reads and writes as asked and shares as
// `share` (FILE_SHARE_*). Denying others reading takes a descriptor open for writing.
// RETURNS false when a mark is refused: another handle forbids this open, or this open
// forbids another's. The caller then closes `fd`, which drops whatever was placed.
bool admitSharing(int fd, bool read, bool write, DWORD share);

// What a deletion finds on kOpenMark.
enum class OpenState {
    Marked,   // nobody: the deletion's mark now write-locks it until the name is gone
    Free,     // nobody, looked at without a mark
    InUse,    // some handle, of any process, has the file open
    Deleting, // another deletion holds it for the moment it removes the name
};

// Who holds kOpenMark of the file open as `fd`: a deletion's mark, handles, or nobody.
OpenState openStateOf(int fd);

// Whether the regular file `name` in the host folder `folder` may be deleted now. When it
// may and this process can open it for writing, *mark receives the descriptor whose write
// lock admits no open until it is closed, so none slips in between this check and the
// unlink. A preview, which removes nothing, and a file this process may not open for
// writing are only looked at.
OpenState markForDeletion(int folder, const char* name, HostFd* mark);

// A deletion holds its mark for the few microseconds an unlink takes; who meets one waits
// (waitForDeletion) before looking again, at most kDeletionWaits times.
constexpr int kDeletionWaits = 200;
void waitForDeletion();

}  // namespace device
