// The keyboard: the state of the keys as of the last input message taken from the queue,
// and accelerator tables that turn a key into a command.
#include "platform/winres.h"
#include "platform/winuser.h"

#include "device/faults.h"
#include "device/resources.h"
#include "device/windows.h"

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

int TranslateAcceleratorW(HWND window, HACCEL table, LPMSG message) {
    if (device::faultHit("TranslateAcceleratorW")) return 0;
    const std::vector<ACCEL>* entries = device::acceleratorEntries(table);
    if (!entries || !message || !window) return 0;
    bool keyMessage = message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN;
    bool charMessage = message->message == WM_CHAR;
    if (!keyMessage && !charMessage) return 0;
    bool control = GetKeyState(VK_CONTROL) < 0;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool alt = GetKeyState(VK_MENU) < 0;
    for (const ACCEL& entry : *entries) {
        bool virtualKey = entry.fVirt & FVIRTKEY;
        if (virtualKey != keyMessage || entry.key != message->wParam) continue;
        // A virtual-key entry names its modifiers exactly; a character entry has none.
        if (virtualKey && (control != bool(entry.fVirt & FCONTROL) || shift != bool(entry.fVirt & FSHIFT) ||
                           alt != bool(entry.fVirt & FALT)))
            continue;
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
        return 1;
    }
    return 0;
}
