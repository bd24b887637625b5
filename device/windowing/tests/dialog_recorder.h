// Test support for the dialog, control and shell tests: a dialog procedure that records the
// messages it receives and reacts as a test tells it, sequence comparison in the manner of
// the window tests, the program's dialog templates, and scripted input.
#pragma once

#include "device/windowing/dialogs.h"
#include "device/windowing/queue.h"
#include "device/windowing/resources.h"
#include "device/windowing/windows.h"
#include "res/resource.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <sstream>

namespace dialog_testing {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
inline std::vector<Seen> seen;
// What the procedure does with a message instead of the default: WM_INITDIALOG returns
// TRUE, everything else 0.
inline std::map<UINT, std::function<INT_PTR(HWND, WPARAM, LPARAM)>> reactions;

inline INT_PTR recordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({dialog, message, wParam, lParam});
    auto reaction = reactions.find(message);
    if (reaction != reactions.end()) return reaction->second(dialog, wParam, lParam);
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

inline bool isPainting(UINT message) {
    return message == WM_PAINT || message == WM_ERASEBKGND || message == WM_CTLCOLORSTATIC ||
           message == WM_CTLCOLOREDIT;
}

// The recorded messages of one kind, or all but the painting ones (kind 0).
inline std::vector<Seen> taken(UINT kind = 0) {
    std::vector<Seen> result;
    for (const Seen& m : seen)
        if (kind ? m.message == kind : !isPainting(m.message)) result.push_back(m);
    return result;
}

constexpr int kWParam = 1, kLParam = 2;
struct Expected {
    UINT message;
    int check = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Compares the messages recorded since the last call, painting left out, with `expected`.
inline void okSequence(const std::vector<Expected>& expected, const char* context) {
    std::vector<Seen> got = taken();
    std::ostringstream text;
    for (const Seen& m : got) text << std::hex << " {" << m.message << " w=" << m.wParam << " l=" << m.lParam << "}";
    SCOPED_TRACE(std::string(context) + ": received" + text.str());
    seen.clear();
    ASSERT_EQ(expected.size(), got.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("message " + std::to_string(i));
        EXPECT_EQ(expected[i].message, got[i].message);
        if (expected[i].check & kWParam) {
            EXPECT_EQ(expected[i].wParam, got[i].wParam);
        }
        if (expected[i].check & kLParam) {
            EXPECT_EQ(expected[i].lParam, got[i].lParam);
        }
    }
}

inline LPARAM lp(HWND window) { return reinterpret_cast<LPARAM>(window); }

// The program's dialog template `id` as LoadResource gives it.
inline const DLGTEMPLATEW* dialogTemplate(int id) {
    HINSTANCE instance = device::programInstance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_DIALOG);
    return static_cast<const DLGTEMPLATEW*>(LockResource(LoadResource(instance, found)));
}

inline INT_PTR runDialog(int id, HWND owner, LPARAM parameter = 0) {
    return DialogBoxIndirectParamW(device::programInstance(), dialogTemplate(id), owner, recordingDialogProc,
                                   parameter);
}

// Input events, one a call of the input source; after the last the device has no input.
inline void script(std::vector<std::function<void()>> steps) {
    auto queue = std::make_shared<std::deque<std::function<void()>>>(steps.begin(), steps.end());
    device::setInputSource([queue] {
        if (queue->empty()) return false;
        auto step = queue->front();
        queue->pop_front();
        step();
        return true;
    });
}

inline void initDateClasses() {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_DATE_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
}

// Reactions that set the program's dialogs up as the program does: a dialog opened with a
// non-zero parameter goes full-screen with the soft keys of menu bar 102; a command other
// than a check box's notification ends the dialog with its number.
inline void reactLikeTheProgram() {
    reactions[WM_INITDIALOG] = [](HWND dialog, WPARAM, LPARAM fullScreen) {
        if (!fullScreen) return INT_PTR{TRUE};
        SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
        EXPECT_TRUE(SHInitDialog(&info));
        SHMENUBARINFO bar{};
        bar.cbSize = sizeof bar;
        bar.hwndParent = dialog;
        bar.nToolBarId = IDM_MENUBAR;
        bar.hInstRes = device::programInstance();
        EXPECT_TRUE(SHCreateMenuBar(&bar));
        return INT_PTR{TRUE};
    };
    reactions[WM_COMMAND] = [](HWND dialog, WPARAM wParam, LPARAM) {
        WORD command = LOWORD(wParam);
        if (command < 1000 || command >= 40000) EndDialog(dialog, command);
        return INT_PTR{TRUE};
    };
}

// A fresh device and window system, and an owner window for the dialogs.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        device::windowsReset();
        device::gdiReset();
        seen.clear();
        reactions.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = u"Owner";
        ASSERT_NE(0, RegisterClassW(&windowClass));
        owner_ = CreateWindowExW(0, u"Owner", u"Owner", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner_);
    }
    void TearDown() override {
        device::windowsReset();
        device::gdiReset();
        reactions.clear();
    }

    testing_support::ScopedDevice device_;
    HWND owner_ = nullptr;
};

}  // namespace dialog_testing
