// Parsers of dialog, menu and menu-bar resource layouts. They take the bytes as the
// platform stores them and check every read against the given size.
#include "device/windowing/templates.h"

#include "device/core/bytereader.h"

namespace device {

NameOrNumber readNameOrNumber(ByteReader& in) {
    NameOrNumber field;
    WORD first = in.word();
    if (first == 0) return field;
    field.present = true;
    if (first == 0xFFFF) {
        field.number = in.word();
    } else {
        field.text.push_back(static_cast<char16_t>(first));
        field.text += in.string();
    }
    return field;
}

namespace {

bool readItem(ByteReader& in, DialogItemLayout* item) {
    in.align(4);
    item->style = in.dword();
    item->exStyle = in.dword();
    item->x = in.shortValue();
    item->y = in.shortValue();
    item->cx = in.shortValue();
    item->cy = in.shortValue();
    item->id = in.word();
    item->windowClass = readNameOrNumber(in);
    item->text = readNameOrNumber(in);
    // The creation data's first word counts the bytes that follow it.
    WORD extra = in.word();
    if (extra > in.remaining()) return false;
    item->creationData.assign(in.here(), in.here() + extra);
    in.skip(extra);
    return in.ok();
}

constexpr int kMaxMenuDepth = 8;

bool readMenuItems(ByteReader& in, int depth, std::vector<MenuItemLayout>* items) {
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        MenuItemLayout item;
        WORD flags = in.word();
        if (!(flags & kMenuPopup)) item.id = in.word();
        item.text = in.string();
        if (!in.ok()) return false;
        item.flags = flags & ~kMenuEnd;
        if ((flags & kMenuPopup) && !readMenuItems(in, depth + 1, &item.popup)) return false;
        items->push_back(std::move(item));
        if (flags & kMenuEnd) return true;
    }
}

}  // namespace

bool parseDialogTemplate(const void* data, size_t size, DialogLayout* layout) {
    ByteReader in(data, size);
    *layout = DialogLayout{};
    layout->style = in.dword();
    // The extended template starts with version 1 and the signature 0xFFFF.
    if (in.ok() && (layout->style & 0xFFFF) == 1 && (layout->style >> 16) == 0xFFFF) return false;
    layout->exStyle = in.dword();
    WORD count = in.word();
    layout->x = in.shortValue();
    layout->y = in.shortValue();
    layout->cx = in.shortValue();
    layout->cy = in.shortValue();
    layout->menu = readNameOrNumber(in);
    layout->windowClass = readNameOrNumber(in);
    layout->title = in.string();
    const DWORD kSetFont = 0x40;  // DS_SETFONT
    if (layout->style & kSetFont) {
        layout->pointSize = in.word();
        layout->font = in.string();
    }
    if (!in.ok()) return false;
    layout->items.resize(count);
    for (DialogItemLayout& item : layout->items) {
        if (!readItem(in, &item)) return false;
    }
    return true;
}

std::u16string controlClassName(const NameOrNumber& windowClass) {
    static const char16_t* const kPredefined[] = {u"Button", u"Edit", u"Static", u"ListBox",
                                                   u"ScrollBar", u"ComboBox"};
    if (windowClass.isNumber()) {
        WORD number = windowClass.number;
        if (number < 0x80 || number > 0x85) return std::u16string();
        return kPredefined[number - 0x80];
    }
    // Class names match ignoring case; resource compilers may store them upper-cased.
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    for (const char16_t* name : kPredefined) {
        std::u16string_view known(name);
        if (known.size() != windowClass.text.size()) continue;
        bool same = true;
        for (size_t i = 0; i < known.size() && same; ++i) same = lower(known[i]) == lower(windowClass.text[i]);
        if (same) return std::u16string(known);
    }
    return windowClass.text;
}

bool parseMenuTemplate(const void* data, size_t size, std::vector<MenuItemLayout>* items) {
    ByteReader in(data, size);
    items->clear();
    WORD version = in.word();
    WORD headerSize = in.word();
    if (!in.ok() || version != 0) return false;
    in.skip(headerSize);
    return readMenuItems(in, 0, items);
}

bool parseMenuBar(const void* data, size_t size, MenuBarLayout* layout) {
    ByteReader in(data, size);
    *layout = MenuBarLayout{};
    layout->menuId = in.word();
    WORD count = in.word();
    if (!in.ok() || static_cast<size_t>(count) * 14 > in.remaining()) return false;
    for (WORD i = 0; i < count; ++i) {
        MenuBarButtonLayout button;
        button.image = in.shortValue();
        button.command = in.word();
        button.state = in.word();
        button.style = in.word();
        button.stringId = in.word();
        in.word();  // always 0
        button.subMenu = in.word();
        layout->buttons.push_back(button);
    }
    return in.ok();
}

}  // namespace device
