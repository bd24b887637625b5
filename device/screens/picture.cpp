// Pictures of the device screen, or of the terminal round it: the cells drawn as a
// 256-colour terminal shows them, in GNU Unifont's 8 x 16 glyphs, with the icon and bitmap
// as real pixels, written as PNG by libpng. For documentation and for people who would
// rather look than read a text dump.
#include "device/screens/render.h"
#include "device/screens/view.h"

#include <png.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <unordered_map>

namespace device {
namespace {

constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 16;
constexpr const char* kFontFiles[] = {"/usr/share/unifont/unifont.hex"};
// The terminal's own colours round the device screen, as a dark terminal shows them.
constexpr COLORREF kTerminalInk = RGB(229, 229, 229);
constexpr COLORREF kTerminalDimInk = RGB(150, 150, 150);
constexpr COLORREF kTerminalPaper = RGB(0, 0, 0);

// Rows of a half-width glyph, the leftmost pixel in the highest bit.
using Glyph = std::array<uint8_t, kGlyphHeight>;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The half-width glyphs of a .hex font: "CODE:32 hex digits" a line (full-width glyphs,
// 64 digits, are left out: a cell holds one half-width character).
const std::unordered_map<char32_t, Glyph>* font(std::string* error) {
    static std::unordered_map<char32_t, Glyph> glyphs;
    if (!glyphs.empty()) return &glyphs;
    std::ifstream file;
    for (const char* name : kFontFiles) {
        file.open(name);
        if (file) break;
    }
    if (!file) {
        *error = std::string("the font ") + kFontFiles[0] + " cannot be read (Debian package unifont)";
        return nullptr;
    }
    std::string line;
    while (std::getline(file, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos || line.size() - colon - 1 != 2 * kGlyphHeight) continue;
        char32_t code = static_cast<char32_t>(std::strtoul(line.substr(0, colon).c_str(), nullptr, 16));
        Glyph glyph{};
        bool valid = true;
        for (int row = 0; row < kGlyphHeight; ++row) {
            int high = hexDigit(line[colon + 1 + 2 * row]), low = hexDigit(line[colon + 2 + 2 * row]);
            valid &= high >= 0 && low >= 0;
            glyph[static_cast<size_t>(row)] = static_cast<uint8_t>(high * 16 + low);
        }
        if (valid) glyphs[code] = glyph;
    }
    if (glyphs.empty()) *error = std::string("the font ") + kFontFiles[0] + " holds no glyphs";
    return glyphs.empty() ? nullptr : &glyphs;
}

// The line-drawing character a terminal shows for a piece of a frame.
char32_t lineCharacter(Line line, char16_t plain) {
    switch (line) {
    case Line::Horizontal: return U'\u2500';
    case Line::Vertical: return U'\u2502';
    case Line::TopLeft: return U'\u250C';
    case Line::TopRight: return U'\u2510';
    case Line::BottomLeft: return U'\u2514';
    case Line::BottomRight: return U'\u2518';
    case Line::TeeLeft: return U'\u251C';
    case Line::TeeRight: return U'\u2524';
    case Line::None: break;
    }
    return plain;
}

bool dark(COLORREF colour) {
    int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return 3 * r + 6 * g + b < 1280;
}

COLORREF shown(COLORREF colour) { return terminalPaletteColour(terminalColour(colour, 256)); }

class Image {
public:
    Image(int width, int height) : width_(width), height_(height), rgb_(static_cast<size_t>(width * height) * 3) {}

    void set(int x, int y, COLORREF colour) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3;
        rgb_[at] = static_cast<uint8_t>(colour & 0xFF);
        rgb_[at + 1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
        rgb_[at + 2] = static_cast<uint8_t>((colour >> 16) & 0xFF);
    }
    void fill(int x, int y, int width, int height, COLORREF colour) {
        for (int row = y; row < y + height; ++row)
            for (int column = x; column < x + width; ++column) set(column, row, colour);
    }

    bool write(const std::string& path, std::string* error) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = static_cast<png_uint_32>(width_);
        image.height = static_cast<png_uint_32>(height_);
        image.format = PNG_FORMAT_RGB;
        if (png_image_write_to_file(&image, path.c_str(), 0, rgb_.data(), 0, nullptr)) return true;
        *error = "cannot write " + path + ": " + image.message;
        return false;
    }

private:
    int width_, height_;
    std::vector<uint8_t> rgb_;
};

// Draws a cell of text as the terminal screen draws it in 256 colours.
void drawTextCell(Image& image, int x, int y, const Cell& cell, const std::unordered_map<char32_t, Glyph>& glyphs) {
    COLORREF ink = kTerminalInk, paper = kTerminalPaper;
    if (cell.attributes & kCellTerminal) {
        if (cell.attributes & kCellDim) ink = kTerminalDimInk;
        if (cell.attributes & kCellReverse) std::swap(ink, paper);
    } else {
        COLORREF foreground = cell.text, background = cell.background;
        if (cell.attributes & kCellReverse) std::swap(foreground, background);
        int front = terminalColour(foreground, 256), back = terminalColour(background, 256);
        // Text the palette would hide on its background shows in black or white.
        if (front == back && foreground != background) front = dark(background) ? 15 : 0;
        ink = terminalPaletteColour(front), paper = terminalPaletteColour(back);
    }
    image.fill(x, y, kGlyphWidth, kGlyphHeight, paper);
    char32_t character = cell.placeholder ? U' ' : lineCharacter(cell.line, cell.character);
    auto found = glyphs.find(character);
    if (found == glyphs.end()) found = glyphs.find(U'?');
    if (found == glyphs.end()) return;
    for (int row = 0; row < kGlyphHeight; ++row) {
        unsigned bits = found->second[static_cast<size_t>(row)];
        if (cell.attributes & kCellBold) bits |= bits >> 1;  // bold: each stroke one pixel wider
        if ((cell.attributes & kCellUnderline) && row == kGlyphHeight - 1) bits = 0xFF;
        for (int column = 0; column < kGlyphWidth; ++column)
            if (bits & (0x80u >> column)) image.set(x + column, y + row, ink);
    }
}

}  // namespace

bool screenPicture(const ScreenGrid& grid, const std::string& path, std::string* error) {
    TerminalView alone;
    alone.rows = kScreenRows;
    alone.columns = kScreenColumns;
    alone.cells = grid.cells;
    alone.pictures = grid.pictures;
    alone.fits = true;
    return terminalPicture(alone, path, error);
}

bool terminalPicture(const TerminalView& grid, const std::string& path, std::string* error) {
    std::string why;
    const std::unordered_map<char32_t, Glyph>* glyphs = font(&why);
    if (!glyphs) {
        if (error) *error = why;
        return false;
    }
    if (grid.rows <= 0 || grid.columns <= 0) {
        if (error) *error = "cannot write " + path + ": a picture of no cells";
        return false;
    }
    Image image(grid.columns * kGlyphWidth, grid.rows * kGlyphHeight);
    for (int row = 0; row < grid.rows; ++row) {
        for (int column = 0; column < grid.columns; ++column) {
            const Cell& cell = grid.at(row, column);
            int x = column * kGlyphWidth, y = row * kGlyphHeight;
            if (cell.picture) {
                // The picture's own pixels come below; around them, the control's background.
                image.fill(x, y, kGlyphWidth, kGlyphHeight, shown(cell.background));
            } else {
                drawTextCell(image, x, y, cell, *glyphs);
            }
        }
    }
    // The pictures again at the image's own scale, over the cells that show them (a
    // window in front keeps what it covers).
    for (const PlacedPicture& placed : grid.pictures) {
        int left = placed.x * kGlyphWidth / kCellUnitsWide, top = placed.y * kGlyphHeight / kCellUnitsHigh;
        int width = placed.width * kGlyphWidth / kCellUnitsWide, height = placed.height * kGlyphHeight / kCellUnitsHigh;
        if (!placed.picture || width <= 0 || height <= 0) continue;
        std::vector<COLORREF> pixels = pictureScale(*placed.picture, width, height, shown(placed.background));
        for (int py = 0; py < height; ++py) {
            for (int px = 0; px < width; ++px) {
                int x = left + px, y = top + py;
                int row = y / kGlyphHeight, column = x / kGlyphWidth;
                if (row < 0 || row >= grid.rows || column < 0 || column >= grid.columns) continue;
                if (!grid.at(row, column).picture) continue;
                image.set(x, y, pixels[static_cast<size_t>(py * width + px)]);
            }
        }
    }
    if (!image.write(path, &why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

}  // namespace device
