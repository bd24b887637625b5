// quillex-device's shared messages and input.
#include "host/device-tool/tool.h"

#include "device/core/store.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tool {

int fail(const std::string& message) {
    std::fprintf(stderr, "quillex-device: %s\n", message.c_str());
    return 1;
}

int failStore(const std::string& message) {
    std::string why = device::storeFailure();
    return fail(why.empty() ? message : message + ": " + why);
}

int usage(const std::string& message) {
    std::fprintf(stderr, "quillex-device: %s\n", message.c_str());
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
