// Tests of the controls: check boxes toggled by taps, Space and BM_CLICK with their
// notifications, notifying statics, control text, the time picker's format, time and
// keys, the common-control registration, and the drawing objects and cursors.
#include "device/windowing/tests/dialog_recorder.h"

#include "device/core/faults.h"
#include "device/windowing/messages.h"
#include "res/resource.h"

using namespace dialog_testing;

namespace {

class ControlsTest : public DialogTest {};

TEST_F(ControlsTest, CheckBoxesToggleOnTapAndSpaceAndNotifyTheirParent) {
    HWND dialog = nullptr, box = nullptr, label = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        box = GetDlgItem(window, IDC_TEMP_CHECK);
        label = GetDlgItem(window, IDC_TEMP_SIZE);
        return INT_PTR{TRUE};
    };
    std::vector<int> states;
    auto record = [&] { states.push_back(static_cast<int>(SendMessageW(box, BM_GETCHECK, 0, 0))); };
    script({[&] { seen.clear(); device::controlTap(box); }, record,
            [&] { device::controlTap(box); }, record,
            [&] { device::inputKey(VK_SPACE); }, record,  // the tap gave it the focus
            [&] { SendMessageW(box, BM_CLICK, 0, 0); }, record,
            [&] { device::controlTap(label); },            // a plain static says nothing
            [&] { SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0); }, record,
            [&] { SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0); }, record,
            [&] {
                SetWindowLongW(box, GWL_STYLE, GetWindowLongW(box, GWL_STYLE) | WS_DISABLED);
                device::controlTap(box);
            },
            record, [&] { EndDialog(dialog, 1); }});
    EXPECT_EQ(1, runDialog(IDD_MAIN, owner_));
    EXPECT_EQ(std::vector<int>({1, 0, 1, 0, 1, 0, 0}), states);
    WPARAM clicked = MAKEWPARAM(IDC_TEMP_CHECK, BN_CLICKED);
    std::vector<Seen> commands = taken(WM_COMMAND);
    ASSERT_EQ(4u, commands.size());
    for (const Seen& command : commands) {
        EXPECT_EQ(clicked, command.wParam);
        EXPECT_EQ(lp(box), command.lParam);
    }
}

TEST_F(ControlsTest, NotifyingStaticsSendClickedAndTextsCanBeChanged) {
    initDateClasses();
    HWND dialog = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        return INT_PTR{TRUE};
    };
    std::u16string label;
    script({[&] {
                seen.clear();
                device::controlTap(GetDlgItem(dialog, IDC_DAY_FRIDAY));
                device::controlTap(GetDlgItem(dialog, IDC_AUTO_AT_LABEL));  // no SS_NOTIFY
            },
            [&] {
                HWND at = GetDlgItem(dialog, IDC_AUTO_AT_LABEL);
                EXPECT_TRUE(SetWindowTextW(at, u"Time:"));
                WCHAR text[3];
                EXPECT_EQ(2, GetWindowTextW(at, text, 3));
                label = text;
                EXPECT_EQ(5, SendMessageW(at, WM_GETTEXTLENGTH, 0, 0));
            },
            [&] { EndDialog(dialog, 1); }});
    EXPECT_EQ(1, runDialog(IDD_AUTOSTART, owner_));
    std::vector<Seen> commands = taken(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(MAKEWPARAM(IDC_DAY_FRIDAY, STN_CLICKED), commands[0].wParam);
    EXPECT_EQ(u"Ti", label);
}

// ---------------------------------------------------------------- the picker

class PickerTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        initDateClasses();
        picker_ = CreateWindowExW(0, DATETIMEPICK_CLASSW, u"", WS_CHILD | WS_VISIBLE | DTS_TIMEFORMAT, 0, 0, 60, 20,
                                  owner_, reinterpret_cast<HMENU>(intptr_t{5}), nullptr, nullptr);
        ASSERT_NE(nullptr, picker_);
    }
    void setTime(int hour, int minute, int second = 0) {
        SYSTEMTIME time{2026, 3, 2, 10, static_cast<WORD>(hour), static_cast<WORD>(minute),
                        static_cast<WORD>(second), 0};
        ASSERT_TRUE(SendMessageW(picker_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)));
    }
    SYSTEMTIME time() {
        SYSTEMTIME time{};
        EXPECT_EQ(GDT_VALID, SendMessageW(picker_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)));
        return time;
    }
    void keys(const std::string& sequence) {
        for (char key : sequence) {
            WPARAM code = key == '<' ? VK_LEFT : key == '>' ? VK_RIGHT : key == '^' ? VK_UP : key == 'v' ? VK_DOWN
                                                                                                         : key;
            SendMessageW(picker_, WM_KEYDOWN, code, 0);
        }
    }
    HWND picker_ = nullptr;
};

TEST_F(PickerTest, FormatsShowTheTime) {
    struct Case {
        const char16_t* format;
        int hour, minute, second;
        const char16_t* text;
    } cases[] = {
        {u"HH:mm", 7, 5, 0, u"07:05"},           {u"h:mm tt", 18, 30, 0, u"6:30 PM"},
        {u"h:mm tt", 0, 0, 0, u"12:00 AM"},      {u"HH.mm", 18, 30, 0, u"18.30"},
        {u"'at' H:mm:ss", 7, 5, 9, u"at 7:05:09"}, {u"hh'h'mm t", 12, 1, 0, u"12h01 P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format, c.format + std::u16string_view(c.format).size()));
        EXPECT_TRUE(SendMessageW(picker_, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(c.format)));
        setTime(c.hour, c.minute, c.second);
        EXPECT_EQ(std::u16string(c.text), device::pickerText(picker_));
        WCHAR text[20];
        GetWindowTextW(picker_, text, 20);
        EXPECT_EQ(std::u16string(c.text), text);
    }
    // The active field is the first one after a new format.
    SendMessageW(picker_, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(u"'at' HH:mm"));
    size_t begin = 0, end = 0;
    device::pickerText(picker_, &begin, &end);
    EXPECT_EQ(std::vector<size_t>({3, 5}), std::vector<size_t>({begin, end}));
}

TEST_F(PickerTest, SetAndGetKeepTheWholeTimeAndRefuseInvalidOnes) {
    SYSTEMTIME set{2026, 3, 2, 10, 18, 30, 15, 250};
    EXPECT_TRUE(SendMessageW(picker_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&set)));
    SYSTEMTIME got = time();
    EXPECT_EQ(std::vector<int>({2026, 3, 10, 18, 30, 15, 250}),
              std::vector<int>({got.wYear, got.wMonth, got.wDay, got.wHour, got.wMinute, got.wSecond,
                                got.wMilliseconds}));
    SYSTEMTIME bad = set;
    bad.wHour = 24;
    EXPECT_FALSE(SendMessageW(picker_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&bad)));
    EXPECT_FALSE(SendMessageW(picker_, DTM_SETSYSTEMTIME, GDT_NONE, 0));  // it has no empty state
    EXPECT_EQ(18, time().wHour);
    EXPECT_EQ(GDT_ERROR, SendMessageW(picker_, DTM_GETSYSTEMTIME, 0, 0));
}

TEST_F(PickerTest, ArrowsAndDigitsChangeTheFields) {
    struct Case {
        const char16_t* format;
        int hour, minute;
        const char* keys;  // < > ^ v for the arrows
        int wantHour, wantMinute;
    } cases[] = {
        {u"HH:mm", 23, 59, "^", 0, 59},          // the hour wraps alone
        {u"HH:mm", 7, 0, ">v", 7, 59},            // minutes wrap down
        {u"HH:mm", 7, 0, "18", 18, 0},            // two digits fill the hour
        {u"HH:mm", 7, 0, "35", 5, 0},             // 35 is no hour: the 5 starts again
        {u"HH:mm", 7, 0, "1>42", 1, 42},          // moving on forgets a half-typed field
        {u"HH:mm", 7, 0, "<<^", 8, 0},            // nothing left of the first field
        {u"HH:mm", 7, 0, ">>>^", 7, 1},           // nor right of the last
        {u"h:mm tt", 18, 30, "07", 19, 30},       // a 12-hour field keeps the afternoon
        {u"h:mm tt", 18, 30, "v", 17, 30},
        {u"h:mm tt", 12, 30, "v", 23, 30},        // 12 PM down is 11 PM
        {u"h:mm tt", 18, 30, ">>A", 6, 30},
        {u"h:mm tt", 6, 30, ">>P", 18, 30},
        {u"h:mm tt", 6, 30, ">>^", 18, 30},
        {u"h:mm tt", 6, 30, "A", 6, 30},          // letters only in the designator
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        SendMessageW(picker_, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(c.format));
        setTime(c.hour, c.minute);
        keys(c.keys);
        SYSTEMTIME got = time();
        EXPECT_EQ(std::vector<int>({c.wantHour, c.wantMinute, 2026, 10}),
                  std::vector<int>({got.wHour, got.wMinute, got.wYear, got.wDay}));
    }
}

TEST_F(PickerTest, KeysReachThePickerInsideTheDialog) {
    HWND dialog = nullptr, picker = nullptr;
    reactions[WM_INITDIALOG] = [&](HWND window, WPARAM, LPARAM) {
        dialog = window;
        picker = GetDlgItem(window, IDC_AUTO_TIME);
        SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(u"HH:mm"));
        SYSTEMTIME time{2026, 3, 2, 10, 7, 5, 0, 0};
        SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
        return INT_PTR{TRUE};
    };
    SYSTEMTIME shown{};
    HWND focus = nullptr;
    script({[] { device::inputKey(VK_UP); }, [] { device::inputKey(VK_RIGHT); }, [] { device::inputKey('3'); },
            [] { device::inputKey('0'); },
            [&] {
                SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
                focus = GetFocus();
                EndDialog(dialog, 1);
            }});
    EXPECT_EQ(1, runDialog(IDD_AUTOSTART, owner_));
    okSequence({{WM_INITDIALOG}, {WM_SHOWWINDOW}, {WM_DESTROY}}, "the keys went to the picker");
    EXPECT_EQ(picker, focus);
    EXPECT_EQ(std::vector<int>({8, 30}), std::vector<int>({shown.wHour, shown.wMinute}));
}

TEST_F(PickerTest, TheClassNeedsTheDateClasses) {
    INITCOMMONCONTROLSEX wrongSize{4, ICC_DATE_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    device::windowsReset();
    INITCOMMONCONTROLSEX other{sizeof(INITCOMMONCONTROLSEX), 0x4};
    EXPECT_TRUE(InitCommonControlsEx(&other));
    EXPECT_EQ(nullptr, CreateWindowExW(0, DATETIMEPICK_CLASSW, u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    initDateClasses();
    initDateClasses();  // again: harmless
    // Resource compilers store the class name upper-cased.
    EXPECT_NE(nullptr,
              CreateWindowExW(0, u"SYSDATETIMEPICK32", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
}

// ---------------------------------------------------------------- drawing and cursors

TEST(DrawingTest, BrushesStockObjectsAndContexts) {
    device::gdiReset();
    HBRUSH brush = CreateSolidBrush(RGB(7, 27, 149));
    ASSERT_NE(nullptr, brush);
    EXPECT_EQ(RGB(7, 27, 149), device::brushColour(brush).value_or(0));
    EXPECT_EQ(0x951B07u, RGB(7, 27, 149));
    EXPECT_NE(brush, CreateSolidBrush(RGB(7, 27, 149)));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(device::brushColour(brush).has_value());

    struct Stock {
        int index;
        std::optional<COLORREF> colour;
    } stock[] = {{WHITE_BRUSH, RGB(255, 255, 255)}, {BLACK_BRUSH, RGB(0, 0, 0)}, {NULL_BRUSH, std::nullopt}};
    for (const Stock& s : stock) {
        SCOPED_TRACE(s.index);
        HGDIOBJ object = GetStockObject(s.index);
        EXPECT_EQ(object, GetStockObject(s.index));
        EXPECT_EQ(s.colour, device::brushColour(static_cast<HBRUSH>(object)));
        EXPECT_TRUE(DeleteObject(object));
        EXPECT_EQ(object, GetStockObject(s.index));  // deleting a stock object does nothing
        EXPECT_EQ(s.colour, device::brushColour(static_cast<HBRUSH>(object)));
    }
    EXPECT_EQ(nullptr, GetStockObject(99));

    HDC context = device::contextOpen(nullptr);
    RECT rect{0, 0, 10, 10};
    EXPECT_EQ(OPAQUE, SetBkMode(context, TRANSPARENT));
    EXPECT_EQ(0, SetBkMode(context, 7));
    EXPECT_EQ(RGB(0, 0, 0), SetTextColor(context, RGB(1, 2, 3)));
    EXPECT_EQ(RGB(1, 2, 3), device::contextTextColour(context));
    EXPECT_FALSE(device::contextFill(context).has_value());
    EXPECT_TRUE(FillRect(context, &rect, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))));
    EXPECT_EQ(RGB(128, 128, 128), device::contextFill(context).value_or(0));
    EXPECT_FALSE(FillRect(context, &rect, brush));  // deleted
    EXPECT_FALSE(FillRect(context, nullptr, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))));
    device::contextClose(context);
    EXPECT_EQ(CLR_INVALID, SetTextColor(context, RGB(1, 2, 3)));
    EXPECT_EQ(0, SetBkMode(context, OPAQUE));
    EXPECT_FALSE(FillRect(context, &rect, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))));

    device::faultArm("CreateSolidBrush", 1);
    EXPECT_EQ(nullptr, CreateSolidBrush(0));
    device::gdiReset();
}

TEST(DrawingTest, TheCurrentCursorIsRecorded) {
    device::gdiReset();
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_TRUE(wait && arrow);
    EXPECT_NE(wait, arrow);
    EXPECT_EQ(wait, LoadCursorW(nullptr, IDC_WAIT));
    EXPECT_EQ(nullptr, LoadCursorW(nullptr, MAKEINTRESOURCEW(32513)));
    EXPECT_EQ(nullptr, LoadCursorW(device::programInstance(), IDC_WAIT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());

    EXPECT_EQ(nullptr, SetCursor(wait));
    EXPECT_TRUE(device::cursorIsWait());
    EXPECT_EQ(wait, SetCursor(arrow));
    EXPECT_FALSE(device::cursorIsWait());
    EXPECT_EQ(arrow, device::cursorCurrent());
    device::gdiReset();
}

}  // namespace
