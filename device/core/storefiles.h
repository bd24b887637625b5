// The object store's host files: store.db and the side files SQLite keeps beside it
// (-wal, -shm, -journal). Each must be a plain file of the device folder with one host link.
// Every file SQLite opens goes through a check here, so nothing is read or written through
// a symbolic link, a folder or a file that another host name shares.
#pragma once

#include <string>

namespace device {

// Routes SQLite's file opens through the check; the first call does it for the process.
// A file refused is opened by nothing, and SQLite sees the open fail.
void storeFilesGuard();

// Looks at `path` and its side files without opening any.
// RETURNS true when each is absent or a plain file with one host link; false with *error
// naming the first that is not and saying what it is.
bool storeFilesCheck(const std::string& path, std::string* error);

// What the guard last refused in this thread, in words for a person ("DIR/store.db-wal has
// 2 host links; ..."), or empty; storeFilesForget() empties it.
std::string storeFilesRefusal();
void storeFilesForget();

}  // namespace device
