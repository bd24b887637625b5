// Choosing, opening, installing and closing the emulated device a process works on: a host
// folder whose fs/ is the device's "\" and whose object store (one SQLite file) holds the
// registry and the device's own settings. Opening wires the families together; they
// themselves reach the open device through device/core/folder.h.
#pragma once

#include "device/core/folder.h"
#include "platform/wintypes.h"

#include <string>

namespace device {

// The folder used when none is named: $QUILLEX_DEVICE, else
// $XDG_DATA_HOME/quillex/device, else ~/.local/share/quillex/device.
std::string defaultDir();

// Whether opening may make a new device.
enum class OpenMode {
    // A folder that does not exist yet (its parents are made too) or is empty becomes a
    // new device; so does one that holds nothing but a device's own names (fs/, the store
    // and its side files), which is a device whose making was cut short or is under way in
    // another process. A device whose install was cut short is installed.
    makeWhenAbsent,
    // Only a folder that holds a finished device opens; nothing is made or installed, so
    // that a command that only reads leaves the host as it found it.
    existingOnly,
};

// What opening a folder came to.
enum class Opened {
    existing,  // the folder's device is open
    made,      // a new device was made there and is open
    absent,    // no device: the folder does not exist, is empty, or holds an unfinished one
    occupied,  // no device: the folder holds other things, which are left alone
    failed,    // *error says why
};

// Opens the device in `dir` for this process as `mode` allows, closing a device opened
// before; a device is open afterwards only when the result is `existing` or `made`.
Opened openDevice(const std::string& dir, OpenMode mode, std::string* error);

// openDevice() with OpenMode::makeWhenAbsent, for callers that treat every refusal alike.
// RETURNS true, with *made (when given) telling whether the device was new; false with
// *error set when the folder cannot be used.
bool open(const std::string& dir, std::string* error, bool* made = nullptr);

// Closes the device; every handle of it becomes invalid.
void close();

// Gives a fresh device what every device has: the folders "\Windows", "\Temp",
// "\My Documents" and "\Program Files", the system programs "\Windows\calnot.exe" and
// "\Windows\clocknot.exe" (no host code behind them), then whatever the step given to
// installAlso() puts in place (the host's own program). Its store changes and the record
// that the install finished are one transaction. Harmless to repeat.
// RETURNS true; false with *error set.
bool install(std::string* error);

// A program the host installs on every device it opens, in install()'s transaction: the
// step makes its files and registry values through the platform's own calls and may be
// repeated. One step; null for none.
// RETURNS from the step: true, or false with *error set (the install then fails whole).
using InstallStep = bool (*)(std::string* error);
void installAlso(InstallStep step);

// For an install step: creates the device file `path` when missing and gives it `content`
// when it is empty (a program file's stand-in). RETURNS false when it cannot be created.
bool installFile(const WCHAR* path, const char* content);

}  // namespace device
