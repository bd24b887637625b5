// The preview: a run against a dry-run view of the device. While it lasts, the store is a
// private in-memory copy of the device's, taken at its start (reads see the run's own
// changes; nothing reaches the device, and no other process is kept waiting), and the
// families that touch fs/ keep their changes in memory too. Ending it drops all of that.
#pragma once

#include <string>

namespace device {

// Whether this process is running a preview.
bool previewing();

// Starts a preview on the open device: copies its store into memory and puts the copy in
// its place. RETURNS true; false with *error set (nothing changed) when the copy fails.
bool previewBegin(std::string* error);

// Ends the preview: the device's own store is back, the copy and every hook's preview
// state (see previewOnEnd) are gone.
void previewEnd();

// A family's preview state to drop when the preview ends. Up to four.
void previewOnEnd(void (*drop)());

}  // namespace device
