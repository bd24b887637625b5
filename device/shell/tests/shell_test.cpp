// Tests of the shell and the locale: full-screen dialogs with the title bar's OK, the
// soft-key bar built from the program's menu-bar data and menu, the activation bookkeeping,
// and the regional time settings.
#include "device/windowing/tests/dialog_recorder.h"

#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/shell/shell.h"
#include "res/resource.h"

#include <cstdlib>

using namespace dialog_testing;

namespace {

class ShellTest : public DialogTest {};

HWND createBar(HWND parent, UINT id = IDM_MENUBAR) {
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = parent;
    info.nToolBarId = id;
    info.hInstRes = device::programInstance();
    info.hwndMB = reinterpret_cast<HWND>(uintptr_t{0x99});
    BOOL created = SHCreateMenuBar(&info);
    EXPECT_EQ(created != 0, info.hwndMB != nullptr);
    return info.hwndMB;
}

TEST_F(ShellTest, InitDialogSizesTheDialogAndGivesItTheTitleBarOk) {
    device::setInputPanelUp(true);
    HWND dialog = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        SHINITDLGINFO info{SHIDIM_FLAGS, window, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
        EXPECT_TRUE(SHInitDialog(&info));
        return INT_PTR{TRUE};
    };
    reactions[WM_COMMAND] = [](HWND window, WPARAM wParam, LPARAM) {
        if (LOWORD(wParam) == IDOK) EndDialog(window, 1);
        return INT_PTR{TRUE};
    };
    RECT rect{};
    script({[&] {
        rect = device::windowFind(dialog)->rect;
        EXPECT_TRUE(device::dialogFind(dialog)->fullScreen);
        EXPECT_TRUE(device::captionOk(GetDlgItem(dialog, IDC_TEMP_CHECK)));  // any window of it
    }});
    EXPECT_EQ(1, runDialog(IDD_MAIN, owner_));
    EXPECT_EQ(std::vector<LONG>({0, device::kTitleBarHeight, device::kScreenWidth,
                                 device::kScreenHeight - device::kMenuBarHeight}),
              std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}));
    EXPECT_FALSE(device::inputPanelUp());
    std::vector<Seen> commands = taken(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(IDOK, LOWORD(commands[0].wParam));

    // Without the flags the dialog keeps its size and has no OK in its title bar; the
    // About box has one from its template.
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        SHINITDLGINFO info{0, window, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
        EXPECT_TRUE(SHInitDialog(&info));
        EXPECT_FALSE(device::captionOk(window));
        EXPECT_FALSE(device::dialogFind(window)->fullScreen);
        EndDialog(window, 2);
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(2, runDialog(IDD_MAIN, owner_));
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        EXPECT_FALSE(device::captionOk(owner_));  // disabled while the dialog runs
        EXPECT_TRUE(device::captionOk(window));
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(1, runDialog(IDD_ABOUT, owner_));

    EXPECT_FALSE(SHInitDialog(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SHINITDLGINFO gone{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON};
    EXPECT_FALSE(SHInitDialog(&gone));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(ShellTest, TheMenuBarSendsItsCommandsAndOpensItsPopup) {
    HWND dialog = nullptr, bar = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        bar = createBar(window);
        return INT_PTR{TRUE};
    };
    std::vector<std::string> results;
    auto result = [&](bool value) { results.push_back(value ? "yes" : "no"); };
    script({[&] {
                seen.clear();
                EXPECT_EQ(bar, device::menuBarOf(dialog));
                EXPECT_EQ(bar, device::menuBarOf(GetDlgItem(dialog, IDC_TEMP_CHECK)));
                device::MenuBarState* state = device::menuBarFind(bar);
                ASSERT_NE(nullptr, state);
                ASSERT_EQ(2u, state->buttons.size());
                EXPECT_EQ(u"Cleanup", state->buttons[0].label);
                EXPECT_EQ(u"Tools", state->buttons[1].label);
                EXPECT_TRUE(state->buttons[0].popup.empty());
                ASSERT_EQ(5u, state->buttons[1].popup.size());
                EXPECT_TRUE(state->buttons[1].popup[3].isSeparator());
                result(device::menuBarPress(bar, 0));
            },
            [&] {
                result(device::menuBarChoose(bar, u"About"));  // nothing open
                result(device::menuBarPress(bar, 1));
                EXPECT_EQ(1, device::menuBarFind(bar)->openPopup);
                result(device::menuBarChoose(bar, u"Nothing"));
                result(device::menuBarChoose(bar, u""));  // the separator
                result(device::menuBarChoose(bar, u"automatic START"));
                EXPECT_EQ(-1, device::menuBarFind(bar)->openPopup);
            },
            [&] {
                result(device::menuBarPress(bar, 1));
                result(device::menuBarPress(bar, 1));  // closes it again
                result(device::menuBarChoose(bar, u"Exit"));
                result(device::menuBarPress(bar, 1));
                result(device::menuBarCancel(bar));
                result(device::menuBarCancel(bar));
                result(device::menuBarPress(bar, 2));
                result(device::menuBarPress(bar, 1));
                result(device::menuBarChoose(bar, u"exit"));
            },
            [&] { EndDialog(dialog, 1); }});
    EXPECT_EQ(1, runDialog(IDD_MAIN, owner_));
    EXPECT_EQ(std::vector<std::string>({"yes", "no", "yes", "no", "no", "yes", "yes", "yes", "no", "yes", "yes", "no",
                                        "no", "yes", "yes"}),
              results);
    okSequence({{WM_COMMAND, kWParam | kLParam, MAKEWPARAM(IDM_CLEANUP, 0), lp(bar)},
                {WM_COMMAND, kWParam | kLParam, MAKEWPARAM(IDM_AUTOSTART, 0), 0},
                {WM_COMMAND, kWParam | kLParam, MAKEWPARAM(IDM_EXIT, 0), 0},
                {WM_DESTROY}},
               "commands of the bar");
    EXPECT_FALSE(IsWindow(bar));  // gone with its dialog
}

TEST_F(ShellTest, TheBarOfADialogWaitingForAnotherTakesNoPresses) {
    HWND bar = nullptr;
    bool pressed = true;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM parameter) {
        if (parameter == 1) {
            bar = createBar(window);
            PostMessageW(window, WM_APP, 0, 0);
        } else {
            pressed = device::menuBarPress(bar, 0);
            EndDialog(window, 1);
        }
        return INT_PTR{TRUE};
    };
    reactions[WM_APP] = [&](HWND window, WPARAM, LPARAM) {
        runDialog(IDD_ABOUT, window, 2);
        EXPECT_TRUE(device::menuBarPress(bar, 0));
        EndDialog(window, 1);
        return INT_PTR{0};
    };
    EXPECT_EQ(1, runDialog(IDD_MAIN, owner_, 1));
    EXPECT_FALSE(pressed);
}

TEST_F(ShellTest, MenuBarFailures) {
    EXPECT_FALSE(SHCreateMenuBar(nullptr));
    EXPECT_EQ(nullptr, createBar(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, createBar(owner_, 999));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, createBar(owner_, IDD_MAIN));  // a number without menu-bar data
    device::faultArm("SHCreateMenuBar", 1);
    EXPECT_EQ(nullptr, createBar(owner_));
    HWND bar = createBar(owner_);
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(owner_, GetParent(bar));
    EXPECT_FALSE(device::menuBarPress(owner_, 0));
    EXPECT_FALSE(device::menuBarPress(bar, -1));
    DestroyWindow(bar);
    EXPECT_FALSE(device::menuBarPress(bar, 0));
}

TEST_F(ShellTest, ActivationAndSettingChangesKeepTheInputPanelState) {
    SHACTIVATEINFO info{};  // all zero, as before a dialog fills it in
    HWND focus = CreateWindowExW(0, u"Owner", u"", WS_CHILD, 0, 0, 1, 1, owner_, nullptr, nullptr, nullptr);
    SetFocus(focus);
    device::setInputPanelUp(true);
    EXPECT_TRUE(SHHandleWMActivate(owner_, WA_INACTIVE, 0, &info, 0));
    EXPECT_EQ(focus, info.hwndLastFocus);
    EXPECT_EQ(1u, info.fSipOnDeactivation);
    EXPECT_EQ(0u, info.fActive);
    EXPECT_TRUE(SHHandleWMSettingChange(owner_, SPI_SETSIPINFO, 0, &info));
    EXPECT_EQ(0u, info.fSipUp);  // inactive: not its business
    EXPECT_TRUE(SHHandleWMActivate(owner_, WA_ACTIVE, 0, &info, 0));
    EXPECT_EQ(1u, info.fActive);
    EXPECT_FALSE(device::inputPanelUp());  // back as the window had it
    device::setInputPanelUp(true);
    EXPECT_TRUE(SHHandleWMSettingChange(owner_, 0, 0, &info));
    EXPECT_EQ(0u, info.fSipUp);
    EXPECT_TRUE(SHHandleWMSettingChange(owner_, SPI_SETSIPINFO, 0, &info));
    EXPECT_EQ(1u, info.fSipUp);
    EXPECT_FALSE(SHHandleWMActivate(owner_, WA_ACTIVE, 0, nullptr, 0));
    EXPECT_FALSE(SHHandleWMSettingChange(owner_, SPI_SETSIPINFO, 0, nullptr));
}

// ---------------------------------------------------------------- locale

std::u16string localeValue(LCTYPE type) {
    WCHAR buffer[4] = {};
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 4) ? std::u16string(buffer) : u"(failed)";
}

TEST_F(ShellTest, TimeSettingsComeFromTheDeviceOrTheHostLocale) {
    const char* saved = getenv("LC_ALL");
    std::string savedValue = saved ? saved : "";
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(u":", localeValue(LOCALE_STIME));
    EXPECT_EQ(u"1", localeValue(LOCALE_ITIME));
    if (saved) setenv("LC_ALL", savedValue.c_str(), 1);
    else unsetenv("LC_ALL");

    ASSERT_TRUE(device::settingSet("locale.timeSeparator", "."));
    ASSERT_TRUE(device::settingSet("locale.clock24", "0"));
    EXPECT_EQ(u".", localeValue(LOCALE_STIME));
    EXPECT_EQ(u"0", localeValue(LOCALE_ITIME));
    EXPECT_EQ(2, GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ITIME, nullptr, 0));

    WCHAR small[1];
    struct Case {
        LCID locale;
        LCTYPE type;
        WCHAR* buffer;
        int size;
        DWORD error;
    } failures[] = {
        {0x409, LOCALE_STIME, small, 1, ERROR_INVALID_PARAMETER},
        {LOCALE_USER_DEFAULT, 0x1F, small, 1, ERROR_INVALID_PARAMETER},
        {LOCALE_USER_DEFAULT, LOCALE_STIME, nullptr, 4, ERROR_INVALID_PARAMETER},
        {LOCALE_USER_DEFAULT, LOCALE_STIME, small, 1, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(&c - failures);
        EXPECT_EQ(0, GetLocaleInfoW(c.locale, c.type, c.buffer, c.size));
        EXPECT_EQ(c.error, GetLastError());
    }
    device::faultArm("GetLocaleInfoW", 1);
    EXPECT_EQ(u"(failed)", localeValue(LOCALE_STIME));
}

TEST_F(ShellTest, ThePickerFollowsTheLocaleWhenGivenNoFormat) {
    initDateClasses();
    ASSERT_TRUE(device::settingSet("locale.timeSeparator", "."));
    ASSERT_TRUE(device::settingSet("locale.clock24", "0"));
    HWND picker = CreateWindowExW(0, DATETIMEPICK_CLASSW, u"", WS_CHILD | DTS_TIMEFORMAT, 0, 0, 1, 1, owner_, nullptr,
                                  nullptr, nullptr);
    SYSTEMTIME time{2026, 3, 2, 10, 18, 5, 9, 0};
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
    EXPECT_EQ(u"6.05.09 PM", device::pickerText(picker));
    ASSERT_TRUE(device::settingSet("locale.clock24", "1"));
    SendMessageW(picker, DTM_SETFORMATW, 0, 0);
    EXPECT_EQ(u"18.05.09", device::pickerText(picker));
}

}  // namespace
