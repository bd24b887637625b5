// The script screen: window mode driven by lines of text, with the device screen written
// back as plain text. Events go through the window system's own input paths (taps, keys,
// soft keys, the title bar's OK), exactly as a person's would on the device.
#include "device/screens/screen.h"

#include "device/core/utf.h"
#include "device/screens/render.h"
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
        if (!screenPicture(screenRender(), toUtf8(event.text), &why)) return fail(why);
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
    case ScriptAction::Key:
        if (!inputKey(static_cast<WORD>(event.number))) return fail("no window takes keys");
        return true;
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
int skippedLines = 0;

}  // namespace

std::vector<std::string> screenLines() { return linesOf(screenRender()); }

int scriptScreenSkippedLines() { return skippedLines; }

std::string screenText() { return textOf(screenLines()); }

void scriptScreenStart(std::istream& in, std::ostream& out, std::ostream& errors) {
    struct Script {
        std::istream* in = nullptr;
        std::ostream* out = nullptr;
        std::ostream* errors = nullptr;
        ScreenGrid shown;  // the screen when input was last read
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
        // The first screen is the one the script starts from; `dump` shows it. Any change
        // writes the screen, one that only colours show included.
        ScreenGrid grid = screenRender();
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
            ++skippedLines;
            *script->errors << "quillex: input line " << script->lineNumber << ": " << error << std::endl;
        }
        return true;
    });
}

}  // namespace device
