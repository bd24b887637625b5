// What quillex-device's commands share: their messages and exit codes, and reading a
// file named on the command line. Messages show what a terminal would act on escaped.
#pragma once

#include "platform/wintypes.h"

#include <string>

namespace tool {

// Says "quillex-device: MESSAGE" on standard error. RETURNS 1: the device or the
// operation failed.
int fail(const std::string& message);

// fail(), with the store's reason ("the disk is full", ...) when the store refused.
int failStore(const std::string& message);

// Says "quillex-device: MESSAGE" on standard error. RETURNS 2: the command line was not
// understood, and nothing ran.
int usage(const std::string& message);

// Why the device would not open a file, in words, from the last error of CreateFileW.
std::string openRefusal(DWORD error);

// The bytes of the host file `name`, or of standard input for "-".
// RETURNS false with *error set when it cannot be read.
bool readInput(const std::string& name, std::string* bytes, std::string* error);

}  // namespace tool
