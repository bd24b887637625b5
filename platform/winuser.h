// The window manager: window classes, windows and the one thread's message queue. Every
// window belongs to the process that created it; top-level windows are visible to every
// process of the device through FindWindowW.
#pragma once

#include "wintypes.h"

typedef struct HWND__* HWND;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef WORD ATOM;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // GetTickCount() when the message was queued
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW, *LPWNDCLASSW;

// What WM_CREATE carries in lParam: the arguments of CreateWindowExW.
typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(low, high) ((LONG)(((WORD)(((ULONG_PTR)(low)) & 0xffff)) | ((DWORD)((WORD)(((ULONG_PTR)(high)) & 0xffff))) << 16))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)MAKELONG(low, high))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_SETTINGCHANGE 0x001A
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE's low word of wParam.
#define WA_INACTIVE 0
#define WA_ACTIVE 1

// Virtual keys, as WM_KEYDOWN and WM_KEYUP carry them; letters and digits are their
// upper-case ASCII codes ('A', '7').
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F1 0x70
#define VK_F2 0x71

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

#define CW_USEDEFAULT ((int)0x80000000)

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_SHOWNA 8

// GetWindowLongW / SetWindowLongW indexes; 0 and up address the window's extra bytes.
#define GWL_WNDPROC (-4)
#define GWL_HINSTANCE (-6)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)

// GetWindow relations.
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L

// ---------------------------------------------------------------- classes and windows

// Registers a window class of this process; names match ignoring case.
// RETURNS a non-zero atom; 0 when the class exists already (ERROR_CLASS_ALREADY_EXISTS),
// or the name or procedure is missing (ERROR_INVALID_PARAMETER).
ATOM RegisterClassW(const WNDCLASSW* windowClass);

// RETURNS non-zero when the class was removed; 0 when it does not exist
// (ERROR_CLASS_DOES_NOT_EXIST) or a window of it exists (ERROR_CLASS_HAS_WINDOWS).
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// Creates a window. With WS_CHILD, `parent` is its parent and `menu` its id; otherwise it
// is a top-level window and `parent` (may be null) its owner. CW_USEDEFAULT in x or width
// gives a top-level window the whole screen below the title bar. The procedure receives
// WM_CREATE (CREATESTRUCTW in lParam; a result of -1 destroys the window and fails the
// call), then, for WS_VISIBLE, WM_SHOWWINDOW; a visible top-level window comes to the front.
// RETURNS the window, or null: ERROR_CANNOT_FIND_WND_CLASS for an unknown class,
// ERROR_INVALID_WINDOW_HANDLE for a parent or owner that is not a window of this process.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);

// Destroys the window: first the top-level windows it owns (each entirely), then it sends
// WM_DESTROY to the window and then to its children, parents before children, and only
// then are they gone. Messages still queued for them are dropped.
// RETURNS non-zero; 0 for a handle that is not a window of this process
// (ERROR_INVALID_WINDOW_HANDLE). A window already being destroyed is left to finish.
BOOL DestroyWindow(HWND window);

// Shows (any command but SW_HIDE) or hides the window, sending WM_SHOWWINDOW when its
// visibility changes; showing a top-level window (except SW_SHOWNA, SW_SHOWNOACTIVATE)
// brings it to the front. RETURNS non-zero when the window was visible before.
BOOL ShowWindow(HWND window, int command);

// Sends WM_PAINT at once when the window is visible and has not been painted since it was
// shown or invalidated. RETURNS non-zero for a window; 0 otherwise.
BOOL UpdateWindow(HWND window);

BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// RETURNS non-zero when `window` is a child, grandchild, ... of `parent`.
BOOL IsChild(HWND parent, HWND window);

// RETURNS the parent of a child window, the owner of a top-level window, or null.
HWND GetParent(HWND window);

// RETURNS the window related as GW_OWNER, GW_CHILD (first child), GW_HWNDNEXT or
// GW_HWNDPREV (the next or previous sibling: children in creation order, top-level
// windows of this process front to back); null when there is none.
HWND GetWindow(HWND window, UINT relation);

// Finds a top-level window of any process of the device whose class name and title match
// (both ignoring case); a null class or title matches any. Windows of processes that have
// ended are not found. The newest matching window wins.
// RETURNS the window, or null. A window of another process is a handle that
// SetForegroundWindow and IsWindow accept.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);

// Brings a top-level window to the front, with the windows it owns above it. The lowest bit
// of the handle is ignored. A window of another process is asked to come forward (it
// does so the next time it looks for input) and the request is recorded in the device's
// event journal. RETURNS non-zero on success; 0 for a window that no longer exists.
BOOL SetForegroundWindow(HWND window);

// RETURNS the front top-level window of this process, or null.
HWND GetForegroundWindow(void);

// Gives the keyboard focus to a window of this process (null: to none), sending
// WM_KILLFOCUS to the window that loses it and then WM_SETFOCUS to the one that gains it.
// RETURNS the window that had the focus, or null (also for a window that is not one).
HWND SetFocus(HWND window);
HWND GetFocus(void);

// Sets the title through WM_SETTEXT. RETURNS non-zero on success.
BOOL SetWindowTextW(HWND window, LPCWSTR text);
// Copies at most `maxCount` - 1 characters of the title and a terminating zero.
// RETURNS the characters copied; 0 for an empty title or a bad window.
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);

// Window fields by GWL_* index, or the LONG at that byte offset of the window's extra
// bytes (cbWndExtra). The Ptr forms carry full pointers (the procedure, user data).
// RETURNS the value (Set: the previous value); 0 with ERROR_INVALID_WINDOW_HANDLE or
// ERROR_INVALID_PARAMETER (an index outside the extra bytes).
LONG GetWindowLongW(HWND window, int index);
LONG SetWindowLongW(HWND window, int index, LONG value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);

// ---------------------------------------------------------------- messages

// Queues a message behind every message posted before it. A null window posts a message
// for the thread itself (DispatchMessageW does nothing with it).
// RETURNS non-zero; 0 for a window that is not one of this process
// (ERROR_INVALID_WINDOW_HANDLE).
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Calls the window's procedure at once and RETURNS its result; 0 for a window that is not
// one of this process (ERROR_INVALID_WINDOW_HANDLE).
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Asks the message loop to end: GetMessageW returns WM_QUIT with `exitCode` in wParam
// once no posted message is left, before any further input. Nested modal loops end on it
// and post it again, so it ends every loop in turn.
void PostQuitMessage(int exitCode);

// Takes the next message: posted messages in order, then the quit request, then input.
// Waits for input when there is none; when the device has no more input, it behaves as if
// PostQuitMessage(0) had been called. `window` (non-null) limits the retrieval to that
// window and its children, `first`..`last` (both 0: any) to those messages.
// RETURNS 0 for WM_QUIT (its wParam is the exit code), -1 for a bad window or record,
// otherwise non-zero.
BOOL GetMessageW(LPMSG message, HWND window, UINT first, UINT last);

// Posts WM_CHAR for a WM_KEYDOWN of a key that types a character (letters, digits,
// Space, Enter, Escape, Tab, Backspace); letters type lower case.
// RETURNS non-zero when it posted one.
BOOL TranslateMessage(const MSG* message);

// Calls the procedure of the message's window. RETURNS its result; 0 for a thread
// message or a window that no longer exists.
LRESULT DispatchMessageW(const MSG* message);

// The default behaviour: WM_CLOSE destroys the window, WM_SETTEXT / WM_GETTEXT /
// WM_GETTEXTLENGTH set and read the title, WM_PAINT marks the window painted; every other
// message is ignored. RETURNS the message's default result (0 where none is defined).
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
