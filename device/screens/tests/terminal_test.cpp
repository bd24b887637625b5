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
// in a 60 x 30 terminal of type `type`; the server is killed at the end.
class TmuxQuillex {
public:
    explicit TmuxQuillex(const std::string& deviceDir, const std::string& type = "screen-256color") {
        std::string pattern = (fs::temp_directory_path() / "quillex-tmux-XXXXXX").string();
        dir_ = mkdtemp(pattern.data()) ? pattern : "";
        socket_ = dir_ + "/socket";
        // The shell writes the program's exit status to a file when it ends: tmux's own
        // record of it (pane_dead_status) does not always arrive under load.
        std::string command = "env TERM=" + quoted(type) + " LANG=C.UTF-8 " + quoted(testing_support::quillexBinary()) +
                              " --device " + quoted(deviceDir) + "; echo $? > " + quoted(dir_ + "/status.new") +
                              " && mv " + quoted(dir_ + "/status.new") + " " + quoted(dir_ + "/status");
        tmux({"-f", "/dev/null", "new-session", "-d", "-s", "q", "-x", "60", "-y", "30", command});
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

TEST_F(TerminalScreenTest, UnknownTerminalTypeIsRefused) {
    TmuxQuillex terminal(device_.dir(), "no-such-terminal");
    std::string status;
    ASSERT_TRUE(terminal.waitForExitStatus(&status)) << terminal.screen();
    EXPECT_EQ("2", status);
}

}  // namespace
