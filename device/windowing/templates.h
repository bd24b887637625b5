// Parsers of the binary layouts that dialog, menu and menu-bar resources hold, for the
// window system that builds windows from them. Each parser reads little-endian as the
// platform lays the data out, never reads past `size`, and fails on a truncated layout.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace device {

// A field that is either absent, a 16-bit number (0xFFFF then the number) or a string.
struct NameOrNumber {
    bool present = false;
    WORD number = 0;     // when present and text is empty
    std::u16string text;

    bool isNumber() const { return present && text.empty(); }
};

// One control of a dialog template (DLGITEMTEMPLATE and what follows it).
struct DialogItemLayout {
    DWORD style = 0;
    DWORD exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    WORD id = 0;                            // 0xFFFF for "no id"
    NameOrNumber windowClass;               // numbers 0x80..0x85 are the predefined classes
    NameOrNumber text;                      // a number names a resource (an icon, a bitmap)
    std::vector<uint8_t> creationData;
};

// A dialog template (DLGTEMPLATE, the variant without the extended header).
struct DialogLayout {
    DWORD style = 0;
    DWORD exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrNumber menu;
    NameOrNumber windowClass;
    std::u16string title;
    WORD pointSize = 0;     // with DS_SETFONT only
    std::u16string font;
    std::vector<DialogItemLayout> items;
};

// RETURNS true with *layout filled; false for a truncated template or an extended one
// (DLGTEMPLATEEX). Trailing bytes after the last control are allowed.
bool parseDialogTemplate(const void* data, size_t size, DialogLayout* layout);

// The class name a control's class field stands for: "Button", "Edit", "Static",
// "ListBox", "ScrollBar", "ComboBox" for the numbers 0x80..0x85 and for those names in
// any case ("STATIC"), any other string as it stands, empty for an unknown number.
std::u16string controlClassName(const NameOrNumber& windowClass);

class ByteReader;
// Reads a field that is either 0xFFFF and a number, a terminated UTF-16 name, or (a lone 0)
// absent, as dialog templates and resource headers store them.
NameOrNumber readNameOrNumber(ByteReader& in);

// Item flags of a menu template (the platform's MF_* values).
constexpr WORD kMenuGrayed = 0x0001;
constexpr WORD kMenuDisabled = 0x0002;
constexpr WORD kMenuChecked = 0x0008;
constexpr WORD kMenuPopup = 0x0010;
constexpr WORD kMenuEnd = 0x0080;

// One item of a menu template; a separator has id 0, no text and no pop-up.
struct MenuItemLayout {
    WORD flags = 0;   // kMenu* flags of the template, kMenuEnd removed
    WORD id = 0;      // 0 for a pop-up
    std::u16string text;
    std::vector<MenuItemLayout> popup;

    bool isSeparator() const { return !(flags & kMenuPopup) && id == 0 && text.empty(); }
};

// RETURNS true with the top-level items of a menu template (MENUITEMTEMPLATEHEADER
// version 0); false when truncated, nested too deep, or of another version.
bool parseMenuTemplate(const void* data, size_t size, std::vector<MenuItemLayout>* items);

// One soft-key button of the shell's menu-bar data.
struct MenuBarButtonLayout {
    int16_t image = 0;      // -2 (I_IMAGENONE) for none
    WORD command = 0;
    WORD state = 0;         // TBSTATE_*
    WORD style = 0;         // TBSTYLE_*
    WORD stringId = 0;      // the label's string
    WORD subMenu = 0;       // index into the menu of the same id; 0xFFFF (NOMENU) for none
};

struct MenuBarLayout {
    WORD menuId = 0;
    std::vector<MenuBarButtonLayout> buttons;
};

// Reads the menu-bar data: the menu id, the button count, then seven 16-bit words a
// button (image, command, state, style, string id, 0, sub-menu index).
// RETURNS false when the data holds fewer buttons than it counts.
bool parseMenuBar(const void* data, size_t size, MenuBarLayout* layout);

}  // namespace device
