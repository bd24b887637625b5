// Every dialog of the program's resources, filled with the longest texts the program
// writes, as the screens draw it: each control's text whole in cells of its own, with
// every keyboard stop focused in turn, in the cells both screens show and in the text the
// script screen writes.
#include "device/screens/render.h"

#include "device/core/utf.h"
#include "device/windowing/messages.h"
#include "device/windowing/tests/dialog_recorder.h"

#include <algorithm>

using namespace dialog_testing;

namespace {

struct Box {
    int left, top, right, bottom;  // cells, right and bottom excluded
};

// The cells a control covers at the screen's scale: its columns, and the rows whose
// middle it covers (a one-row control: the row of its text's middle).
Box cellsOf(const RECT& units) {
    int height = units.bottom - units.top;
    Box box{units.left / device::kCellUnitsWide, 0, 0, 0};
    box.right = box.left + std::max((units.right - units.left) / device::kCellUnitsWide, 1);
    if (height >= 2 * device::kCellUnitsHigh) {
        box.top = (units.top + device::kCellUnitsHigh / 2 - 1) / device::kCellUnitsHigh;
        box.bottom = (units.bottom + device::kCellUnitsHigh / 2 - 1) / device::kCellUnitsHigh;
    } else {
        box.top = (units.top + std::min(height, device::kCellUnitsHigh) / 2) / device::kCellUnitsHigh;
        box.bottom = box.top + 1;
    }
    return box;
}

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// What a control must show whole; empty for a picture.
std::u16string textOf(HWND control) {
    device::Window* window = device::windowFind(control);
    device::ControlState* state = device::controlFind(control);
    switch (state->kind) {
    case device::ControlKind::CheckBox:
        return std::u16string(state->checked ? u"[x]" : u"[ ]") + (window->title.empty() ? u"" : u" " + window->title);
    case device::ControlKind::Picker: return device::pickerText(control);
    case device::ControlKind::Static: {
        DWORD type = window->style & SS_TYPEMASK;
        return type == SS_ICON || type == SS_BITMAP ? u"" : window->title;
    }
    default: return window->title;
    }
}

// Checks the front dialog as drawn now. `context` names the case.
void expectWholeAndApart(const std::string& context) {
    SCOPED_TRACE(context);
    HWND dialog = GetForegroundWindow();
    device::ScreenGrid grid = device::screenRender();
    std::vector<std::string> lines = device::screenLines();
    std::vector<std::pair<HWND, Box>> boxes;
    for (HWND control : device::windowFind(dialog)->children) {
        device::ControlState* state = device::controlFind(control);
        if (!state) continue;  // the soft-key bar, drawn apart
        std::u16string expected = textOf(control);
        SCOPED_TRACE(device::toUtf8(expected) + " (control " + std::to_string(GetDlgCtrlID(control)) + ")");
        Box box = cellsOf(state->units);
        for (const auto& [other, otherBox] : boxes)
            EXPECT_FALSE(overlap(box, otherBox)) << "overlaps control " << GetDlgCtrlID(other);
        boxes.emplace_back(control, box);
        if (expected.empty()) continue;

        // The cells the control's text reaches, row by row: its text whole among them once
        // the marks of selection and focus are left out.
        std::u16string shown;
        for (int row = 0; row < device::kScreenRows; ++row)
            for (int column = 0; column < device::kScreenColumns; ++column)
                if (grid.at(row, column).target.window == control) shown += grid.at(row, column).character;
        std::u16string unmarked;
        for (char16_t c : shown)
            if (state->kind == device::ControlKind::CheckBox || (c != u'[' && c != u']' && c != u'>')) unmarked += c;
        EXPECT_NE(std::u16string::npos, unmarked.find(expected)) << "cut: " << device::toUtf8(shown);

        bool inText = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            std::string plain;
            for (char c : line)
                if (state->kind == device::ControlKind::CheckBox || (c != '[' && c != ']')) plain += c;
            return plain.find(device::toUtf8(expected)) != std::string::npos;
        });
        EXPECT_TRUE(inText) << "not whole in the script screen's text";
    }
}

// Input that fills the dialog with `fill`, checks it, then presses Tab `stops` times and
// checks it with each keyboard stop focused in turn.
std::vector<std::function<void()>> everyFocus(const std::string& context, int stops, std::function<void()> fill) {
    std::vector<std::function<void()>> steps;
    steps.push_back([=] {
        fill();
        expectWholeAndApart(context);
        device::inputKey(VK_TAB);
    });
    for (int i = 0; i < stops; ++i) {
        steps.push_back([=] {
            expectWholeAndApart(context + ", focus on control " + std::to_string(GetDlgCtrlID(GetFocus())));
            device::inputKey(VK_TAB);
        });
    }
    return steps;
}

class LayoutTest : public DialogTest {};

TEST_F(LayoutTest, MainDialogWithTheLongestFigures) {
    reactLikeTheProgram();
    script(everyFocus("main dialog", 5, [] {
        HWND dialog = GetForegroundWindow();
        // A count of seven digits, and the longest size texts: 4294967295 and 1048576 bytes.
        SetWindowTextW(GetDlgItem(dialog, IDC_NOTIFICATIONS_COUNT), u"1234567");
        for (int id : {IDC_TEMP_SIZE, IDC_HISTORY_SIZE}) SetWindowTextW(GetDlgItem(dialog, id), u"4096.0 MB");
        for (int id : {IDC_IECACHE_SIZE, IDC_AVANTGO_SIZE}) SetWindowTextW(GetDlgItem(dialog, id), u"1024.0 KB");
        for (int id : {IDC_NOTIFICATIONS_CHECK, IDC_IECACHE_CHECK})
            SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, BST_CHECKED, 0);
    }));
    runDialog(IDD_MAIN, owner_, 1);
}

TEST_F(LayoutTest, AboutBox) {
    script(everyFocus("About box", 1, [] {}));
    runDialog(IDD_ABOUT, owner_, 0);
}

TEST_F(LayoutTest, AutoStartDialogWithEveryDaySelectedAndTheLongestTime) {
    initDateClasses();
    // Selected cells are painted apart, as the program paints them.
    static HBRUSH dark = CreateSolidBrush(RGB(7, 27, 149));
    reactions[WM_CTLCOLORSTATIC] = [](HWND, WPARAM context, LPARAM control) {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(control));
        if (id < IDC_DAY_SUNDAY || id > IDC_DAY_SATURDAY) return INT_PTR{0};
        SetBkMode(reinterpret_cast<HDC>(context), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(context), RGB(240, 250, 240));
        return reinterpret_cast<INT_PTR>(dark);
    };
    // The picker, six boxes and seven cells.
    script(everyFocus("Auto-start dialog", 14, [] {
        HWND dialog = GetForegroundWindow();
        HWND picker = GetDlgItem(dialog, IDC_AUTO_TIME);
        SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(u"h:mm tt"));
        SYSTEMTIME time{2026, 12, 1, 7, 12, 59, 0, 0};
        SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
        for (int id : {IDC_AUTO_NOTIFICATIONS, IDC_AUTO_TEMP, IDC_AUTO_IECACHE, IDC_AUTO_HISTORY, IDC_AUTO_AVANTGO,
                       IDC_AUTO_SOFTRESET})
            SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(u"12:59 PM", device::pickerText(picker));
    }));
    runDialog(IDD_AUTOSTART, owner_, 0);
}

}  // namespace
