// What the terminal screen puts in a terminal of a given size: the device screen, its frame
// and the key help around it, or a notice when the terminal is too small. One layout for
// the curses drawing and for pictures of the terminal.
#pragma once

#include "device/screens/render.h"

#include <string>
#include <vector>

namespace device {

struct TerminalView {
    int rows = 0, columns = 0;
    std::vector<Cell> cells;              // rows x columns, row by row
    std::vector<PlacedPicture> pictures;  // in units from the terminal's top-left corner
    bool fits = false;                    // the device screen shows; else only the notice
    int top = 0, left = 0;                // the device screen's first cell

    Cell& at(int row, int column) { return cells[static_cast<size_t>(row * columns + column)]; }
    const Cell& at(int row, int column) const { return cells[static_cast<size_t>(row * columns + column)]; }
};

// RETURNS the terminal of `rows` x `columns` as the terminal screen fills it. The device
// screen is framed where there is room; the key help (items parted by two blanks, see
// keyHelp) goes below it when all of it fits there, else beside it one item a line (80 x 24
// shows the whole screen with its help beside), else below as far as it fits. A terminal
// smaller than the device screen shows only a notice saying so and how to quit. What is
// not the device screen is in the terminal's own colours (kCellTerminal), the help dim.
TerminalView terminalView(const ScreenGrid& screen, const std::string& help, int rows, int columns);

// Writes the terminal as a PNG image, as screenPicture writes the device screen; the
// terminal's own colours are light grey on black.
// RETURNS false (with `error`) when the font cannot be read or the file cannot be written.
bool terminalPicture(const TerminalView& view, const std::string& path, std::string* error);

}  // namespace device
