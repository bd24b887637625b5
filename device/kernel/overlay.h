// The preview's view of fs/: files and folders the run deletes are hidden rather than
// removed, and files it writes or creates live in memory. Path resolution and listings
// consult it while a preview runs (device/core/preview.h), so the run's later calls see
// its earlier ones; the host's fs/ is never written. Entries are known by their folder's
// identity on the host and their host name.
#pragma once


#include <memory>
#include <string>
#include <sys/stat.h>

namespace device {

// As the preview sees the entry `name` of the host folder `folder`: RETURNS false when the
// preview deleted it; otherwise true, with a file the preview wrote given its new size.
bool overlayView(int folder, const char* name, struct stat* info);

// Adjusts a looked-up entry to the preview's view: a deleted entry does not exist, a file
// the preview created does (a plain file of its content's size).
void overlayResolve(int folder, const char* name, bool* exists, struct stat* info);

// Whether the preview holds content for the file (it wrote or created it).
bool overlayHasContent(int folder, const char* name);

// Hides the entry, as deleting it would.
void overlayHide(int folder, const char* name);

// Whether the host folder `name` in `folder` holds nothing the preview still shows.
bool overlayFolderEmpty(int folder, const char* name);

// The content the preview holds for the file, or null; setting it also shows the entry
// again if the preview had deleted it.
std::shared_ptr<std::string> overlayContent(int folder, const char* name);
void overlaySetContent(int folder, const char* name, std::shared_ptr<std::string> content);

}  // namespace device
