// The kernel's entries in the record of changes (device/core/changes.h): the outcome of
// each file deletion and folder removal with the reason a file stayed, and registry values
// by their key's full name. Called by the families only while recording is on.
#pragma once

#include "device/kernel/hostpath.h"
#include "platform/wintypes.h"

#include <cstdint>
#include <string>

namespace device {

// A DeleteFileW of `path`, resolved to `target`, ended with `error` (0: deleted).
void recordDeletion(const WCHAR* path, const HostPath& target, DWORD error);

// A RemoveDirectoryW of `path` ended with `error` (0: removed).
void recordRemoval(const WCHAR* path, DWORD error);

// A value of the registry key row `keyId` was deleted, or set to `size` bytes.
void recordValue(int64_t keyId, const WCHAR* valueName, bool deleted, uint64_t size);

// The full name of a registry key row, "HKEY_LOCAL_MACHINE\Explorer\RunHistory".
std::string registryKeyName(int64_t keyId);

}  // namespace device
