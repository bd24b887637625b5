// The script screen: window mode driven by lines of text, with the device screen written
// back as plain text. Events go through the window system's own input paths (taps, keys,
// soft keys, the title bar's OK), exactly as a person's would on the device; keys go the
// terminal screen's way, so that a script and a person at a terminal see the same.
#include "device/screens/screen.h"

#include "device/core/utf.h"
#include "device/screens/input.h"
#include "device/screens/render.h"
#include "device/screens/view.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/windows.h"
#include "device/windowing/messages.h"
#include "device/windowing/queue.h"
#include "device/shell/shell.h"

#include <charconv>
#include <istream>
#include <memory>
#include <ostream>

namespace device {
namespace {

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

// A terminal size such as "80x24": at least one cell, and no more than a picture can hold.
bool parseSize(std::string_view text, int* columns, int* rows) {
    constexpr int kMost = 1000;
    size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    auto number = [](std::string_view digits, int* value) {
        auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
        return !digits.empty() && failure == std::errc{} && end == digits.data() + digits.size() && *value >= 1 &&
               *value <= kMost;
    };
    return number(text.substr(0, x), columns) && number(text.substr(x + 1), rows);
}

// The keys of a script line as the terminal screen's input takes them.
ScreenKey screenKeyOf(int virtualKey, char32_t* character) {
    *character = 0;
    switch (virtualKey) {
    case VK_ESCAPE: return ScreenKey::Escape;
    case VK_RETURN: return ScreenKey::Enter;
    case VK_TAB: return ScreenKey::Tab;
    case VK_UP: return ScreenKey::Up;
    case VK_DOWN: return ScreenKey::Down;
    case VK_LEFT: return ScreenKey::Left;
    case VK_RIGHT: return ScreenKey::Right;
    }
    *character = virtualKey == VK_SPACE ? U' ' : static_cast<char32_t>(virtualKey);  // a digit's key is the digit
    return ScreenKey::Character;
}

// The script screen's keyboard: it keeps the open menu's highlight, which the screen shows.
ScreenInput& scriptInput() {
    static ScreenInput input;
    return input;
}

ScreenGrid scriptRender() {
    RenderOptions options;
    options.popupHighlight = scriptInput().highlight();
    return screenRender(options);
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
    if (command == "picture") {
        if (rest.empty()) return invalid("picture needs the name of a PNG file to write");
        return parsed(ScriptAction::Picture, 0, toUtf16(rest));
    }
    if (command == "terminal-picture") {
        size_t blank = rest.find_first_of(kBlanks);
        int columns = 0, rows = 0;
        if (!parseSize(rest.substr(0, blank), &columns, &rows) || blank == std::string_view::npos)
            return invalid("terminal-picture needs a size such as 80x24, then the name of a PNG file to write");
        ScriptEvent event = parsed(ScriptAction::TerminalPicture, columns, toUtf16(trim(rest.substr(blank))));
        event.rows = rows;
        return event;
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
    HWND front = screenFrontWindow();
    HWND bar = front ? menuBarOf(front) : nullptr;
    switch (event.action) {
    case ScriptAction::Nothing: return true;
    case ScriptAction::Invalid: return fail(event.error);
    case ScriptAction::Dump:
        out << screenText() << std::flush;
        return true;
    case ScriptAction::Picture: {
        std::string why;
        if (!screenPicture(scriptRender(), toUtf8(event.text), &why)) return fail(why);
        return true;
    }
    case ScriptAction::TerminalPicture: {
        std::string why;
        TerminalView view = terminalView(scriptRender(), keyHelp(), event.rows, event.number);
        if (!terminalPicture(view, toUtf8(event.text), &why)) return fail(why);
        return true;
    }
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
    case ScriptAction::Key: {
        char32_t character = 0;
        ScreenKey key = screenKeyOf(event.number, &character);
        bool menuOpen = scriptInput().highlight() >= 0;
        if (!scriptInput().key(key, character))
            return fail(menuOpen ? "the open pop-up menu takes Up, Down, Enter and Escape" : "no window takes keys");
        return true;
    }
    case ScriptAction::Ok:
        if (!front || !captionOk(front)) return fail("the front window has no OK button");
        return true;
    }
    return true;
}

namespace {
std::vector<std::string> linesOf(const ScreenGrid& grid) {
    std::vector<std::string> lines;
    for (int r = 0; r < kScreenRows; ++r) {
        std::u16string row;
        for (int c = 0; c < kScreenColumns; ++c) row += grid.at(r, c).character;
        size_t end = row.find_last_not_of(u' ');
        lines.push_back(toUtf8(std::u16string_view(row).substr(0, end == std::u16string::npos ? 0 : end + 1)));
    }
    return lines;
}

std::string textOf(const std::vector<std::string>& lines) {
    std::string text(kScreenColumns, '=');
    text += '\n';
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

// The script screen while it runs. The window system keeps its input source for as long
// as it likes, so the source shares this with scriptScreenFinish.
struct Script {
    std::istream* in = nullptr;
    std::ostream* out = nullptr;
    std::ostream* errors = nullptr;
    std::string speaker;  // before each message: the host program's name
    ScreenGrid shown;  // the screen when input was last read
    bool started = false;
    bool forward = false;  // asked to come forward: the screen redraws
    int lineNumber = 0;
    int skipped = 0;  // lines reported and skipped
};
std::shared_ptr<Script> running;

bool isEvent(const std::string& line) { return scriptParse(line).action != ScriptAction::Nothing; }

}  // namespace

std::vector<std::string> screenLines() { return linesOf(scriptRender()); }

std::string screenText() { return textOf(screenLines()); }

void scriptScreenStart(std::istream& in, std::ostream& out, std::ostream& errors, const std::string& speaker) {
    auto script = std::make_shared<Script>();
    script->in = &in;
    script->out = &out;
    script->errors = &errors;
    script->speaker = speaker;
    running = script;
    scriptInput() = ScreenInput{};
    setForegroundHook([script](HWND) { script->forward = true; });
    setInputSource([script] {
        // The first screen is the one the script starts from; `dump` shows it. Any change
        // writes the screen, one that only colours show included.
        ScreenGrid grid = scriptRender();
        if (script->started && (script->forward || !(grid == script->shown)))
            *script->out << textOf(linesOf(grid)) << std::flush;
        script->shown = std::move(grid);
        script->started = true;
        script->forward = false;

        std::string line;
        if (!std::getline(*script->in, line)) return false;
        ++script->lineNumber;
        std::string error;
        if (!scriptPerform(scriptParse(line), *script->out, &error)) {
            ++script->skipped;
            *script->errors << script->speaker << "input line " << script->lineNumber << ": " << error << std::endl;
        }
        return true;
    });
}

bool scriptScreenFinish(bool readRest) {
    std::shared_ptr<Script> script = std::move(running);
    if (!script) return true;
    int unused = 0, first = 0;
    std::string line;
    for (int number = script->lineNumber + 1; readRest && std::getline(*script->in, line); ++number) {
        if (!isEvent(line)) continue;
        if (unused++ == 0) first = number;
    }
    if (unused == 1) *script->errors << script->speaker << "1 line not used (line " << first << "): the program had ended\n";
    if (unused > 1)
        *script->errors << script->speaker << unused << " lines not used (from line " << first << " on): the program had ended\n";
    script->errors->flush();
    return script->skipped == 0 && unused == 0;
}

}  // namespace device
