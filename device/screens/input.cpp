// Keys and taps of the terminal screen: the platform's key input for the focus, presses of
// the soft keys, the title bar's OK and controls, and the keyboard's way through an open
// pop-up menu, whose highlight is kept here (the menu bar knows only which menu is open).
#include "device/screens/input.h"

#include "device/windowing/dialogs.h"
#include "device/windowing/windows.h"
#include "device/windowing/messages.h"
#include "device/windowing/queue.h"
#include "device/shell/shell.h"

namespace device {
namespace {

bool choosable(const MenuItemLayout& item) {
    return !item.isSeparator() && !(item.flags & (kMenuPopup | kMenuGrayed | kMenuDisabled));
}

// The choosable item `step` items on from `from` (wrapping), or -1 when there is none.
int nextChoosable(const std::vector<MenuItemLayout>& items, int from, int step) {
    int count = static_cast<int>(items.size());
    for (int k = 1; k <= count; ++k) {
        int at = ((from + k * step) % count + count) % count;
        if (choosable(items[static_cast<size_t>(at)])) return at;
    }
    return -1;
}

char32_t folded(char32_t c) { return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c; }

// The first character an item shows: a leading '&' marks a mnemonic ("&&" shows '&').
char32_t firstShown(std::u16string_view text) {
    size_t at = !text.empty() && text[0] == u'&' ? 1 : 0;
    return at < text.size() ? folded(text[at]) : 0;
}

// The key pressed with `modifier` held down, for the focus as inputKey would send it.
bool chord(WORD modifier, WORD key) {
    HWND target = windowFind(GetFocus()) ? GetFocus() : GetForegroundWindow();
    if (!windowFind(target)) return false;
    inputPost(MSG{target, WM_KEYDOWN, modifier, 1, 0, {}});
    inputKey(key);
    inputPost(MSG{target, WM_KEYUP, modifier, static_cast<LPARAM>(0xC0000001UL), 0, {}});
    return true;
}

HWND frontBar() {
    HWND front = screenFrontWindow();
    return front ? menuBarOf(front) : nullptr;
}

const std::vector<MenuItemLayout>* openItems(HWND bar) {
    MenuBarState* state = menuBarFind(bar);
    if (!state || state->openPopup < 0 || state->openPopup >= static_cast<int>(state->buttons.size())) return nullptr;
    return &state->buttons[static_cast<size_t>(state->openPopup)].popup;
}

bool chooseItem(HWND bar, int index) {
    const std::vector<MenuItemLayout>* items = openItems(bar);
    if (!items || index < 0 || index >= static_cast<int>(items->size())) return false;
    const MenuItemLayout& item = (*items)[static_cast<size_t>(index)];
    return choosable(item) && menuBarChoose(bar, item.text);
}

}  // namespace

int ScreenInput::highlight() {
    HWND bar = frontBar();
    const std::vector<MenuItemLayout>* items = openItems(bar);
    if (!items) {
        bar_ = nullptr;
        popup_ = highlight_ = -1;
        return -1;
    }
    int open = menuBarFind(bar)->openPopup;
    if (bar != bar_ || open != popup_) {
        bar_ = bar;
        popup_ = open;
        highlight_ = nextChoosable(*items, -1, 1);
    }
    return highlight_;
}

bool ScreenInput::key(ScreenKey key, char32_t character) {
    HWND front = screenFrontWindow();
    HWND bar = frontBar();
    if (key == ScreenKey::SoftLeft || key == ScreenKey::SoftRight)
        return bar && menuBarPress(bar, key == ScreenKey::SoftLeft ? 0 : 1);
    highlight();
    if (const std::vector<MenuItemLayout>* items = openItems(bar)) {
        switch (key) {
        case ScreenKey::Up:
        case ScreenKey::Down: {
            int next = nextChoosable(*items, highlight_, key == ScreenKey::Up ? -1 : 1);
            if (next < 0) return false;
            highlight_ = next;
            return true;
        }
        case ScreenKey::Enter: return chooseItem(bar, highlight_);
        case ScreenKey::Escape: return menuBarCancel(bar);
        case ScreenKey::Character:
            for (size_t i = 0; i < items->size(); ++i)
                if (choosable((*items)[i]) && firstShown((*items)[i].text) == folded(character))
                    return chooseItem(bar, static_cast<int>(i));
            return false;
        default: return false;
        }
    }
    switch (key) {
    case ScreenKey::Up: return inputKey(VK_UP);
    case ScreenKey::Down: return inputKey(VK_DOWN);
    case ScreenKey::Left: return inputKey(VK_LEFT);
    case ScreenKey::Right: return inputKey(VK_RIGHT);
    case ScreenKey::Tab: return inputKey(VK_TAB);
    case ScreenKey::BackTab: return chord(VK_SHIFT, VK_TAB);
    case ScreenKey::Enter: return (front && captionOk(front)) || inputKey(VK_RETURN);
    case ScreenKey::Escape: return inputKey(VK_ESCAPE);
    case ScreenKey::Backspace: return inputKey(VK_BACK);
    case ScreenKey::Character:
        if (character == U' ') return inputKey(VK_SPACE);
        if (character >= U'0' && character <= U'9') return inputKey(static_cast<WORD>(character));
        if (folded(character) >= U'a' && folded(character) <= U'z')
            return inputKey(static_cast<WORD>(folded(character) - U'a' + 'A'));
        return false;
    default: return false;
    }
}

bool ScreenInput::tap(const ScreenGrid& grid, int row, int column) {
    HWND bar = frontBar();
    CellTarget target;
    if (row >= 0 && row < kScreenRows && column >= 0 && column < kScreenColumns) target = grid.at(row, column).target;
    bool menuOpen = openItems(bar) != nullptr;
    if (menuOpen && target.kind != TargetKind::PopupItem && target.kind != TargetKind::SoftKey)
        return menuBarCancel(bar);
    switch (target.kind) {
    case TargetKind::Control: return controlTap(target.window);
    case TargetKind::SoftKey: return menuBarPress(target.window, target.index);
    case TargetKind::PopupItem: return chooseItem(target.window, target.index);
    case TargetKind::TitleOk: return captionOk(target.window);
    case TargetKind::None: break;
    }
    return false;
}

}  // namespace device
