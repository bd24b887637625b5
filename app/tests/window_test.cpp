// Window mode: one interactive instance per device, the main dialog opened once from the
// posted message, and the three ways a run ends, each with exit code 0.
#include "app/quillex.h"
#include "device/boot/device.h"
#include "device/kernel/journal.h"
#include "device/shell/shell.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/messages.h"
#include "device/windowing/queue.h"
#include "device/windowing/windows.h"
#include "res/resource.h"
#include "tests/support/scoped_device.h"
#include "ui/tests/dialog_steps.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>


namespace {

using dialog_steps::kInstance;

class WindowModeTest : public dialog_steps::ProgramTest {
protected:
    // Input that, once the main dialog is up, acts on it with `act`, then has no more.
    void whenDialogIsUp(std::function<void(HWND dialog)> act) {
        device::setInputSource([this, act, done = false]() mutable {
            if (done) return false;
            done = true;
            HWND dialog = GetForegroundWindow();
            dialogs.push_back(dialog);
            act(dialog);
            return true;
        });
    }

    std::vector<HWND> dialogs;
};

TEST_F(WindowModeTest, OkEndsTheDialogAndDestroysTheMainWindow) {
    whenDialogIsUp([](HWND dialog) {
        EXPECT_NE(nullptr, device::dialogFind(dialog));
        EXPECT_NE(nullptr, device::menuBarOf(dialog));
        EXPECT_TRUE(device::captionOk(dialog));
    });
    EXPECT_EQ(0, WinMain(kInstance, nullptr, const_cast<WCHAR*>(TEXT("")), SW_SHOW));
    EXPECT_EQ(1u, dialogs.size());  // opened once
    EXPECT_FALSE(IsWindow(mainWindow));
    EXPECT_EQ(u"\\Program Files\\Quillex", std::u16string(installDir));  // resolved on the way
}

TEST_F(WindowModeTest, ExitFromTheToolsMenuEndsLikeOk) {
    whenDialogIsUp([](HWND dialog) {
        HWND bar = device::menuBarOf(dialog);
        ASSERT_NE(nullptr, bar);
        EXPECT_TRUE(device::menuBarPress(bar, 1));
        EXPECT_TRUE(device::menuBarChoose(bar, u"Exit"));
    });
    EXPECT_EQ(0, runWindowMode(kInstance, SW_SHOW));
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(WindowModeTest, CancelDestroysTheMenuBarAndQuits) {
    whenDialogIsUp([](HWND) { EXPECT_TRUE(device::inputKey(VK_ESCAPE)); });
    EXPECT_EQ(0, runWindowMode(kInstance, SW_SHOW));
    EXPECT_FALSE(IsWindow(menuBar));
    EXPECT_TRUE(IsWindow(mainWindow));  // the quit request ended the loops; nothing destroyed it
}

TEST_F(WindowModeTest, EndOfInputEndsTheRunWithZero) {
    EXPECT_EQ(0, runWindowMode(kInstance, SW_SHOW));
}

TEST_F(WindowModeTest, MainWindowHasTheClassAndTitleOthersLookFor) {
    ASSERT_EQ(1, initInstance(kInstance, SW_SHOW));
    EXPECT_EQ(mainWindow, FindWindowW(TEXT("QUILLEX"), TEXT("Quillex")));
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    EXPECT_EQ(kInstance, appInstance);
}

// Another process of the same device shows a top-level window of `className` titled
// `title` until the returned pipe is written to or closed.
struct OtherProcess {
    pid_t pid;
    int release;
};

OtherProcess showWindowInAnotherProcess(const std::string& dir, const WCHAR* className, const WCHAR* title) {
    int ready[2], release[2];
    EXPECT_EQ(0, pipe(ready));
    EXPECT_EQ(0, pipe(release));
    device::close();  // the child must not share this process's store connection
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        close(release[1]);
        char answer = 'n';
        if (device::open(dir, nullptr)) {
            WNDCLASSW windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.lpszClassName = className;
            RegisterClassW(&windowClass);
            if (CreateWindowExW(0, className, title, WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr))
                answer = 'y';
        }
        if (write(ready[1], &answer, 1) != 1) _exit(1);
        char ignored;
        while (read(release[0], &ignored, 1) < 0) {
        }
        device::windowsReset();
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char answer = 0;
    EXPECT_EQ(1, read(ready[0], &answer, 1));
    EXPECT_EQ('y', answer);
    close(ready[0]);
    std::string error;
    EXPECT_TRUE(device::open(dir, &error)) << error;
    return {child, release[1]};
}

void endOtherProcess(const OtherProcess& other) {
    close(other.release);
    int status = 0;
    waitpid(other.pid, &status, 0);
}

TEST_F(WindowModeTest, SecondInstanceBringsTheFirstForwardAndEnds) {
    OtherProcess first = showWindowInAnotherProcess(device_.dir(), TEXT("QUILLEX"), TEXT("Quillex"));
    EXPECT_EQ(0, WinMain(kInstance, nullptr, const_cast<WCHAR*>(TEXT("")), SW_SHOW));
    // Nothing else happened: no window, no install directory read.
    EXPECT_EQ(nullptr, mainWindow);
    EXPECT_EQ(u"", std::u16string(installDir));
    int forward = 0;
    for (const device::JournalEvent& event : device::journalList()) forward += event.kind == "foreground";
    EXPECT_EQ(1, forward);
    endOtherProcess(first);
}

TEST_F(WindowModeTest, InstanceTestMatchesClassAndTitleTogether) {
    OtherProcess other = showWindowInAnotherProcess(device_.dir(), TEXT("NOTQUILLEX"), TEXT("Quillex"));
    EXPECT_EQ(1, initInstance(kInstance, SW_SHOW));
    EXPECT_NE(nullptr, mainWindow);
    endOtherProcess(other);
}

TEST_F(WindowModeTest, WindowOfAnEndedInstanceDoesNotCount) {
    OtherProcess ended = showWindowInAnotherProcess(device_.dir(), TEXT("QUILLEX"), TEXT("Quillex"));
    endOtherProcess(ended);
    EXPECT_EQ(1, initInstance(kInstance, SW_SHOW));
}

// The real program in window mode on the script screen, in a process of its own, with its
// standard input and output on pipes.
struct RunningProgram {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
};

RunningProgram startProgram(const std::string& dir) {
    int in[2], out[2];
    EXPECT_EQ(0, pipe(in));
    EXPECT_EQ(0, pipe(out));
    RunningProgram program;
    program.pid = fork();
    if (program.pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        std::string binary = testing_support::quillexBinary();
        execl(binary.c_str(), binary.c_str(), "--device", dir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    program.input = in[1];
    program.output = out[0];
    return program;
}

void send(const RunningProgram& program, const std::string& lines) {
    EXPECT_EQ(static_cast<ssize_t>(lines.size()), write(program.input, lines.data(), lines.size()));
}

// Reads what the program writes until a whole screen has come (its separator line and
// the 26 lines after it), giving up after 20 seconds. RETURNS what was read.
std::string readScreen(const RunningProgram& program) {
    std::string text;
    const std::string separator(40, '=');
    for (int waited = 0; waited < 200; ++waited) {
        size_t start = text.find(separator + "\n");
        if (start != std::string::npos &&
            std::count(text.begin() + static_cast<long>(start), text.end(), '\n') >= 27)
            return text;
        pollfd ready{program.output, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char chunk[4096];
        ssize_t got = read(program.output, chunk, sizeof chunk);
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    return text;
}

int finish(RunningProgram& program) {
    close(program.input);
    close(program.output);
    int status = 0;
    waitpid(program.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(WindowModeTest, SecondProgramEndsAtOnceAndTheFirstComesForwardAndRedraws) {
    RunningProgram first = startProgram(device_.dir());
    send(first, "dump\n");
    EXPECT_NE(std::string::npos, readScreen(first).find("Notifications:"));

    testing_support::RunResult second = testing_support::run(testing_support::quillexBinary(), {"--device", device_.dir()});
    EXPECT_EQ(0, second.exitCode);
    // It shows no screen of its own, and says why it ends.
    EXPECT_EQ("quillex: Quillex already runs on this device; it was brought forward\n", second.output);

    // Nothing changed on the first one's screen, yet it is written again once it next
    // waits for input: it was asked to come forward.
    send(first, "# nothing\n");
    std::string redrawn = readScreen(first);
    EXPECT_NE(std::string::npos, redrawn.find("Notifications:")) << redrawn;
    int forward = 0;
    for (const device::JournalEvent& event : device::journalList()) forward += event.kind == "foreground";
    EXPECT_EQ(1, forward);

    send(first, "ok\n");
    EXPECT_EQ(0, finish(first));
}

}  // namespace
