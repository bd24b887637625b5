// The line of key help under the terminal screen: the keys that act on the window in
// front, with what each does there. What the title bar's OK and Escape do is the program's
// business; for its own windows it is said here, by their titles, and anything else gets
// what the dialog manager does with them.
#include "device/screens/input.h"

#include "device/core/utf.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/windows.h"
#include "device/shell/shell.h"

#include <string_view>
#include <utility>

namespace device {
namespace {

// A function's own static, so that a registration made while the process starts finds it made.
std::vector<WindowKeyHelp>& programWindows() {
    static std::vector<WindowKeyHelp> windows;
    return windows;
}

void add(std::string& help, const std::string& item) {
    if (!help.empty()) help += "  ";
    help += item;
}

}  // namespace

std::string keyHelp() {
    HWND front = screenFrontWindow();
    Window* window = windowFind(front);
    if (!window) return "";
    std::string help;
    HWND bar = menuBarOf(front);
    MenuBarState* menu = menuBarFind(bar);
    if (menu && menu->openPopup >= 0) {
        add(help, "Up/Down move  Enter/letter choose  Esc close");
        return help;
    }
    if (menu) {
        for (size_t i = 0; i < menu->buttons.size() && i < 2; ++i)
            if (menu->buttons[i].enabled) add(help, "F" + std::to_string(i + 1) + " " + toUtf8(menu->buttons[i].label));
    }
    HWND focus = GetFocus();
    Window* focused = windowFind(focus);
    ControlState* state = controlFind(focus);
    if (focused && focused->parent == front && state) {
        add(help, "Tab move");
        switch (state->kind) {
        case ControlKind::CheckBox: add(help, "Space tick"); break;
        case ControlKind::Static:
            if (focused->style & SS_NOTIFY) add(help, "Space tap");
            break;
        case ControlKind::Picker: add(help, "0-9 type  Left/Right field  Up/Down change"); break;
        case ControlKind::PushButton: add(help, "Space press"); break;
        case ControlKind::Edit: break;
        }
    }
    const char* enter = (window->exStyle & WS_EX_CAPTIONOKBTN) ? "OK" : nullptr;
    const char* escape = "cancel";
    for (const WindowKeyHelp& keys : programWindows()) {
        if (keys.title == window->title) {
            enter = keys.enter;
            escape = keys.escape;
        }
    }
    if (enter && escape && std::string_view(enter) == escape) add(help, std::string("Enter/Esc ") + enter);
    else {
        if (enter) add(help, std::string("Enter ") + enter);
        if (escape) add(help, std::string("Esc ") + escape);
    }
    return help;
}

void keyHelpRegister(std::vector<WindowKeyHelp> windows) { programWindows() = std::move(windows); }

}  // namespace device
