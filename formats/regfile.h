// The registry's text format (.reg files) for the device tool: a file is imported into
// the device registry whole or not at all, and an export imported again gives back the
// same keys, values, types, bytes and order.
#pragma once

#include <string>

namespace formats {

// Applies a registry file to the open device's registry. `bytes` is UTF-8 or UTF-16LE,
// either with or without its byte-order mark (UTF-16 big-endian is refused, by name); its first line is "Windows Registry Editor Version
// 5.00" or "REGEDIT4". The whole file is checked before anything is applied, and it is
// applied in one transaction. Deleting a key or value that does not exist is no error.
// RETURNS true; false with *error set (naming the line, "line 7: ...") and the registry
// unchanged when the file is malformed or the registry refuses one of its changes.
bool regImport(const std::string& bytes, std::string* error);

// Writes the key `keyPath` with every key beneath it, depth first in creation order, as
// UTF-8 text with '\n' line ends. `keyPath` is a root ("HKEY_LOCAL_MACHINE", or HKLM,
// HKCU, HKCR, HKU), optionally followed by '\'-separated names matched ignoring case;
// empty exports the whole registry. Names are written as created.
// RETURNS true with *text set; false with *error set for a missing key, a malformed path,
// or a key or value name holding a line break (which the format cannot carry).
bool regExport(const std::string& keyPath, std::string* text, std::string* error);

}  // namespace formats
