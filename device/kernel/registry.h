// What the device tool needs of the registry beyond the platform's functions: a whole
// tree deleted at once, a key's sub-keys and values listed in one call. Every registry
// write joins a transaction already begun on device::store(), so a caller can make
// several platform calls one atomic change by wrapping them in a device::Transaction.
#pragma once

#include "platform/winreg.h"

#include <string>
#include <vector>

namespace device {

struct RegistryValue {
    std::u16string name;  // empty: the key's default value
    DWORD type;
    std::string data;  // the bytes exactly as stored
};

// Deletes `subKey` below `key` (null or empty: `key` itself) with every key and value
// beneath it.
// RETURNS ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the key is missing; ERROR_ACCESS_DENIED
// for a root; ERROR_INVALID_HANDLE for a key that is not open.
LONG regDeleteTree(HKEY key, LPCWSTR subKey);

// The names of the sub-keys of `key` as created, in creation order.
// RETURNS ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the key was deleted; ERROR_INVALID_HANDLE.
LONG regListSubKeys(HKEY key, std::vector<std::u16string>* names);

// The values of `key` in creation order; results as regListSubKeys.
LONG regListValues(HKEY key, std::vector<RegistryValue>* values);

// Forgets every key this process has open (the device is closing).
void regCloseAll();

}  // namespace device
