// Processes beyond what the program calls: the platform version setting, the table of
// program files that have a host program behind them, and how a start runs one. A device
// runs host code only for program files registered here.
#pragma once

#include "platform/winproc.h"
#include "platform/handheld.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// ---------------------------------------------------------------- platform version

// What GetVersionExW reports; a device setting, 5.1 unless set.
struct PlatformVersion {
    DWORD major = 5;
    DWORD minor = 1;
};
PlatformVersion platformVersion();
bool platformVersionSet(PlatformVersion version);

// "MAJOR.MINOR" in decimal ("4.20" is major 4, minor 20), and back.
// RETURNS nullopt when malformed or a part exceeds 32 bits.
std::optional<PlatformVersion> parsePlatformVersion(const std::string& text);
std::string formatPlatformVersion(PlatformVersion version);

// ---------------------------------------------------------------- host programs

// The host path of the running executable; "" when it cannot be read.
std::string ownExecutable();

// How a start runs a registered host program: the host process, which knows that
// program's command line, registers this at start-up. RETURNS the arguments to execute,
// the host program first. Without one, a start runs `HOST [COMMAND LINE]`.
using HostArguments = std::vector<std::string> (*)(const std::string& hostProgram, const std::string& deviceDir,
                                                  const std::string& commandLine);
void programArgumentsRegister(HostArguments arguments);

// Registers `hostProgram` behind the absolute device path `devicePath` (matched ignoring
// case), replacing an earlier registration. The device file itself is not created.
bool programRegister(std::u16string_view devicePath, const std::string& hostProgram);

// RETURNS the host program behind `devicePath`, or nullopt when none is registered.
std::optional<std::string> programHost(std::u16string_view devicePath);

// ---------------------------------------------------------------- starts

struct StartOutcome {
    bool found = false;    // the program file exists (a bare name is looked up in "\Windows")
    bool hostRan = false;  // its registered host program was executed
    int64_t event = 0;     // the journal's "start" event, 0 when it could not be recorded
};

// Starts `application` with `commandLine` (null: none) as CreateProcessW does: records a
// "start" event at the device time of the call, and when the program file exists and has a
// host program, runs it with the arguments programArgumentsRegister() gives for the
// absolute device folder and the command line. With `wait`, returns once that process has ended; otherwise returns
// as soon as it runs, leaving nothing for the caller to reap.
StartOutcome programStart(const WCHAR* application, const WCHAR* commandLine, bool wait);

}  // namespace device
