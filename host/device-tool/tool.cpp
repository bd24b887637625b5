// quillex-device's shared messages and input.
#include "host/device-tool/tool.h"

#include "device/core/store.h"
#include "formats/printable.h"
#include "platform/windows.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tool {

int fail(const std::string& message) {
    std::fprintf(stderr, "quillex-device: %s\n", formats::printable(message).c_str());
    return 1;
}

int failStore(const std::string& message) {
    std::string why = device::storeFailure();
    return fail(why.empty() ? message : message + ": " + why);
}

std::string openRefusal(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such file";
    case ERROR_SHARING_VIOLATION: return "in use (another handle denies it, or a deletion is removing it)";
    default: return "refused (not a plain file, or the host's permissions)";
    }
}

int usage(const std::string& message) {
    std::fprintf(stderr, "quillex-device: %s\n", formats::printable(message).c_str());
    return 2;
}

bool readInput(const std::string& name, std::string* bytes, std::string* error) {
    std::ostringstream content;
    if (name == "-") {
        content << std::cin.rdbuf();
    } else {
        std::ifstream in(name, std::ios::binary);
        if (!in) {
            *error = "cannot read " + name;
            return false;
        }
        content << in.rdbuf();
    }
    *bytes = content.str();
    return true;
}

}  // namespace tool
