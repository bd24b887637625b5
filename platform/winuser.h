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

typedef LRESULT(CALLBACK* WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
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
#define VK_MENU 0x12
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
#define ERROR_CONTROL_ID_NOT_FOUND 1421L

// ---------------------------------------------------------------- classes and windows

// Registers a window class of this process; names match ignoring case.
// RETURNS a non-zero atom; 0 when the class exists already (ERROR_CLASS_ALREADY_EXISTS),
// or the name or procedure is missing (ERROR_INVALID_PARAMETER).
ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass);

// RETURNS non-zero when the class was removed; 0 when it does not exist
// (ERROR_CLASS_DOES_NOT_EXIST) or a window of it exists (ERROR_CLASS_HAS_WINDOWS).
BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// Creates a window. With WS_CHILD, `parent` is its parent and `menu` its id; otherwise it
// is a top-level window and `parent` (may be null) its owner. CW_USEDEFAULT in x or width
// gives a top-level window the whole screen below the title bar. The procedure receives
// WM_CREATE (CREATESTRUCTW in lParam; a result of -1 destroys the window and fails the
// call), then, for WS_VISIBLE, WM_SHOWWINDOW; a visible top-level window comes to the front.
// RETURNS the window, or null: ERROR_CANNOT_FIND_WND_CLASS for an unknown class,
// ERROR_INVALID_WINDOW_HANDLE for a parent or owner that is not a window of this process.
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);

// Destroys the window: first the top-level windows it owns (each entirely), then it sends
// WM_DESTROY to the window and then to its children, parents before children, and only
// then are they gone. Messages still queued for them are dropped.
// RETURNS non-zero; 0 for a handle that is not a window of this process
// (ERROR_INVALID_WINDOW_HANDLE). A window already being destroyed is left to finish.
BOOL WINAPI DestroyWindow(HWND window);

// Shows (any command but SW_HIDE) or hides the window, sending WM_SHOWWINDOW when its
// visibility changes; showing a top-level window (except SW_SHOWNA, SW_SHOWNOACTIVATE)
// brings it to the front. RETURNS non-zero when the window was visible before.
BOOL WINAPI ShowWindow(HWND window, int command);

// Sends WM_PAINT at once when the window is visible and has not been painted since it was
// shown or invalidated. RETURNS non-zero for a window; 0 otherwise.
BOOL WINAPI UpdateWindow(HWND window);

BOOL WINAPI IsWindow(HWND window);
BOOL WINAPI IsWindowVisible(HWND window);
// RETURNS non-zero when `window` is a child, grandchild, ... of `parent`.
BOOL WINAPI IsChild(HWND parent, HWND window);

// RETURNS the parent of a child window, the owner of a top-level window, or null.
HWND WINAPI GetParent(HWND window);

// RETURNS the window related as GW_OWNER, GW_CHILD (first child), GW_HWNDNEXT or
// GW_HWNDPREV (the next or previous sibling: children in creation order, top-level
// windows of this process front to back); null when there is none.
HWND WINAPI GetWindow(HWND window, UINT relation);

// Finds a top-level window of any process of the device whose class name and title match
// (both ignoring case); a null class or title matches any. Windows of processes that have
// ended are not found. The newest matching window wins.
// RETURNS the window, or null. A window of another process is a handle that
// SetForegroundWindow and IsWindow accept.
HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName);

// Brings a top-level window to the front, with the windows it owns above it. The lowest bit
// of the handle is ignored. A window of another process is asked to come forward (it
// does so the next time it looks for input) and the request is recorded in the device's
// event journal. RETURNS non-zero on success; 0 for a window that no longer exists.
BOOL WINAPI SetForegroundWindow(HWND window);

// RETURNS the front top-level window of this process, or null.
HWND WINAPI GetForegroundWindow(void);

// Gives the keyboard focus to a window of this process (null: to none), sending
// WM_KILLFOCUS to the window that loses it and then WM_SETFOCUS to the one that gains it.
// RETURNS the window that had the focus, or null (also for a window that is not one).
HWND WINAPI SetFocus(HWND window);
HWND WINAPI GetFocus(void);

// Sets the title through WM_SETTEXT. RETURNS non-zero on success.
BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
// Copies at most `maxCount` - 1 characters of the title and a terminating zero.
// RETURNS the characters copied; 0 for an empty title or a bad window.
int WINAPI GetWindowTextW(HWND window, LPWSTR text, int maxCount);

// Window fields by GWL_* index, or the LONG at that byte offset of the window's extra
// bytes (cbWndExtra). The Ptr forms carry full pointers (the procedure, user data).
// RETURNS the value (Set: the previous value); 0 with ERROR_INVALID_WINDOW_HANDLE or
// ERROR_INVALID_PARAMETER (an index outside the extra bytes).
LONG WINAPI GetWindowLongW(HWND window, int index);
LONG WINAPI SetWindowLongW(HWND window, int index, LONG value);
LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);

// ---------------------------------------------------------------- messages

// Queues a message behind every message posted before it. A null window posts a message
// for the thread itself (DispatchMessageW does nothing with it).
// RETURNS non-zero; 0 for a window that is not one of this process
// (ERROR_INVALID_WINDOW_HANDLE).
BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Calls the window's procedure at once and RETURNS its result; 0 for a window that is not
// one of this process (ERROR_INVALID_WINDOW_HANDLE).
LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Asks the message loop to end: GetMessageW returns WM_QUIT with `exitCode` in wParam
// once no posted message is left, before any further input. Nested modal loops end on it
// and post it again, so it ends every loop in turn.
void WINAPI PostQuitMessage(int exitCode);

// Takes the next message: posted messages in order, then the quit request, then input.
// Waits for input when there is none; when the device has no more input, it behaves as if
// PostQuitMessage(0) had been called. `window` (non-null) limits the retrieval to that
// window and its children, `first`..`last` (both 0: any) to those messages.
// RETURNS 0 for WM_QUIT (its wParam is the exit code), -1 for a bad window or record,
// otherwise non-zero.
BOOL WINAPI GetMessageW(LPMSG message, HWND window, UINT first, UINT last);

// The state of a key as of the last input message taken from the queue: the high bit
// (a negative result) when it is down, 0 when it is up.
SHORT WINAPI GetKeyState(int virtualKey);

// Posts WM_CHAR for a WM_KEYDOWN of a key that types a character (letters, digits,
// Space, Enter, Escape, Tab, Backspace); letters type lower case.
// RETURNS non-zero when it posted one.
BOOL WINAPI TranslateMessage(const MSG* message);

// Calls the procedure of the message's window. RETURNS its result; 0 for a thread
// message or a window that no longer exists.
LRESULT WINAPI DispatchMessageW(const MSG* message);

// The default behaviour: WM_CLOSE destroys the window, WM_SETTEXT / WM_GETTEXT /
// WM_GETTEXTLENGTH set and read the title, WM_PAINT marks the window painted; every other
// message is ignored. RETURNS the message's default result (0 where none is defined).
LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------- dialogs

#define WM_ERASEBKGND 0x0014
#define WM_GETDLGCODE 0x0087
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORSTATIC 0x0138

// Command ids the dialog manager and the title bar send.
#define IDOK 1
#define IDCANCEL 2

#define WS_SYSMENU 0x00080000L
#define WS_EX_CLIENTEDGE 0x00000200L

// Dialog template styles.
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_SETFOREGROUND 0x0200L
#define DS_CENTER 0x0800L

// WM_GETDLGCODE answers: the keys a control keeps from the dialog manager.
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTCHARS 0x0080

typedef INT_PTR(CALLBACK* DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The fixed head of a dialog template; the menu, class, title, font and the controls follow it.
#pragma pack(push, 2)
typedef struct {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
} DLGTEMPLATE;
#pragma pack(pop)
typedef DLGTEMPLATE DLGTEMPLATEW;
typedef const DLGTEMPLATEW* LPCDLGTEMPLATEW;

// Builds the dialog from `dialogTemplate` (the platform's DLGTEMPLATE layout, lying in the
// program's resources as LoadResource gives it) with its controls in template order, owned
// by `owner`'s top-level window, which stays disabled while the dialog runs. The procedure
// receives WM_INITDIALOG first, wParam the first WS_TABSTOP control and lParam `parameter`;
// when it returns non-zero the focus goes to that control (to the dialog without one). Then
// the dialog is shown and a nested message loop runs until EndDialog, the dialog's
// destruction or WM_QUIT (posted again for the loops around). In that loop Tab and the
// arrow keys move the focus over the WS_TABSTOP controls in template order (arrows stay
// with a control that wants them), Escape sends WM_COMMAND IDCANCEL and Enter IDOK, each
// with BN_CLICKED in the high word. Before each message, windows that need painting are
// painted, and painting asks the procedure for the colours (WM_ERASEBKGND,
// WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT). A procedure returning 0 leaves a message to the
// defaults: WM_CLOSE sends IDCANCEL, the rest go to DefWindowProcW.
// RETURNS the EndDialog result (0 when the loop ended otherwise); -1 when the template is
// not readable (ERROR_INVALID_PARAMETER), the owner is not a window
// (ERROR_INVALID_WINDOW_HANDLE), or a control's class does not exist
// (ERROR_CANNOT_FIND_WND_CLASS; the date-and-time picker needs InitCommonControlsEx).
INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                       DLGPROC procedure, LPARAM parameter);

// Marks the dialog ended with `result`; its loop returns before the next message.
// RETURNS non-zero; 0 for a window that is not a running dialog (ERROR_INVALID_WINDOW_HANDLE).
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);

// RETURNS the dialog's direct child with control id `id` (IDC_STATIC -1 for controls without
// one), or null.
HWND WINAPI GetDlgItem(HWND dialog, int id);
// RETURNS the control id of a child window; 0 for a bad window.
int WINAPI GetDlgCtrlID(HWND control);

// Fills `rect` with the client area: left and top 0, right and bottom the window's size in
// pixels. RETURNS non-zero; 0 for a bad window or null rect.
BOOL WINAPI GetClientRect(HWND window, LPRECT rect);

// Marks the window (the whole of it; `rect` is not examined) as needing to be painted again;
// the next UpdateWindow, or the dialog loop before its next message, paints it.
// RETURNS non-zero; 0 for a bad window.
BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// ---------------------------------------------------------------- controls

// Buttons.
#define BS_PUSHBUTTON 0x0000L
#define BS_DEFPUSHBUTTON 0x0001L
#define BS_CHECKBOX 0x0002L
#define BS_AUTOCHECKBOX 0x0003L
#define BS_TYPEMASK 0x000FL
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BN_CLICKED 0

// Statics.
#define SS_LEFT 0x0000L
#define SS_CENTER 0x0001L
#define SS_RIGHT 0x0002L
#define SS_ICON 0x0003L
#define SS_BITMAP 0x000EL
#define SS_TYPEMASK 0x001FL
#define SS_NOPREFIX 0x0080L
#define SS_NOTIFY 0x0100L
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define STN_CLICKED 0

// The predefined control classes: "Button" (push buttons and check boxes: a click, Space
// or BM_CLICK sends WM_COMMAND with BN_CLICKED to the parent; BS_AUTOCHECKBOX toggles
// first; BM_SETCHECK / BM_GETCHECK set and read the state, BST_CHECKED or BST_UNCHECKED),
// "Static" (text, or with SS_ICON / SS_BITMAP the picture set by STM_SETIMAGE; with
// SS_NOTIFY a press sends STN_CLICKED) and "Edit" (a line of text). WM_SETTEXT and
// WM_GETTEXT set and read a control's text. The dialog manager registers them.
