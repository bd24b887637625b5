// Chosen failures for tests: a short table of armed operations, consulted by name.
#include "device/core/faults.h"

#include <cstring>
#include <mutex>

namespace device {
namespace {

struct ArmedFault {
    char operation[64];
    int callsLeft;  // the call that fails is the one that brings this to 0
    bool persist;
    bool active;
};

std::mutex faultLock;
ArmedFault armed[16];

}  // namespace

void faultArm(const char* operation, int nth, bool persist) {
    std::lock_guard<std::mutex> guard(faultLock);
    for (ArmedFault& fault : armed) {
        if (!fault.active) {
            std::strncpy(fault.operation, operation, sizeof fault.operation - 1);
            fault.operation[sizeof fault.operation - 1] = '\0';
            fault.callsLeft = nth < 1 ? 1 : nth;
            fault.persist = persist;
            fault.active = true;
            return;
        }
    }
}

void faultDisarmAll() {
    std::lock_guard<std::mutex> guard(faultLock);
    for (ArmedFault& fault : armed) fault.active = false;
}

bool faultHit(const char* operation) {
    std::lock_guard<std::mutex> guard(faultLock);
    bool fail = false;
    for (ArmedFault& fault : armed) {
        if (!fault.active || std::strcmp(fault.operation, operation) != 0) continue;
        if (fault.callsLeft > 1) {
            --fault.callsLeft;
            continue;
        }
        fail = true;
        if (!fault.persist) fault.active = false;
    }
    return fail;
}

}  // namespace device
