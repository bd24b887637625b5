// Window classes and windows of this process: creation, the destruction cascade (owned
// windows, then the window, then its children), visibility, z-order and focus, window
// fields and the default window procedure. Everything runs on the one thread.
#include "device/windowing/windows.h"

#include "device/windowing/keyboard.h"
#include "device/windowing/queue.h"
#include "device/windowing/toplevel.h"

#include "device/core/faults.h"
#include "device/core/utf.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace device {
namespace {

std::map<std::string, std::shared_ptr<WindowClass>> classes;  // by folded name
ATOM nextAtom = 0xC000;
std::map<HWND, std::unique_ptr<Window>> windows;
std::vector<HWND> zOrder;  // top-level windows, back to front
uintptr_t childCount = 0;
HWND focus = nullptr;
HWND foreground = nullptr;
std::function<void(HWND)> foregroundHook;
int forwardRequestsSent = 0;  // SetForegroundWindow calls that asked another process

// Child handles end in binary 10, so they never meet the top-level handles (row id * 4).
HWND newChildHandle() { return reinterpret_cast<HWND>((++childCount << 2) | 2); }

HWND topLevelOf(HWND handle) {
    Window* window = windowFind(handle);
    while (window && window->parent) window = windowFind(window->parent);
    return window ? window->handle : nullptr;
}

bool invalidWindow() {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

void moveToFront(HWND handle) {
    zOrder.erase(std::remove(zOrder.begin(), zOrder.end(), handle), zOrder.end());
    zOrder.push_back(handle);
    // Owned windows stay above their owner, in the order they had.
    std::vector<HWND> owned;
    for (HWND other : zOrder)
        if (Window* window = windowFind(other); window && window->owner == handle) owned.push_back(other);
    for (HWND other : owned) moveToFront(other);
}

void setForeground(HWND handle) {
    foreground = handle;
    if (foregroundHook && handle) foregroundHook(handle);
}

void bringForward(HWND handle) {
    moveToFront(handle);
    setForeground(zOrder.back());
}

void markDestroying(Window* window) {
    window->destroying = true;
    for (HWND child : window->children)
        if (Window* found = windowFind(child)) markDestroying(found);
}

// WM_DESTROY to the window, then to each child, parents before children.
void sendDestroy(HWND handle) {
    SendMessageW(handle, WM_DESTROY, 0, 0);
    Window* window = windowFind(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children)
        if (windowFind(child)) sendDestroy(child);
}

void release(HWND handle) {
    Window* window = windowFind(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) release(child);
    if (Window* parent = windowFind(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    if (!window->parent) {
        zOrder.erase(std::remove(zOrder.begin(), zOrder.end(), handle), zOrder.end());
        topLevelRemove(handle);
    }
    if (focus == handle) focus = nullptr;
    queueDropFor(handle);
    windows.erase(handle);
}

// The title as DefWindowProcW keeps it, mirrored in the device's table for top-level windows.
void setTitle(Window* window, const WCHAR* text) {
    window->title = text ? std::u16string(text) : std::u16string();
    if (!window->parent) topLevelRetitle(window->handle, window->title);
}

}  // namespace

Window* windowFind(HWND handle) {
    if (!handle) return nullptr;
    auto found = windows.find(handle);
    return found == windows.end() ? nullptr : found->second.get();
}

std::vector<HWND> windowsInZOrder() { return zOrder; }

void setForegroundHook(std::function<void(HWND)> hook) { foregroundHook = std::move(hook); }

int foregroundRequestsSent() { return forwardRequestsSent; }

int foregroundRequestsServe() {
    int served = 0;
    for (HWND handle : topLevelTakeForwardRequests()) {
        Window* window = windowFind(handle);
        if (!window || window->destroying) continue;
        bringForward(handle);
        ++served;
    }
    return served;
}

void windowsReset() {
    topLevelRemoveAllOfProcess();
    windows.clear();
    classes.clear();
    zOrder.clear();
    focus = foreground = nullptr;
    foregroundHook = nullptr;
    queueReset();
    keyStateReset();
}

}  // namespace device

using device::Window;
using device::windowFind;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    if (device::faultHit("RegisterClassW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!windowClass || !windowClass->lpszClassName || !*windowClass->lpszClassName || !windowClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string key = device::foldKey(windowClass->lpszClassName);
    if (device::classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto entry = std::make_shared<device::WindowClass>();
    entry->name = windowClass->lpszClassName;
    entry->fields = *windowClass;
    entry->fields.lpszClassName = entry->name.c_str();
    entry->fields.lpszMenuName = nullptr;  // menus by name are not kept
    entry->atom = device::nextAtom++;
    device::classes[key] = entry;
    return entry->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    auto found = className ? device::classes.find(device::foldKey(className)) : device::classes.end();
    if (found == device::classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (auto& [handle, window] : device::windows) {
        if (window->windowClass == found->second) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    device::classes.erase(found);
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
    if (device::faultHit("CreateWindowExW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto found = className ? device::classes.find(device::foldKey(className)) : device::classes.end();
    if (found == device::classes.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if ((child || parent) && !windowFind(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->windowClass = found->second;
    window->procedure = found->second->fields.lpfnWndProc;
    window->title = windowName ? windowName : u"";
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    window->exStyle = exStyle;
    window->instance = instance;
    window->extraBytes.assign(static_cast<size_t>(std::max(0, found->second->fields.cbWndExtra)), 0);
    if (child) {
        window->parent = parent;
        window->id = reinterpret_cast<UINT_PTR>(menu);
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
        window->handle = device::newChildHandle();
    } else {
        // An owner is always a top-level window: a child passed as owner stands for its own.
        window->owner = device::topLevelOf(parent);
        if (x == CW_USEDEFAULT) x = 0, y = device::kTitleBarHeight;
        if (width == CW_USEDEFAULT) width = device::kScreenWidth, height = device::kScreenHeight - device::kTitleBarHeight;
        window->handle = device::topLevelAdd(found->second->name, window->title);
        if (!window->handle) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    window->rect = RECT{x, y, x + width, y + height};
    HWND handle = window->handle;
    device::windows[handle] = std::move(window);
    if (child) windowFind(parent)->children.push_back(handle);
    else device::zOrder.push_back(handle);

    CREATESTRUCTW create{parameter, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                         windowName, className, exStyle};
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!windowFind(handle)) return nullptr;  // it destroyed itself
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND handle) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow();
    if (window->destroying) return TRUE;
    device::markDestroying(window);
    if (!window->parent) {
        // The windows it owns go first, each with its whole cascade.
        for (bool again = true; again;) {
            again = false;
            for (HWND other : device::windowsInZOrder()) {
                Window* owned = windowFind(other);
                if (owned && owned->owner == handle && !owned->destroying) {
                    DestroyWindow(other);
                    again = true;
                }
            }
        }
    }
    device::sendDestroy(handle);
    HWND owner = windowFind(handle) ? windowFind(handle)->owner : nullptr;
    device::release(handle);
    if (device::foreground && !windowFind(device::foreground)) {
        Window* next = windowFind(owner);
        device::setForeground(next && !next->destroying ? owner
                              : device::zOrder.empty() ? nullptr
                                                       : device::zOrder.back());
    }
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow();
    bool wasVisible = (window->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (show != wasVisible) {
        SendMessageW(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        window = windowFind(handle);
        if (!window) return wasVisible;
        if (show) window->style |= WS_VISIBLE;
        else window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        window->painted = false;
    }
    if (show && !window->parent && !window->destroying && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) {
        device::bringForward(handle);
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND handle) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow();
    if ((window->style & WS_VISIBLE) && !window->painted) {
        window->painted = true;
        SendMessageW(handle, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL IsWindow(HWND handle) { return windowFind(handle) || device::topLevelAlive(handle); }

BOOL IsWindowVisible(HWND handle) {
    Window* window = windowFind(handle);
    return window && (window->style & WS_VISIBLE);
}

BOOL IsChild(HWND parent, HWND handle) {
    Window* window = windowFind(handle);
    while (window && window->parent) {
        if (window->parent == parent) return TRUE;
        window = windowFind(window->parent);
    }
    return FALSE;
}

HWND GetParent(HWND handle) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow(), nullptr;
    return window->parent ? window->parent : window->owner;
}

HWND GetWindow(HWND handle, UINT relation) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow(), nullptr;
    if (relation == GW_OWNER) return window->owner;
    if (relation == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
    if (relation != GW_HWNDNEXT && relation != GW_HWNDPREV) return nullptr;
    // Siblings run from the top: children in creation order, top-level windows front to back.
    std::vector<HWND> siblings;
    if (Window* parent = windowFind(window->parent)) siblings = parent->children;
    else siblings.assign(device::zOrder.rbegin(), device::zOrder.rend());
    auto at = std::find(siblings.begin(), siblings.end(), handle);
    if (relation == GW_HWNDNEXT) return at + 1 < siblings.end() ? *(at + 1) : nullptr;
    return at != siblings.begin() ? *(at - 1) : nullptr;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    if (device::faultHit("FindWindowW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return device::topLevelFind(className, windowName);
}

BOOL SetForegroundWindow(HWND handle) {
    // The platform lets callers set the lowest bit to bring the owned windows along, which
    // every request here does anyway.
    handle = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(handle) & ~uintptr_t{1});
    if (Window* window = windowFind(handle)) {
        HWND top = device::topLevelOf(handle);
        if (window->destroying) return FALSE;
        device::bringForward(top);
        return TRUE;
    }
    if (!device::topLevelRequestForward(handle)) return device::invalidWindow();
    ++device::forwardRequestsSent;
    return TRUE;
}

HWND GetForegroundWindow(void) { return device::foreground; }

HWND SetFocus(HWND handle) {
    if (handle && !windowFind(handle)) return device::invalidWindow(), nullptr;
    HWND previous = device::focus;
    if (previous == handle) return previous;
    device::focus = handle;
    if (windowFind(previous)) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
    if (handle && device::focus == handle && windowFind(handle)) {
        SendMessageW(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus(void) { return device::focus; }

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
    if (!windowFind(handle)) return device::invalidWindow();
    return SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int GetWindowTextW(HWND handle, LPWSTR text, int maxCount) {
    if (!windowFind(handle)) return device::invalidWindow();
    if (!text || maxCount <= 0) return 0;
    return static_cast<int>(SendMessageW(handle, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

namespace {

// The `size` extra bytes of a window at `index`, or null (last error set) when they are
// not all inside the window's extra bytes.
BYTE* extraBytesAt(Window* window, int index, size_t size) {
    if (index < 0 || static_cast<size_t>(index) + size > window->extraBytes.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return window->extraBytes.data() + index;
}

}  // namespace

LONG_PTR GetWindowLongPtrW(HWND handle, int index) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow();
    switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWL_ID: return static_cast<LONG_PTR>(window->id);
    case GWL_STYLE: return static_cast<LONG>(window->style);
    case GWL_EXSTYLE: return static_cast<LONG>(window->exStyle);
    case GWL_USERDATA: return window->userData;
    }
    LONG_PTR value = 0;
    BYTE* bytes = extraBytesAt(window, index, sizeof value);
    if (bytes) std::memcpy(&value, bytes, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
    Window* window = windowFind(handle);
    if (!window) return device::invalidWindow();
    LONG_PTR previous = GetWindowLongPtrW(handle, index);
    switch (index) {
    case GWL_WNDPROC: window->procedure = reinterpret_cast<WNDPROC>(value); return previous;
    case GWL_HINSTANCE: window->instance = reinterpret_cast<HINSTANCE>(value); return previous;
    case GWL_ID: window->id = static_cast<UINT_PTR>(value); return previous;
    case GWL_STYLE: window->style = static_cast<DWORD>(value); return previous;
    case GWL_EXSTYLE: window->exStyle = static_cast<DWORD>(value); return previous;
    case GWL_USERDATA: window->userData = value; return previous;
    }
    BYTE* bytes = extraBytesAt(window, index, sizeof value);
    if (!bytes) return 0;
    std::memcpy(bytes, &value, sizeof value);
    return previous;
}

LONG GetWindowLongW(HWND handle, int index) {
    Window* window = windowFind(handle);
    if (!window || index < 0) return static_cast<LONG>(GetWindowLongPtrW(handle, index));
    LONG value = 0;
    BYTE* bytes = extraBytesAt(window, index, sizeof value);
    if (bytes) std::memcpy(&value, bytes, sizeof value);
    return value;
}

LONG SetWindowLongW(HWND handle, int index, LONG value) {
    Window* window = windowFind(handle);
    if (!window || index < 0) return static_cast<LONG>(SetWindowLongPtrW(handle, index, value));
    LONG previous = GetWindowLongW(handle, index);
    BYTE* bytes = extraBytesAt(window, index, sizeof value);
    if (!bytes) return 0;
    std::memcpy(bytes, &value, sizeof value);
    return previous;
}

LRESULT DefWindowProcW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = windowFind(handle);
    if (!window) return 0;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SETTEXT:
        device::setTitle(window, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(window->title.size());
    case WM_GETTEXT: {
        if (wParam == 0 || lParam == 0) return 0;
        size_t count = std::min(window->title.size(), static_cast<size_t>(wParam) - 1);
        auto* buffer = reinterpret_cast<WCHAR*>(lParam);
        std::copy_n(window->title.data(), count, buffer);
        buffer[count] = 0;
        return static_cast<LRESULT>(count);
    }
    case WM_PAINT:
        window->painted = true;
        return 0;
    }
    return 0;
}
