// The window system beyond what the program calls: the window records the dialog, control
// and screen code build on, the input hook GetMessageW waits on, nested modal loops, and
// the foreground requests other processes leave for this one.
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

// ---------------------------------------------------------------- input

// Waits for the next input event and delivers it, with inputPost or by acting on the
// windows itself. RETURNS false when no input will ever come again.
using InputSource = std::function<bool()>;

// The source GetMessageW asks when nothing is queued. Without one (the default), or once a
// source has returned false, the device has no input: GetMessageW then returns WM_QUIT
// with exit code 0, as if the user had ended the program, so nothing ever waits forever.
void setInputSource(InputSource source);

// Queues an input message. Input comes after posted messages and the quit request.
void inputPost(const MSG& message);

// Queues WM_KEYDOWN and WM_KEYUP of `virtualKey` for the focus window, or the front
// window when nothing has the focus. RETURNS false when there is no such window.
bool inputKey(WORD virtualKey);

// Runs a nested message loop until `ended` returns true, offering each message to
// `intercept` (when given) before translating and dispatching the ones it declines.
// RETURNS true when `ended` ended it; false when WM_QUIT did, which it has posted again so
// the loops around this one end too.
bool runModalLoop(const std::function<bool()>& ended, const std::function<bool(MSG&)>& intercept = nullptr);

// ---------------------------------------------------------------- foreground

// Called with the window that has come to the front of this process (the screen redraws).
void setForegroundHook(std::function<void(HWND)> hook);

// Brings forward the windows other processes have asked to come forward since the last
// call. GetMessageW calls this whenever it is about to wait for input; an input source
// that waits long should call it now and then too.
// RETURNS how many requests it served.
int foregroundRequestsServe();

// ---------------------------------------------------------------- lifetime

// Forgets every window, class, queued message, focus, hook and input source of this
// process without sending anything, and removes its windows from the device's table.
void windowsReset();

// ---------------------------------------------------------------- internal

// The posted and input queues drop what is queued for a window that is going away.
void messagesDropFor(HWND handle);
// Empties both queues, the quit request and the input source.
void messagesReset();

// The keyboard's state follows every input message taken from the queue.
void keyStateNote(const MSG& message);
void keyStateReset();

// The device-wide table of top-level windows. A top-level window's handle is its row id
// times 4, so it means the same window in every process and its lowest bit is free.
HWND topLevelAdd(std::u16string_view className, std::u16string_view title);  // null: refused
void topLevelRemove(HWND handle);
void topLevelRetitle(HWND handle, std::u16string_view title);
HWND topLevelFind(const WCHAR* className, const WCHAR* title);
// RETURNS true when the window's row exists and its process still runs.
bool topLevelAlive(HWND handle);
// Asks the owner of a live window to bring it forward and journals the request.
// RETURNS false when the window or its process is gone.
bool topLevelRequestForward(HWND handle);
// RETURNS this process's windows that others asked to come forward, clearing the requests.
std::vector<HWND> topLevelTakeForwardRequests();
void topLevelRemoveAllOfProcess();

}  // namespace device
