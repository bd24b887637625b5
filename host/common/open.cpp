// Opening the named device for a host program, and the words for each outcome.
#include "host/common/open.h"

#include "device/boot/device.h"
#include "formats/printable.h"

#include <cstdio>

namespace host {

bool openForHost(const char* program, const std::string& dir, Opening opening) {
    std::string error;
    std::string shown = formats::printable(dir);  // the folder as a terminal may show it
    device::OpenMode mode = opening == Opening::existing ? device::OpenMode::existingOnly : device::OpenMode::makeWhenAbsent;
    switch (device::openDevice(dir, mode, &error)) {
    case device::Opened::existing:
        return true;
    case device::Opened::made:
        if (opening == Opening::make) std::fprintf(stderr, "%s: made a new device at %s\n", program, shown.c_str());
        return true;
    case device::Opened::absent:
        std::fprintf(stderr, "%s: no device at %s; quillex-device init makes one\n", program, shown.c_str());
        return false;
    case device::Opened::occupied:
        std::fprintf(stderr,
                     "%s: no device at %s, and the folder holds other things; quillex-device init makes one in a new "
                     "or empty folder\n",
                     program, shown.c_str());
        return false;
    case device::Opened::failed:
        std::fprintf(stderr, "%s: %s\n", program, formats::printable(error).c_str());
        return false;
    }
    return false;
}

}  // namespace host
