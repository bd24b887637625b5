// The predefined controls (buttons and check boxes, statics, a line edit) and the
// date-and-time picker of the common controls. Each keeps its record in its window's state
// slot, notifies its parent with WM_COMMAND, and asks the parent for colours when painted.
#include "device/windowing/dialogs.h"
#include "device/windowing/queue.h"

#include "device/core/faults.h"
#include "device/windowing/windows.h"

namespace device {
namespace {

ControlState* stateOf(HWND control) {
    Window* window = windowFind(control);
    return window ? std::any_cast<ControlState>(&window->state) : nullptr;
}

void invalidate(HWND control) {
    if (Window* window = windowFind(control)) window->painted = false;
}

void notifyParent(HWND control, WORD code) {
    Window* window = windowFind(control);
    if (!window || !window->parent) return;
    WPARAM wParam = MAKEWPARAM(static_cast<WORD>(window->id), code);
    SendMessageW(window->parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control));
}

bool parentDisabled(HWND control) {
    Window* window = windowFind(control);
    while (window && window->parent) window = windowFind(window->parent);
    return !window || (window->style & WS_DISABLED);
}

// Asks the parent for the colours (`message` is WM_CTLCOLORSTATIC or WM_CTLCOLOREDIT) on a
// fresh context and records what it chose.
void paintControl(HWND control, UINT message) {
    Window* window = windowFind(control);
    if (!window) return;
    window->painted = true;
    HDC context = contextOpen(control);
    LRESULT brush = 0;
    if (window->parent) {
        brush = SendMessageW(window->parent, message, reinterpret_cast<WPARAM>(context),
                             reinterpret_cast<LPARAM>(control));
    }
    if (ControlState* state = stateOf(control)) {
        PaintColours& colours = state->colours;
        colours.text = contextTextColour(context);
        colours.transparentText = contextTransparent(context);
        colours.background = brushColour(reinterpret_cast<HBRUSH>(brush)).value_or(RGB(255, 255, 255));
        ++colours.paints;
    }
    contextClose(context);
}

LRESULT createState(HWND control, ControlKind kind) {
    Window* window = windowFind(control);
    if (!window) return -1;
    ControlState state;
    state.kind = kind;
    window->state = state;
    return 0;
}

// ---------------------------------------------------------------- buttons

void click(HWND button) {
    ControlState* state = stateOf(button);
    Window* window = windowFind(button);
    if (!state || !window || (window->style & WS_DISABLED)) return;
    if ((window->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        state->checked = state->checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        invalidate(button);
    }
    notifyParent(button, BN_CLICKED);
}

LRESULT buttonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlState* state = stateOf(button);
    switch (message) {
    case WM_CREATE: {
        DWORD type = static_cast<DWORD>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->style) & BS_TYPEMASK;
        bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
        return createState(button, box ? ControlKind::CheckBox : ControlKind::PushButton);
    }
    case BM_GETCHECK:
        return state && state->kind == ControlKind::CheckBox ? state->checked : BST_UNCHECKED;
    case BM_SETCHECK:
        if (state && state->kind == ControlKind::CheckBox) {
            int checked = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
            if (checked != state->checked) invalidate(button);
            state->checked = checked;
        }
        return 0;
    case BM_CLICK:
        click(button);
        return 0;
    case WM_LBUTTONDOWN:
        if (state) state->pressed = true;
        SetFocus(button);
        return 0;
    case WM_LBUTTONUP:
        if (state && state->pressed) {
            state->pressed = false;
            click(button);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) click(button);
        return 0;
    case WM_SETTEXT:
        invalidate(button);
        break;
    case WM_PAINT:
        if (state && state->kind == ControlKind::CheckBox) paintControl(button, WM_CTLCOLORSTATIC);
        break;
    }
    return DefWindowProcW(button, message, wParam, lParam);
}

// ---------------------------------------------------------------- statics and edits

LRESULT staticProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlState* state = stateOf(control);
    Window* window = windowFind(control);
    switch (message) {
    case WM_CREATE:
        return createState(control, ControlKind::Static);
    case STM_SETIMAGE: {
        if (!state || (wParam != IMAGE_ICON && wParam != IMAGE_BITMAP)) return 0;
        HANDLE previous = state->image;
        state->image = reinterpret_cast<HANDLE>(lParam);
        invalidate(control);
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETIMAGE:
        return state ? reinterpret_cast<LRESULT>(state->image) : 0;
    case WM_LBUTTONDOWN:
        // A static notifies on the press itself.
        if (window && (window->style & SS_NOTIFY) && !(window->style & WS_DISABLED)) notifyParent(control, STN_CLICKED);
        return 0;
    case WM_KEYUP:
        // Space on a focused static that reports taps does what a tap does.
        if (wParam == VK_SPACE && window && (window->style & SS_NOTIFY) && !(window->style & WS_DISABLED))
            notifyParent(control, STN_CLICKED);
        return 0;
    case WM_SETTEXT:
        invalidate(control);
        break;
    case WM_PAINT:
        paintControl(control, WM_CTLCOLORSTATIC);
        return 0;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}

LRESULT editProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = windowFind(control);
    switch (message) {
    case WM_CREATE:
        return createState(control, ControlKind::Edit);
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
        SetFocus(control);
        return 0;
    case WM_CHAR:
        if (!window) return 0;
        if (wParam == 0x08 && !window->title.empty()) window->title.pop_back();
        else if (wParam >= 0x20) window->title.push_back(static_cast<char16_t>(wParam));
        invalidate(control);
        return 0;
    case WM_SETTEXT:
        invalidate(control);
        break;
    case WM_PAINT:
        paintControl(control, WM_CTLCOLOREDIT);
        return 0;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}

// ---------------------------------------------------------------- the picker

std::vector<PickerPart> parseFormat(std::u16string_view format) {
    std::vector<PickerPart> parts;
    auto literal = [&](std::u16string_view text) {
        if (text.empty()) return;
        if (parts.empty() || parts.back().field != PickerField::Literal) parts.push_back(PickerPart{});
        parts.back().text += text;
    };
    for (size_t i = 0; i < format.size();) {
        char16_t c = format[i];
        if (c == u'\'') {
            size_t end = format.find(u'\'', i + 1);
            if (end == std::u16string_view::npos) end = format.size();
            if (end == i + 1 && end < format.size()) literal(u"'");  // '' is a quote
            else literal(format.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t run = 1;
        while (i + run < format.size() && format[i + run] == c) ++run;
        PickerField field = PickerField::Literal;
        switch (c) {
        case u'h': field = PickerField::Hour12; break;
        case u'H': field = PickerField::Hour24; break;
        case u'm': field = PickerField::Minute; break;
        case u's': field = PickerField::Second; break;
        case u't': field = PickerField::AmPm; break;
        }
        if (field == PickerField::Literal) {
            literal(format.substr(i, run));
        } else {
            PickerPart part;
            part.field = field;
            part.twoDigits = run >= 2;
            parts.push_back(part);
        }
        i += run;
    }
    return parts;
}

// The locale's time format, for a picker that was given none.
std::u16string defaultFormat() {
    WCHAR separator[4] = u":";
    WCHAR clock[4] = u"1";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 4);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ITIME, clock, 4);
    std::u16string sep = separator;
    return clock[0] == u'0' ? u"h" + sep + u"mm" + sep + u"ss tt" : u"HH" + sep + u"mm" + sep + u"ss";
}

int firstField(const std::vector<PickerPart>& parts, int from, int step) {
    for (int i = from; i >= 0 && i < static_cast<int>(parts.size()); i += step)
        if (parts[static_cast<size_t>(i)].field != PickerField::Literal) return i;
    return -1;
}

std::u16string twoDigits(int value, bool pad) {
    std::u16string text;
    if (pad || value >= 10) text.push_back(static_cast<char16_t>(u'0' + value / 10));
    text.push_back(static_cast<char16_t>(u'0' + value % 10));
    return text;
}

std::u16string fieldText(const PickerPart& part, const SYSTEMTIME& time) {
    switch (part.field) {
    case PickerField::Hour12: return twoDigits(time.wHour % 12 == 0 ? 12 : time.wHour % 12, part.twoDigits);
    case PickerField::Hour24: return twoDigits(time.wHour, part.twoDigits);
    case PickerField::Minute: return twoDigits(time.wMinute, part.twoDigits);
    case PickerField::Second: return twoDigits(time.wSecond, part.twoDigits);
    case PickerField::AmPm: {
        std::u16string text = time.wHour < 12 ? u"AM" : u"PM";
        return part.twoDigits ? text : text.substr(0, 1);
    }
    case PickerField::Literal: break;
    }
    return part.text;
}

// The range a typed value of the field must lie in.
void fieldRange(PickerField field, int* low, int* high) {
    *low = field == PickerField::Hour12 ? 1 : 0;
    *high = field == PickerField::Hour12 ? 12 : field == PickerField::Hour24 ? 23 : 59;
}

void setField(SYSTEMTIME& time, PickerField field, int value) {
    switch (field) {
    case PickerField::Hour12: time.wHour = static_cast<WORD>(value % 12 + (time.wHour >= 12 ? 12 : 0)); break;
    case PickerField::Hour24: time.wHour = static_cast<WORD>(value); break;
    case PickerField::Minute: time.wMinute = static_cast<WORD>(value); break;
    case PickerField::Second: time.wSecond = static_cast<WORD>(value); break;
    case PickerField::AmPm: time.wHour = static_cast<WORD>(value ? time.wHour % 12 + 12 : time.wHour % 12); break;
    case PickerField::Literal: break;
    }
}

void stepField(SYSTEMTIME& time, PickerField field, int step) {
    auto wrap = [](int value, int modulus) { return (value % modulus + modulus) % modulus; };
    switch (field) {
    case PickerField::Hour12:
        time.wHour = static_cast<WORD>(wrap(time.wHour % 12 + step, 12) + (time.wHour >= 12 ? 12 : 0));
        break;
    case PickerField::Hour24: time.wHour = static_cast<WORD>(wrap(time.wHour + step, 24)); break;
    case PickerField::Minute: time.wMinute = static_cast<WORD>(wrap(time.wMinute + step, 60)); break;
    case PickerField::Second: time.wSecond = static_cast<WORD>(wrap(time.wSecond + step, 60)); break;
    case PickerField::AmPm: time.wHour = static_cast<WORD>((time.wHour + 12) % 24); break;
    case PickerField::Literal: break;
    }
}

bool validTime(const SYSTEMTIME& time) {
    return time.wMonth >= 1 && time.wMonth <= 12 && time.wDay >= 1 && time.wDay <= 31 && time.wDayOfWeek <= 6 &&
           time.wHour <= 23 && time.wMinute <= 59 && time.wSecond <= 59 && time.wMilliseconds <= 999;
}

void typeDigit(ControlState& state, int digit) {
    if (state.activePart < 0) return;
    PickerField field = state.format[static_cast<size_t>(state.activePart)].field;
    if (field == PickerField::AmPm) return;
    int low = 0, high = 0;
    fieldRange(field, &low, &high);
    int combined = state.typedDigit * 10 + digit;
    if (state.typedDigit >= 0 && combined >= low && combined <= high) {
        setField(state.time, field, combined);
        state.typedDigit = -1;
        return;
    }
    state.typedDigit = digit;
    if (digit >= low && digit <= high) setField(state.time, field, digit);
}

void pickerKey(HWND picker, ControlState& state, WPARAM key) {
    int parts = static_cast<int>(state.format.size());
    PickerField field = state.activePart >= 0 ? state.format[static_cast<size_t>(state.activePart)].field
                                              : PickerField::Literal;
    switch (key) {
    case VK_LEFT:
    case VK_RIGHT: {
        int step = key == VK_LEFT ? -1 : 1;
        int next = state.activePart < 0 ? -1 : firstField(state.format, state.activePart + step, step);
        if (next >= 0 && next < parts) state.activePart = next;
        state.typedDigit = -1;
        break;
    }
    case VK_UP:
    case VK_DOWN:
        stepField(state.time, field, key == VK_UP ? 1 : -1);
        state.typedDigit = -1;
        break;
    case 'A':
    case 'P':
        if (field == PickerField::AmPm) setField(state.time, field, key == 'P');
        break;
    default:
        if (key >= '0' && key <= '9') typeDigit(state, static_cast<int>(key - '0'));
        else return;
    }
    invalidate(picker);
}

LRESULT pickerProc(HWND picker, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlState* state = stateOf(picker);
    switch (message) {
    case WM_CREATE: {
        if (createState(picker, ControlKind::Picker) != 0) return -1;
        state = stateOf(picker);
        GetLocalTime(&state->time);
        state->format = parseFormat(defaultFormat());
        state->activePart = firstField(state->format, 0, 1);
        return 0;
    }
    case DTM_SETFORMATW:
        if (!state) return FALSE;
        state->format = parseFormat(lParam ? std::u16string_view(reinterpret_cast<LPCWSTR>(lParam)) : defaultFormat());
        state->activePart = firstField(state->format, 0, 1);
        state->typedDigit = -1;
        invalidate(picker);
        return TRUE;
    case DTM_SETSYSTEMTIME: {
        auto* time = reinterpret_cast<const SYSTEMTIME*>(lParam);
        if (!state || wParam != GDT_VALID || !time || !validTime(*time)) return FALSE;
        state->time = *time;
        state->typedDigit = -1;
        invalidate(picker);
        return TRUE;
    }
    case DTM_GETSYSTEMTIME: {
        auto* time = reinterpret_cast<SYSTEMTIME*>(lParam);
        if (!state || !time) return GDT_ERROR;
        *time = state->time;
        return GDT_VALID;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        if (state) pickerKey(picker, *state, wParam);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(picker);
        return 0;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        // The text is the time as shown.
        if (Window* window = windowFind(picker)) window->title = pickerText(picker);
        break;
    case WM_PAINT:
        paintControl(picker, WM_CTLCOLOREDIT);
        return 0;
    }
    return DefWindowProcW(picker, message, wParam, lParam);
}

bool registerOnce(const char16_t* name, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = name;
    if (RegisterClassW(&windowClass)) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

ControlState* controlFind(HWND control) { return stateOf(control); }

bool controlsRegister() {
    return registerOnce(u"Button", buttonProc) && registerOnce(u"Static", staticProc) &&
           registerOnce(u"Edit", editProc);
}

bool pickerRegister() { return registerOnce(DATETIMEPICK_CLASSW, pickerProc); }

std::u16string pickerText(HWND picker, size_t* activeBegin, size_t* activeEnd) {
    std::u16string text;
    ControlState* state = stateOf(picker);
    if (!state || state->kind != ControlKind::Picker) return text;
    for (size_t i = 0; i < state->format.size(); ++i) {
        if (static_cast<int>(i) == state->activePart && activeBegin) *activeBegin = text.size();
        text += fieldText(state->format[i], state->time);
        if (static_cast<int>(i) == state->activePart && activeEnd) *activeEnd = text.size();
    }
    return text;
}

bool controlTap(HWND control) {
    if (!windowFind(control) || parentDisabled(control)) return false;
    inputPost(MSG{control, WM_LBUTTONDOWN, 0, 0, 0, {}});
    inputPost(MSG{control, WM_LBUTTONUP, 0, 0, 0, {}});
    return true;
}

}  // namespace device

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (device::faultHit("InitCommonControlsEx")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((init->dwICC & ICC_DATE_CLASSES) && !device::pickerRegister()) return FALSE;
    return TRUE;
}
