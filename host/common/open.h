// How both host programs open the device a person named, and what they say about it.
#pragma once

#include <string>

namespace host {

enum class Opening {
    existing,     // only a device that is there: for what only reads, which makes nothing
    make,         // a new or empty folder becomes a device, which is said on standard error
    makeQuietly,  // the same, unremarked: making it is what was asked (quillex-device init)
};

// Opens the device in `dir` for this process. A made device is said at once ("PROGRAM: made
// a new device at DIR"), so that a misspelt folder is not taken for an empty device. A
// folder without a device is refused, never turned into one when it holds other things:
// "PROGRAM: no device at DIR; quillex-device init makes one".
// RETURNS true when the device is open; false after saying why not (exit code 1).
bool openForHost(const char* program, const std::string& dir, Opening opening);

}  // namespace host
