// The device this process has open: its host folder, the descriptor of fs/ (the device's
// "\") and the connection to its object store. Every platform family reaches the device
// through this header; opening, installing and closing a device live in device/boot.
#pragma once

#include <string>

struct sqlite3;

namespace device {

bool isOpen();

// The device folder, as given to open().
const std::string& dir();

// A descriptor of the fs/ folder (opened without following links); -1 when closed.
int fsRoot();

// The process's connection to the object store; null when closed.
sqlite3* store();

// Makes `folder`, its fs/ descriptor and its store connection the open device; both are
// owned from then on and released by folderDetach().
void folderAttach(const std::string& folder, int fsDescriptor, sqlite3* connection);

// Puts `connection` in the place of the store connection (the preview's copy, and back).
// RETURNS the connection it replaces, which the caller now owns.
sqlite3* folderReplaceStore(sqlite3* connection);

// Closes the store connection and the fs/ descriptor; nothing is open afterwards.
void folderDetach();

}  // namespace device
