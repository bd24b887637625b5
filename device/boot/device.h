// Choosing, opening, installing and closing the emulated device a process works on: a host
// folder whose fs/ is the device's "\" and whose object store (one SQLite file) holds the
// registry and the device's own settings. Opening wires the families together; they
// themselves reach the open device through device/core/folder.h.
#pragma once

#include "device/core/folder.h"

#include <string>

namespace device {

// The folder used when none is named: $QUILLEX_DEVICE, else
// $XDG_DATA_HOME/quillex/device, else ~/.local/share/quillex/device.
std::string defaultDir();

// Opens the device in `dir` for this process, creating it when `dir` holds no device yet
// and installing it when its store does not record a finished install (see install()).
// Closes a device opened before.
// RETURNS true, with *made (when given) telling whether the device was new; false with
// *error set when the folder cannot be used.
bool open(const std::string& dir, std::string* error, bool* made = nullptr);

// Closes the device; every handle of it becomes invalid.
void close();

// Gives a fresh device what every device has: the folders "\Windows", "\Temp",
// "\My Documents" and "\Program Files\Quillex" with its Quillex.exe, the system programs
// "\Windows\calnot.exe" and "\Windows\clocknot.exe" (no host code behind them), the
// install key HKEY_LOCAL_MACHINE "Software\Apps\Holvenark Quillex" "InstallDir", and,
// when this process knows a quillex host program, Quillex.exe registered to run it. Its
// store changes and the record that the install finished are one transaction.
// Harmless to repeat.
// RETURNS true; false with *error set.
bool install(std::string* error);

}  // namespace device
