// The one drawing of the device screen both screens show: a grid of character cells, each
// with its colours, attributes and what a tap on it reaches. The script screen prints only
// the characters; the terminal screen shows everything, pictures included.
#pragma once

#include "device/screens/screen.h"
#include "device/windowing/resources.h"
#include "platform/windows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace device {

// A cell of the screen in dialog units (see kScreenColumns).
constexpr int kCellUnitsWide = 3;
constexpr int kCellUnitsHigh = 8;

// A piece of a frame. The cell's character is its plain-text form ('+', '-' or '|'); a
// terminal may draw a line character instead.
enum class Line : uint8_t { None, Horizontal, Vertical, TopLeft, TopRight, BottomLeft, BottomRight, TeeLeft, TeeRight };

// kCellTerminal: a cell of the terminal around the device screen (its frame, the key
// help), shown in the terminal's own colours rather than the cell's.
enum CellAttribute : uint8_t { kCellReverse = 1, kCellUnderline = 2, kCellBold = 4, kCellDim = 8, kCellTerminal = 16 };

// What a tap on a cell presses: a control (window), a soft key of a bar (window, index), an
// item of the bar's open pop-up (window, index) or the title bar's OK of the front window.
enum class TargetKind : uint8_t { None, Control, SoftKey, PopupItem, TitleOk };
struct CellTarget {
    TargetKind kind = TargetKind::None;
    HWND window = nullptr;
    int index = 0;

    bool operator==(const CellTarget&) const = default;
};

struct Cell {
    char16_t character = u' ';
    Line line = Line::None;
    COLORREF text = RGB(0, 0, 0);
    COLORREF background = RGB(255, 255, 255);
    uint8_t attributes = 0;
    // Text standing in for a picture: a screen that shows pictures shows a blank instead.
    bool placeholder = false;
    // Two pixels of a picture, one above the other; shown instead of the character.
    bool picture = false;
    COLORREF upper = 0;
    COLORREF lower = 0;
    CellTarget target;

    bool operator==(const Cell&) const = default;
};

// A picture static's image where its dialog units put it, in units from the screen's
// top-left corner (a cell is kCellUnitsWide x kCellUnitsHigh), for screens that draw
// pixels finer than half cells. Transparent pixels show `background`.
struct PlacedPicture {
    int x = 0, y = 0, width = 0, height = 0;
    const Picture* picture = nullptr;
    COLORREF background = 0;

    bool operator==(const PlacedPicture&) const = default;
};

struct ScreenGrid {
    std::vector<Cell> cells = std::vector<Cell>(kScreenRows * kScreenColumns);
    std::vector<PlacedPicture> pictures;  // back to front

    Cell& at(int row, int column) { return cells[static_cast<size_t>(row * kScreenColumns + column)]; }
    const Cell& at(int row, int column) const { return cells[static_cast<size_t>(row * kScreenColumns + column)]; }
    bool operator==(const ScreenGrid&) const = default;
};

struct RenderOptions {
    // Paint what needs painting first, so the program has had its say in what shows. Off
    // when drawing from inside the program's own code (the records are drawn as they are).
    bool paint = true;
    // The item of the open pop-up shown highlighted, or -1.
    int popupHighlight = -1;
};

// RETURNS the device screen: this process's visible dialogs back to front, each control
// where its dialog units put it in the colours it was painted with, the focused control in
// reverse video (a picker only its active field; a static underlined, its colours kept),
// the front window's title bar and soft-key bar, an open pop-up menu above the bar, and a
// busy mark while the wait cursor shows.
ScreenGrid screenRender(const RenderOptions& options = {});

// RETURNS the topmost visible top-level window of this process, or null.
HWND screenFrontWindow();

// ---------------------------------------------------------------- pixels and colours

// RETURNS the picture scaled to `width` x `height` pixels, row by row: each pixel the
// average of the picture's pixels it covers (the nearest one when it covers less than
// one), transparent pixels counting as `background`. An empty picture gives `background`.
std::vector<COLORREF> pictureScale(const Picture& picture, int width, int height, COLORREF background);

// RETURNS the image of an icon that suits a box `width` pixels wide best: the smallest at
// least that wide, else the largest; null for none.
const Picture* iconImageFor(const std::vector<Picture>& images, int width);

// RETURNS the colour a 256-colour terminal shows for colour number `index` (0-255): the
// basic colours as terminals commonly show them, the colour cube and the grey ramp.
COLORREF terminalPaletteColour(int index);

// RETURNS the terminal colour nearest to `colour` among `colours` terminal colours: the
// 8 or 16 basic colours (numbered as curses numbers them), or with 256 the colour cube and
// grey ramp of the 256-colour palette (16-255).
int terminalColour(COLORREF colour, int colours);

// ---------------------------------------------------------------- pictures of the screen

// Writes the screen as a PNG image to the host file `path`: each cell 8 x 16 pixels with
// its character in GNU Unifont (read from the unifont package's unifont.hex), in the
// colours a 256-colour terminal shows it with (reverse video, bold and underline as the
// terminal draws them), the frames with the font's line characters and the pictures as
// pixels at the image's own scale.
// RETURNS false (with `error`) when the font cannot be read or the file cannot be written.
bool screenPicture(const ScreenGrid& grid, const std::string& path, std::string* error);

}  // namespace device
