// The shell library beyond what the program calls: the soft-key menu bar's record, which
// the screens draw and press, and the input panel's state.
#pragma once

#include "device/windowing/dialogs.h"

#include <string_view>
#include <vector>

namespace device {

struct MenuBarButton {
    std::u16string label;
    WORD command = 0;
    bool enabled = true;
    std::vector<MenuItemLayout> popup;  // empty: the button sends its command
};

struct MenuBarState {
    HWND parent = nullptr;
    std::vector<MenuBarButton> buttons;  // left to right
    int openPopup = -1;                  // the button whose pop-up is open, or -1
};

// RETURNS the record of a menu bar, or null.
MenuBarState* menuBarFind(HWND bar);
// RETURNS the bar of `window` or of the top-level window it lies in, or null.
HWND menuBarOf(HWND window);

// Presses soft key `button` (0 the left): a button with a pop-up opens it (closes it when
// open); another posts its command to the bar's parent and closes any open pop-up.
// RETURNS false for a bad bar or button, a disabled button, or a disabled parent.
bool menuBarPress(HWND bar, int button);

// Chooses the item of the open pop-up whose text is `text` (ignoring case and '&'): posts
// its command to the bar's parent and closes the pop-up. RETURNS false when no pop-up is
// open or no enabled item has that text.
bool menuBarChoose(HWND bar, std::u16string_view text);

// Closes an open pop-up. RETURNS false when none was open.
bool menuBarCancel(HWND bar);

// Whether the input panel is up (the shell lowers it for SHIDIF_SIPDOWN).
bool inputPanelUp();
void setInputPanelUp(bool up);

}  // namespace device
