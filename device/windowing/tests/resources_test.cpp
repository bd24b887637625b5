// Tests of the program's resources as the emulation serves them: every string of the
// table and the platform's truncation rules, the accelerator table, the menu-bar data
// word by word, menu 102, the three dialog templates control by control, the icon and
// the bitmap as decoded pictures, and lookups that must fail.
#include "device/windowing/resources.h"

#include "device/core/faults.h"
#include "device/windowing/templates.h"
#include "platform/windows.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using device::DialogLayout;
using device::programInstance;

namespace {

class ResourcesTest : public ::testing::Test {
protected:
    void TearDown() override { device::faultDisarmAll(); }
};

struct StringCase {
    UINT id;
    std::u16string text;
};

const StringCase kStrings[] = {
    {IDS_APP_TITLE, u"Quillex"},
    {IDS_APP_CLASS, u"QUILLEX"},
    {IDS_TOOLS, u"Tools"},
    {IDS_CLEANUP, u"Cleanup"},
};

TEST_F(ResourcesTest, EveryStringLoadsWhole) {
    for (const StringCase& c : kStrings) {
        WCHAR buffer[100];
        int length = LoadStringW(programInstance(), c.id, buffer, 100);
        EXPECT_EQ(length, static_cast<int>(c.text.size())) << c.id;
        EXPECT_EQ(std::u16string(buffer), c.text) << c.id;
        // The null instance stands for the program as well.
        EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 100), length) << c.id;
    }
}

TEST_F(ResourcesTest, SmallBuffersTruncateAndTerminateWithoutOverrun) {
    for (const StringCase& c : kStrings) {
        for (int size = 1; size <= static_cast<int>(c.text.size()) + 2; ++size) {
            std::vector<WCHAR> buffer(size + 4, u'#');
            int copied = LoadStringW(programInstance(), c.id, buffer.data(), size);
            int expected = std::min(size - 1, static_cast<int>(c.text.size()));
            ASSERT_EQ(copied, expected) << c.id << " size " << size;
            EXPECT_EQ(std::u16string(buffer.data()), c.text.substr(0, expected));
            for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], u'#') << "overrun at " << i;
        }
    }
}

TEST_F(ResourcesTest, BufferSizeZeroGivesReadOnlyPointer) {
    for (const StringCase& c : kStrings) {
        LPCWSTR text = nullptr;
        int length = LoadStringW(programInstance(), c.id, reinterpret_cast<LPWSTR>(&text), 0);
        ASSERT_EQ(length, static_cast<int>(c.text.size()));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::u16string(text, length), c.text);
    }
    // The pointer is into the module's own data, not a copy.
    LPCWSTR title = nullptr;
    LoadStringW(programInstance(), IDS_APP_TITLE, reinterpret_cast<LPWSTR>(&title), 0);
    EXPECT_GE(device::resourceBytesFrom(title), 14u);
}

TEST_F(ResourcesTest, MissingStrings) {
    WCHAR buffer[10] = u"untouched";
    // Block 1 exists (strings 1 and 3); string 2 in it is empty.
    EXPECT_EQ(LoadStringW(programInstance(), 2, buffer, 10), 0);
    EXPECT_EQ(buffer[0], 0);
    // No block holds strings 496..511: the buffer stays as it was.
    std::u16string before = u"untouched";
    std::copy(before.begin(), before.end(), buffer);
    SetLastError(0);
    EXPECT_EQ(LoadStringW(programInstance(), 500, buffer, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(std::u16string(buffer), before);
    // Another module has none of the program's resources.
    HINSTANCE other = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x20000));
    EXPECT_EQ(LoadStringW(other, IDS_APP_TITLE, buffer, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    device::faultArm("LoadStringW", 1);
    EXPECT_EQ(LoadStringW(programInstance(), IDS_APP_TITLE, buffer, 10), 0);
    EXPECT_EQ(LoadStringW(programInstance(), IDS_APP_TITLE, buffer, 10), 7);
}

TEST_F(ResourcesTest, AcceleratorTableHasCtrlAAndCtrlQ) {
    HACCEL table = LoadAcceleratorsW(programInstance(), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(LoadAcceleratorsW(programInstance(), MAKEINTRESOURCEW(IDR_ACCELERATORS)), table);
    const std::vector<ACCEL>* entries = device::acceleratorEntries(table);
    ASSERT_NE(entries, nullptr);
    ASSERT_EQ(entries->size(), 2u);
    const BYTE flags = FVIRTKEY | FCONTROL | FNOINVERT;
    EXPECT_EQ((*entries)[0].fVirt, flags);
    EXPECT_EQ((*entries)[0].key, 'A');
    EXPECT_EQ((*entries)[0].cmd, 40003);
    EXPECT_EQ((*entries)[1].fVirt, flags);
    EXPECT_EQ((*entries)[1].key, 'Q');
    EXPECT_EQ((*entries)[1].cmd, 1);
    EXPECT_EQ(device::acceleratorEntries(reinterpret_cast<HACCEL>(const_cast<BYTE*>(&flags))), nullptr);
    EXPECT_EQ(LoadAcceleratorsW(programInstance(), MAKEINTRESOURCEW(4)), nullptr);
}

// The resource's bytes as 16-bit little-endian words.
std::vector<WORD> wordsOf(LPCWSTR name, LPCWSTR type) {
    HRSRC found = FindResourceW(programInstance(), name, type);
    if (found == nullptr) return {};
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(programInstance(), found)));
    DWORD size = SizeofResource(programInstance(), found);
    std::vector<WORD> words;
    for (DWORD i = 0; i + 1 < size; i += 2) words.push_back(static_cast<WORD>(bytes[i] | bytes[i + 1] << 8));
    return words;
}

TEST_F(ResourcesTest, MenuBarDataWords) {
    const std::vector<WORD> expected = {
        102, 2,
        0xFFFE, 40004, 4, 16, 40006, 0, 0xFFFF,
        0xFFFE, 40001, 4, 24, 104, 0, 1,
    };
    EXPECT_EQ(wordsOf(MAKEINTRESOURCEW(IDM_MENUBAR), RT_RCDATA), expected);

    HRSRC found = FindResourceW(programInstance(), MAKEINTRESOURCEW(IDM_MENUBAR), RT_RCDATA);
    device::MenuBarLayout bar;
    ASSERT_TRUE(device::parseMenuBar(LockResource(LoadResource(programInstance(), found)),
                                     SizeofResource(programInstance(), found), &bar));
    EXPECT_EQ(bar.menuId, 102);
    ASSERT_EQ(bar.buttons.size(), 2u);
    EXPECT_EQ(bar.buttons[0].image, -2);
    EXPECT_EQ(bar.buttons[0].subMenu, 0xFFFF);
    EXPECT_EQ(bar.buttons[1].command, 40001);
    EXPECT_EQ(bar.buttons[1].stringId, IDS_TOOLS);
    EXPECT_EQ(bar.buttons[1].subMenu, 1);
}

TEST_F(ResourcesTest, MenuHasCleanupAndToolsPopup) {
    HRSRC found = FindResourceW(programInstance(), MAKEINTRESOURCEW(IDM_MENUBAR), RT_MENU);
    ASSERT_NE(found, nullptr);
    std::vector<device::MenuItemLayout> items;
    ASSERT_TRUE(device::parseMenuTemplate(LockResource(LoadResource(programInstance(), found)),
                                          SizeofResource(programInstance(), found), &items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, u"Cleanup");
    EXPECT_EQ(items[0].id, IDM_CLEANUP);
    EXPECT_TRUE(items[0].popup.empty());
    EXPECT_EQ(items[1].text, u"Tools");
    EXPECT_TRUE(items[1].flags & device::kMenuPopup);
    const std::vector<std::pair<std::u16string, WORD>> tools = {
        {u"About", 40003}, {u"Automatic Start", 40010}, {u"Export Log", 40008}, {u"", 0}, {u"Exit", 40007}};
    ASSERT_EQ(items[1].popup.size(), tools.size());
    for (size_t i = 0; i < tools.size(); ++i) {
        EXPECT_EQ(items[1].popup[i].text, tools[i].first) << i;
        EXPECT_EQ(items[1].popup[i].id, tools[i].second) << i;
        EXPECT_EQ(items[1].popup[i].isSeparator(), i == 3) << i;
    }
}

// One expected control: class, id, style, place, and its text or resource number.
struct ControlCase {
    std::u16string className;
    WORD id;
    DWORD style;
    int16_t x, y, cx, cy;
    std::u16string text;
    WORD resource;  // 0: the text is a string
    DWORD exStyle = 0;
};

DialogLayout loadDialog(WORD id) {
    HRSRC found = FindResourceW(programInstance(), MAKEINTRESOURCEW(id), RT_DIALOG);
    EXPECT_NE(found, nullptr) << id;
    DialogLayout layout;
    EXPECT_TRUE(device::parseDialogTemplate(LockResource(LoadResource(programInstance(), found)),
                                            SizeofResource(programInstance(), found), &layout));
    return layout;
}

void expectControls(const DialogLayout& layout, const std::vector<ControlCase>& controls) {
    ASSERT_EQ(layout.items.size(), controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        const device::DialogItemLayout& item = layout.items[i];
        const ControlCase& c = controls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(device::controlClassName(item.windowClass), c.className);
        EXPECT_EQ(item.id, c.id);
        EXPECT_EQ(item.style, c.style);
        EXPECT_EQ(item.exStyle, c.exStyle);
        EXPECT_EQ(item.x, c.x);
        EXPECT_EQ(item.y, c.y);
        EXPECT_EQ(item.cx, c.cx);
        EXPECT_EQ(item.cy, c.cy);
        if (c.resource != 0) {
            EXPECT_TRUE(item.text.isNumber());
            EXPECT_EQ(item.text.number, c.resource);
        } else {
            EXPECT_EQ(item.text.text, c.text);
            EXPECT_FALSE(item.text.isNumber());
        }
        EXPECT_TRUE(item.creationData.empty());
    }
}

constexpr DWORD kLeftText = 0x50020000, kCheck = 0x50010003;

TEST_F(ResourcesTest, MainDialogTemplate) {
    DialogLayout layout = loadDialog(IDD_MAIN);
    EXPECT_EQ(layout.style, 0x80C800C0u);
    EXPECT_EQ(layout.exStyle, 0u);
    EXPECT_EQ(layout.title, u"Quillex");
    EXPECT_EQ(layout.pointSize, 8);
    EXPECT_EQ(layout.font, u"System");
    EXPECT_EQ((std::vector<int>{layout.x, layout.y, layout.cx, layout.cy}), (std::vector<int>{0, 0, 115, 94}));
    EXPECT_FALSE(layout.menu.present);
    EXPECT_FALSE(layout.windowClass.present);
    expectControls(layout, {
        {u"Static", 0xFFFF, kLeftText, 3, 32, 59, 8, u"Notifications:", 0},
        {u"Static", 1002, kLeftText, 71, 32, 23, 8, u"0", 0},
        {u"Button", 1001, kCheck, 99, 30, 16, 11, u"", 0},
        {u"Static", 0xFFFF, kLeftText, 3, 44, 59, 8, u"Temp files:", 0},
        {u"Static", 1003, kLeftText, 71, 44, 28, 8, u"0", 0},
        {u"Button", 1004, kCheck, 99, 43, 16, 10, u"", 0},
        {u"Static", 0xFFFF, kLeftText, 3, 56, 59, 8, u"IE Cache:", 0},
        {u"Static", 1005, kLeftText, 71, 56, 28, 8, u"0", 0},
        {u"Button", 1006, kCheck, 99, 55, 16, 10, u"", 0},
        {u"Static", 0xFFFF, kLeftText, 3, 68, 59, 8, u"IE History:", 0},
        {u"Static", 1007, kLeftText, 71, 68, 28, 8, u"0", 0},
        {u"Button", 1008, kCheck, 99, 67, 16, 10, u"", 0},
        {u"Static", 0xFFFF, kLeftText, 3, 80, 59, 8, u"AvantGo Cache:", 0},
        {u"Static", 1009, kLeftText, 71, 80, 28, 8, u"0", 0},
        {u"Button", 1010, kCheck, 99, 79, 16, 10, u"", 0},
        {u"Static", 0xFFFF, 0x5000000E, 4, 4, 15, 13, u"", 111},
    });
}

TEST_F(ResourcesTest, AboutDialogTemplate) {
    DialogLayout layout = loadDialog(IDD_ABOUT);
    EXPECT_EQ(layout.style, 0x80C00AC0u);
    EXPECT_EQ(layout.exStyle, 0x80000000u);
    EXPECT_EQ(layout.title, u"About Quillex");
    EXPECT_EQ(layout.font, u"System");
    EXPECT_EQ(layout.pointSize, 8);
    EXPECT_EQ(layout.cx, 129);
    EXPECT_EQ(layout.cy, 42);
    ASSERT_EQ(layout.items.size(), 4u);
    EXPECT_EQ(layout.items[0].text.text, u"Quillex v1.07");
    EXPECT_EQ(layout.items[0].style, 0x50020080u);
    EXPECT_EQ(device::controlClassName(layout.items[2].windowClass), u"Static");
    EXPECT_EQ(layout.items[2].id, 3);
    EXPECT_EQ(layout.items[2].style, 0x50000103u);
    EXPECT_EQ(layout.items[2].text.number, IDI_QUILLEX);
    const int16_t places[4][4] = {{29, 5, 99, 8}, {29, 17, 99, 8}, {4, 7, 20, 20}, {29, 29, 98, 8}};
    for (int i = 0; i < 4; ++i) {
        const device::DialogItemLayout& item = layout.items[i];
        EXPECT_EQ((std::vector<int>{item.x, item.y, item.cx, item.cy}),
                  (std::vector<int>{places[i][0], places[i][1], places[i][2], places[i][3]}))
            << i;
        if (i != 2) {
            EXPECT_EQ(item.id, 0xFFFF);
            EXPECT_FALSE(item.text.text.empty());
        }
    }
    EXPECT_EQ(layout.items[1].style, kLeftText);
    EXPECT_EQ(layout.items[3].style, kLeftText);
}

TEST_F(ResourcesTest, AutoStartDialogTemplate) {
    DialogLayout layout = loadDialog(IDD_AUTOSTART);
    // Pop-up, caption, modal frame, centred, foreground, font; OK in the caption.
    EXPECT_EQ(layout.style, 0x80C00AC0u);
    EXPECT_EQ(layout.exStyle, 0x80000000u);
    EXPECT_EQ(layout.title, u"Auto-start");
    EXPECT_EQ(layout.font, u"System");
    EXPECT_EQ(layout.cx, 130);
    EXPECT_EQ(layout.cy, 94);
    const DWORD letter = 0x50020101;  // centred, notify, group
    ControlCase picker{u"SysDateTimePick32", 1270, 0x50010009, 50, 14, 52, 13, u"", 0, 0x200};
    std::vector<ControlCase> controls = {
        {u"Static", 1336, kLeftText, 3, 4, 43, 8, u"On:", 0},
        {u"Static", 1337, kLeftText, 3, 16, 43, 8, u"At:", 0},
        picker,
        {u"Button", 1014, kCheck, 6, 29, 119, 10, u"Notifications", 0},
        {u"Button", 1004, kCheck, 6, 39, 119, 10, u"Temp files", 0},
        {u"Button", 1016, kCheck, 6, 49, 119, 10, u"IE Cache", 0},
        {u"Button", 1017, kCheck, 6, 59, 119, 10, u"IE History", 0},
        {u"Button", 1010, kCheck, 6, 69, 119, 10, u"AvantGo Cache", 0},
        {u"Static", 1300, letter, 49, 4, 10, 8, u"M", 0},
        {u"Static", 1302, letter, 67, 4, 10, 8, u"W", 0},
        {u"Static", 1303, letter, 76, 4, 10, 8, u"T", 0},
        {u"Static", 1304, letter, 85, 4, 10, 8, u"F", 0},
        {u"Static", 1305, letter, 94, 4, 10, 8, u"S", 0},
        {u"Static", 1299, letter, 103, 4, 10, 8, u"S", 0},
        {u"Static", 1301, letter, 58, 4, 10, 8, u"T", 0},
        {u"Button", 1019, kCheck, 6, 82, 119, 10, u"Soft-reset on finish", 0},
    };
    // The class name is kept as written; the platform matches class names ignoring case.
    ASSERT_EQ(layout.items.size(), controls.size());
    std::u16string pickerClass = device::controlClassName(layout.items[2].windowClass);
    ASSERT_EQ(pickerClass.size(), picker.className.size());
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    for (size_t i = 0; i < pickerClass.size(); ++i) EXPECT_EQ(lower(pickerClass[i]), lower(picker.className[i]));
    controls[2].className = pickerClass;
    expectControls(layout, controls);
}

TEST_F(ResourcesTest, IconHasBothSizesWithMasks) {
    HICON icon = LoadIconW(programInstance(), MAKEINTRESOURCEW(IDI_QUILLEX));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconW(programInstance(), MAKEINTRESOURCEW(IDI_QUILLEX)), icon);
    const std::vector<device::Picture>* images = device::iconPictures(icon);
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(images->size(), 2u);
    const int sides[2] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        const device::Picture& image = (*images)[i];
        int side = sides[i];
        ASSERT_EQ(image.width, side);
        ASSERT_EQ(image.height, side);
        // Corners and the top and bottom rows are see-through; the handle is drawn
        // from the second row down, lit on its left, dark on its right.
        EXPECT_FALSE(image.opaqueAt(0, 0));
        EXPECT_FALSE(image.opaqueAt(side - 1, side - 1));
        EXPECT_FALSE(image.opaqueAt(side / 2, side - 1));
        EXPECT_TRUE(image.opaqueAt(side / 2, 1));
        EXPECT_EQ(image.colourAt(side / 2, 1), 0x0028568Cu);
        EXPECT_EQ(image.colourAt(side / 2 - 1, 1), 0x004682BEu);
        EXPECT_TRUE(image.opaqueAt(side / 2, side - 2));  // the bristles
    }
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_QUILLEX)), nullptr);
    EXPECT_EQ(LoadIconW(programInstance(), MAKEINTRESOURCEW(IDB_BROOM)), nullptr);
    EXPECT_EQ(device::iconPictures(reinterpret_cast<HICON>(const_cast<int*>(sides))), nullptr);
}

TEST_F(ResourcesTest, BitmapIsFortyByForty) {
    HBITMAP bitmap = LoadBitmapW(programInstance(), MAKEINTRESOURCEW(IDB_BROOM));
    ASSERT_NE(bitmap, nullptr);
    const device::Picture* picture = device::bitmapPicture(bitmap);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 40);
    EXPECT_EQ(picture->height, 40);
    EXPECT_EQ(picture->colourAt(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(picture->colourAt(39, 39), 0x00FFFFFFu);
    EXPECT_EQ(picture->colourAt(20, 1), 0x0028568Cu);
    EXPECT_NE(picture->colourAt(20, 38), 0x00FFFFFFu);
    HICON icon = LoadIconW(programInstance(), MAKEINTRESOURCEW(IDI_QUILLEX));
    EXPECT_EQ(device::bitmapPicture(reinterpret_cast<HBITMAP>(icon)), nullptr);
}

TEST_F(ResourcesTest, FindResourceFailuresAndNames) {
    SetLastError(0);
    EXPECT_EQ(FindResourceW(programInstance(), MAKEINTRESOURCEW(105), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(programInstance(), MAKEINTRESOURCEW(104), MAKEINTRESOURCEW(23)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceW(programInstance(), u"QUILLEX", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(programInstance(), u"#", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(programInstance(), u"#99999", RT_DIALOG), nullptr);

    HRSRC byNumber = FindResourceW(programInstance(), MAKEINTRESOURCEW(104), RT_DIALOG);
    ASSERT_NE(byNumber, nullptr);
    EXPECT_EQ(FindResourceW(nullptr, u"#104", u"#5"), byNumber);
    EXPECT_EQ(FindResourceW(programInstance(), MAKEINTRESOURCEW(104), RT_MENU), nullptr);

    HINSTANCE other = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x20000));
    EXPECT_EQ(FindResourceW(other, MAKEINTRESOURCEW(104), RT_DIALOG), nullptr);
    EXPECT_EQ(LoadResource(programInstance(), reinterpret_cast<HRSRC>(&other)), nullptr);
    EXPECT_EQ(SizeofResource(programInstance(), reinterpret_cast<HRSRC>(&other)), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);

    device::faultArm("FindResourceW", 1);
    EXPECT_EQ(FindResourceW(programInstance(), MAKEINTRESOURCEW(104), RT_DIALOG), nullptr);
    device::faultArm("LoadResource", 1);
    EXPECT_EQ(LoadResource(programInstance(), byNumber), nullptr);
    EXPECT_NE(LoadResource(programInstance(), byNumber), nullptr);
}

TEST_F(ResourcesTest, ResourceBytesFromBoundsATemplate) {
    HRSRC found = FindResourceW(programInstance(), MAKEINTRESOURCEW(IDD_AUTOSTART), RT_DIALOG);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(programInstance(), found)));
    DWORD size = SizeofResource(programInstance(), found);
    EXPECT_EQ(device::resourceBytesFrom(data), size);
    EXPECT_EQ(device::resourceBytesFrom(data + 10), size - 10);
    EXPECT_EQ(device::resourceBytesFrom(&size), 0u);
}

}  // namespace
