// Tests of the window system: message sequences recorded by a window procedure and compared
// with the expected ones, posted against sent order, the quit request ending nested modal
// loops, the destruction cascade, and FindWindowW / SetForegroundWindow across processes.
#include "device/windowing/windows.h"

#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/kernel/journal.h"
#include "device/windowing/messages.h"
#include "device/windowing/queue.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::ScopedDevice;

namespace {

// ---------------------------------------------------------------- recorded sequences

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
// What a window does with a message instead of DefWindowProcW.
std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM)>> reactions;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({window, message, wParam, lParam});
    auto reaction = reactions.find(message);
    if (reaction != reactions.end()) return reaction->second(window, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr int kAnyWindow = 1, kWParam = 2, kLParam = 4;
struct Expected {
    UINT message;
    int check = 0;
    HWND window = nullptr;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

std::string describe(const std::vector<Seen>& messages) {
    std::ostringstream text;
    for (const Seen& m : messages) text << std::hex << " {" << m.message << " w=" << m.wParam << " l=" << m.lParam << "}";
    return text.str();
}

// Compares what the windows received since the last call with `expected`, message by message.
void okSequence(const std::vector<Expected>& expected, const char* context) {
    SCOPED_TRACE(std::string(context) + ": received" + describe(seen));
    ASSERT_EQ(expected.size(), seen.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].message, seen[i].message) << "message " << i;
        SCOPED_TRACE("message " + std::to_string(i));
        if (!(expected[i].check & kAnyWindow)) {
            EXPECT_EQ(expected[i].window, seen[i].window);
        }
        if (expected[i].check & kWParam) {
            EXPECT_EQ(expected[i].wParam, seen[i].wParam);
        }
        if (expected[i].check & kLParam) {
            EXPECT_EQ(expected[i].lParam, seen[i].lParam);
        }
    }
    seen.clear();
}

// Dispatches until GetMessageW returns 0. RETURNS the quit request's exit code.
WPARAM pump() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.wParam;
}

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        device::windowsReset();
        seen.clear();
        reactions.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.lpszClassName = u"Recorder";
        windowClass.cbWndExtra = 16;
        ASSERT_NE(0, RegisterClassW(&windowClass));
    }
    void TearDown() override {
        device::windowsReset();
        reactions.clear();
    }
    HWND create(const char16_t* title, DWORD style = 0, HWND parent = nullptr, int id = 0) {
        return CreateWindowExW(0, u"Recorder", title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
    }

    ScopedDevice device_;
};

// ---------------------------------------------------------------- windows

TEST_F(WindowsTest, LifeOfAWindow) {
    int parameter = 0;
    bool created = false;
    reactions[WM_CREATE] = [&](HWND, WPARAM, LPARAM lParam) {
        auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        EXPECT_EQ(&parameter, creation->lpCreateParams);
        EXPECT_TRUE(std::u16string(u"Main") == creation->lpszName);
        EXPECT_EQ(static_cast<LONG>(WS_VISIBLE), creation->style);
        created = true;
        return LRESULT{0};
    };
    HWND main = CreateWindowExW(0, u"RECORDER", u"Main", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, nullptr, &parameter);
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(created);
    okSequence({{WM_CREATE, 0, main}, {WM_SHOWWINDOW, kWParam, main, TRUE}}, "created visible");
    EXPECT_EQ(main, GetForegroundWindow());
    RECT expected{0, device::kTitleBarHeight, device::kScreenWidth, device::kScreenHeight};
    RECT rect = device::windowFind(main)->rect;
    EXPECT_EQ(std::vector<LONG>({expected.left, expected.top, expected.right, expected.bottom}),
              std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}));

    EXPECT_TRUE(UpdateWindow(main));
    EXPECT_TRUE(UpdateWindow(main));  // painted already: nothing more
    EXPECT_TRUE(ShowWindow(main, SW_SHOW));  // visible already: no WM_SHOWWINDOW
    EXPECT_TRUE(ShowWindow(main, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_FALSE(UpdateWindow(nullptr));
    okSequence({{WM_PAINT, 0, main}, {WM_SHOWWINDOW, kWParam, main, FALSE}}, "painted, hidden");

    EXPECT_TRUE(DestroyWindow(main));
    okSequence({{WM_DESTROY, 0, main}}, "destroyed");
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(nullptr, GetForegroundWindow());
    EXPECT_FALSE(DestroyWindow(main));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(0, SendMessageW(main, WM_APP, 0, 0));
    EXPECT_FALSE(PostMessageW(main, WM_APP, 0, 0));
    okSequence({}, "nothing reaches a destroyed window");
}

TEST_F(WindowsTest, CreationFailures) {
    WNDCLASSW again{};
    again.lpfnWndProc = DefWindowProcW;
    again.lpszClassName = u"RECORDER";
    EXPECT_EQ(0, RegisterClassW(&again));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());

    struct Case {
        const char* name;
        const char16_t* className;
        DWORD style;
        HWND parent;
        DWORD error;
    } cases[] = {
        {"unknown class", u"Nothing", 0, nullptr, ERROR_CANNOT_FIND_WND_CLASS},
        {"child without parent", u"Recorder", WS_CHILD, nullptr, ERROR_INVALID_WINDOW_HANDLE},
        {"owner not a window", u"Recorder", 0, reinterpret_cast<HWND>(uintptr_t{0x400}), ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nullptr, CreateWindowExW(0, c.className, u"", c.style, 0, 0, 10, 10, c.parent, nullptr, nullptr,
                                           nullptr));
        EXPECT_EQ(c.error, GetLastError());
    }

    device::faultArm("CreateWindowExW", 1);
    EXPECT_EQ(nullptr, create(u"Main"));
    reactions[WM_CREATE] = [](HWND, WPARAM, LPARAM) { return LRESULT{-1}; };
    EXPECT_EQ(nullptr, create(u"Refused"));
    okSequence({{WM_CREATE, kAnyWindow}, {WM_DESTROY, kAnyWindow}}, "WM_CREATE refused");
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Refused"));

    reactions.erase(WM_CREATE);
    EXPECT_FALSE(UnregisterClassW(u"Nothing", nullptr));
    HWND window = create(u"Main");
    EXPECT_FALSE(UnregisterClassW(u"Recorder", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassW(u"recorder", nullptr));
}

TEST_F(WindowsTest, DestroyTakesOwnedWindowsFirstThenChildren) {
    HWND main = create(u"Main");
    HWND mainChild = create(u"", WS_CHILD, main, 7);
    HWND dialog = create(u"Dialog", WS_VISIBLE, main);
    HWND dialogChild = create(u"", WS_CHILD, dialog, 8);
    HWND grandChild = create(u"", WS_CHILD, dialogChild, 9);
    EXPECT_EQ(main, GetParent(dialog));
    EXPECT_EQ(main, GetWindow(dialog, GW_OWNER));
    EXPECT_EQ(dialogChild, GetParent(grandChild));
    EXPECT_TRUE(IsChild(dialog, grandChild));
    EXPECT_FALSE(IsChild(main, grandChild));
    PostMessageW(dialogChild, WM_APP, 0, 0);
    PostMessageW(main, WM_APP + 1, 0, 0);
    seen.clear();

    // A window destroying itself again from its WM_DESTROY gets no second one; the owned
    // dialog is gone by the time the main window hears of its own end.
    reactions[WM_DESTROY] = [&](HWND window, WPARAM, LPARAM) {
        EXPECT_TRUE(IsWindow(window));
        if (window == main) {
            EXPECT_TRUE(DestroyWindow(main));
            EXPECT_FALSE(IsWindow(dialog));
        }
        return LRESULT{0};
    };
    EXPECT_TRUE(DestroyWindow(main));
    okSequence({{WM_DESTROY, 0, dialog},
                {WM_DESTROY, 0, dialogChild},
                {WM_DESTROY, 0, grandChild},
                {WM_DESTROY, 0, main},
                {WM_DESTROY, 0, mainChild}},
               "cascade");
    for (HWND window : {main, mainChild, dialog, dialogChild, grandChild}) EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0u, pump());
    okSequence({}, "messages posted to destroyed windows are dropped");
}

TEST_F(WindowsTest, DestroyingAChildLeavesItsParent) {
    HWND main = create(u"Main");
    HWND first = create(u"", WS_CHILD, main, 1);
    HWND second = create(u"", WS_CHILD, main, 2);
    HWND third = create(u"", WS_CHILD, main, 3);
    EXPECT_EQ(first, GetWindow(main, GW_CHILD));
    EXPECT_EQ(second, GetWindow(first, GW_HWNDNEXT));
    EXPECT_EQ(first, GetWindow(second, GW_HWNDPREV));
    seen.clear();
    EXPECT_TRUE(DestroyWindow(second));
    okSequence({{WM_DESTROY, 0, second}}, "one child");
    EXPECT_EQ(third, GetWindow(first, GW_HWNDNEXT));
    EXPECT_EQ(3, GetWindowLongW(third, GWL_ID));
    SendMessageW(main, WM_CLOSE, 0, 0);  // the default closes by destroying
    EXPECT_FALSE(IsWindow(first));
}

TEST_F(WindowsTest, TitleAndWindowFields) {
    HWND main = create(u"Main");
    WCHAR buffer[5];
    EXPECT_EQ(4, GetWindowTextW(main, buffer, 5));
    EXPECT_EQ(std::u16string(u"Main"), buffer);
    EXPECT_TRUE(SetWindowTextW(main, u"Renamed"));
    EXPECT_EQ(4, GetWindowTextW(main, buffer, 5));
    EXPECT_EQ(std::u16string(u"Rena"), buffer);
    EXPECT_EQ(7, SendMessageW(main, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_EQ(main, FindWindowW(u"Recorder", u"Renamed"));  // the device's table follows the title
    EXPECT_EQ(nullptr, FindWindowW(u"Recorder", u"Main"));

    EXPECT_EQ(0, SetWindowLongPtrW(main, GWL_USERDATA, 0x123456789));
    EXPECT_EQ(0x123456789, GetWindowLongPtrW(main, GWL_USERDATA));
    EXPECT_EQ(0, SetWindowLongW(main, 4, -5));
    EXPECT_EQ(-5, GetWindowLongW(main, 4));
    EXPECT_EQ(0, GetWindowLongW(main, 13));  // beyond the 16 extra bytes
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    // Replacing the procedure takes the window's messages away from the recorder.
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(recordingProc),
              SetWindowLongPtrW(main, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW)));
    seen.clear();
    SendMessageW(main, WM_APP, 0, 0);
    okSequence({}, "subclassed");
}

// ---------------------------------------------------------------- messages

TEST_F(WindowsTest, PostedMessagesInOrderSentMessagesAtOnce) {
    HWND main = create(u"Main");
    HWND other = create(u"Other");
    seen.clear();
    reactions[WM_APP + 1] = [&](HWND, WPARAM, LPARAM) {
        PostMessageW(main, WM_APP + 4, 0, 0);   // behind everything queued already
        SendMessageW(other, WM_APP + 5, 0, 0);  // delivered inside this dispatch
        return LRESULT{0};
    };
    PostMessageW(main, WM_APP + 1, 11, 12);
    PostMessageW(other, WM_APP + 2, 0, 0);
    PostMessageW(main, WM_APP + 3, 0, 0);
    reactions[WM_APP + 9] = [](HWND, WPARAM, LPARAM) { return LRESULT{42}; };
    EXPECT_EQ(42, SendMessageW(main, WM_APP + 9, 0, 0));
    okSequence({{WM_APP + 9, 0, main}}, "sent before anything posted is retrieved");

    // Only the main window's messages, in their order; the other's stay queued.
    MSG message;
    ASSERT_EQ(TRUE, GetMessageW(&message, main, 0, 0));
    EXPECT_EQ(std::vector<LPARAM>({WM_APP + 1, 11, 12}),
              std::vector<LPARAM>({static_cast<LPARAM>(message.message), static_cast<LPARAM>(message.wParam),
                                   message.lParam}));
    DispatchMessageW(&message);
    PostQuitMessage(3);
    EXPECT_EQ(3u, pump());
    okSequence({{WM_APP + 1, kWParam | kLParam, main, 11, 12},
                {WM_APP + 5, 0, other},
                {WM_APP + 2, 0, other},
                {WM_APP + 3, 0, main},
                {WM_APP + 4, 0, main}},
               "posted order; the quit request waits for them");
    EXPECT_EQ(-1, GetMessageW(&message, reinterpret_cast<HWND>(uintptr_t{0x400}), 0, 0));
    EXPECT_EQ(-1, GetMessageW(nullptr, nullptr, 0, 0));
}

TEST_F(WindowsTest, QuitRequestComesBeforeInputAndPostedQuitKeepsItsPlace) {
    HWND main = create(u"Main");
    seen.clear();
    device::inputPost(MSG{main, WM_APP + 7, 0, 0, 0, {}});
    PostQuitMessage(9);
    PostMessageW(main, WM_APP + 1, 0, 0);
    MSG message;
    EXPECT_EQ(TRUE, GetMessageW(&message, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_APP + 1), message.message);
    EXPECT_EQ(FALSE, GetMessageW(&message, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), message.message);
    EXPECT_EQ(9u, message.wParam);
    EXPECT_EQ(TRUE, GetMessageW(&message, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_APP + 7), message.message);

    // WM_QUIT posted as an ordinary message is retrieved in its turn.
    PostMessageW(nullptr, WM_APP + 2, 0, 0);
    PostMessageW(nullptr, WM_QUIT, 4, 0);
    PostMessageW(main, WM_APP + 3, 0, 0);
    EXPECT_EQ(4u, pump());
    EXPECT_EQ(0u, pump());  // then the rest, then no input: a quit with code 0
    okSequence({{WM_APP + 3, 0, main}}, "thread messages reach no window");
}

TEST_F(WindowsTest, QuitEndsEveryNestedModalLoop) {
    HWND main = create(u"Main");
    std::vector<std::string> events;
    reactions[WM_APP + 1] = [&](HWND, WPARAM, LPARAM) {
        events.push_back(std::string("outer ") + (device::runModalLoop([] { return false; }) ? "ended" : "quit"));
        return LRESULT{0};
    };
    reactions[WM_APP + 2] = [&](HWND, WPARAM, LPARAM) {
        bool done = false;
        reactions[WM_APP + 4] = [&](HWND, WPARAM, LPARAM) {
            done = true;
            return LRESULT{0};
        };
        PostMessageW(main, WM_APP + 4, 0, 0);
        events.push_back(std::string("ended by its condition: ") +
                         (device::runModalLoop([&] { return done; }) ? "yes" : "no"));
        events.push_back(std::string("inner ") + (device::runModalLoop([] { return false; }) ? "ended" : "quit"));
        return LRESULT{0};
    };
    reactions[WM_APP + 3] = [&](HWND, WPARAM, LPARAM) {
        PostQuitMessage(5);
        return LRESULT{0};
    };
    PostMessageW(main, WM_APP + 1, 0, 0);
    PostMessageW(main, WM_APP + 2, 0, 0);
    PostMessageW(main, WM_APP + 3, 0, 0);
    EXPECT_EQ(5u, pump());
    EXPECT_EQ(std::vector<std::string>({"ended by its condition: yes", "inner quit", "outer quit"}), events);
}

TEST_F(WindowsTest, KeysGoToTheFocusAndTranslateToCharacters) {
    HWND main = create(u"Main", WS_VISIBLE);
    HWND first = create(u"", WS_CHILD, main, 1);
    HWND second = create(u"", WS_CHILD, main, 2);
    seen.clear();
    EXPECT_EQ(nullptr, SetFocus(first));
    EXPECT_EQ(first, SetFocus(second));
    EXPECT_EQ(second, GetFocus());
    okSequence({{WM_SETFOCUS, kWParam, first, 0},
                {WM_KILLFOCUS, kWParam, first, reinterpret_cast<WPARAM>(second)},
                {WM_SETFOCUS, kWParam, second, reinterpret_cast<WPARAM>(first)}},
               "focus moves");

    struct Case {
        WORD key;
        WCHAR typed;  // 0: none
    } cases[] = {{'Q', u'q'}, {'7', u'7'}, {VK_SPACE, u' '}, {VK_RETURN, u'\r'}, {VK_ESCAPE, 0x1B},
                 {VK_TAB, u'\t'}, {VK_LEFT, 0}, {VK_F1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(device::inputKey(c.key));
        pump();
        // The character is posted, so it comes before the key-up, which is input.
        std::vector<Expected> expected{{WM_KEYDOWN, kWParam, second, c.key}};
        if (c.typed) expected.push_back({WM_CHAR, kWParam, second, c.typed});
        expected.push_back({WM_KEYUP, kWParam, second, c.key});
        okSequence(expected, "key");
    }
    SetFocus(nullptr);
    seen.clear();
    ASSERT_TRUE(device::inputKey('A'));  // no focus: the front window
    pump();
    okSequence({{WM_KEYDOWN, 0, main}, {WM_CHAR, 0, main}, {WM_KEYUP, 0, main}}, "front window");
}

TEST_F(WindowsTest, InputSourceFeedsGetMessageUntilItEnds) {
    HWND main = create(u"Main");
    seen.clear();
    int calls = 0;
    device::setInputSource([&] {
        switch (++calls) {
        case 1: return true;  // an event that queued nothing: ask again
        case 2: device::inputPost(MSG{main, WM_LBUTTONDOWN, 0, 0, 0, {}}); return true;
        case 3: PostMessageW(main, WM_APP, 0, 0); return true;
        default: return false;
        }
    });
    EXPECT_EQ(0u, pump());
    EXPECT_EQ(4, calls);
    okSequence({{WM_LBUTTONDOWN, 0, main}, {WM_APP, 0, main}}, "scripted input");
    EXPECT_EQ(0u, pump());  // an ended source is not asked again
    EXPECT_EQ(4, calls);

    device::faultArm("GetMessageW", 1);
    MSG message;
    EXPECT_EQ(-1, GetMessageW(&message, nullptr, 0, 0));
}

// ---------------------------------------------------------------- finding and foreground

TEST_F(WindowsTest, FindWindowMatchesClassAndTitleTogether) {
    WNDCLASSW dialogClass{};
    dialogClass.lpfnWndProc = DefWindowProcW;
    dialogClass.lpszClassName = u"Dialog";
    ASSERT_NE(0, RegisterClassW(&dialogClass));
    HWND main = create(u"Quillex");
    HWND dialog = CreateWindowExW(0, u"Dialog", u"Quillex", 0, 0, 0, 10, 10, main, nullptr, nullptr, nullptr);
    HWND other = create(u"Other");
    HWND child = CreateWindowExW(0, u"Recorder", u"Hidden", WS_CHILD, 0, 0, 1, 1, main, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main && dialog && other && child);
    struct Case {
        const char16_t* className;
        const char16_t* title;
        HWND found;
    } cases[] = {
        {u"Recorder", u"Quillex", main}, {u"RECORDER", u"quillex", main}, {u"Dialog", u"Quillex", dialog},
        {u"Dialog", u"Other", nullptr},  {nullptr, u"Other", other},      {u"Recorder", nullptr, other},
        {u"Nothing", u"Quillex", nullptr}, {u"Recorder", u"Quill", nullptr}, {nullptr, u"Hidden", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(c.found, FindWindowW(c.className, c.title));
    }
    DestroyWindow(main);
    EXPECT_EQ(nullptr, FindWindowW(u"Recorder", u"Quillex"));
    EXPECT_EQ(nullptr, FindWindowW(u"Dialog", nullptr));  // owned: destroyed with it

    // A row whose process start time differs belongs to an ended process that had our pid.
    device::Statement(device::store(), "UPDATE windows SET started = started + 1").run();
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Other"));
}

TEST_F(WindowsTest, ForegroundBringsOwnedWindowsAlong) {
    std::vector<HWND> hooked;
    HWND main = create(u"Main", WS_VISIBLE);
    HWND dialog = create(u"Dialog", WS_VISIBLE, main);
    HWND other = create(u"Other", WS_VISIBLE);
    device::setForegroundHook([&](HWND window) { hooked.push_back(window); });
    EXPECT_EQ(std::vector<HWND>({main, dialog, other}), device::windowsInZOrder());
    EXPECT_EQ(other, GetForegroundWindow());
    size_t events = device::journalList().size();

    EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(main) | 1)));
    EXPECT_EQ(std::vector<HWND>({other, main, dialog}), device::windowsInZOrder());
    EXPECT_EQ(dialog, GetForegroundWindow());
    EXPECT_EQ(std::vector<HWND>({dialog}), hooked);
    EXPECT_EQ(events, device::journalList().size());  // only requests to other processes are journaled

    DestroyWindow(dialog);
    EXPECT_EQ(main, GetForegroundWindow());  // its owner takes the front
    DestroyWindow(main);
    EXPECT_EQ(other, GetForegroundWindow());
}

// The other process opens the device on a connection of its own, shows the single-instance
// window and reports on `report`: 'r' once the window exists, 'f' when it came forward.
// Each byte on `commands` is one input event; the end of `commands` ends its input.
int otherProcess(const std::string& dir, int report, int commands) {
    alarm(30);  // never outlive a failed test
    if (!device::open(dir, nullptr)) return 2;
    device::windowsReset();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"QUILLEX";
    RegisterClassW(&windowClass);
    HWND main = CreateWindowExW(0, u"QUILLEX", u"Quillex", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    if (!main) return 3;
    device::setForegroundHook([&](HWND window) {
        char byte = window == main ? 'f' : 'x';
        if (write(report, &byte, 1) != 1) _exit(4);
    });
    device::setInputSource([&] {
        char byte;
        return read(commands, &byte, 1) == 1;
    });
    char ready = 'r';
    if (write(report, &ready, 1) != 1) return 4;
    return static_cast<int>(pump());
}

char readByte(int descriptor) {
    char byte = 0;
    return read(descriptor, &byte, 1) == 1 ? byte : '?';
}

TEST_F(WindowsTest, AnotherProcessWindowIsFoundBroughtForwardAndForgottenWhenItEnds) {
    device::windowsReset();
    device::close();  // the child must not inherit a connection in use
    int report[2], commands[2];
    ASSERT_EQ(0, pipe(report));
    ASSERT_EQ(0, pipe(commands));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        close(commands[1]);
        _exit(otherProcess(device_.dir(), report[1], commands[0]));
    }
    close(report[1]);
    close(commands[0]);
    ASSERT_EQ('r', readByte(report[0]));
    ASSERT_TRUE(device::open(device_.dir(), nullptr));

    EXPECT_EQ(nullptr, FindWindowW(u"Dialog", u"Quillex"));
    HWND found = FindWindowW(u"QUILLEX", u"Quillex");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(nullptr, device::windowFind(found));
    EXPECT_TRUE(IsWindow(found));
    EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(found) | 1)));
    std::vector<device::JournalEvent> events = device::journalList();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ("foreground", events.back().kind);
    EXPECT_EQ("QUILLEX", events.back().application.value_or(""));
    EXPECT_EQ("Quillex", events.back().arguments.value_or(""));
    EXPECT_NE(std::string::npos, device::journalDescribe(events.back()).find("\"Quillex\""));

    char input = 'k';
    ASSERT_EQ(1, write(commands[1], &input, 1));
    EXPECT_EQ('f', readByte(report[0]));  // it noticed the request on its next look for input

    close(commands[1]);  // no more input: it quits
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(report[0]);

    // It never destroyed its window, but a window of an ended process is not there.
    EXPECT_FALSE(IsWindow(found));
    EXPECT_EQ(nullptr, FindWindowW(u"QUILLEX", u"Quillex"));
    EXPECT_FALSE(SetForegroundWindow(found));
    EXPECT_EQ(events.size(), device::journalList().size());
}

}  // namespace
