// The dialog manager, the controls, the shell's menu bar and the drawing records beyond what
// the program calls: what the screen reads to draw a dialog (control rectangles in dialog
// units, check states, picker fields, colours, the cursor) and the ways it presses things.
#pragma once

#include "device/windowing/templates.h"
#include "platform/windows.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// Dialog units: the System font's average character, 6 x 12 pixels, is 4 x 8 units, so
// windows built from templates get pixel rectangles of 3 pixels for every 2 units.
constexpr int kCharUnitsWide = 4;
constexpr int kCharUnitsHigh = 8;
constexpr int kCharPixelsWide = 6;
constexpr int kCharPixelsHigh = 12;
// The soft-key bar across the bottom of the screen.
constexpr int kMenuBarHeight = 26;

// Colours a control or dialog was painted with, as its parent's procedure chose them.
struct PaintColours {
    COLORREF text = RGB(0, 0, 0);
    COLORREF background = RGB(255, 255, 255);
    bool transparentText = false;
    int paints = 0;  // how often it has been painted
};

// How a dialog ended; it outlives the dialog's window, which others may destroy.
struct DialogOutcome {
    bool ended = false;
    INT_PTR result = 0;
};

struct DialogState {
    DLGPROC procedure = nullptr;
    RECT units{};  // the template's x, y, cx, cy in dialog units
    std::shared_ptr<DialogOutcome> outcome = std::make_shared<DialogOutcome>();
    bool fullScreen = false;  // sized by the shell
    PaintColours colours;     // the background WM_ERASEBKGND filled
};

enum class ControlKind { Static, CheckBox, PushButton, Edit, Picker };

// One field of a picker's format: a part of the time, or literal text.
enum class PickerField { Literal, Hour12, Hour24, Minute, Second, AmPm };
struct PickerPart {
    PickerField field = PickerField::Literal;
    bool twoDigits = false;
    std::u16string text;  // literal text
};

struct ControlState {
    ControlKind kind = ControlKind::Static;
    RECT units{};  // dialog units within the dialog; empty for controls made otherwise
    int checked = BST_UNCHECKED;
    HANDLE image = nullptr;  // SS_ICON / SS_BITMAP statics
    bool pressed = false;    // a button press not yet released
    PaintColours colours;
    // Pickers only.
    SYSTEMTIME time{};
    std::vector<PickerPart> format;
    int activePart = -1;      // the part keys change; -1 for none
    int typedDigit = -1;      // the first digit typed into the active part
};

// RETURNS the dialog record of a dialog window, or null.
DialogState* dialogFind(HWND dialog);
// RETURNS the control record of a predefined control or picker, or null.
ControlState* controlFind(HWND control);

// Registers "Button", "Static" and "Edit" when they are not registered (the dialog manager
// does this before building a dialog). RETURNS false when registration failed.
bool controlsRegister();
// Registers the date-and-time picker class.
bool pickerRegister();

// The text a picker shows, and the [begin, end) characters of its active field in it.
std::u16string pickerText(HWND picker, size_t* activeBegin = nullptr, size_t* activeEnd = nullptr);

// Queues a press and a release of the left button on the window, as a tap on the screen
// does. RETURNS false for a bad window or one whose top-level window is disabled.
bool controlTap(HWND window);

// Presses the title bar's OK of the top-level window: WM_COMMAND IDOK is posted to it.
// RETURNS false when it has no such button (WS_EX_CAPTIONOKBTN) or is disabled.
bool captionOk(HWND window);

// Paints the window and its children that need it (visible and not painted since they were
// shown or invalidated), parents first.
void paintTree(HWND window);

// ---------------------------------------------------------------- drawing and cursors

// RETURNS the colour of a brush or stock brush; nullopt for another handle or the null brush.
std::optional<COLORREF> brushColour(HBRUSH brush);

// A device context for painting `window`; the colours set on it are read back with the
// functions below, and the last rectangle filled on it is remembered.
HDC contextOpen(HWND window);
void contextClose(HDC context);
COLORREF contextTextColour(HDC context);
bool contextTransparent(HDC context);
// RETURNS the colour of the last FillRect on the context; nullopt when none.
std::optional<COLORREF> contextFill(HDC context);

// The cursor SetCursor made current, and whether it is the wait cursor.
HCURSOR cursorCurrent();
bool cursorIsWait();
// How long the wait cursor has shown and how many entries the file searches have listed
// since it came on: what a screen shows to say that long work goes on. Zero without it.
struct BusyProgress {
    int seconds = 0;
    uint64_t files = 0;
};
BusyProgress cursorBusyProgress();

// Called with the new cursor whenever SetCursor changes it, so a screen can show the busy
// mark while the program works without waiting for input. gdiReset removes it.
void setCursorHook(std::function<void(HCURSOR)> hook);

// Forgets every brush, context, the current cursor and the cursor hook.
void gdiReset();

}  // namespace device
