// init: the device made and Quillex installed on it, and with --demo its clutter.
#include "device/boot/device.h"
#include "device/core/folder.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/demo.h"
#include "host/device-tool/tool.h"

#include <cstdio>

namespace tool {
namespace {

bool demo = false;

}  // namespace

void initOptions(CLI::App* command) {
    command->add_flag("--demo", demo, "Also fill it with clutter of every kind Quillex cleans");
}

int initRun() {
    // Laid out twice, the queue would hold every demo entry twice: refused before anything changes.
    if (demo && host::demoLaidOut()) {
        return fail("the device at " + device::dir() +
                    " has its demo clutter already; nothing was changed (a new device folder takes a fresh demo)");
    }
    std::string error;
    // Installing again registers the quillex beside this tool as the device's Quillex.exe.
    if (!device::install(&error)) return fail(error);
    if (demo && !host::fillDemo(&error)) return fail(error);
    std::printf("device ready at %s\n", device::dir().c_str());
    return 0;
}

}  // namespace tool
