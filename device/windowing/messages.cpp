// Posting, sending, getting, translating and dispatching messages over the thread's queue;
// sent messages go straight to the procedure. Nested modal loops end on WM_QUIT and post it
// again, so one quit request ends them all.
#include "device/windowing/messages.h"

#include "device/core/faults.h"
#include "device/windowing/keyboard.h"
#include "device/windowing/queue.h"
#include "device/windowing/windows.h"

namespace device {
namespace {

// The character a key types, or 0.
WCHAR typedCharacter(WPARAM key) {
    if (key >= 'A' && key <= 'Z') return static_cast<WCHAR>(key - 'A' + 'a');
    if (key >= '0' && key <= '9') return static_cast<WCHAR>(key);
    switch (key) {
    case VK_SPACE: return u' ';
    case VK_RETURN: return u'\r';
    case VK_ESCAPE: return 0x1B;
    case VK_TAB: return u'\t';
    case VK_BACK: return 0x08;
    }
    return 0;
}

}  // namespace

bool inputKey(WORD virtualKey) {
    HWND target = windowFind(GetFocus()) ? GetFocus() : GetForegroundWindow();
    if (!windowFind(target)) return false;
    // lParam: a repeat count of 1; key-up also marks the key as previously down and released.
    inputPost(queueMessage(target, WM_KEYDOWN, virtualKey, 1));
    inputPost(queueMessage(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001UL)));
    return true;
}

bool runModalLoop(const std::function<bool()>& ended, const std::function<bool(MSG&)>& intercept) {
    while (!ended()) {
        MSG message;
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (got == -1 || (intercept && intercept(message))) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

}  // namespace device

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (device::faultHit("PostMessageW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (window && !device::windowFind(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    device::queuePost(device::queueMessage(window, message, wParam, lParam));
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    device::Window* target = device::windowFind(window);
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return target->procedure(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    device::queueRequestQuit(static_cast<WPARAM>(exitCode));
}

BOOL GetMessageW(LPMSG message, HWND window, UINT first, UINT last) {
    if (device::faultHit("GetMessageW")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (window && !device::windowFind(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    for (;;) {
        if (device::queueTakePosted(message, window, first, last)) return message->message != WM_QUIT;
        if (WPARAM exitCode; device::queueTakeQuit(&exitCode)) {
            *message = device::queueMessage(nullptr, WM_QUIT, exitCode, 0);
            return FALSE;
        }
        if (device::queueTakeInput(message, window, first, last)) {
            device::keyStateNote(*message);
            return TRUE;
        }
        if (device::foregroundRequestsServe() > 0) continue;
        // A copy: the source may act on windows whose modal loops call back in here.
        device::InputSource current = device::queueInputSource();
        if (!current || !current()) {
            // No more input, ever: the program ends as if its user had quit it.
            device::setInputSource(nullptr);
            PostQuitMessage(0);
        }
    }
}

BOOL TranslateMessage(const MSG* message) {
    if (!message || message->message != WM_KEYDOWN) return FALSE;
    WCHAR typed = device::typedCharacter(message->wParam);
    if (!typed) return FALSE;
    device::queuePost(device::queueMessage(message->hwnd, WM_CHAR, typed, message->lParam));
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}
