// The dialog manager: modal dialogs built from DLGTEMPLATE resources, with their controls
// in template order, the dialog procedure behind the window, keyboard navigation over the
// tab stops, Escape and Enter as IDCANCEL and IDOK, and painting that asks for colours.
#include "device/windowing/dialogs.h"
#include "device/windowing/messages.h"

#include "device/core/faults.h"
#include "device/windowing/resources.h"
#include "device/windowing/windows.h"

#include <algorithm>

namespace device {
namespace {

constexpr const char16_t* kDialogClass = u"#32770";

int toPixelsX(int units) { return units * kCharPixelsWide / kCharUnitsWide; }
int toPixelsY(int units) { return units * kCharPixelsHigh / kCharUnitsHigh; }

HWND topLevelOf(HWND handle) {
    Window* window = windowFind(handle);
    while (window && window->parent) window = windowFind(window->parent);
    return window ? window->handle : nullptr;
}

// Whether the keyboard stops on a control: a tab stop, or a static that reports taps
// (SS_NOTIFY), so that what a stylus can tap can also be reached with Tab and pressed with
// Space; visible and enabled either way.
bool keyboardStop(const Window& control) {
    if (!(control.style & WS_VISIBLE) || (control.style & WS_DISABLED)) return false;
    if (control.style & WS_TABSTOP) return true;
    const ControlState* state = controlFind(control.handle);
    return state && state->kind == ControlKind::Static && (control.style & SS_NOTIFY);
}

// The first WS_TABSTOP control in template order: where the dialog manager puts the focus
// when a dialog opens. RETURNS null when there is none.
HWND firstTabStop(HWND dialog) {
    Window* window = windowFind(dialog);
    if (!window) return nullptr;
    for (HWND child : window->children) {
        Window* control = windowFind(child);
        if (control && (control->style & WS_TABSTOP) && keyboardStop(*control)) return child;
    }
    return nullptr;
}

// The keyboard stop after (`step` 1) or before (-1) `from`, wrapping; the first or last
// when `from` is none of them. Stops are taken in the order they stand on the screen, top
// to bottom and left to right (template order among equals), so that Tab walks a row of
// cells the way it reads. RETURNS null when there is none.
HWND nextTabStop(HWND dialog, HWND from, int step) {
    Window* window = windowFind(dialog);
    if (!window) return nullptr;
    std::vector<Window*> stops;
    for (HWND child : window->children) {
        Window* control = windowFind(child);
        if (control && keyboardStop(*control)) stops.push_back(control);
    }
    if (stops.empty()) return nullptr;
    std::stable_sort(stops.begin(), stops.end(), [](const Window* a, const Window* b) {
        return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
    });
    auto at = std::find_if(stops.begin(), stops.end(), [from](const Window* stop) { return stop->handle == from; });
    if (at == stops.end()) return (step > 0 ? stops.front() : stops.back())->handle;
    auto index = static_cast<long>(at - stops.begin()) + step;
    auto count = static_cast<long>(stops.size());
    return stops[static_cast<size_t>((index % count + count) % count)]->handle;
}

void paintDialog(HWND dialog) {
    Window* window = windowFind(dialog);
    if (!window) return;
    window->painted = true;
    HDC context = contextOpen(dialog);
    SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    if (DialogState* state = dialogFind(dialog)) {
        state->colours.background = contextFill(context).value_or(RGB(255, 255, 255));
        ++state->colours.paints;
    }
    contextClose(context);
}

LRESULT dialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* state = dialogFind(dialog);
    if (state && state->procedure) {
        INT_PTR result = state->procedure(dialog, message, wParam, lParam);
        if (result) return result;
    }
    switch (message) {
    case WM_INITDIALOG:
        return 0;
    case WM_CLOSE:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return 1;
    }
    case WM_PAINT:
        paintDialog(dialog);
        return 0;
    }
    return DefWindowProcW(dialog, message, wParam, lParam);
}

bool registerDialogClass() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = dialogWindowProc;
    windowClass.lpszClassName = kDialogClass;
    return RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void sendCommand(HWND dialog, WORD id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

// The dialog manager's share of the keys typed in the dialog. RETURNS true when it took one.
bool dialogKey(HWND dialog, const MSG& message) {
    if (message.message != WM_KEYDOWN || (message.hwnd != dialog && !IsChild(dialog, message.hwnd))) return false;
    LRESULT wants = message.hwnd == dialog ? 0 : SendMessageW(message.hwnd, WM_GETDLGCODE, message.wParam, 0);
    int step = 0;
    switch (message.wParam) {
    case VK_ESCAPE: sendCommand(dialog, IDCANCEL); return true;
    case VK_RETURN: sendCommand(dialog, IDOK); return true;
    case VK_TAB: step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1; break;
    case VK_RIGHT:
    case VK_DOWN:
        if (wants & DLGC_WANTARROWS) return false;
        step = 1;
        break;
    case VK_LEFT:
    case VK_UP:
        if (wants & DLGC_WANTARROWS) return false;
        step = -1;
        break;
    default: return false;
    }
    if (HWND next = nextTabStop(dialog, GetFocus(), step)) SetFocus(next);
    return true;
}

// Creates the controls of `layout` in `dialog`. RETURNS false (last error set) when one fails.
bool createControls(HWND dialog, HINSTANCE instance, const DialogLayout& layout) {
    for (const DialogItemLayout& item : layout.items) {
        std::u16string className = controlClassName(item.windowClass);
        if (className.empty()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return false;
        }
        // Control ids are signed 16-bit numbers: 0xFFFF is IDC_STATIC, -1.
        auto id = static_cast<intptr_t>(static_cast<int16_t>(item.id));
        HWND control = CreateWindowExW(item.exStyle, className.c_str(), item.text.text.c_str(), item.style | WS_CHILD,
                                       toPixelsX(item.x), toPixelsY(item.y), toPixelsX(item.cx), toPixelsY(item.cy),
                                       dialog, reinterpret_cast<HMENU>(id), instance, nullptr);
        if (!control) return false;
        if (ControlState* state = controlFind(control)) {
            state->units = RECT{item.x, item.y, item.x + item.cx, item.y + item.cy};
        }
        if (item.text.isNumber()) {
            // A picture static names its icon or bitmap by number.
            LPCWSTR name = MAKEINTRESOURCEW(item.text.number);
            DWORD type = item.style & SS_TYPEMASK;
            LPARAM image = 0;
            if (type == SS_ICON) image = reinterpret_cast<LPARAM>(LoadIconW(instance, name));
            if (type == SS_BITMAP) image = reinterpret_cast<LPARAM>(LoadBitmapW(instance, name));
            if (image) SendMessageW(control, STM_SETIMAGE, type == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP, image);
        }
    }
    return true;
}

HWND createDialog(HINSTANCE instance, const DialogLayout& layout, HWND owner, DLGPROC procedure) {
    int width = toPixelsX(layout.cx), height = toPixelsY(layout.cy);
    int x = toPixelsX(layout.x), y = kTitleBarHeight + toPixelsY(layout.y);
    if (layout.style & DS_CENTER) {
        x = (kScreenWidth - width) / 2;
        y = kTitleBarHeight + (kScreenHeight - kTitleBarHeight - height) / 2;
    }
    DWORD style = layout.style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD);
    HWND dialog = CreateWindowExW(layout.exStyle, kDialogClass, layout.title.c_str(), style, x, y, width, height, owner,
                                  nullptr, instance, nullptr);
    if (!dialog) return nullptr;
    DialogState state;
    state.procedure = procedure;
    state.units = RECT{layout.x, layout.y, layout.x + layout.cx, layout.y + layout.cy};
    windowFind(dialog)->state = state;
    if (!createControls(dialog, instance, layout)) {
        DWORD error = GetLastError();
        DestroyWindow(dialog);
        SetLastError(error);
        return nullptr;
    }
    return dialog;
}

}  // namespace

DialogState* dialogFind(HWND dialog) {
    Window* window = windowFind(dialog);
    return window ? std::any_cast<DialogState>(&window->state) : nullptr;
}

void paintTree(HWND handle) {
    Window* window = windowFind(handle);
    if (!window || !(window->style & WS_VISIBLE)) return;
    UpdateWindow(handle);
    window = windowFind(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) paintTree(child);
}

bool captionOk(HWND handle) {
    Window* window = windowFind(topLevelOf(handle));
    if (!window || !(window->exStyle & WS_EX_CAPTIONOKBTN) || (window->style & WS_DISABLED)) return false;
    return PostMessageW(window->handle, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != 0;
}

}  // namespace device

using device::Window;
using device::windowFind;

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC procedure,
                                LPARAM parameter) {
    if (device::faultHit("DialogBoxIndirectParamW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    size_t size = dialogTemplate ? device::resourceBytesFrom(dialogTemplate) : 0;
    device::DialogLayout layout;
    if (!size || !device::parseDialogTemplate(dialogTemplate, size, &layout)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (owner && !windowFind(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (!device::controlsRegister() || !device::registerDialogClass()) return -1;
    HWND top = device::topLevelOf(owner);
    // The control of the owner that has the focus gets it back when the dialog ends, as
    // the dialog manager gives it back when the owner is activated again.
    HWND ownerFocus = GetFocus();
    if (ownerFocus && !IsChild(top, ownerFocus)) ownerFocus = nullptr;
    HWND dialog = device::createDialog(instance, layout, top, procedure);
    if (!dialog) return -1;
    std::shared_ptr<device::DialogOutcome> outcome = device::dialogFind(dialog)->outcome;

    // The owner takes no input while the dialog runs.
    Window* ownerWindow = windowFind(top);
    bool ownerWasEnabled = ownerWindow && !(ownerWindow->style & WS_DISABLED);
    if (ownerWasEnabled) ownerWindow->style |= WS_DISABLED;

    HWND first = device::firstTabStop(dialog);
    LRESULT focusDefault = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), parameter);
    if (focusDefault && windowFind(dialog) && !outcome->ended) SetFocus(first && windowFind(first) ? first : dialog);
    if (windowFind(dialog) && !outcome->ended) ShowWindow(dialog, SW_SHOW);

    device::runModalLoop(
        [&] {
            if (outcome->ended || !windowFind(dialog)) return true;
            device::paintTree(dialog);
            return outcome->ended || !windowFind(dialog);
        },
        [&](MSG& message) { return windowFind(dialog) && device::dialogKey(dialog, message); });

    if (ownerWasEnabled && (ownerWindow = windowFind(top))) ownerWindow->style &= ~static_cast<DWORD>(WS_DISABLED);
    if (windowFind(dialog)) DestroyWindow(dialog);
    if (ownerFocus && windowFind(ownerFocus) && IsWindowVisible(ownerFocus)) SetFocus(ownerFocus);
    return outcome->result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    device::DialogState* state = device::dialogFind(dialog);
    if (!state) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state->outcome->ended = true;
    state->outcome->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* window = windowFind(dialog);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND child : window->children) {
        Window* control = windowFind(child);
        if (control && static_cast<intptr_t>(control->id) == static_cast<intptr_t>(id)) return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND control) {
    Window* window = windowFind(control);
    if (!window || !window->parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(static_cast<intptr_t>(window->id));
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
    Window* window = windowFind(handle);
    if (!window || !rect) {
        SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT*, BOOL) {
    Window* window = windowFind(handle);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->painted = false;
    return TRUE;
}
