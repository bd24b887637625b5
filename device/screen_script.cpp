// The script screen: window mode driven by lines of text, with the device screen written
// back as plain text. Events go through the window system's own input paths (taps, keys,
// soft keys, the title bar's OK), exactly as a person's would on the device.
#include "device/screen.h"

#include "device/dialogs.h"
#include "device/utf.h"
#include "device/windows.h"

#include <algorithm>
#include <charconv>
#include <istream>
#include <memory>
#include <ostream>

namespace device {
namespace {

using Grid = std::vector<std::u16string>;

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view trim(std::string_view text) {
    size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return {};
    size_t end = text.find_last_not_of(kBlanks);
    return text.substr(begin, end - begin + 1);
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

struct KeyName {
    std::string_view name;
    int key;
};
constexpr KeyName kKeys[] = {{"escape", VK_ESCAPE}, {"enter", VK_RETURN}, {"tab", VK_TAB}, {"space", VK_SPACE},
                             {"up", VK_UP},         {"down", VK_DOWN},    {"left", VK_LEFT}, {"right", VK_RIGHT}};

ScriptEvent invalid(std::string error) {
    ScriptEvent event;
    event.action = ScriptAction::Invalid;
    event.error = std::move(error);
    return event;
}

ScriptEvent parsed(ScriptAction action, int number = 0, std::u16string text = {}) {
    ScriptEvent event;
    event.action = action;
    event.number = number;
    event.text = std::move(text);
    return event;
}

// The topmost visible top-level window of this process.
HWND frontWindow() {
    std::vector<HWND> order = windowsInZOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (IsWindowVisible(*it)) return *it;
    return nullptr;
}

// Writes `text` from (row, column) on, dropping what falls outside [0, limit).
void put(Grid& grid, int row, int column, std::u16string_view text, int limit = kScreenColumns) {
    if (row < 0 || row >= kScreenRows) return;
    limit = std::min(limit, kScreenColumns);
    for (size_t i = 0; i < text.size(); ++i) {
        int at = column + static_cast<int>(i);
        if (at >= 0 && at < limit) grid[row][at] = text[i];
    }
}

void clear(Grid& grid, int row, int column, int rows, int columns) {
    for (int r = row; r < row + rows; ++r) put(grid, r, column, std::u16string(std::max(columns, 0), u' '));
}

// '&' marks the next letter as the mnemonic and is not shown; "&&" shows one '&'.
std::u16string withoutMnemonics(std::u16string_view text) {
    std::u16string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

std::u16string staticText(const Window& window, int width, int* shift) {
    DWORD type = window.style & SS_TYPEMASK;
    if (type == SS_ICON) return u"[icon]";
    if (type == SS_BITMAP) return u"[bitmap]";
    std::u16string text = (window.style & SS_NOPREFIX) ? window.title : withoutMnemonics(window.title);
    int room = std::max(width - static_cast<int>(text.size()), 0);
    if (type == SS_CENTER) *shift = room / 2;
    if (type == SS_RIGHT) *shift = room;
    return text;
}

// Draws a control of a dialog whose client area starts at (originRow, originColumn).
void drawControl(Grid& grid, HWND control, int originRow, int originColumn, int limit) {
    Window* window = windowFind(control);
    ControlState* state = controlFind(control);
    if (!window || !state || !(window->style & WS_VISIBLE)) return;
    const RECT& units = state->units;
    if (units.right <= units.left || units.bottom <= units.top) return;  // not placed by a template
    int height = units.bottom - units.top;
    // A static's first line sits at its top; the other controls centre their one line.
    int middle = units.top + (state->kind == ControlKind::Static ? std::min(height, kUnitsPerRow) : height) / 2;
    int row = originRow + middle / kUnitsPerRow;
    int column = originColumn + units.left / kUnitsPerColumn;
    int shift = 0;
    std::u16string text;
    switch (state->kind) {
    case ControlKind::Static:
        text = staticText(*window, (units.right - units.left) / kUnitsPerColumn, &shift);
        break;
    case ControlKind::CheckBox: {
        std::u16string label = withoutMnemonics(window->title);
        text = state->checked == BST_CHECKED ? u"[x]" : u"[ ]";
        if (!label.empty()) text += u" " + label;
        break;
    }
    case ControlKind::PushButton: text = u"<" + withoutMnemonics(window->title) + u">"; break;
    case ControlKind::Edit: text = window->title; break;
    case ControlKind::Picker: text = pickerText(control); break;
    }
    put(grid, row, column + shift, text, limit);
}

// A dialog's client area, framed unless the shell made it full-screen, and its controls.
void drawDialog(Grid& grid, HWND dialog) {
    Window* window = windowFind(dialog);
    DialogState* state = dialogFind(dialog);
    if (!window || !state || !(window->style & WS_VISIBLE)) return;
    const RECT& rect = window->rect;
    int row = 1 + std::max(static_cast<int>(rect.top) - kTitleBarHeight, 0) / kPixelsPerRow;
    int column = rect.left / kPixelsPerColumn;
    int rows = (rect.bottom - rect.top) / kPixelsPerRow;
    int columns = (rect.right - rect.left) / kPixelsPerColumn;
    if (!state->fullScreen) {
        std::u16string edge = u"+" + std::u16string(std::max(columns, 0), u'-') + u"+";
        put(grid, row - 1, column - 1, edge);
        put(grid, row + rows, column - 1, edge);
        for (int r = row; r < row + rows; ++r) {
            put(grid, r, column - 1, u"|");
            put(grid, r, column + columns, u"|");
        }
    }
    clear(grid, row, column, rows, columns);
    std::vector<HWND> children = window->children;
    for (HWND child : children) drawControl(grid, child, row, column, column + columns);
}

std::u16string buttonLabel(const MenuBarButton& button) {
    std::u16string label = withoutMnemonics(button.label);
    return button.enabled ? label : u"(" + label + u")";
}

std::u16string itemText(const MenuItemLayout& item) {
    std::u16string text = withoutMnemonics(item.text);
    std::replace(text.begin(), text.end(), u'\t', u' ');
    if (item.flags & kMenuPopup) text += u" >";
    if (item.flags & (kMenuGrayed | kMenuDisabled)) text = u"(" + text + u")";
    return text;
}

// The soft keys across the last row, the left one at the left edge and the last one at
// the right edge, and the open pop-up in a box above its key.
void drawMenuBar(Grid& grid, HWND bar) {
    MenuBarState* state = menuBarFind(bar);
    if (!state || state->buttons.empty()) return;
    const int last = kScreenRows - 1;
    int count = static_cast<int>(state->buttons.size());
    std::vector<int> columns;
    for (int i = 0; i < count; ++i) {
        std::u16string label = buttonLabel(state->buttons[i]);
        int column = i * kScreenColumns / count;
        if (i == count - 1 && count > 1) column = kScreenColumns - static_cast<int>(label.size());
        columns.push_back(column);
        put(grid, last, column, label);
    }
    if (state->openPopup < 0 || state->openPopup >= count) return;
    const std::vector<MenuItemLayout>& items = state->buttons[state->openPopup].popup;
    size_t width = 0;
    for (const MenuItemLayout& item : items) width = std::max(width, itemText(item).size());
    int boxWidth = static_cast<int>(width) + 2;
    int left = std::min(columns[state->openPopup], kScreenColumns - boxWidth);
    if (state->openPopup == count - 1 && count > 1) left = kScreenColumns - boxWidth;
    int top = last - 2 - static_cast<int>(items.size());
    std::u16string edge = u"+" + std::u16string(width, u'-') + u"+";
    put(grid, top, left, edge);
    for (size_t i = 0; i < items.size(); ++i) {
        std::u16string text = items[i].isSeparator() ? std::u16string(width, u'-') : itemText(items[i]);
        text.resize(width, u' ');
        put(grid, top + 1 + static_cast<int>(i), left, u"|" + text + u"|");
    }
    put(grid, last - 1, left, edge);
}

void drawTitleBar(Grid& grid, HWND front) {
    Window* window = windowFind(front);
    std::u16string right;
    if (cursorIsWait()) right = u"[busy]";
    if (window && (window->exStyle & WS_EX_CAPTIONOKBTN)) right += right.empty() ? u"[OK]" : u" [OK]";
    int rightColumn = kScreenColumns - static_cast<int>(right.size());
    if (window) put(grid, 0, 0, window->title, rightColumn - 1);
    put(grid, 0, rightColumn, right);
}

}  // namespace

ScriptEvent scriptParse(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() == '#') return {};
    size_t space = line.find_first_of(kBlanks);
    std::string command = lowered(line.substr(0, space));
    std::string_view rest = space == std::string_view::npos ? std::string_view{} : trim(line.substr(space));
    if (command == "tap") {
        int id = 0;
        auto [end, failure] = std::from_chars(rest.data(), rest.data() + rest.size(), id);
        if (rest.empty() || failure != std::errc{} || end != rest.data() + rest.size())
            return invalid("tap needs a control id");
        return parsed(ScriptAction::Tap, id);
    }
    if (command == "softkey") {
        std::string side = lowered(rest);
        if (side == "left") return parsed(ScriptAction::SoftKey, 0);
        if (side == "right") return parsed(ScriptAction::SoftKey, 1);
        return invalid("softkey takes left or right");
    }
    if (command == "menu") {
        if (rest.empty()) return invalid("menu needs the text of an item");
        return parsed(ScriptAction::Menu, 0, toUtf16(rest));
    }
    if (command == "key") {
        std::string name = lowered(rest);
        for (const KeyName& key : kKeys)
            if (name == key.name) return parsed(ScriptAction::Key, key.key);
        if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return parsed(ScriptAction::Key, name[0]);
        return invalid("unknown key \"" + std::string(rest) + "\"");
    }
    if (command == "ok" || command == "dump") {
        if (!rest.empty()) return invalid(command + " takes nothing after it");
        return parsed(command == "ok" ? ScriptAction::Ok : ScriptAction::Dump);
    }
    return invalid("unknown command \"" + command + "\"");
}

bool scriptPerform(const ScriptEvent& event, std::ostream& out, std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    HWND front = frontWindow();
    HWND bar = front ? menuBarOf(front) : nullptr;
    switch (event.action) {
    case ScriptAction::Nothing: return true;
    case ScriptAction::Invalid: return fail(event.error);
    case ScriptAction::Dump:
        out << screenText() << std::flush;
        return true;
    case ScriptAction::Tap: {
        HWND control = front ? GetDlgItem(front, event.number) : nullptr;
        if (!control) return fail("no control " + std::to_string(event.number) + " in the front window");
        if (!controlTap(control)) return fail("control " + std::to_string(event.number) + " cannot be tapped now");
        return true;
    }
    case ScriptAction::SoftKey:
        if (!bar) return fail("the front window has no soft keys");
        if (!menuBarPress(bar, event.number)) return fail("that soft key cannot be pressed now");
        return true;
    case ScriptAction::Menu:
        if (!bar || !menuBarChoose(bar, event.text))
            return fail("no item \"" + toUtf8(event.text) + "\" in an open pop-up menu");
        return true;
    case ScriptAction::Key:
        if (!inputKey(static_cast<WORD>(event.number))) return fail("no window takes keys");
        return true;
    case ScriptAction::Ok:
        if (!front || !captionOk(front)) return fail("the front window has no OK button");
        return true;
    }
    return true;
}

std::vector<std::string> screenLines() {
    std::vector<HWND> order = windowsInZOrder();
    // What needs painting is painted first, so the program has had its say in what shows.
    for (HWND window : order) paintTree(window);
    order = windowsInZOrder();
    Grid grid(kScreenRows, std::u16string(kScreenColumns, u' '));
    for (HWND window : order) drawDialog(grid, window);
    HWND front = frontWindow();
    drawTitleBar(grid, front);
    if (HWND bar = front ? menuBarOf(front) : nullptr) drawMenuBar(grid, bar);
    std::vector<std::string> lines;
    for (const std::u16string& row : grid) {
        size_t end = row.find_last_not_of(u' ');
        lines.push_back(toUtf8(std::u16string_view(row).substr(0, end == std::u16string::npos ? 0 : end + 1)));
    }
    return lines;
}

namespace {
std::string textOf(const std::vector<std::string>& lines) {
    std::string text(kScreenColumns, '=');
    text += '\n';
    for (const std::string& line : lines) text += line + '\n';
    return text;
}
}  // namespace

std::string screenText() { return textOf(screenLines()); }

void scriptScreenStart(std::istream& in, std::ostream& out, std::ostream& errors) {
    struct Script {
        std::istream* in = nullptr;
        std::ostream* out = nullptr;
        std::ostream* errors = nullptr;
        std::vector<std::string> shown;  // the screen when input was last read
        bool started = false;
        bool forward = false;  // asked to come forward: the screen redraws
        int lineNumber = 0;
    };
    auto script = std::make_shared<Script>();
    script->in = &in;
    script->out = &out;
    script->errors = &errors;
    setForegroundHook([script](HWND) { script->forward = true; });
    setInputSource([script] {
        // The first screen is the one the script starts from; `dump` shows it.
        std::vector<std::string> lines = screenLines();
        if (script->started && (script->forward || lines != script->shown))
            *script->out << textOf(lines) << std::flush;
        script->shown = std::move(lines);
        script->started = true;
        script->forward = false;

        std::string line;
        if (!std::getline(*script->in, line)) return false;
        ++script->lineNumber;
        std::string error;
        if (!scriptPerform(scriptParse(line), *script->out, &error))
            *script->errors << "quillex: input line " << script->lineNumber << ": " << error << std::endl;
        return true;
    });
}

}  // namespace device
