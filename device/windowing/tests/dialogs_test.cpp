// Tests of the dialog manager with the program's own templates: the messages a dialog
// procedure receives, EndDialog and WM_QUIT ending the nested loop, Escape and Enter, tab
// order, controls built in template order, and painting asking for colours.
#include "device/windowing/tests/dialog_recorder.h"

#include "device/core/faults.h"
#include "device/windowing/messages.h"
#include "res/resource.h"

#include <cstdlib>
#include <set>

using namespace dialog_testing;

namespace {

class DialogsTest : public DialogTest {};

TEST_F(DialogsTest, InitDialogComesFirstAndEndDialogEndsTheLoopWithItsResult) {
    HWND dialog = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        EXPECT_TRUE(GetWindowLongW(owner_, GWL_STYLE) & WS_DISABLED);  // the owner waits
        PostMessageW(window, WM_APP, 0, 0);
        return INT_PTR{TRUE};
    };
    reactions[WM_APP] = [&](HWND window, WPARAM, LPARAM) {
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(window, GetForegroundWindow());
        EXPECT_EQ(owner_, GetParent(window));
        EndDialog(window, 77);
        return INT_PTR{0};
    };
    EXPECT_EQ(77, runDialog(IDD_ABOUT, owner_, 0x1234));
    // The About box has no tab stop: the dialog itself takes the focus.
    okSequence({{WM_INITDIALOG, kWParam | kLParam, 0, 0x1234},
                {WM_SETFOCUS},
                {WM_SHOWWINDOW, kWParam, TRUE},
                {WM_APP},
                {WM_DESTROY}},
               "about box");
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(GetWindowLongW(owner_, GWL_STYLE) & WS_DISABLED);
    EXPECT_EQ(owner_, GetForegroundWindow());
    EXPECT_FALSE(EndDialog(dialog, 1));
    EXPECT_FALSE(EndDialog(owner_, 1));  // not a dialog
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(DialogsTest, EndDialogDuringInitialisationNeverShowsTheDialog) {
    reactions[WM_INITDIALOG] = [](HWND window, WPARAM, LPARAM) {
        EndDialog(window, 5);
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(5, runDialog(IDD_ABOUT, owner_));
    okSequence({{WM_INITDIALOG}, {WM_DESTROY}}, "ended at once");
}

TEST_F(DialogsTest, ControlsAreBuiltInTemplateOrderWithIdsTextsAndUnits) {
    reactions[WM_INITDIALOG] = [&](HWND dialog, WPARAM, LPARAM) {
        struct Case {
            int id;
            const char16_t* text;
            RECT units;
        } cases[] = {
            {IDC_NOTIFICATIONS_COUNT, u"0", {71, 32, 94, 40}},
            {IDC_NOTIFICATIONS_CHECK, u"", {99, 30, 115, 41}},
            {IDC_TEMP_CHECK, u"", {99, 43, 115, 53}},
            {IDC_AVANTGO_SIZE, u"0", {71, 80, 99, 88}},
            {IDC_STATIC, u"Notifications:", {3, 32, 62, 40}},  // the first control without an id
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            HWND control = GetDlgItem(dialog, c.id);
            EXPECT_NE(nullptr, control);
            EXPECT_EQ(c.id, GetDlgCtrlID(control));
            WCHAR text[40] = {};
            GetWindowTextW(control, text, 40);
            EXPECT_EQ(std::u16string(c.text), text);
            device::ControlState* state = device::controlFind(control);
            if (!state) {
                ADD_FAILURE() << "no control record";
                continue;
            }
            const RECT& units = state->units;
            EXPECT_EQ(std::vector<LONG>({c.units.left, c.units.top, c.units.right, c.units.bottom}),
                      std::vector<LONG>({units.left, units.top, units.right, units.bottom}));
        }
        EXPECT_EQ(nullptr, GetDlgItem(dialog, 4242));
        EXPECT_EQ(static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND), GetLastError());
        EXPECT_EQ(device::ControlKind::CheckBox, device::controlFind(GetDlgItem(dialog, IDC_TEMP_CHECK))->kind);
        // The first control is the first child; the bitmap static, last in the template, is last.
        HWND first = GetWindow(dialog, GW_CHILD);
        EXPECT_EQ(first, GetDlgItem(dialog, IDC_STATIC));
        HWND last = first;
        int count = 1;
        while (HWND next = GetWindow(last, GW_HWNDNEXT)) last = next, ++count;
        EXPECT_EQ(16, count);
        EXPECT_EQ(LoadBitmapW(device::programInstance(), MAKEINTRESOURCEW(IDB_BROOM)),
                  reinterpret_cast<HBITMAP>(SendMessageW(last, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        RECT client{};
        EXPECT_TRUE(GetClientRect(dialog, &client));
        EXPECT_EQ(115 * device::kCharPixelsWide / device::kCharUnitsWide, client.right);
        EXPECT_EQ(94 * device::kCharPixelsHigh / device::kCharUnitsHigh, client.bottom);
        EndDialog(dialog, 1);
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(1, runDialog(IDD_MAIN, owner_));

    reactions[WM_INITDIALOG] = [&](HWND dialog, WPARAM, LPARAM) {
        HWND icon = GetDlgItem(dialog, IDC_ABOUT_ICON);
        EXPECT_EQ(LoadIconW(device::programInstance(), MAKEINTRESOURCEW(IDI_QUILLEX)),
                  reinterpret_cast<HICON>(SendMessageW(icon, STM_GETIMAGE, IMAGE_ICON, 0)));
        // Centred below the title bar.
        RECT rect = device::windowFind(dialog)->rect;
        EXPECT_LE(std::abs(device::kScreenWidth - rect.right - rect.left), 1);
        EndDialog(dialog, 1);
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(1, runDialog(IDD_ABOUT, owner_));
}

TEST_F(DialogsTest, QuitEndsNestedDialogsAndIsPostedAgain) {
    std::vector<std::string> events;
    reactions[WM_INITDIALOG] = [&](HWND dialog, WPARAM, LPARAM parameter) {
        if (parameter == 1) PostMessageW(dialog, WM_APP, 0, 0);
        if (parameter == 2) PostQuitMessage(6);
        return INT_PTR{TRUE};
    };
    reactions[WM_APP] = [&](HWND dialog, WPARAM, LPARAM) {
        events.push_back("inner returned " + std::to_string(runDialog(IDD_ABOUT, dialog, 2)));
        EXPECT_FALSE(GetWindowLongW(dialog, GWL_STYLE) & WS_DISABLED);
        return INT_PTR{0};
    };
    events.push_back("outer returned " + std::to_string(runDialog(IDD_MAIN, owner_, 1)));
    EXPECT_EQ(std::vector<std::string>({"inner returned 0", "outer returned 0"}), events);
    MSG message;
    EXPECT_EQ(FALSE, GetMessageW(&message, nullptr, 0, 0));  // still there for the main loop
    EXPECT_EQ(6u, message.wParam);
    EXPECT_EQ(std::vector<HWND>({owner_}), device::windowsInZOrder());
}

TEST_F(DialogsTest, DestroyingTheOwnerEndsTheDialogWithTheResultItWasGiven) {
    reactions[WM_INITDIALOG] = [](HWND dialog, WPARAM, LPARAM) {
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return INT_PTR{TRUE};
    };
    reactions[WM_COMMAND] = [&](HWND dialog, WPARAM, LPARAM) {
        EndDialog(dialog, 40007);
        DestroyWindow(owner_);
        return INT_PTR{TRUE};
    };
    EXPECT_EQ(40007, runDialog(IDD_MAIN, owner_));
    EXPECT_FALSE(IsWindow(owner_));
    EXPECT_TRUE(device::windowsInZOrder().empty());
}

TEST_F(DialogsTest, EscapeSendsCancelEnterSendsOkAndCloseSendsCancel) {
    reactions[WM_COMMAND] = [](HWND dialog, WPARAM wParam, LPARAM) {
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, 9);
        return INT_PTR{TRUE};
    };
    HWND dialog = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        return INT_PTR{TRUE};
    };
    script({[] { device::inputKey(VK_ESCAPE); }, [&] { PostMessageW(dialog, WM_CLOSE, 0, 0); },
            [] { device::inputKey(VK_RETURN); }});
    EXPECT_EQ(9, runDialog(IDD_MAIN, owner_));
    // Cancel does not end a dialog by itself; the key-ups still reach the focus control.
    std::vector<Seen> commands = taken(WM_COMMAND);
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ(MAKEWPARAM(IDCANCEL, BN_CLICKED), commands[0].wParam);
    EXPECT_EQ(MAKEWPARAM(IDCANCEL, BN_CLICKED), commands[1].wParam);
    EXPECT_EQ(MAKEWPARAM(IDOK, BN_CLICKED), commands[2].wParam);
}

// The focus starts on the first tab stop in template order (the picker). Tab walks the
// tab stops and the cells that report taps in the order they stand on the screen, so the
// weekday cells, above the picker, come after the last box and before the picker again.
// Space on a focused cell is its tap: the dialog hears its click.
TEST_F(DialogsTest, TabAndArrowsMoveTheFocusInScreenOrderOverCellsToo) {
    initDateClasses();
    std::vector<int> focused;
    auto record = [&] { focused.push_back(GetDlgCtrlID(GetFocus())); };
    HWND dialog = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM wParam, LPARAM) {
        dialog = window;
        EXPECT_EQ(GetDlgItem(window, IDC_AUTO_TIME), reinterpret_cast<HWND>(wParam));
        return INT_PTR{TRUE};
    };
    std::vector<std::function<void()>> steps{record};
    for (int i = 0; i < 14; ++i) {
        steps.push_back([] { device::inputKey(VK_TAB); });
        steps.push_back(record);
    }
    // Up stays in the picker, which keeps the arrows; Up on a check box moves back, Down
    // on the last box on to the first cell.
    steps.push_back([] { device::inputKey(VK_UP); });
    steps.push_back(record);
    steps.push_back([] { device::inputKey(VK_TAB); });
    steps.push_back([] { device::inputKey(VK_UP); });
    steps.push_back(record);
    steps.push_back([] { SetFocus(GetDlgItem(GetForegroundWindow(), IDC_AUTO_SOFTRESET)); });
    steps.push_back([] { device::inputKey(VK_DOWN); });
    steps.push_back(record);
    steps.push_back([] { device::inputKey(VK_SPACE); });
    steps.push_back([&] { EndDialog(dialog, 1); });
    script(steps);
    EXPECT_EQ(1, runDialog(IDD_AUTOSTART, owner_));
    EXPECT_EQ(std::vector<int>({IDC_AUTO_TIME, IDC_AUTO_NOTIFICATIONS, IDC_AUTO_TEMP, IDC_AUTO_IECACHE,
                                IDC_AUTO_HISTORY, IDC_AUTO_AVANTGO, IDC_AUTO_SOFTRESET, IDC_DAY_MONDAY, IDC_DAY_TUESDAY,
                                IDC_DAY_WEDNESDAY, IDC_DAY_THURSDAY, IDC_DAY_FRIDAY, IDC_DAY_SATURDAY, IDC_DAY_SUNDAY,
                                IDC_AUTO_TIME, IDC_AUTO_TIME, IDC_AUTO_TIME, IDC_DAY_MONDAY}),
              focused);
    std::vector<Seen> commands = taken(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(MAKEWPARAM(IDC_DAY_MONDAY, STN_CLICKED), commands[0].wParam);
}

TEST_F(DialogsTest, FocusIsLeftAloneWhenInitialisationReturnsFalse) {
    initDateClasses();
    SetFocus(owner_);
    reactions[WM_INITDIALOG] = [](HWND dialog, WPARAM, LPARAM) {
        PostMessageW(dialog, WM_APP, 0, 0);
        return INT_PTR{FALSE};
    };
    reactions[WM_APP] = [&](HWND dialog, WPARAM, LPARAM) {
        EXPECT_EQ(owner_, GetFocus());
        EndDialog(dialog, 2);
        return INT_PTR{0};
    };
    EXPECT_EQ(2, runDialog(IDD_AUTOSTART, owner_));
}

TEST_F(DialogsTest, FailuresToBuildADialog) {
    // Without the date classes the picker of the Auto-start dialog cannot be made.
    EXPECT_EQ(-1, runDialog(IDD_AUTOSTART, owner_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Auto-start"));
    EXPECT_EQ(std::vector<HWND>({owner_}), device::windowsInZOrder());

    std::vector<BYTE> copy(64, 0);
    EXPECT_EQ(-1, DialogBoxIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATEW*>(copy.data()), owner_,
                                          recordingDialogProc, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(-1, DialogBoxIndirectParamW(nullptr, nullptr, owner_, recordingDialogProc, 0));
    EXPECT_EQ(-1, runDialog(IDD_ABOUT, reinterpret_cast<HWND>(uintptr_t{0x4000})));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    seen.clear();
    device::faultArm("DialogBoxIndirectParamW", 1);
    EXPECT_EQ(-1, runDialog(IDD_ABOUT, owner_));
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(GetWindowLongW(owner_, GWL_STYLE) & WS_DISABLED);
}

// ---------------------------------------------------------------- painting

TEST_F(DialogsTest, PaintingAsksTheProcedureForColoursAndRecordsThem) {
    initDateClasses();
    HBRUSH light = CreateSolidBrush(RGB(220, 220, 230));
    HBRUSH dark = CreateSolidBrush(RGB(7, 27, 149));
    reactions[WM_ERASEBKGND] = [&](HWND dialog, WPARAM context, LPARAM) {
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(reinterpret_cast<HDC>(context), &client, light);
        return INT_PTR{TRUE};
    };
    bool mondaySelected = false;
    reactions[WM_CTLCOLORSTATIC] = [&](HWND, WPARAM context, LPARAM control) {
        auto dc = reinterpret_cast<HDC>(context);
        SetBkMode(dc, TRANSPARENT);
        if (GetDlgCtrlID(reinterpret_cast<HWND>(control)) == IDC_DAY_MONDAY && mondaySelected) {
            SetTextColor(dc, RGB(240, 250, 240));
            return reinterpret_cast<INT_PTR>(dark);
        }
        return reinterpret_cast<INT_PTR>(light);
    };
    HWND dialog = nullptr, monday = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        monday = GetDlgItem(window, IDC_DAY_MONDAY);
        return INT_PTR{TRUE};
    };
    std::set<LPARAM> paintedStatics;
    script({[&] {
                // Painted once before the first input: background first, then every static and
                // check box, then the picker as an edit.
                std::vector<Seen> painting;
                for (const Seen& m : seen)
                    if (isPainting(m.message) && m.message != WM_PAINT) painting.push_back(m);
                ASSERT_FALSE(painting.empty());
                EXPECT_EQ(static_cast<UINT>(WM_ERASEBKGND), painting.front().message);
                for (const Seen& m : taken(WM_CTLCOLORSTATIC)) paintedStatics.insert(m.lParam);
                EXPECT_EQ(1u, taken(WM_CTLCOLOREDIT).size());
                EXPECT_EQ(RGB(220, 220, 230), device::dialogFind(dialog)->colours.background);
                const device::PaintColours& cell = device::controlFind(monday)->colours;
                EXPECT_EQ(RGB(220, 220, 230), cell.background);
                EXPECT_EQ(RGB(0, 0, 0), cell.text);
                EXPECT_TRUE(cell.transparentText);
                EXPECT_FALSE(device::controlFind(GetDlgItem(dialog, IDC_AUTO_TIME))->colours.transparentText);
                seen.clear();
            },
            [&] {
                mondaySelected = true;
                InvalidateRect(monday, nullptr, TRUE);
                UpdateWindow(monday);
                std::vector<Seen> asked = taken(WM_CTLCOLORSTATIC);
                ASSERT_EQ(1u, asked.size());  // only the cell is painted again
                EXPECT_EQ(lp(monday), asked[0].lParam);
                const device::PaintColours& cell = device::controlFind(monday)->colours;
                EXPECT_EQ(RGB(7, 27, 149), cell.background);
                EXPECT_EQ(RGB(240, 250, 240), cell.text);
                EXPECT_EQ(2, cell.paints);
            },
            [&] { EndDialog(dialog, 1); }});
    EXPECT_EQ(1, runDialog(IDD_AUTOSTART, owner_));
    // Two labels, five action boxes and the soft-reset box, seven letter cells.
    EXPECT_EQ(15u, paintedStatics.size());
    EXPECT_TRUE(DeleteObject(light));
    EXPECT_TRUE(DeleteObject(dark));
}

TEST_F(DialogsTest, UnansweredColourQuestionsGetTheDefaults) {
    reactions[WM_INITDIALOG] = [](HWND dialog, WPARAM, LPARAM) {
        PostMessageW(dialog, WM_APP, 0, 0);
        return INT_PTR{TRUE};
    };
    reactions[WM_APP] = [](HWND dialog, WPARAM, LPARAM) {
        const device::PaintColours& label = device::controlFind(GetDlgItem(dialog, IDC_STATIC))->colours;
        EXPECT_EQ(RGB(255, 255, 255), label.background);
        EXPECT_FALSE(label.transparentText);
        EXPECT_EQ(1, label.paints);
        EXPECT_EQ(RGB(255, 255, 255), device::dialogFind(dialog)->colours.background);
        EndDialog(dialog, 1);
        return INT_PTR{0};
    };
    EXPECT_EQ(1, runDialog(IDD_ABOUT, owner_));
}

}  // namespace
