// Requests to stop: one flag a signal handler may set, read at the families' safe points.
#include "device/core/interrupt.h"

#include <csignal>

namespace device {
namespace {

volatile sig_atomic_t requested = 0;
void (*stopHandler)(int) = nullptr;

}  // namespace

void interruptRequest(int signal) {
    if (!requested) requested = signal;
}

int interruptRequested() { return requested; }

void interruptOnRequest(void (*handler)(int signal)) { stopHandler = handler; }

void interruptPoint() {
    if (requested && stopHandler) {
        void (*handler)(int) = stopHandler;
        stopHandler = nullptr;  // once: what the handler itself calls goes through
        handler(requested);
    }
}

}  // namespace device
