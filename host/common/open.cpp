// Opening the named device for a host program, and the words for each outcome.
#include "host/common/open.h"

#include "device/boot/device.h"

#include <cstdio>

namespace host {

bool openForHost(const char* program, const std::string& dir, Opening opening) {
    std::string error;
    device::OpenMode mode = opening == Opening::existing ? device::OpenMode::existingOnly : device::OpenMode::makeWhenAbsent;
    switch (device::openDevice(dir, mode, &error)) {
    case device::Opened::existing:
        return true;
    case device::Opened::made:
        if (opening == Opening::make) std::fprintf(stderr, "%s: made a new device at %s\n", program, dir.c_str());
        return true;
    case device::Opened::absent:
        std::fprintf(stderr, "%s: no device at %s; quillex-device init makes one\n", program, dir.c_str());
        return false;
    case device::Opened::occupied:
        std::fprintf(stderr,
                     "%s: no device at %s, and the folder holds other things; quillex-device init makes one in a new "
                     "or empty folder\n",
                     program, dir.c_str());
        return false;
    case device::Opened::failed:
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return false;
    }
    return false;
}

}  // namespace host
