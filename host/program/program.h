// What the host programs tell the device about Quillex, which the device itself does not
// know: how Quillex is installed on a device, how a start of its Quillex.exe runs quillex,
// its resources, and what Enter and Escape do in its windows. Both host programs call
// introduceProgram() at start-up, before a device opens. Where the program keeps its log
// is read with the program's own install-folder lookup, so the host and the program agree.
#pragma once

#include <string>

namespace host {

// Registers all of the above with the device. `quillexHost`: the host program that a
// device this process installs runs for Quillex.exe; "" registers none (an earlier
// registration on the device stays).
void introduceProgram(const std::string& quillexHost);

// The executable file "quillex" in the folder of `executable` or in the folder above it
// (build/quillex beside build/tools/quillex-device; bin/ when installed).
// RETURNS its absolute path, or "" when there is none.
std::string findQuillexNear(const std::string& executable);

// The open device's activity log, Quillex.log in the install folder as the program itself
// resolves it from the registry, as a device path (UTF-8).
std::string activityLogPath();

}  // namespace host
