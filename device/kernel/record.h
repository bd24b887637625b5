// The kernel's entries in the record of changes (device/core/changes.h): the outcome of
// each file deletion and folder removal with the reason a file stayed, writes refused with
// theirs, and registry values by their key's full name. Called by the families only
// while recording is on.
#pragma once

#include "device/kernel/hostpath.h"
#include "platform/wintypes.h"

#include <cstdint>
#include <string>

namespace device {

// A DeleteFileW of `path`, resolved to `target`, ended with `error` (0: deleted).
void recordDeletion(const WCHAR* path, const HostPath& target, DWORD error);

// A DeleteFileW or RemoveDirectoryW of `path`, whose name the device cannot hold (a
// wildcard, a name too long), kept the entry the host has under that name, if any.
void recordUnnamable(const WCHAR* path);

// An entry a listing of the folder `folderPath` (a device path, UTF-8) found and cannot
// give the program, or gives it under a path too long for it to act on: it stays.
void recordUnlisted(const std::string& folderPath, const char* hostName, const struct stat& info);

// A RemoveDirectoryW of `path` ended with `error` (0: removed).
void recordRemoval(const WCHAR* path, DWORD error);

// A value of the registry key row `keyId` was deleted, or set to `size` bytes.
void recordValue(int64_t keyId, const WCHAR* valueName, bool deleted, uint64_t size);

// A deletion of a value of the registry key row `keyId` was refused by the store.
void recordValueKept(int64_t keyId, const WCHAR* valueName, const std::string& reason);

// An open for writing or truncating `path` failed with `error`, or a write to it did
// (`error` ERROR_DISK_FULL or ERROR_WRITE_FAULT): recorded when something refused it,
// not when the file or its folder was missing or the file was in use.
void recordNotWritten(const WCHAR* path, DWORD error);

// The full name of a registry key row, "HKEY_LOCAL_MACHINE\Explorer\RunHistory".
std::string registryKeyName(int64_t keyId);

}  // namespace device
