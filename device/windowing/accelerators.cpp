// Accelerator tables: TranslateAcceleratorW turns a key message that matches an entry
// of the table, modifiers included, into the entry's WM_COMMAND.
#include "platform/winres.h"
#include "platform/winuser.h"

#include "device/core/faults.h"
#include "device/windowing/resources.h"

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
