// The terminal screen's layout: where the device screen, its frame and the key help go in
// a terminal of a given size. The device screen is 53 x 24 cells, so the usual 80 x 24
// terminal has no row to spare: there the help goes beside the screen, where 27 columns are.
#include "device/screens/view.h"

#include "device/core/utf.h"

#include <algorithm>

namespace device {
namespace {

// The columns the help beside the screen takes at most, and the least worth using: a
// longer item is broken across lines. A fixed width keeps the screen where it is when the
// help changes with the window in front.
constexpr int kSideHelpColumns = 22;
constexpr int kSideHelpLeast = 10;
constexpr int kSideGap = 2;

Cell terminalCell(char16_t character = u' ', uint8_t attributes = 0, Line line = Line::None) {
    Cell cell;
    cell.character = character;
    cell.attributes = static_cast<uint8_t>(kCellTerminal | attributes);
    cell.line = line;
    return cell;
}

void put(TerminalView& view, int row, int column, const Cell& cell) {
    if (row >= 0 && row < view.rows && column >= 0 && column < view.columns) view.at(row, column) = cell;
}

void write(TerminalView& view, int row, int column, std::u16string_view text, uint8_t attributes) {
    for (size_t i = 0; i < text.size(); ++i) put(view, row, column + static_cast<int>(i), terminalCell(text[i], attributes));
}

// `text` in lines of at most `width` characters, broken at the last `gap` that fits (the
// two blanks between key help items, the blank between words), else cut at the width.
std::vector<std::u16string> wrap(std::u16string text, int width, std::u16string_view gap) {
    std::vector<std::u16string> lines;
    if (width <= 0) return lines;
    while (!text.empty()) {
        size_t take = text.size();
        if (take > static_cast<size_t>(width)) {
            take = text.rfind(gap, static_cast<size_t>(width));
            if (take == std::u16string::npos || take == 0) take = static_cast<size_t>(width);
        }
        lines.push_back(text.substr(0, take));
        size_t next = text.find_first_not_of(u' ', take);
        text.erase(0, next == std::u16string::npos ? text.size() : next);
    }
    return lines;
}

// The key help beside the screen: each item on a line of its own.
std::vector<std::u16string> itemLines(const std::u16string& help, int width) {
    std::vector<std::u16string> lines;
    for (size_t begin = 0; begin < help.size();) {
        size_t end = help.find(u"  ", begin);
        if (end == std::u16string::npos) end = help.size();
        for (std::u16string& line : wrap(help.substr(begin, end - begin), width, u" ")) lines.push_back(std::move(line));
        begin = help.find_first_not_of(u' ', end);
    }
    return lines;
}

void notice(TerminalView& view) {
    std::string text = "The device screen needs a terminal of " + std::to_string(kScreenColumns) + " x " +
                       std::to_string(kScreenRows) + " or more; this one is " + std::to_string(view.columns) + " x " +
                       std::to_string(view.rows) + ". Make it larger, or press q, Escape or Ctrl+C to quit.";
    std::vector<std::u16string> lines = wrap(toUtf16(text), view.columns, u" ");
    for (int row = 0; row < std::min(view.rows, static_cast<int>(lines.size())); ++row)
        write(view, row, 0, lines[static_cast<size_t>(row)], 0);
}

// The frame round the screen: the sides when there are columns for them, the top and
// bottom (with the corners) when there are rows too.
void frame(TerminalView& view, bool sides, bool ends) {
    int top = view.top - 1, bottom = view.top + kScreenRows, left = view.left - 1, right = view.left + kScreenColumns;
    if (sides) {
        for (int row = view.top; row < bottom; ++row) {
            put(view, row, left, terminalCell(u'|', 0, Line::Vertical));
            put(view, row, right, terminalCell(u'|', 0, Line::Vertical));
        }
    }
    if (!ends) return;
    for (int column = view.left; column < right; ++column) {
        put(view, top, column, terminalCell(u'-', 0, Line::Horizontal));
        put(view, bottom, column, terminalCell(u'-', 0, Line::Horizontal));
    }
    if (!sides) return;
    put(view, top, left, terminalCell(u'+', 0, Line::TopLeft));
    put(view, top, right, terminalCell(u'+', 0, Line::TopRight));
    put(view, bottom, left, terminalCell(u'+', 0, Line::BottomLeft));
    put(view, bottom, right, terminalCell(u'+', 0, Line::BottomRight));
}

}  // namespace

TerminalView terminalView(const ScreenGrid& screen, const std::string& helpText, int rows, int columns) {
    TerminalView view;
    view.rows = std::max(rows, 0);
    view.columns = std::max(columns, 0);
    view.cells.assign(static_cast<size_t>(view.rows) * static_cast<size_t>(view.columns), terminalCell());
    view.fits = rows >= kScreenRows && columns >= kScreenColumns;
    if (!view.fits) {
        notice(view);
        return view;
    }
    std::u16string help = toUtf16(helpText);
    bool sides = columns >= kScreenColumns + 2, ends = rows >= kScreenRows + 2;
    int height = kScreenRows + (ends ? 2 : 0);
    std::vector<std::u16string> below = wrap(help, columns, u"  ");
    int sideWidth = std::min(columns - kScreenColumns - 2 - kSideGap, kSideHelpColumns);
    bool beside = static_cast<int>(below.size()) > rows - height && sideWidth >= kSideHelpLeast;

    if (beside) {
        view.left = (columns - (kScreenColumns + 2 + kSideGap + sideWidth)) / 2 + 1;
        view.top = (rows - height) / 2 + (ends ? 1 : 0);
        // Level with the first row under the title bar.
        int row = view.top + 1, column = view.left + kScreenColumns + 1 + kSideGap;
        for (const std::u16string& line : itemLines(help, sideWidth)) write(view, row++, column, line, kCellDim);
    } else {
        int helpRows = std::min(static_cast<int>(below.size()), rows - height);
        view.left = (columns - kScreenColumns) / 2;
        view.top = (rows - height - helpRows) / 2 + (ends ? 1 : 0);
        int row = view.top + kScreenRows + (ends ? 1 : 0);
        for (int i = 0; i < helpRows; ++i) {
            const std::u16string& line = below[static_cast<size_t>(i)];
            write(view, row + i, (columns - static_cast<int>(line.size())) / 2, line, kCellDim);
        }
    }
    frame(view, sides, ends);
    for (int row = 0; row < kScreenRows; ++row)
        for (int column = 0; column < kScreenColumns; ++column)
            view.at(view.top + row, view.left + column) = screen.at(row, column);
    for (PlacedPicture placed : screen.pictures) {
        placed.x += view.left * kCellUnitsWide;
        placed.y += view.top * kCellUnitsHigh;
        view.pictures.push_back(placed);
    }
    return view;
}

}  // namespace device
