// Tests of the terminal screen through the built program in a terminal of tmux's: the main
// dialog, its Tools menu, About and Auto-start as a person sees them at the usual 80 x 24
// and larger, the keys that work them and end the program, too small a terminal, the
// terminals refused, NO_COLOR, and the full redraw a second start asks for. Skipped where
// tmux is missing.
#include "device/kernel/journal.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testing_support::run;

bool waitUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// The terminal a test runs the program in.
struct TerminalKind {
    std::string type = "screen-256color";
    std::string width = "60", height = "30";
    std::string environment;  // more NAME=VALUE words for env
};
TerminalKind sized(const char* width, const char* height) {
    TerminalKind kind;
    kind.width = width, kind.height = height;
    return kind;
}
TerminalKind typed(const char* type) {
    TerminalKind kind;
    kind.type = type;
    return kind;
}
TerminalKind withEnvironment(const char* environment) {
    TerminalKind kind;
    kind.environment = environment;
    return kind;
}

// A tmux server of its own (its socket in a fresh folder) running `quillex --device DIR`
// in a terminal of `kind`, its standard error to a file; the server is killed at the end.
class TmuxQuillex {
public:
    explicit TmuxQuillex(const std::string& deviceDir, const TerminalKind& kind = {}) {
        std::string pattern = (fs::temp_directory_path() / "quillex-tmux-XXXXXX").string();
        dir_ = mkdtemp(pattern.data()) ? pattern : "";
        socket_ = dir_ + "/socket";
        // The shell writes the program's exit status to a file when it ends: tmux's own
        // record of it (pane_dead_status) does not always arrive under load.
        std::string command = "env -u NO_COLOR TERM=" + quoted(kind.type) + " LANG=C.UTF-8 " + kind.environment + " " +
                              quoted(testing_support::quillexBinary()) + " --device " + quoted(deviceDir) + " 2> " +
                              quoted(dir_ + "/errors") + "; echo $? > " + quoted(dir_ + "/status.new") + " && mv " +
                              quoted(dir_ + "/status.new") + " " + quoted(dir_ + "/status");
        const std::string& width = kind.width;
        const std::string& height = kind.height;
        tmux({"-f", "/dev/null", "new-session", "-d", "-s", "q", "-x", width, "-y", height, command});
    }
    ~TmuxQuillex() {
        tmux({"kill-server"});
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"-S", socket_});
        return run("tmux", args).output;
    }
    std::string screen() { return tmux({"capture-pane", "-p", "-t", "q"}); }
    // The screen with its attributes and colours as escape sequences.
    std::string screenWithAttributes() { return tmux({"capture-pane", "-p", "-e", "-t", "q"}); }
    std::string errors() { return testing_support::ScopedDevice::readHostFile(dir_ + "/errors"); }
    void keys(std::vector<std::string> names) {
        names.insert(names.begin(), {"send-keys", "-t", "q"});
        tmux(names);
    }
    // The exit status of the program once it has ended, "" while it runs.
    std::string exitStatus() {
        std::string status = testing_support::ScopedDevice::readHostFile(dir_ + "/status");
        return status.substr(0, status.find('\n'));
    }

    // Wait, with a deadline, until the screen passes `check` or the program has ended.
    // RETURN whether it happened.
    bool waitForScreen(const std::function<bool(const std::string&)>& check) {
        return waitUntil([&] { return check(screen()); });
    }
    bool waitForExitStatus(std::string* status) {
        return waitUntil([&] { return !(*status = exitStatus()).empty(); });
    }

private:
    std::string dir_;
    std::string socket_;
};

bool shows(const std::string& screen, std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        if (screen.find(text) == std::string::npos) return false;
    return true;
}

class TerminalScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    }
    testing_support::ScopedDevice device_;
};

TEST_F(TerminalScreenTest, ToolsMenuOpensClosesAndExitEndsTheProgram) {
    TmuxQuillex terminal(device_.dir());
    // At 60 x 30 the key help has a row below the screen.
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return shows(s, {"Quillex", "[OK]", "Notifications:", "Temp files:", "Cleanup", "Tools",
                         "F1 Cleanup  F2 Tools  Tab move  Space tick  Enter/Esc quit"});
    })) << terminal.screen();

    terminal.keys({"F2"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return shows(s, {"About", "Automatic Start", "Export Log", "Exit", "Tools"});
    })) << terminal.screen();

    terminal.keys({"Escape"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return !shows(s, {"Automatic Start"}) && shows(s, {"Notifications:", "Tools"});
    })) << terminal.screen();

    // Up from the first item wraps round to Exit.
    terminal.keys({"F2"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Export Log"}); }));
    terminal.keys({"Up", "Enter"});
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("0", status);
}

// Text written to the terminal behind the program's back stays until the program draws
// the whole screen afresh, which a second start asking the first to come forward makes it do.
TEST_F(TerminalScreenTest, ForegroundRequestRedrawsTheWholeScreen) {
    TmuxQuillex terminal(device_.dir());
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Notifications:", "Tools"}); }))
        << terminal.screen();

    std::string tty = terminal.tmux({"display-message", "-p", "-t", "q", "#{pane_tty}"});
    tty.erase(tty.find_last_not_of("\n") + 1);
    {
        std::ofstream pane(tty, std::ios::binary);
        // Saves the cursor, writes into a blank row of the dialog, puts the cursor back.
        pane << "\0337\033[6;14HSCRIBBLED\0338" << std::flush;
    }
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"SCRIBBLED"}); }))
        << terminal.screen();
    // Drawing what changed leaves it.
    terminal.keys({"F2"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Automatic Start"}); }));
    terminal.keys({"Escape"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return !shows(s, {"Automatic Start"}); }));
    EXPECT_TRUE(shows(terminal.screen(), {"SCRIBBLED"})) << terminal.screen();

    testing_support::RunResult second = run(testing_support::quillexBinary(), {"--device", device_.dir()});
    EXPECT_EQ(0, second.exitCode) << second.output;
    EXPECT_EQ("quillex: Quillex already runs on this device; it was brought forward\n", second.output);
    EXPECT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return !shows(s, {"SCRIBBLED"}) && shows(s, {"Notifications:", "Tools"});
    })) << terminal.screen();
    bool requested = false;
    for (const device::JournalEvent& event : device::journalList())
        requested |= event.kind == "foreground" && event.arguments == "Quillex";
    EXPECT_TRUE(requested);

    terminal.keys({"Escape"});  // Cancel ends the program too
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("0", status);
}

// Too small a terminal shows only the notice, and keys do nothing to the dialog it hides:
// Tab, Space and F1 would tick the temporary files and clean them.
TEST_F(TerminalScreenTest, KeysAreIgnoredWhileTheTerminalIsTooSmall) {
    device_.writeText("\\Temp\\a.txt", "keep me");
    TmuxQuillex terminal(device_.dir(), sized("40", "20"));
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"needs a terminal of 53", "this one is 40 x 20"}); }))
        << terminal.screen();
    terminal.keys({"Tab", "Space", "F1"});
    terminal.tmux({"resize-window", "-t", "q", "-x", "60", "-y", "30"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Notifications:", "Tools"}); }))
        << terminal.screen();
    std::string screen = terminal.screen();
    EXPECT_EQ(std::string::npos, screen.find("[x]")) << screen;
    EXPECT_TRUE(device_.exists("\\Temp\\a.txt"));
    terminal.keys({"Escape"});
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("0", status);
    EXPECT_TRUE(device_.exists("\\Temp\\a.txt"));
}

// The notice says how to quit, and each of those keys does, touching nothing.
TEST_F(TerminalScreenTest, EachKeyTheTooSmallNoticeNamesQuits) {
    device_.writeText("\\Temp\\a.txt", "keep me");
    for (const char* key : {"q", "Escape", "C-c"}) {
        SCOPED_TRACE(key);
        TmuxQuillex terminal(device_.dir(), sized("52", "24"));
        ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
            return shows(s, {"needs a terminal of 53 x 24", "this one is 52 x 24", "q, Escape or Ctrl+C to quit"});
        })) << terminal.screen();
        terminal.keys({key});
        std::string status;
        ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
        EXPECT_EQ("0", status);
        EXPECT_TRUE(device_.exists("\\Temp\\a.txt"));
    }
}

// At 80 x 24, the terminal most people have, the whole device screen shows (its title bar
// on the first row, its soft keys on the last) with the key help beside it, and the main
// dialog, the Tools menu, About and Auto-start are worked from the keyboard alone. In the
// Auto-start dialog Tab reaches the weekday cells, Space selects them and Enter saves them.
TEST_F(TerminalScreenTest, EveryWindowIsUsableByKeyboardAt80x24) {
    TmuxQuillex terminal(device_.dir(), sized("80", "24"));
    struct Step {
        std::vector<std::string> keys;
        std::vector<const char*> shown;
        bool softKeys;  // the main dialog's, on the last row
    } steps[] = {
        {{}, {"F1 Cleanup", "F2 Tools", "Tab move", "Space tick", "Enter/Esc quit", "Notifications:"}, true},
        {{"F2"}, {">About", "Up/Down move", "Enter/letter choose", "Esc close"}, true},
        {{"Enter"}, {"About Quillex", "Quillex v1.07", "Enter close"}, false},
        {{"Enter"}, {"F1 Cleanup", "Notifications:"}, true},
        {{"F2", "Down"}, {">Automatic Start"}, true},
        {{"Enter"}, {"On:", "At:", "Tab move", "0-9 type", "Left/Right field", "Up/Down change", "Enter save"}, false},
        // From the picker: six boxes, then Monday; two more, Wednesday.
        {{"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab"}, {">M ", "Space tap"}, false},
        {{"Space", "Tab", "Tab", "Space"}, {"[M] T >W]"}, false},
        {{"Enter"}, {"F1 Cleanup", "Notifications:"}, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.shown.front());
        terminal.keys(step.keys);
        ASSERT_TRUE(terminal.waitForScreen([&](const std::string& s) {
            for (const char* text : step.shown)
                if (s.find(text) == std::string::npos) return false;
            return true;
        })) << terminal.screen();
        // The title bar on the first row; the soft keys on the last.
        std::string screen = terminal.screen();
        EXPECT_NE(std::string::npos, screen.substr(0, screen.find('\n')).find("[OK]")) << screen;
        std::string last = screen.substr(screen.rfind('\n', screen.size() - 2) + 1);
        EXPECT_EQ(step.softKeys, shows(last, {"Cleanup", "Tools"})) << screen;
    }
    EXPECT_EQ(std::string::npos, terminal.screen().find("needs a terminal"));
    terminal.keys({"Escape"});
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("0", status);

    testing_support::RunResult stored =
        run(testing_support::deviceToolBinary(), {"--device", device_.dir(), "reg", "export", "HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex"});
    EXPECT_NE(std::string::npos, stored.output.find("\"startDays\"=dword:0000000a")) << stored.output;
}

// A terminal that cannot be drawn on is refused, pointing at the script screen.
TEST_F(TerminalScreenTest, TerminalsThatCannotBeDrawnOnAreRefused) {
    for (const char* type : {"no-such-terminal", "dumb"}) {
        SCOPED_TRACE(type);
        TmuxQuillex terminal(device_.dir(), typed(type));
        std::string status;
        ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
        EXPECT_EQ("2", status);
        EXPECT_NE(std::string::npos, terminal.errors().find(type)) << terminal.errors();
        EXPECT_NE(std::string::npos, terminal.errors().find("--screen script")) << terminal.errors();
    }
}

// The colours of the SGR sequences in `screen` (30-38, 40-48, 90-97, 100-107), and
// whether any turns reverse video on.
void attributesIn(const std::string& screen, bool* colours, bool* reverse) {
    *colours = *reverse = false;
    for (size_t at = screen.find("\033["); at != std::string::npos; at = screen.find("\033[", at + 2)) {
        size_t end = screen.find_first_not_of("0123456789;", at + 2);
        if (end == std::string::npos || screen[end] != 'm') continue;
        std::string parameters = screen.substr(at + 2, end - at - 2) + ";";
        for (size_t from = 0, semicolon; (semicolon = parameters.find(';', from)) != std::string::npos; from = semicolon + 1) {
            int value = std::atoi(parameters.substr(from, semicolon - from).c_str());
            *reverse |= value == 7;
            *colours |= (value >= 30 && value <= 38) || (value >= 40 && value <= 48) || (value >= 90 && value <= 97) ||
                        (value >= 100 && value <= 107);
            if (value == 38 || value == 48) break;  // the rest of the list is the colour's numbers
        }
    }
}

// NO_COLOR set to anything but "" draws without colour: the title bar, the focus and
// the soft keys in reverse video alone.
TEST_F(TerminalScreenTest, NoColorDrawsInReverseVideoOnly) {
    struct Case {
        const char* environment;
        bool colours;
    } cases[] = {{"", true}, {"NO_COLOR=", true}, {"NO_COLOR=1", false}, {"NO_COLOR=yes", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment);
        TmuxQuillex terminal(device_.dir(), withEnvironment(c.environment));
        ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Notifications:", "Tools"}); }))
            << terminal.screen();
        bool colours = false, reverse = false;
        attributesIn(terminal.screenWithAttributes(), &colours, &reverse);
        EXPECT_EQ(c.colours, colours);
        EXPECT_TRUE(reverse || c.colours);
        terminal.keys({"Escape"});
        std::string status;
        ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
        EXPECT_EQ("0", status);
    }
}

}  // namespace
