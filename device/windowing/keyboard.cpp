// The keyboard's state: GetKeyState answers from the key messages taken from the queue so
// far, as the device answers from the input it has delivered to this thread.
#include "device/windowing/keyboard.h"

namespace device {
namespace {

bool keyDown[256];

}  // namespace

void keyStateNote(const MSG& message) {
    if (message.wParam >= 256) return;
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) keyDown[message.wParam] = true;
    if (message.message == WM_KEYUP || message.message == WM_SYSKEYUP) keyDown[message.wParam] = false;
}

void keyStateReset() {
    for (bool& down : keyDown) down = false;
}

}  // namespace device

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey >= 256) return 0;
    return device::keyDown[virtualKey] ? static_cast<SHORT>(0x8000) : 0;
}
