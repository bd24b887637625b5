// What a person at the terminal screen does, carried out through the device's own input
// paths: keys become the platform's key input, taps reach controls, soft keys, the title
// bar's OK and the open pop-up menu, whose highlighted item the keys move.
#pragma once

#include "device/screens/render.h"

#include <string>
#include <vector>

namespace device {

enum class ScreenKey { Character, Up, Down, Left, Right, Tab, BackTab, Enter, Escape, Backspace, SoftLeft, SoftRight };

// RETURNS the keys that act on the front window, with what each does there, as items
// such as "F1 Cleanup" and "Enter save" parted by two blanks: the soft keys, Tab and what
// the focused control takes, the title bar's OK and Escape; in an open pop-up menu the
// keys that work it. Empty without a window.
std::string keyHelp();

// What Enter (the title bar's OK) and Escape (Cancel) do in a window of the program, by its
// title: that is the program's business, so the host tells it; a null text means the key
// does nothing there. Windows not named get what the dialog manager does with the keys.
struct WindowKeyHelp {
    std::u16string title;
    const char* enter;
    const char* escape;
};
void keyHelpRegister(std::vector<WindowKeyHelp> windows);

class ScreenInput {
public:
    // Carries out a key on the front window; `character` is the character of a Character
    // key. While a pop-up menu is open the keys work the menu: Up and Down move the
    // highlight over the items that can be chosen, Enter chooses the highlighted one, a
    // letter the first that starts with it, Escape closes the menu, the soft keys press as
    // ever; other keys are ignored. Otherwise arrows, Tab, Space, digits, letters, Escape
    // and Backspace are key input for the focus (Shift+Tab is Tab with Shift held), Enter
    // presses the title bar's OK (or is the Enter key where there is none) and the soft keys
    // press the left and right button of the bar.
    // RETURNS false when nothing took the key.
    bool key(ScreenKey key, char32_t character = 0);

    // Taps the cell (row, column) of `grid`, the screen as last shown: presses what the
    // cell's target names. A tap anywhere else while a pop-up is open closes it.
    // RETURNS false when the tap pressed nothing.
    bool tap(const ScreenGrid& grid, int row, int column);

    // RETURNS the item of the front window's open pop-up to show highlighted (the first
    // that can be chosen when it has just opened), or -1 when none is open.
    int highlight();

private:
    HWND bar_ = nullptr;
    int popup_ = -1;
    int highlight_ = -1;
};

}  // namespace device
