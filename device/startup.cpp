// The device's start-up code for Quillex: picks the device, hands the program its
// command line as the platform does (everything after the program's name, as one
// string) and ends the process with WinMain's result. Only leading host options are
// taken here; everything from the first other argument on reaches WinMain unchanged.
#include "device/device.h"
#include "device/processes.h"
#include "device/utf.h"
#include "platform/windows.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: quillex [--device DIR] [--help] [--version] [COMMAND LINE]\n"
    "\n"
    "Runs Quillex on an emulated device. The command line is handed to the program as it\n"
    "stands; each of these letters anywhere in it runs one action, in this order:\n"
    "  n  clean the notification queue\n"
    "  t  delete temporary files (\\Temp, \\Windows\\Temp)\n"
    "  c  delete the browser cache\n"
    "  h  delete the browser history\n"
    "  a  delete the offline reader's cache\n"
    "  -auto  the automatic run (nothing else on the line is looked at)\n"
    "Every action writes a line to Quillex.log in the install folder.\n"
    "\n"
    "The device is DIR, else $QUILLEX_DEVICE, else $XDG_DATA_HOME/quillex/device\n"
    "(~/.local/share/quillex/device); it is created on first use.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string deviceDir;
    int first = 1;
    for (; first < argc; ++first) {
        const char* arg = argv[first];
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::puts("quillex 0.1.0");
            return 0;
        }
        if (std::strcmp(arg, "--device") == 0) {
            if (first + 1 >= argc) {
                std::fputs("quillex: --device needs a folder\n", stderr);
                return 2;
            }
            deviceDir = argv[++first];
        } else if (std::strncmp(arg, "--device=", 9) == 0) {
            deviceDir = arg + 9;
        } else {
            break;
        }
    }

    std::string commandLine;
    for (int i = first; i < argc; ++i) {
        if (i > first) commandLine += ' ';
        commandLine += argv[i];
    }
    if (commandLine.empty()) {
        // The interactive program needs the window system, which this build lacks.
        std::fputs(kUsage, stdout);
        return 0;
    }

    if (deviceDir.empty()) deviceDir = device::defaultDir();
    // A device this run creates gets its Quillex.exe backed by this very executable.
    device::setQuillexHost(device::ownExecutable());
    std::string error;
    if (!device::open(deviceDir, &error)) {
        std::fprintf(stderr, "quillex: %s\n", error.c_str());
        return 2;
    }
    std::u16string wide = device::toUtf16(commandLine);
    std::vector<WCHAR> line(wide.begin(), wide.end());
    line.push_back(0);
    // The module handle the platform gives a program: never null.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
    int result = WinMain(instance, nullptr, line.data(), SW_SHOW);
    device::close();
    return result;
}
