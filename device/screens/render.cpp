// The drawing of the device screen into character cells, shared by the script and terminal
// screens. The characters are the plain-text screen the script screen prints; colours,
// attributes, pictures and tap targets ride along for the terminal.
#include "device/screens/render.h"

#include "device/windowing/dialogs.h"
#include "device/windowing/windows.h"
#include "device/shell/shell.h"

#include <algorithm>
#include <string>

namespace device {
namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBarBlue = RGB(0, 64, 160);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kLightGrey = RGB(192, 192, 192);
constexpr COLORREF kBusyYellow = RGB(255, 255, 0);

// How text is written: its colours, attributes and what a tap on it reaches.
struct Pen {
    COLORREF text = kBlack;
    COLORREF background = kWhite;
    uint8_t attributes = 0;
    CellTarget target;
    Line line = Line::None;
    bool placeholder = false;
};

Pen penOf(COLORREF text, COLORREF background, uint8_t attributes = 0, CellTarget target = {}) {
    Pen pen;
    pen.text = text;
    pen.background = background;
    pen.attributes = attributes;
    pen.target = target;
    return pen;
}

void apply(Cell& cell, const Pen& pen) {
    cell.text = pen.text;
    cell.background = pen.background;
    cell.attributes = pen.attributes;
    cell.target = pen.target;
}

// Writes `text` from (row, column) on, dropping what falls outside [0, limit).
void put(ScreenGrid& grid, int row, int column, std::u16string_view text, const Pen& pen,
         int limit = kScreenColumns) {
    if (row < 0 || row >= kScreenRows) return;
    limit = std::min(limit, kScreenColumns);
    for (size_t i = 0; i < text.size(); ++i) {
        int at = column + static_cast<int>(i);
        if (at < 0 || at >= limit) continue;
        Cell& cell = grid.at(row, at);
        apply(cell, pen);
        cell.character = text[i];
        cell.line = pen.line;
        cell.placeholder = pen.placeholder;
        cell.picture = false;
    }
}

struct Box {
    int row = 0, column = 0, rows = 0, columns = 0;
};

// Calls `visit` with each cell of the box that lies on the screen and left of `limit`.
template <typename Visit>
void forEachCell(ScreenGrid& grid, const Box& box, Visit visit, int limit = kScreenColumns) {
    limit = std::min(limit, kScreenColumns);
    for (int r = std::max(box.row, 0); r < std::min(box.row + box.rows, kScreenRows); ++r)
        for (int c = std::max(box.column, 0); c < std::min(box.column + box.columns, limit); ++c) visit(grid.at(r, c));
}

void clear(ScreenGrid& grid, const Box& box, const Pen& pen) {
    forEachCell(grid, box, [&](Cell& cell) {
        cell = Cell{};
        apply(cell, pen);
    });
}

// Sets the colours and target of the cells, keeping what they show.
void tint(ScreenGrid& grid, const Box& box, const Pen& pen, int limit = kScreenColumns) {
    forEachCell(grid, box, [&](Cell& cell) { apply(cell, pen); }, limit);
}

void frame(ScreenGrid& grid, int top, int left, int bottom, int right, Pen pen) {
    auto piece = [&](int row, int column, std::u16string_view text, Line line) {
        pen.line = line;
        put(grid, row, column, text, pen);
    };
    std::u16string edge(static_cast<size_t>(std::max(right - left - 1, 0)), u'-');
    piece(top, left, u"+", Line::TopLeft);
    piece(top, left + 1, edge, Line::Horizontal);
    piece(top, right, u"+", Line::TopRight);
    piece(bottom, left, u"+", Line::BottomLeft);
    piece(bottom, left + 1, edge, Line::Horizontal);
    piece(bottom, right, u"+", Line::BottomRight);
    for (int r = top + 1; r < bottom; ++r) {
        piece(r, left, u"|", Line::Vertical);
        piece(r, right, u"|", Line::Vertical);
    }
}

// '&' marks the next letter as the mnemonic and is not shown; "&&" shows one '&'.
std::u16string withoutMnemonics(std::u16string_view text) {
    std::u16string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

// Where text of `length` characters starts in `width` columns, by the static's alignment.
int alignedShift(DWORD type, int width, int length) {
    int room = std::max(width - length, 0);
    if (type == SS_CENTER) return room / 2;
    if (type == SS_RIGHT) return room;
    return 0;
}

// A picture's text stands in for it where pictures cannot show; a shorter one in a narrow box.
std::u16string staticText(const Window& window, int width) {
    DWORD type = window.style & SS_TYPEMASK;
    if (type == SS_ICON) return width >= 6 ? u"[icon]" : u"[i]";
    if (type == SS_BITMAP) return width >= 8 ? u"[bitmap]" : u"[bmp]";
    return (window.style & SS_NOPREFIX) ? window.title : withoutMnemonics(window.title);
}

// Pixels to whole cells: pixels to dialog units (as the font's character box gives them),
// then units to cells.
int columnsOf(int pixels) { return pixels * kCharUnitsWide / (kCharPixelsWide * kCellUnitsWide); }
int rowsOf(int pixels) { return pixels * kCharUnitsHigh / (kCharPixelsHigh * kCellUnitsHigh); }

COLORREF dialogBackground(HWND dialog) {
    DialogState* state = dialogFind(dialog);
    return state && state->colours.paints ? state->colours.background : kWhite;
}

// Draws a picture static's image into the half-rows of cells its dialog units cover: a
// cell is 3 units wide and each half of it 4 units high.
void drawPicture(ScreenGrid& grid, const ControlState& state, DWORD type, int originRow, int originColumn, int limit,
                 const Pen& pen) {
    const RECT& units = state.units;
    auto nearColumn = [](int value) { return (value + kCellUnitsWide / 2) / kCellUnitsWide; };
    constexpr int kHalfUnits = kCellUnitsHigh / 2;
    auto nearHalf = [](int value) { return (value + kHalfUnits / 2) / kHalfUnits; };
    int left = nearColumn(units.left), right = std::max(nearColumn(units.right), left + 1);
    int top = nearHalf(units.top), bottom = std::max(nearHalf(units.bottom), top + 1);
    int width = right - left, height = bottom - top;
    const Picture* picture = nullptr;
    if (type == SS_BITMAP) picture = bitmapPicture(static_cast<HBITMAP>(state.image));
    if (type == SS_ICON)
        if (const std::vector<Picture>* images = iconPictures(static_cast<HICON>(state.image)))
            picture = iconImageFor(*images, width);
    if (!picture) return;
    grid.pictures.push_back(PlacedPicture{originColumn * kCellUnitsWide + units.left, originRow * kCellUnitsHigh + units.top,
                                          units.right - units.left, units.bottom - units.top, picture, pen.background});
    std::vector<COLORREF> pixels = pictureScale(*picture, width, height, pen.background);
    for (int y = 0; y < height; ++y) {
        int row = originRow + (top + y) / 2;
        for (int x = 0; x < width; ++x) {
            int column = originColumn + left + x;
            if (row < 0 || row >= kScreenRows || column < 0 || column >= std::min(limit, kScreenColumns)) continue;
            Cell& cell = grid.at(row, column);
            if (!cell.picture) cell.upper = cell.lower = cell.background;
            cell.picture = true;
            cell.target = pen.target;
            ((top + y) % 2 ? cell.lower : cell.upper) = pixels[static_cast<size_t>(y * width + x)];
        }
    }
}

// Draws a control of a dialog whose client area starts at (originRow, originColumn). Its
// text is cut at the control's right edge, as the device cuts it. What colour alone shows
// is written in the characters too, for plain text and terminals without colours: a
// static painted apart from its dialog (a selected cell) in brackets, the picker's active
// field in brackets, and a '>' just before the focused control's text. The focus never
// changes a control's colours where they may be its state: a focused static (a weekday
// cell, chosen or not) keeps them and is underlined; reverse video is for the controls
// whose state is in their characters (check boxes, buttons).
void drawControl(ScreenGrid& grid, HWND dialog, HWND control, int originRow, int originColumn, int limit) {
    Window* window = windowFind(control);
    ControlState* state = controlFind(control);
    if (!window || !state || !(window->style & WS_VISIBLE)) return;
    const RECT& units = state->units;
    if (units.right <= units.left || units.bottom <= units.top) return;  // not placed by a template
    int height = units.bottom - units.top;
    // A static's first line sits at its top; the other controls centre their one line.
    int middle = units.top + (state->kind == ControlKind::Static ? std::min(height, kCellUnitsHigh) : height) / 2;
    int row = originRow + middle / kCellUnitsHigh;
    int column = originColumn + units.left / kCellUnitsWide;

    // The cells it covers: from its text's column as many columns as it is wide; the row
    // of its text, or when it is two rows high or more the rows whose middle it covers.
    Box box{row, column, 1, std::max((units.right - units.left) / kCellUnitsWide, 1)};
    if (height >= 2 * kCellUnitsHigh) {
        box.row = originRow + (units.top + kCellUnitsHigh / 2 - 1) / kCellUnitsHigh;
        box.rows = (units.bottom + kCellUnitsHigh / 2 - 1) / kCellUnitsHigh - (box.row - originRow);
    }
    int textLimit = std::min(limit, box.column + box.columns);

    Pen pen;
    pen.target = CellTarget{TargetKind::Control, control, 0};
    COLORREF behind = dialogBackground(dialog);
    pen.background = behind;
    if (state->colours.paints) {
        // The brush the parent chose fills the control; a transparent text background
        // only lets that fill show through the text.
        pen.text = state->colours.text;
        pen.background = state->colours.background;
    }
    if (state->kind == ControlKind::PushButton) pen.background = kLightGrey;
    if (state->kind == ControlKind::Edit || state->kind == ControlKind::Picker) pen.attributes = kCellUnderline;
    tint(grid, box, pen, limit);

    bool focused = GetFocus() == control;
    if (focused && state->kind == ControlKind::Static) pen.attributes |= kCellUnderline | kCellBold;
    else if (focused && state->kind != ControlKind::Picker) pen.attributes |= kCellReverse;
    int shift = 0;
    bool bracketed = false;
    std::u16string text;
    size_t activeBegin = 0, activeEnd = 0;
    DWORD type = window->style & SS_TYPEMASK;
    bool picture = state->kind == ControlKind::Static && (type == SS_ICON || type == SS_BITMAP);
    switch (state->kind) {
    case ControlKind::Static: {
        text = staticText(*window, box.columns);
        bool highlighted = !picture && state->colours.paints && pen.background != behind;
        if (highlighted && static_cast<int>(text.size()) + 2 <= box.columns) {
            text = u"[" + text + u"]";
            bracketed = true;
        }
        shift = alignedShift(type, box.columns, static_cast<int>(text.size()));
        pen.placeholder = picture && state->image;
        break;
    }
    case ControlKind::CheckBox: {
        std::u16string label = withoutMnemonics(window->title);
        text = state->checked == BST_CHECKED ? u"[x]" : u"[ ]";
        if (!label.empty()) text += u" " + label;
        break;
    }
    case ControlKind::PushButton: text = u"<" + withoutMnemonics(window->title) + u">"; break;
    case ControlKind::Edit: text = window->title; break;
    case ControlKind::Picker:
        text = pickerText(control, &activeBegin, &activeEnd);
        if (activeEnd > activeBegin) {
            text.insert(activeEnd, 1, u']');
            text.insert(activeBegin, 1, u'[');
            activeEnd += 2;
        }
        break;
    }
    int textColumn = column + shift;
    put(grid, row, textColumn, text, pen, textLimit);
    if (state->kind == ControlKind::Picker && activeEnd > activeBegin) {
        // The field the keys change: bold, in reverse video while the picker has the focus.
        pen.attributes |= focused ? kCellReverse : kCellBold;
        put(grid, row, textColumn + static_cast<int>(activeBegin), text.substr(activeBegin, activeEnd - activeBegin),
            pen, textLimit);
    }
    if (focused) {
        // The mark takes the column before the text, or a selected cell's opening bracket,
        // when no other control is there.
        int at = bracketed ? textColumn : textColumn - 1;
        if (row >= 0 && row < kScreenRows && at >= originColumn && at < std::min(limit, kScreenColumns)) {
            Cell& cell = grid.at(row, at);
            if (cell.target.kind == TargetKind::None || cell.target.window == control) {
                cell.character = u'>';
                cell.line = Line::None;
                cell.picture = cell.placeholder = false;
                cell.attributes |= kCellBold;
            }
        }
    }
    if (picture && state->image) drawPicture(grid, *state, type, originRow, originColumn, limit, pen);
}

// A dialog's client area, framed unless the shell made it full-screen, and its controls.
void drawDialog(ScreenGrid& grid, HWND dialog) {
    Window* window = windowFind(dialog);
    DialogState* state = dialogFind(dialog);
    if (!window || !state || !(window->style & WS_VISIBLE)) return;
    const RECT& rect = window->rect;
    int row = 1 + rowsOf(std::max(static_cast<int>(rect.top) - kTitleBarHeight, 0));
    int column = columnsOf(rect.left);
    int rows = rowsOf(rect.bottom - rect.top);
    int columns = std::max(columnsOf(rect.right - rect.left), 0);
    if (!state->fullScreen) frame(grid, row - 1, column - 1, row + rows, column + columns, Pen());
    Pen client;
    client.background = dialogBackground(dialog);
    clear(grid, Box{row, column, rows, columns}, client);
    std::vector<HWND> children = window->children;
    for (HWND child : children) drawControl(grid, dialog, child, row, column, column + columns);
}

std::u16string buttonLabel(const MenuBarButton& button) {
    std::u16string label = withoutMnemonics(button.label);
    return button.enabled ? label : u"(" + label + u")";
}

bool itemEnabled(const MenuItemLayout& item) { return !(item.flags & (kMenuGrayed | kMenuDisabled)); }

std::u16string itemText(const MenuItemLayout& item) {
    std::u16string text = withoutMnemonics(item.text);
    std::replace(text.begin(), text.end(), u'\t', u' ');
    if (item.flags & kMenuPopup) text += u" >";
    if (!itemEnabled(item)) text = u"(" + text + u")";
    return text;
}

// The soft keys across the last row, the left one at the left edge and the last one at
// the right edge, and the open pop-up in a box above its key, the highlighted item marked
// by a '>' as well as by its colours.
void drawMenuBar(ScreenGrid& grid, HWND bar, int highlight) {
    MenuBarState* state = menuBarFind(bar);
    if (!state || state->buttons.empty()) return;
    const int last = kScreenRows - 1;
    int count = static_cast<int>(state->buttons.size());
    std::vector<int> columns;
    for (int i = 0; i < count; ++i) {
        const MenuBarButton& button = state->buttons[static_cast<size_t>(i)];
        std::u16string label = buttonLabel(button);
        int column = i * kScreenColumns / count;
        if (i == count - 1 && count > 1) column = kScreenColumns - static_cast<int>(label.size());
        columns.push_back(column);
        // A key answers a tap anywhere in its share of the bar.
        Pen pen = penOf(button.enabled ? kWhite : kLightGrey, kBarBlue, kCellBold, CellTarget{TargetKind::SoftKey, bar, i});
        int share = (i + 1) * kScreenColumns / count - i * kScreenColumns / count;
        tint(grid, Box{last, i * kScreenColumns / count, 1, share}, pen);
        put(grid, last, column, label, pen);
    }
    if (state->openPopup < 0 || state->openPopup >= count) return;
    const std::vector<MenuItemLayout>& items = state->buttons[static_cast<size_t>(state->openPopup)].popup;
    size_t width = 0;
    for (const MenuItemLayout& item : items) width = std::max(width, itemText(item).size());
    width += 1;  // the column of the highlight's mark
    int boxWidth = static_cast<int>(width) + 2;
    int left = std::min(columns[static_cast<size_t>(state->openPopup)], kScreenColumns - boxWidth);
    if (state->openPopup == count - 1 && count > 1) left = kScreenColumns - boxWidth;
    int top = last - 2 - static_cast<int>(items.size());
    frame(grid, top, left, last - 1, left + boxWidth - 1, Pen());
    for (size_t i = 0; i < items.size(); ++i) {
        int row = top + 1 + static_cast<int>(i);
        Pen pen = penOf(itemEnabled(items[i]) ? kBlack : kGrey, kWhite, 0,
                        CellTarget{TargetKind::PopupItem, bar, static_cast<int>(i)});
        if (items[i].isSeparator()) {
            pen.line = Line::TeeLeft;
            put(grid, row, left, u"|", pen);
            pen.line = Line::TeeRight;
            put(grid, row, left + boxWidth - 1, u"|", pen);
            pen.line = Line::Horizontal;
            put(grid, row, left + 1, std::u16string(width, u'-'), pen);
            continue;
        }
        bool highlighted = static_cast<int>(i) == highlight;
        if (highlighted) pen.text = kWhite, pen.background = kBarBlue;
        std::u16string text = (highlighted ? u">" : u" ") + itemText(items[i]);
        text.resize(width, u' ');
        put(grid, row, left + 1, text, pen);
        pen.text = kBlack, pen.background = kWhite;
        pen.line = Line::Vertical;
        put(grid, row, left, u"|", pen);
        put(grid, row, left + boxWidth - 1, u"|", pen);
    }
}

// "[busy 3s]", with the files listed so far once there are any: "[busy 3s 120 files]".
std::u16string busyMark(const BusyProgress& progress) {
    std::string mark = "[busy " + std::to_string(progress.seconds) + "s";
    if (progress.files > 0) mark += " " + std::to_string(progress.files) + (progress.files == 1 ? " file" : " files");
    mark += "]";
    return std::u16string(mark.begin(), mark.end());
}

void drawTitleBar(ScreenGrid& grid, HWND front) {
    Window* window = windowFind(front);
    Pen bar = penOf(kWhite, kBarBlue, kCellBold);
    tint(grid, Box{0, 0, 1, kScreenColumns}, bar);
    bool ok = window && (window->exStyle & WS_EX_CAPTIONOKBTN);
    bool busy = cursorIsWait();
    std::u16string mark = busy ? busyMark(cursorBusyProgress()) : u"";
    int markWidth = static_cast<int>(mark.size());
    int rightColumn = kScreenColumns - markWidth - (ok ? 4 : 0) - (busy && ok ? 1 : 0);
    if (window) put(grid, 0, 0, window->title, bar, rightColumn - 1);
    if (busy) {
        Pen markPen = bar;
        markPen.text = kBusyYellow;
        put(grid, 0, rightColumn, mark, markPen);
        if (ok) put(grid, 0, rightColumn + markWidth, u" ", bar);
    }
    if (ok) {
        Pen button = bar;
        button.target = CellTarget{TargetKind::TitleOk, front, 0};
        put(grid, 0, kScreenColumns - 4, u"[OK]", button);
    }
}

}  // namespace

HWND screenFrontWindow() {
    std::vector<HWND> order = windowsInZOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (IsWindowVisible(*it)) return *it;
    return nullptr;
}

ScreenGrid screenRender(const RenderOptions& options) {
    std::vector<HWND> order = windowsInZOrder();
    if (options.paint) {
        for (HWND window : order) paintTree(window);
        order = windowsInZOrder();
    }
    ScreenGrid grid;
    for (HWND window : order) drawDialog(grid, window);
    HWND front = screenFrontWindow();
    drawTitleBar(grid, front);
    tint(grid, Box{kScreenRows - 1, 0, 1, kScreenColumns}, penOf(kWhite, kBarBlue));
    if (HWND bar = front ? menuBarOf(front) : nullptr) drawMenuBar(grid, bar, options.popupHighlight);
    return grid;
}

}  // namespace device
