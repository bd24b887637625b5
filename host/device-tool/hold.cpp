// hold: device files kept open as a program that has them open would keep them.
#include "device/core/utf.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"
#include "platform/windows.h"

#include <cstdio>
#include <iostream>
#include <limits>

namespace tool {
namespace {

std::vector<std::string> paths;

}  // namespace

void holdOptions(CLI::App* command) {
    command->add_option("PATH", paths, "Device paths such as \\Temp\\a.txt")->required();
}

// Opens every file for reading, sharing nothing, says so on standard output, and closes
// them once standard input ends: meanwhile no other handle may open them and they cannot
// be deleted.
int holdRun() {
    std::vector<HANDLE> held;
    auto release = [&] {
        for (HANDLE file : held) CloseHandle(file);
    };
    for (const std::string& path : paths) {
        std::u16string wide = device::toUtf16(path);
        HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            release();
            return fail("cannot open " + path + ": " + openRefusal(error));
        }
        held.push_back(file);
    }
    std::printf("holding %zu %s\n", held.size(), held.size() == 1 ? "file" : "files");
    // Whoever waits for that line must get it, or learn that it went nowhere, before the wait.
    if (std::fflush(stdout) != 0) {
        release();
        return 1;  // the write error is told when standard output closes
    }
    std::cin.ignore(std::numeric_limits<std::streamsize>::max());
    release();
    return 0;
}

}  // namespace tool
