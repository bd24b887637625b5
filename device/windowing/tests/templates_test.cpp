// Tests of the layout parsers on hand-made data: creation data and string class names
// in dialog templates, every truncation of a real template, extended templates refused,
// menu nesting and its limit, short menu-bar data, and pictures at each pixel depth.
#include "device/windowing/resources.h"
#include "device/windowing/templates.h"

#include "platform/windows.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Little-endian layout builder.
struct Bytes {
    std::vector<uint8_t> data;
    Bytes& word(uint32_t value) {
        data.push_back(static_cast<uint8_t>(value));
        data.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }
    Bytes& dword(uint32_t value) { return word(value & 0xFFFF).word(value >> 16); }
    Bytes& text(const std::u16string& value) {
        for (char16_t c : value) word(c);
        return word(0);
    }
    Bytes& align4() {
        while (data.size() % 4 != 0) data.push_back(0);
        return *this;
    }
    Bytes& byte(uint8_t value) {
        data.push_back(value);
        return *this;
    }
};

TEST(DialogTemplateTest, StringClassCreationDataAndNoFont) {
    Bytes t;
    t.dword(0x80000000).dword(0).word(2).word(1).word(2).word(30).word(40);
    t.word(0xFFFF).word(7);          // menu 7
    t.text(u"MyClass");              // window class by name
    t.text(u"Title");                // no DS_SETFONT: no font follows
    t.align4().dword(0x50000000).dword(0x200).word(1).word(2).word(3).word(4).word(55);
    t.text(u"Custom").text(u"hello").word(4).word(0xABCD).word(0x1234);
    t.align4().dword(0x50000001).dword(0).word(5).word(6).word(7).word(8).word(56);
    t.word(0xFFFF).word(0x81).word(0xFFFF).word(9).word(0);
    device::DialogLayout layout;
    ASSERT_TRUE(device::parseDialogTemplate(t.data.data(), t.data.size(), &layout));
    EXPECT_TRUE(layout.menu.isNumber());
    EXPECT_EQ(layout.menu.number, 7);
    EXPECT_EQ(layout.windowClass.text, u"MyClass");
    EXPECT_EQ(layout.title, u"Title");
    EXPECT_TRUE(layout.font.empty());
    ASSERT_EQ(layout.items.size(), 2u);
    EXPECT_EQ(device::controlClassName(layout.items[0].windowClass), u"Custom");
    EXPECT_EQ(layout.items[0].text.text, u"hello");
    EXPECT_EQ(layout.items[0].creationData, (std::vector<uint8_t>{0xCD, 0xAB, 0x34, 0x12}));
    EXPECT_EQ(layout.items[0].exStyle, 0x200u);
    EXPECT_EQ(device::controlClassName(layout.items[1].windowClass), u"Edit");
    EXPECT_EQ(layout.items[1].text.number, 9);
    EXPECT_EQ(layout.items[1].id, 56);
    EXPECT_EQ(layout.items[1].cy, 8);

    device::NameOrNumber unknown;
    unknown.present = true;
    unknown.number = 0x90;
    EXPECT_EQ(device::controlClassName(unknown), u"");
    device::NameOrNumber upper;
    upper.present = true;
    upper.text = u"BUTTON";
    EXPECT_EQ(device::controlClassName(upper), u"Button");
    upper.text = u"BUTTONS";
    EXPECT_EQ(device::controlClassName(upper), u"BUTTONS");
}

TEST(DialogTemplateTest, EveryTruncationOfARealTemplateFails) {
    HRSRC found = FindResourceW(device::programInstance(), MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const uint8_t* data = static_cast<const uint8_t*>(LoadResource(device::programInstance(), found));
    size_t size = SizeofResource(device::programInstance(), found);
    device::DialogLayout layout;
    for (size_t length = 0; length < size; ++length) {
        // An exact-size copy, so any read past the end shows under AddressSanitizer.
        std::vector<uint8_t> prefix(data, data + length);
        EXPECT_FALSE(device::parseDialogTemplate(length ? prefix.data() : nullptr, length, &layout)) << length;
    }
    std::vector<uint8_t> whole(data, data + size);
    EXPECT_TRUE(device::parseDialogTemplate(whole.data(), size, &layout));
}

TEST(DialogTemplateTest, ExtendedTemplateIsRefused) {
    Bytes t;
    t.word(1).word(0xFFFF).dword(0).dword(0).dword(0x80000000).word(0).word(0).word(0).word(10).word(10);
    t.word(0).word(0).word(0);
    device::DialogLayout layout;
    EXPECT_FALSE(device::parseDialogTemplate(t.data.data(), t.data.size(), &layout));
}

TEST(MenuTemplateTest, NestedPopupsAndDepthLimit) {
    auto nested = [](int depth) {
        Bytes m;
        m.word(0).word(0);
        for (int i = 0; i < depth; ++i) m.word(device::kMenuPopup | device::kMenuEnd).text(u"P");
        m.word(device::kMenuEnd).word(42).text(u"Leaf");
        return m;
    };
    std::vector<device::MenuItemLayout> items;
    Bytes three = nested(3);
    ASSERT_TRUE(device::parseMenuTemplate(three.data.data(), three.data.size(), &items));
    ASSERT_EQ(items.size(), 1u);
    const device::MenuItemLayout* leaf = &items[0];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(leaf->flags, device::kMenuPopup);
        ASSERT_EQ(leaf->popup.size(), 1u);
        leaf = &leaf->popup[0];
    }
    EXPECT_EQ(leaf->id, 42);
    EXPECT_EQ(leaf->text, u"Leaf");
    EXPECT_EQ(leaf->flags, 0);

    Bytes deep = nested(40);
    EXPECT_FALSE(device::parseMenuTemplate(deep.data.data(), deep.data.size(), &items));
    // No item ends the list: the parser stops at the end of the data.
    Bytes open;
    open.word(0).word(0).word(0).word(1).text(u"A");
    EXPECT_FALSE(device::parseMenuTemplate(open.data.data(), open.data.size(), &items));
    Bytes version;
    version.word(1).word(4).dword(0).word(device::kMenuEnd).word(1).text(u"A");
    EXPECT_FALSE(device::parseMenuTemplate(version.data.data(), version.data.size(), &items));
}

TEST(MenuBarTest, CountBeyondDataFails) {
    Bytes bar;
    bar.word(102).word(2);
    for (int i = 0; i < 7; ++i) bar.word(i);
    device::MenuBarLayout layout;
    EXPECT_FALSE(device::parseMenuBar(bar.data.data(), bar.data.size(), &layout));
    for (int i = 0; i < 7; ++i) bar.word(100 + i);
    ASSERT_TRUE(device::parseMenuBar(bar.data.data(), bar.data.size(), &layout));
    EXPECT_EQ(layout.buttons[1].image, 100);
    EXPECT_EQ(layout.buttons[1].subMenu, 106);
    EXPECT_EQ(layout.buttons[0].stringId, 4);
}

// A BITMAPINFOHEADER for a picture.
Bytes dibHeader(int32_t width, int32_t height, int bits, uint32_t colours) {
    Bytes b;
    b.dword(40).dword(static_cast<uint32_t>(width)).dword(static_cast<uint32_t>(height));
    b.word(1).word(bits).dword(0).dword(0).dword(0).dword(0).dword(colours).dword(0);
    return b;
}

TEST(PictureTest, OneBitIconWithMaskBottomUp) {
    // 3x2, palette black and white; rows stored bottom first.
    Bytes b = dibHeader(3, 4, 1, 2);
    b.dword(0x00000000).dword(0x00FFFFFF);
    b.byte(0b10100000).byte(0).byte(0).byte(0);  // bottom row: white, black, white
    b.byte(0b01000000).byte(0).byte(0).byte(0);  // top row: black, white, black
    b.byte(0b00100000).byte(0).byte(0).byte(0);  // mask, bottom row: third pixel see-through
    b.byte(0b10000000).byte(0).byte(0).byte(0);  // mask, top row: first pixel see-through
    device::Picture p;
    ASSERT_TRUE(device::decodeDib(b.data.data(), b.data.size(), true, &p));
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.colours, (std::vector<uint32_t>{0, 0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF}));
    EXPECT_EQ(p.opaque, (std::vector<bool>{false, true, true, true, true, false}));
    // Without the last mask byte it is truncated.
    b.data.pop_back();
    EXPECT_FALSE(device::decodeDib(b.data.data(), b.data.size(), true, &p));
}

TEST(PictureTest, FourBitAndTopDownThirtyTwoBit) {
    Bytes four = dibHeader(2, 1, 4, 3);
    four.dword(0x00010203).dword(0x00040506).dword(0x00070809);
    four.byte(0x21).byte(0).byte(0).byte(0);
    device::Picture p;
    ASSERT_TRUE(device::decodeDib(four.data.data(), four.data.size(), false, &p));
    // Colour table entries are blue, green, red: 0x00070809 is red 7, green 8, blue 9.
    EXPECT_EQ(p.colours, (std::vector<uint32_t>{0x00090807, 0x00060504}));

    Bytes wide = dibHeader(1, -2, 32, 0);
    wide.dword(0x00112233).dword(0x00445566);  // top row first
    ASSERT_TRUE(device::decodeDib(wide.data.data(), wide.data.size(), false, &p));
    EXPECT_EQ(p.colours, (std::vector<uint32_t>{0x00332211, 0x00665544}));
}

TEST(PictureTest, RefusesWhatItCannotDraw) {
    struct Case {
        const char* what;
        Bytes header;
    } cases[] = {
        {"16 bits", dibHeader(1, 1, 16, 0)},
        {"zero width", dibHeader(0, 1, 24, 0)},
        {"huge", dibHeader(100000, 1, 24, 0)},
        {"palette too big", dibHeader(1, 1, 8, 300)},
    };
    for (Case& c : cases) {
        c.header.dword(0).dword(0);
        device::Picture p;
        EXPECT_FALSE(device::decodeDib(c.header.data.data(), c.header.data.size(), false, &p)) << c.what;
    }
    Bytes compressed = dibHeader(1, 1, 8, 0);
    compressed.data[16] = 1;  // run-length compression
    compressed.data.resize(compressed.data.size() + 1028, 0);
    device::Picture p;
    EXPECT_FALSE(device::decodeDib(compressed.data.data(), compressed.data.size(), false, &p));
}

}  // namespace
