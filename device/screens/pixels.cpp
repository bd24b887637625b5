// Pictures and colours for character cells: pictures scaled down to the few pixels a
// control's cells hold, and the platform's colours matched to a terminal's palette.
#include "device/screens/render.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace device {
namespace {

int red(COLORREF colour) { return static_cast<int>(colour & 0xFF); }
int green(COLORREF colour) { return static_cast<int>((colour >> 8) & 0xFF); }
int blue(COLORREF colour) { return static_cast<int>((colour >> 16) & 0xFF); }

// How far apart two colours look: green counts most, blue least, as for the eye.
long distance(int r1, int g1, int b1, int r2, int g2, int b2) {
    long dr = r1 - r2, dg = g1 - g2, db = b1 - b2;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

// The basic colours as terminals commonly show them, in curses' numbering: black, red,
// green, yellow, blue, magenta, cyan, white, then the bright ones.
constexpr int kBasic[16][3] = {
    {0, 0, 0},     {205, 0, 0},   {0, 205, 0},   {205, 205, 0},   {0, 0, 238},     {205, 0, 205},
    {0, 205, 205}, {229, 229, 229}, {127, 127, 127}, {255, 0, 0}, {0, 255, 0},     {255, 255, 0},
    {92, 92, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// The six levels of each channel in the 256-colour cube.
constexpr int kCubeLevels[6] = {0, 95, 135, 175, 215, 255};

int nearestLevel(int value) {
    int best = 0;
    for (int i = 1; i < 6; ++i)
        if (std::abs(kCubeLevels[i] - value) < std::abs(kCubeLevels[best] - value)) best = i;
    return best;
}

}  // namespace

std::vector<COLORREF> pictureScale(const Picture& picture, int width, int height, COLORREF background) {
    std::vector<COLORREF> pixels;
    if (width <= 0 || height <= 0) return pixels;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), background);
    if (picture.width <= 0 || picture.height <= 0) return pixels;
    for (int y = 0; y < height; ++y) {
        // The source rows and columns this pixel covers; at least one.
        int top = y * picture.height / height;
        int bottom = std::max((y + 1) * picture.height / height, top + 1);
        for (int x = 0; x < width; ++x) {
            int left = x * picture.width / width;
            int right = std::max((x + 1) * picture.width / width, left + 1);
            long r = 0, g = 0, b = 0, count = 0;
            for (int sy = top; sy < bottom; ++sy) {
                for (int sx = left; sx < right; ++sx) {
                    COLORREF colour = picture.opaqueAt(sx, sy) ? picture.colourAt(sx, sy) : background;
                    r += red(colour), g += green(colour), b += blue(colour), ++count;
                }
            }
            pixels[static_cast<size_t>(y * width + x)] =
                RGB((r + count / 2) / count, (g + count / 2) / count, (b + count / 2) / count);
        }
    }
    return pixels;
}

const Picture* iconImageFor(const std::vector<Picture>& images, int width) {
    const Picture* best = nullptr;
    for (const Picture& image : images) {
        bool fits = image.width >= width;
        if (!best) best = &image;
        else if (fits && (best->width < width || image.width < best->width)) best = &image;
        else if (!fits && best->width < width && image.width > best->width) best = &image;
    }
    return best;
}

COLORREF terminalPaletteColour(int index) {
    index = std::clamp(index, 0, 255);
    if (index < 16) return RGB(kBasic[index][0], kBasic[index][1], kBasic[index][2]);
    if (index >= 232) {
        int level = 8 + 10 * (index - 232);
        return RGB(level, level, level);
    }
    int cube = index - 16;
    return RGB(kCubeLevels[cube / 36], kCubeLevels[cube / 6 % 6], kCubeLevels[cube % 6]);
}

int terminalColour(COLORREF colour, int colours) {
    int r = red(colour), g = green(colour), b = blue(colour);
    if (colours >= 256) {
        int cube = 16 + 36 * nearestLevel(r) + 6 * nearestLevel(g) + nearestLevel(b);
        long cubeDistance = distance(r, g, b, kCubeLevels[nearestLevel(r)], kCubeLevels[nearestLevel(g)],
                                     kCubeLevels[nearestLevel(b)]);
        // The grey ramp: 24 greys from 8 to 238 in steps of 10.
        int grey = std::clamp(((r + g + b) / 3 - 8 + 5) / 10, 0, 23);
        int level = 8 + 10 * grey;
        return distance(r, g, b, level, level, level) < cubeDistance ? 232 + grey : cube;
    }
    int count = colours >= 16 ? 16 : 8;
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int i = 0; i < count; ++i) {
        long d = distance(r, g, b, kBasic[i][0], kBasic[i][1], kBasic[i][2]);
        if (d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

}  // namespace device
