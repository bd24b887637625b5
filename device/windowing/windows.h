// The window system beyond what the program calls: the window records the dialog, control
// and screen code build on, and the foreground requests other processes leave for this one.
#pragma once

#include "platform/winuser.h"

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The device screen in pixels, and the title bar across its top.
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kTitleBarHeight = 26;

struct WindowClass {
    WNDCLASSW fields{};  // as registered; lpszClassName points into `name`
    std::u16string name;
    ATOM atom = 0;
};

// One window of this process. `rect` is relative to the parent's client area for a child
// and to the screen for a top-level window.
struct Window {
    HWND handle = nullptr;
    std::shared_ptr<const WindowClass> windowClass;
    WNDPROC procedure = nullptr;
    std::u16string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};
    HWND parent = nullptr;  // children only
    HWND owner = nullptr;   // top-level windows only
    UINT_PTR id = 0;        // children: the `menu` argument of creation
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extraBytes;  // cbWndExtra of the class
    std::vector<HWND> children;    // in creation order
    bool destroying = false;
    bool painted = false;
    // What the dialog or control code keeps for this window.
    std::any state;
};

// RETURNS the window of this process behind `handle`, or null.
Window* windowFind(HWND handle);

// This process's top-level windows, back to front.
std::vector<HWND> windowsInZOrder();

// ---------------------------------------------------------------- foreground

// Called with the window that has come to the front of this process (the screen redraws).
void setForegroundHook(std::function<void(HWND)> hook);

// RETURNS how many times this process asked another one to bring a window forward
// (SetForegroundWindow on a window of another process), so that a start that only did
// that can say so.
int foregroundRequestsSent();

// Brings forward the windows other processes have asked to come forward since the last
// call. GetMessageW calls this whenever it is about to wait for input; an input source
// that waits long should call it now and then too.
// RETURNS how many requests it served.
int foregroundRequestsServe();

// ---------------------------------------------------------------- lifetime

// Forgets every window, class, queued message, focus, hook and input source of this
// process without sending anything, and removes its windows from the device's table.
void windowsReset();

}  // namespace device
