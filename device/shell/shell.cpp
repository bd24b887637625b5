// The handheld shell: full-screen dialogs with the title bar's OK, the soft-key menu bar
// built from the menu-bar data and its menu, and the input panel's bookkeeping on
// activation.
#include "device/shell/shell.h"

#include "device/core/faults.h"
#include "device/core/utf.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/windows.h"

namespace device {
namespace {

constexpr const char16_t* kMenuBarClass = u"MenuBar";
bool panelUp = false;

Window* topLevelWindowOf(HWND handle) {
    Window* window = windowFind(handle);
    while (window && window->parent) window = windowFind(window->parent);
    return window;
}

LRESULT menuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(bar, message, wParam, lParam);
}

bool loadResource(HINSTANCE instance, UINT id, LPCWSTR type, const void** data, size_t* size) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), type);
    if (!found) return false;
    *data = LockResource(LoadResource(instance, found));
    *size = SizeofResource(instance, found);
    return *data != nullptr;
}

// The buttons of the bar: labels from the string table, pop-ups from the menu.
bool loadButtons(HINSTANCE instance, UINT id, std::vector<MenuBarButton>* buttons) {
    const void* data = nullptr;
    size_t size = 0;
    MenuBarLayout layout;
    if (!loadResource(instance, id, RT_RCDATA, &data, &size) || !parseMenuBar(data, size, &layout)) return false;
    std::vector<MenuItemLayout> menu;
    bool needsMenu = false;
    for (const MenuBarButtonLayout& button : layout.buttons) needsMenu |= button.subMenu != NOMENU;
    if (needsMenu && (!loadResource(instance, layout.menuId, RT_MENU, &data, &size) ||
                      !parseMenuTemplate(data, size, &menu)))
        return false;
    for (const MenuBarButtonLayout& layoutButton : layout.buttons) {
        MenuBarButton button;
        WCHAR label[100] = {};
        LoadStringW(instance, layoutButton.stringId, label, 100);
        button.label = label;
        button.command = layoutButton.command;
        button.enabled = (layoutButton.state & TBSTATE_ENABLED) != 0;
        if (layoutButton.subMenu != NOMENU) {
            if (layoutButton.subMenu >= menu.size() || !(menu[layoutButton.subMenu].flags & kMenuPopup)) return false;
            button.popup = menu[layoutButton.subMenu].popup;
        }
        buttons->push_back(std::move(button));
    }
    return true;
}

// Menu texts match ignoring case; '&' marks a mnemonic and a tab starts the shortcut text.
std::u16string menuKey(std::u16string_view text) {
    std::u16string key;
    for (char16_t c : text) {
        if (c == u'\t') break;
        if (c == u'&') continue;
        key.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
    }
    return key;
}

}  // namespace

MenuBarState* menuBarFind(HWND bar) {
    Window* window = windowFind(bar);
    return window ? std::any_cast<MenuBarState>(&window->state) : nullptr;
}

HWND menuBarOf(HWND handle) {
    if (menuBarFind(handle)) return handle;
    Window* top = topLevelWindowOf(handle);
    if (!top) return nullptr;
    for (HWND child : top->children)
        if (menuBarFind(child)) return child;
    return nullptr;
}

bool menuBarPress(HWND bar, int button) {
    MenuBarState* state = menuBarFind(bar);
    Window* top = topLevelWindowOf(bar);
    if (!state || !top || (top->style & WS_DISABLED) || button < 0 ||
        button >= static_cast<int>(state->buttons.size()) || !state->buttons[static_cast<size_t>(button)].enabled)
        return false;
    const MenuBarButton& pressed = state->buttons[static_cast<size_t>(button)];
    if (Window* window = windowFind(bar)) window->painted = false;
    if (!pressed.popup.empty()) {
        state->openPopup = state->openPopup == button ? -1 : button;
        return true;
    }
    state->openPopup = -1;
    return PostMessageW(state->parent, WM_COMMAND, MAKEWPARAM(pressed.command, BN_CLICKED),
                        reinterpret_cast<LPARAM>(bar)) != 0;
}

bool menuBarChoose(HWND bar, std::u16string_view text) {
    MenuBarState* state = menuBarFind(bar);
    if (!state || state->openPopup < 0) return false;
    std::u16string wanted = menuKey(text);
    for (const MenuItemLayout& item : state->buttons[static_cast<size_t>(state->openPopup)].popup) {
        if (item.isSeparator() || (item.flags & (kMenuPopup | kMenuGrayed | kMenuDisabled))) continue;
        if (menuKey(item.text) != wanted) continue;
        state->openPopup = -1;
        if (Window* window = windowFind(bar)) window->painted = false;
        return PostMessageW(state->parent, WM_COMMAND, MAKEWPARAM(item.id, 0), 0) != 0;
    }
    return false;
}

bool menuBarCancel(HWND bar) {
    MenuBarState* state = menuBarFind(bar);
    if (!state || state->openPopup < 0) return false;
    state->openPopup = -1;
    if (Window* window = windowFind(bar)) window->painted = false;
    return true;
}

bool inputPanelUp() { return panelUp; }
void setInputPanelUp(bool up) { panelUp = up; }

}  // namespace device

using device::Window;
using device::windowFind;

BOOL SHInitDialog(PSHINITDLGINFO info) {
    if (device::faultHit("SHInitDialog")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Window* window = windowFind(info->hDlg);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(info->dwMask & SHIDIM_FLAGS)) return TRUE;
    if (info->dwFlags & SHIDIF_DONEBUTTON) window->exStyle |= WS_EX_CAPTIONOKBTN;
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN)) {
        window->rect = RECT{0, device::kTitleBarHeight, device::kScreenWidth,
                            device::kScreenHeight - device::kMenuBarHeight};
        window->painted = false;
        if (device::DialogState* state = device::dialogFind(info->hDlg)) state->fullScreen = true;
    }
    if (info->dwFlags & SHIDIF_SIPDOWN) device::setInputPanelUp(false);
    return TRUE;
}

BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
    if (device::faultHit("SHCreateMenuBar")) {
        if (info) info->hwndMB = nullptr;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hwndMB = nullptr;
    Window* parent = windowFind(info->hwndParent);
    if (!parent) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    device::MenuBarState state;
    state.parent = info->hwndParent;
    if (!device::loadButtons(info->hInstRes, info->nToolBarId, &state.buttons)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = device::menuBarProc;
    windowClass.lpszClassName = device::kMenuBarClass;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return FALSE;
    // The bar lies across the bottom of the screen; a child's rectangle counts from its parent.
    Window* top = device::topLevelWindowOf(info->hwndParent);
    int y = device::kScreenHeight - device::kMenuBarHeight - (top ? top->rect.top : 0);
    HWND bar = CreateWindowExW(0, device::kMenuBarClass, u"", WS_CHILD | WS_VISIBLE, 0, y, device::kScreenWidth,
                               device::kMenuBarHeight, info->hwndParent, nullptr, info->hInstRes, nullptr);
    if (!bar) return FALSE;
    windowFind(bar)->state = std::move(state);
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHHandleWMActivate(HWND, WPARAM wParam, LPARAM, SHACTIVATEINFO* info, DWORD) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (LOWORD(wParam) == WA_INACTIVE) {
        info->fActive = 0;
        info->fSipOnDeactivation = device::inputPanelUp() ? 1 : 0;
        info->hwndLastFocus = GetFocus();
    } else {
        info->fActive = 1;
        device::setInputPanelUp(info->fSipUp != 0);
    }
    return TRUE;
}

BOOL SHHandleWMSettingChange(HWND, WPARAM wParam, LPARAM, SHACTIVATEINFO* info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (wParam == SPI_SETSIPINFO && info->fActive) info->fSipUp = device::inputPanelUp() ? 1 : 0;
    return TRUE;
}
