// Tests of the shared drawing of the device screen and of the terminal screen's input: the
// colour and picture pieces, what the cells carry for the program's dialogs (colours,
// pictures, the focus, tap targets), and keys and taps carried out on a running dialog.
#include "device/screens/input.h"
#include "device/screens/render.h"
#include "device/screens/view.h"

#include "device/core/utf.h"
#include "device/windowing/tests/dialog_recorder.h"
#include "device/shell/shell.h"
#include "res/resource.h"

#include <set>

using namespace dialog_testing;

namespace {

TEST(TerminalColourTest, NearestOfThePalette) {
    struct Case {
        COLORREF colour;
        int colours;
        int expected;
    } cases[] = {
        {RGB(255, 0, 0), 8, 1},         {RGB(0, 0, 255), 8, 4},          {RGB(0, 64, 160), 8, 4},
        {RGB(250, 250, 250), 8, 7},     {RGB(20, 20, 20), 8, 0},         {RGB(255, 255, 0), 16, 11},
        {RGB(128, 128, 128), 16, 8},    {RGB(255, 255, 255), 16, 15},    {RGB(0, 0, 0), 256, 16},
        {RGB(255, 255, 255), 256, 231}, {RGB(255, 0, 0), 256, 196},      {RGB(0, 0, 128), 256, 18},
        {RGB(128, 128, 128), 256, 244}, {RGB(192, 192, 192), 256, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour << std::dec << " of " << c.colours);
        EXPECT_EQ(c.expected, device::terminalColour(c.colour, c.colours));
    }
}

// Where the terminal screen puts the device screen and its key help, by terminal size: at
// 80 x 24 the screen fills the rows and the help goes beside it; with rows to spare the
// help goes below; too small a terminal gets the notice alone.
TEST(TerminalViewTest, ScreenAndKeyHelpByTerminalSize) {
    const std::string help = "F1 Cleanup  F2 Tools  Tab move  Space tick  Enter/Esc quit";
    device::ScreenGrid screen;
    screen.at(0, 0).character = u'Q';
    struct Case {
        int rows, columns;
        bool fits;
        int top, left;
        int helpRow, helpColumn;  // where "F1 Cleanup" starts; -1 where there is no room for it
    } cases[] = {
        {24, 80, true, 0, 1, 1, 57},   // beside, the frame's sides only
        {26, 80, true, 1, 1, 2, 57},   // framed, still no row for the help below
        {30, 60, true, 2, 3, 27, 1},   // framed, the help on a row below
        {24, 53, true, 0, 0, -1, -1},  // the screen alone
        {23, 80, false, 0, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << " x " << c.rows);
        device::TerminalView view = device::terminalView(screen, help, c.rows, c.columns);
        ASSERT_EQ(static_cast<size_t>(c.rows * c.columns), view.cells.size());
        EXPECT_EQ(c.fits, view.fits);
        std::u16string text;
        for (const device::Cell& cell : view.cells) text += cell.character;
        if (!c.fits) {
            EXPECT_NE(std::u16string::npos, text.find(u"press q, Escape or Ctrl+C to quit")) << device::toUtf8(text);
            continue;
        }
        EXPECT_EQ(c.top, view.top);
        EXPECT_EQ(c.left, view.left);
        EXPECT_EQ(u'Q', view.at(view.top, view.left).character);
        size_t at = text.find(u"F1 Cleanup");
        EXPECT_EQ(c.helpRow < 0 ? std::u16string::npos : static_cast<size_t>(c.helpRow * c.columns + c.helpColumn), at);
        if (at != std::u16string::npos) {
            EXPECT_EQ(device::kCellTerminal | device::kCellDim, view.cells[at].attributes);
        }
    }
}

device::Picture pictureOf(int width, int height, std::vector<uint32_t> colours, std::vector<bool> opaque = {}) {
    device::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.colours = std::move(colours);
    picture.opaque = opaque.empty() ? std::vector<bool>(picture.colours.size(), true) : std::move(opaque);
    return picture;
}

TEST(PictureScaleTest, AveragesWhatEachPixelCovers) {
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
    device::Picture quarters = pictureOf(2, 2, {red, green, blue, white});
    EXPECT_EQ(std::vector<COLORREF>({RGB(128, 128, 128)}), device::pictureScale(quarters, 1, 1, 0));
    EXPECT_EQ(std::vector<COLORREF>({RGB(128, 0, 128), RGB(128, 255, 128)}), device::pictureScale(quarters, 2, 1, 0));
    EXPECT_EQ(std::vector<COLORREF>({RGB(128, 128, 0), RGB(128, 128, 255)}), device::pictureScale(quarters, 1, 2, 0));
    // Growing repeats the nearest pixel.
    EXPECT_EQ(std::vector<COLORREF>({red, red, green, green, blue, blue, white, white}),
              device::pictureScale(quarters, 4, 2, 0));
    // A transparent pixel is the background.
    device::Picture masked = pictureOf(2, 1, {red, red}, {true, false});
    EXPECT_EQ(std::vector<COLORREF>({RGB(128, 0, 128)}), device::pictureScale(masked, 1, 1, blue));
    EXPECT_EQ(std::vector<COLORREF>({blue, blue}), device::pictureScale(device::Picture{}, 2, 1, blue));
    EXPECT_TRUE(device::pictureScale(quarters, 0, 3, blue).empty());
}

TEST(PictureScaleTest, IconImageIsTheSmallestWideEnough) {
    std::vector<device::Picture> images(3);
    images[0].width = 32, images[1].width = 16, images[2].width = 48;
    EXPECT_EQ(&images[1], device::iconImageFor(images, 5));
    EXPECT_EQ(&images[0], device::iconImageFor(images, 20));
    EXPECT_EQ(&images[2], device::iconImageFor(images, 64));
    EXPECT_EQ(nullptr, device::iconImageFor({}, 5));
}

// ------------------------------------------------------------ the program's dialogs

class ScreenRenderTest : public DialogTest {
protected:
    // The main dialog as the program sets it up; a command ends the dialog with its number.
    void SetUp() override {
        DialogTest::SetUp();
        reactLikeTheProgram();
    }

    // The first cell, row by row, that `match` accepts; (-1, -1) for none.
    template <typename Match>
    static std::pair<int, int> find(const device::ScreenGrid& grid, Match match) {
        for (int r = 0; r < device::kScreenRows; ++r)
            for (int c = 0; c < device::kScreenColumns; ++c)
                if (match(grid.at(r, c))) return {r, c};
        return {-1, -1};
    }
    static std::pair<int, int> findText(const device::ScreenGrid& grid, std::u16string_view text) {
        for (int r = 0; r < device::kScreenRows; ++r) {
            std::u16string row;
            for (int c = 0; c < device::kScreenColumns; ++c) row += grid.at(r, c).character;
            if (size_t at = row.find(text); at != std::u16string::npos) return {r, static_cast<int>(at)};
        }
        return {-1, -1};
    }
};

TEST_F(ScreenRenderTest, CellsCarryTheColoursThePaintingChose) {
    initDateClasses();
    const COLORREF grey = RGB(200, 200, 200), dark = RGB(0, 0, 128);
    HBRUSH greyBrush = CreateSolidBrush(grey), darkBrush = CreateSolidBrush(dark);
    reactions[WM_ERASEBKGND] = [&](HWND dialog, WPARAM context, LPARAM) {
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(reinterpret_cast<HDC>(context), &client, greyBrush);
        return INT_PTR{TRUE};
    };
    // Tuesday's cell is selected: white on dark; the other statics on grey. Text drawn
    // transparently still shows the brush's fill around it.
    reactions[WM_CTLCOLORSTATIC] = [&](HWND, WPARAM context, LPARAM control) {
        bool selected = GetDlgCtrlID(reinterpret_cast<HWND>(control)) == IDC_DAY_TUESDAY;
        if (selected) SetTextColor(reinterpret_cast<HDC>(context), RGB(255, 255, 255));
        SetBkMode(reinterpret_cast<HDC>(context), selected ? TRANSPARENT : OPAQUE);
        return reinterpret_cast<INT_PTR>(selected ? darkBrush : greyBrush);
    };
    device::ScreenGrid grid;
    HWND picker = nullptr;
    script({[&] {
        grid = device::screenRender();
        picker = GetDlgItem(GetForegroundWindow(), IDC_AUTO_TIME);
        EndDialog(GetForegroundWindow(), 0);
    }});
    runDialog(IDD_AUTOSTART, owner_, 0);

    // The cells are three columns wide, the letter in the middle; the selected one, painted
    // apart from the dialog, shows its letter in brackets.
    auto [row, monday] = findText(grid, u"M [T] W");
    ASSERT_GE(row, 0);
    int tuesday = monday + 2;
    for (int c : {tuesday, tuesday + 1, tuesday + 2}) {
        EXPECT_EQ(dark, grid.at(row, c).background) << c;
        EXPECT_EQ(RGB(255, 255, 255), grid.at(row, c).text) << c;
        EXPECT_EQ(device::TargetKind::Control, grid.at(row, c).target.kind);
    }
    for (int c : {monday - 1, monday, monday + 1, tuesday + 3, tuesday + 4})
        EXPECT_EQ(grey, grid.at(row, c).background) << c;
    EXPECT_EQ(grey, grid.at(row + 1, monday + 20).background);  // the dialog's own background

    // The picker has the focus: its active field shows in brackets and reverse video, the
    // rest plainly, with the focus mark before it.
    auto [pickerRow, colon] = find(grid, [picker](const device::Cell& cell) {
        return cell.target.window == picker && cell.character == u':';
    });
    ASSERT_GE(pickerRow, 0);
    EXPECT_TRUE(grid.at(pickerRow, colon - 1).attributes & device::kCellReverse);
    EXPECT_FALSE(grid.at(pickerRow, colon).attributes & device::kCellReverse);
    EXPECT_FALSE(grid.at(pickerRow, colon + 1).attributes & device::kCellReverse);
    EXPECT_EQ(u']', grid.at(pickerRow, colon - 1).character);
    EXPECT_EQ(u'[', grid.at(pickerRow, colon - 4).character);
    EXPECT_EQ(u'>', grid.at(pickerRow, colon - 5).character);
    DeleteObject(greyBrush);
    DeleteObject(darkBrush);
}

// The focus never inverts a state: a focused weekday cell keeps the colours of its state,
// chosen or not (so the terminal, with or without colours, and the picture show it as it
// is), and is told by the mark and the underline; in the text only brackets say chosen.
TEST_F(ScreenRenderTest, FocusOnAWeekdayCellKeepsItsState) {
    initDateClasses();
    HBRUSH dark = CreateSolidBrush(RGB(0, 0, 128));
    reactions[WM_CTLCOLORSTATIC] = [&](HWND, WPARAM context, LPARAM control) {
        if (GetDlgCtrlID(reinterpret_cast<HWND>(control)) != IDC_DAY_TUESDAY) return INT_PTR{0};
        SetTextColor(reinterpret_cast<HDC>(context), RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(dark);
    };
    struct Case {
        int focus;
        const char16_t* unfocused;
        const char16_t* focused;
        device::ScreenGrid grid;
    } cases[] = {{IDC_AUTO_TIME, nullptr, nullptr, {}},
                 {IDC_DAY_MONDAY, u" M ", u">M ", {}},
                 {IDC_DAY_TUESDAY, u"[T]", u">T]", {}}};
    std::vector<HWND> cells(std::size(cases));
    script({[&] {
        HWND dialog = GetForegroundWindow();
        for (size_t i = 0; i < std::size(cases); ++i) {
            cells[i] = GetDlgItem(dialog, cases[i].focus);
            SetFocus(cells[i]);
            ASSERT_EQ(cells[i], GetFocus());
            cases[i].grid = device::screenRender();
        }
        EndDialog(dialog, 0);
    }});
    runDialog(IDD_AUTOSTART, owner_, 0);

    const device::ScreenGrid& unfocused = cases[0].grid;
    for (size_t i = 1; i < std::size(cases); ++i) {
        SCOPED_TRACE(device::toUtf8(cases[i].unfocused));
        std::u16string before, after;
        for (int r = 0; r < device::kScreenRows; ++r) {
            for (int c = 0; c < device::kScreenColumns; ++c) {
                const device::Cell& was = unfocused.at(r, c);
                const device::Cell& is = cases[i].grid.at(r, c);
                if (is.target.window != cells[i]) continue;
                before += was.character, after += is.character;
                EXPECT_EQ(was.text, is.text) << c;
                EXPECT_EQ(was.background, is.background) << c;
                EXPECT_FALSE(is.attributes & device::kCellReverse) << c;
                bool letter = is.character >= u'A' && is.character <= u'Z';
                EXPECT_TRUE(!letter || (is.attributes & device::kCellUnderline)) << c;
            }
        }
        EXPECT_EQ(cases[i].unfocused, before);
        EXPECT_EQ(cases[i].focused, after);
    }
    DeleteObject(dark);
}

TEST_F(ScreenRenderTest, IconIsDrawnAsPixelsBesideItsText) {
    device::ScreenGrid grid;
    HWND icon = nullptr;
    script({[&] {
        grid = device::screenRender();
        icon = GetDlgItem(GetForegroundWindow(), IDC_ABOUT_ICON);
    }});
    runDialog(IDD_ABOUT, owner_, 0);

    auto [textRow, textColumn] = findText(grid, u"Quillex v1.07");
    ASSERT_GE(textRow, 0);
    std::set<COLORREF> colours;
    int pictureCells = 0;
    for (int r = 0; r < device::kScreenRows; ++r) {
        for (int c = 0; c < device::kScreenColumns; ++c) {
            const device::Cell& cell = grid.at(r, c);
            if (!cell.picture) continue;
            ++pictureCells;
            colours.insert(cell.upper);
            colours.insert(cell.lower);
            EXPECT_LT(c, textColumn) << "over the text at row " << r;
            EXPECT_EQ(icon, cell.target.window);
        }
    }
    // 20 x 20 units: seven cells across, five half-cell pixels down.
    EXPECT_EQ(21, pictureCells);
    EXPECT_GT(colours.size(), 2u);
    // The text standing in for the icon is marked, so a screen with pictures leaves it out.
    EXPECT_TRUE(grid.at(textRow, textColumn - 3).placeholder);  // "[icon]" ends two blanks before the text
    EXPECT_FALSE(grid.at(textRow, textColumn).placeholder);
}

// Presses of the terminal screen on the main dialog, one a step of the input.
struct Press {
    device::ScreenKey key;
    char32_t character = 0;
};

TEST_F(ScreenRenderTest, KeysWorkTheDialogAndItsMenu) {
    using K = device::ScreenKey;
    struct Case {
        const char* name;
        std::vector<Press> presses;
        INT_PTR result;
    } cases[] = {
        {"Enter is the title bar's OK", {{K::Enter}}, IDOK},
        {"Escape is Cancel", {{K::Escape}}, IDCANCEL},
        {"F1 presses the left soft key", {{K::SoftLeft}}, IDM_CLEANUP},
        {"Enter chooses the first item", {{K::SoftRight}, {K::Enter}}, IDM_ABOUT},
        {"Up wraps to the last item", {{K::SoftRight}, {K::Up}, {K::Enter}}, IDM_EXIT},
        {"Down skips the separator", {{K::SoftRight}, {K::Down}, {K::Down}, {K::Down}, {K::Enter}}, IDM_EXIT},
        {"a letter chooses its item", {{K::SoftRight}, {K::Character, U'E'}}, IDM_EXPORT_LOG},
        {"Escape closes the menu first", {{K::SoftRight}, {K::Escape}, {K::Enter}}, IDOK},
        {"other keys wait for the menu", {{K::SoftRight}, {K::Tab}, {K::Character, U' '}, {K::Enter}}, IDM_ABOUT},
        {"F2 again closes the menu", {{K::SoftRight}, {K::SoftRight}, {K::Enter}}, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device::ScreenInput input;
        std::vector<std::function<void()>> steps;
        for (const Press& press : c.presses) steps.push_back([&input, press] { input.key(press.key, press.character); });
        script(steps);
        EXPECT_EQ(c.result, runDialog(IDD_MAIN, owner_, 1));
    }
}

TEST_F(ScreenRenderTest, ShiftTabMovesBackAndSpaceTicks) {
    device::ScreenInput input;
    bool notifications = true, avantGo = false;
    script({[&] { input.key(device::ScreenKey::BackTab); },
            [&] { input.key(device::ScreenKey::Character, U' '); },
            [&] {
                HWND dialog = GetForegroundWindow();
                notifications = SendMessageW(GetDlgItem(dialog, IDC_NOTIFICATIONS_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED;
                avantGo = SendMessageW(GetDlgItem(dialog, IDC_AVANTGO_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED;
            }});
    runDialog(IDD_MAIN, owner_, 1);
    EXPECT_FALSE(notifications);
    EXPECT_TRUE(avantGo);  // from the first tab stop back to the last
}

TEST_F(ScreenRenderTest, TapsPressWhatTheCellsShow) {
    device::ScreenInput input;
    device::ScreenGrid grid;
    bool ticked = false, popupShown = false;
    device::CellTarget okTarget;
    auto tapText = [&](std::u16string_view text) {
        auto [row, column] = findText(grid, text);
        ASSERT_GE(row, 0) << device::toUtf8(text);
        EXPECT_TRUE(input.tap(grid, row, column + 1));
    };
    script({[&] {
                grid = device::screenRender();
                okTarget = grid.at(0, device::kScreenColumns - 2).target;
                // The IE Cache row's check box.
                int row = findText(grid, u"IE Cache:").first, box = -1;
                ASSERT_GE(row, 0);
                for (int c = device::kScreenColumns - 1; c >= 0 && box < 0; --c)
                    if (grid.at(row, c).character == u'[') box = c;
                EXPECT_TRUE(input.tap(grid, row, box));
            },
            [&] {
                ticked = SendMessageW(GetDlgItem(GetForegroundWindow(), IDC_IECACHE_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED;
                grid = device::screenRender();
                tapText(u"Tools");
            },
            [&] {
                grid = device::screenRender({true, input.highlight()});
                popupShown = findText(grid, u"Automatic Start").first >= 0;
                // A tap outside the menu only closes it; the next one reaches the item.
                EXPECT_TRUE(input.tap(grid, 3, 3));
                EXPECT_EQ(-1, input.highlight());
                ASSERT_TRUE(device::menuBarPress(device::menuBarOf(GetForegroundWindow()), 1));
                tapText(u"Exit");
            }});
    EXPECT_EQ(IDM_EXIT, runDialog(IDD_MAIN, owner_, 1));
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(popupShown);
    EXPECT_EQ(device::TargetKind::TitleOk, okTarget.kind);
}

}  // namespace
