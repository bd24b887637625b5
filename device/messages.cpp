// The one thread's message queue: posted messages in order, then the quit request, then
// input from the device's input source; sent messages go straight to the procedure. Nested
// modal loops end on WM_QUIT and post it again, so one quit request ends them all.
#include "device/windows.h"

#include "device/faults.h"
#include "platform/wintime.h"

#include <algorithm>
#include <deque>

namespace device {
namespace {

std::deque<MSG> posted;
std::deque<MSG> input;
bool quitRequested = false;
WPARAM quitCode = 0;
InputSource source;

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
}

bool wanted(const MSG& message, HWND window, UINT first, UINT last) {
    if (window && message.hwnd != window && !IsChild(window, message.hwnd)) return false;
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

bool take(std::deque<MSG>& queue, MSG* out, HWND window, UINT first, UINT last) {
    auto found = std::find_if(queue.begin(), queue.end(),
                              [&](const MSG& message) { return wanted(message, window, first, last); });
    if (found == queue.end()) return false;
    *out = *found;
    queue.erase(found);
    return true;
}

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

void setInputSource(InputSource newSource) { source = std::move(newSource); }

void inputPost(const MSG& message) {
    input.push_back(message);
    if (!input.back().time) input.back().time = GetTickCount();
}

bool inputKey(WORD virtualKey) {
    HWND target = windowFind(GetFocus()) ? GetFocus() : GetForegroundWindow();
    if (!windowFind(target)) return false;
    // lParam: a repeat count of 1; key-up also marks the key as previously down and released.
    inputPost(makeMessage(target, WM_KEYDOWN, virtualKey, 1));
    inputPost(makeMessage(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001UL)));
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

void messagesDropFor(HWND handle) {
    auto forWindow = [handle](const MSG& message) { return message.hwnd == handle; };
    posted.erase(std::remove_if(posted.begin(), posted.end(), forWindow), posted.end());
    input.erase(std::remove_if(input.begin(), input.end(), forWindow), input.end());
}

void messagesReset() {
    posted.clear();
    input.clear();
    keyStateReset();
    quitRequested = false;
    quitCode = 0;
    source = nullptr;
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
    device::posted.push_back(device::makeMessage(window, message, wParam, lParam));
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
    device::quitRequested = true;
    device::quitCode = static_cast<WPARAM>(exitCode);
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
        if (device::take(device::posted, message, window, first, last)) return message->message != WM_QUIT;
        if (device::quitRequested) {
            device::quitRequested = false;
            *message = device::makeMessage(nullptr, WM_QUIT, device::quitCode, 0);
            return FALSE;
        }
        if (device::take(device::input, message, window, first, last)) {
            device::keyStateNote(*message);
            return TRUE;
        }
        if (device::foregroundRequestsServe() > 0) continue;
        // A copy: the source may act on windows whose modal loops call back in here.
        device::InputSource current = device::source;
        if (!current || !current()) {
            // No more input, ever: the program ends as if its user had quit it.
            device::source = nullptr;
            PostQuitMessage(0);
        }
    }
}

BOOL TranslateMessage(const MSG* message) {
    if (!message || message->message != WM_KEYDOWN) return FALSE;
    WCHAR typed = device::typedCharacter(message->wParam);
    if (!typed) return FALSE;
    device::posted.push_back(device::makeMessage(message->hwnd, WM_CHAR, typed, message->lParam));
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}
