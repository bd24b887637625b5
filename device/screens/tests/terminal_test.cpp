// Tests of the terminal screen through the built program in a terminal of tmux's: the main
// dialog and its Tools menu as a person sees them, the keys that work them and end the
// program, and the full redraw a second start asks for. Skipped where tmux is missing.
#include "device/kernel/journal.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

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

// A tmux server of its own (its socket in a fresh folder) running `quillex --device DIR`
// in a terminal of type `type`, 60 x 30 unless told; the server is killed at the end.
class TmuxQuillex {
public:
    explicit TmuxQuillex(const std::string& deviceDir, const std::string& type = "screen-256color",
                         const std::string& width = "60", const std::string& height = "30") {
        std::string pattern = (fs::temp_directory_path() / "quillex-tmux-XXXXXX").string();
        dir_ = mkdtemp(pattern.data()) ? pattern : "";
        socket_ = dir_ + "/socket";
        // The shell writes the program's exit status to a file when it ends: tmux's own
        // record of it (pane_dead_status) does not always arrive under load.
        std::string command = "env TERM=" + quoted(type) + " LANG=C.UTF-8 " + quoted(testing_support::quillexBinary()) +
                              " --device " + quoted(deviceDir) + "; echo $? > " + quoted(dir_ + "/status.new") +
                              " && mv " + quoted(dir_ + "/status.new") + " " + quoted(dir_ + "/status");
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
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return shows(s, {"Quillex", "[OK]", "Notifications:", "Temp files:", "Cleanup", "Tools"});
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
    TmuxQuillex terminal(device_.dir(), "screen-256color", "40", "20");
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

// The key help says what the keys do in the window in front; in the Auto-start dialog Tab
// reaches the weekday cells, Space selects them and Enter saves them.
TEST_F(TerminalScreenTest, KeyHelpFollowsTheWindowAndWeekdaysAreChosenFromTheKeyboard) {
    TmuxQuillex terminal(device_.dir());
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return shows(s, {"F1 Cleanup  F2 Tools  Tab move  Space tick  Enter/Esc quit"});
    })) << terminal.screen();

    terminal.keys({"F2"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Up/Down move  Enter/letter choose  Esc close"}); }))
        << terminal.screen();
    terminal.keys({"Down", "Enter"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) {
        return shows(s, {"On:", "At:", "Tab move", "0-9 type", "Enter save"});
    })) << terminal.screen();
    EXPECT_EQ(std::string::npos, terminal.screen().find("Esc")) << terminal.screen();

    // From the picker: six boxes, then Monday; two more, Wednesday.
    terminal.keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {">M ", "Space tap"}); }))
        << terminal.screen();
    terminal.keys({"Space", "Tab", "Tab", "Space"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"[M] T >W]"}); }))
        << terminal.screen();
    terminal.keys({"Enter"});
    ASSERT_TRUE(terminal.waitForScreen([](const std::string& s) { return shows(s, {"Notifications:", "F1 Cleanup"}); }))
        << terminal.screen();
    terminal.keys({"Escape"});
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("0", status);

    testing_support::RunResult stored =
        run(testing_support::deviceToolBinary(), {"--device", device_.dir(), "reg", "export", "HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex"});
    EXPECT_NE(std::string::npos, stored.output.find("\"startDays\"=dword:0000000a")) << stored.output;
}

TEST_F(TerminalScreenTest, UnknownTerminalTypeIsRefused) {
    TmuxQuillex terminal(device_.dir(), "no-such-terminal");
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("2", status);
}

}  // namespace
