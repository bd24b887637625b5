// Decoding of the platform's device-independent bitmaps, as icons and bitmaps store
// them, into top-down rows of colour values. Every read is checked against the size.
#include "device/windowing/resources.h"

#include "device/core/bytereader.h"

namespace device {
namespace {

constexpr int32_t kMaxSide = 1024;  // larger pictures are not the program's

size_t rowBytes(int32_t width, int bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

uint32_t colourValue(uint8_t red, uint8_t green, uint8_t blue) {
    return red | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16;
}

}  // namespace

bool decodeDib(const void* data, size_t size, bool hasMask, Picture* picture) {
    ByteReader in(data, size);
    uint32_t headerSize = in.dword();
    int32_t width = in.longValue();
    int32_t height = in.longValue();
    in.word();  // planes
    int bitsPerPixel = in.word();
    uint32_t compression = in.dword();
    in.skip(12);  // image size, resolution
    uint32_t coloursUsed = in.dword();
    if (!in.ok() || headerSize < 40 || compression != 0) return false;
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 &&
        bitsPerPixel != 32) {
        return false;
    }
    bool bottomUp = height > 0;
    if (height < 0) height = -height;
    if (hasMask) height /= 2;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;

    std::vector<uint32_t> table;
    if (bitsPerPixel <= 8) {
        uint32_t entries = coloursUsed != 0 ? coloursUsed : 1u << bitsPerPixel;
        if (entries > 256u) return false;
        in.seek(headerSize);
        for (uint32_t i = 0; i < entries; ++i) {
            uint8_t blue = in.byte(), green = in.byte(), red = in.byte();
            in.byte();
            table.push_back(colourValue(red, green, blue));
        }
    } else {
        in.seek(headerSize);
    }
    const size_t colourStride = rowBytes(width, bitsPerPixel);
    const size_t maskStride = rowBytes(width, 1);
    const size_t pixelStart = in.position();
    const size_t needed = colourStride * height + (hasMask ? maskStride * height : 0);
    if (!in.ok() || in.remaining() < needed) return false;

    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    picture->width = width;
    picture->height = height;
    picture->colours.assign(static_cast<size_t>(width) * height, 0);
    picture->opaque.assign(static_cast<size_t>(width) * height, true);
    for (int32_t y = 0; y < height; ++y) {
        int32_t stored = bottomUp ? height - 1 - y : y;
        const uint8_t* row = bytes + pixelStart + colourStride * stored;
        const uint8_t* mask = bytes + pixelStart + colourStride * height + maskStride * stored;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t colour = 0;
            if (bitsPerPixel <= 8) {
                size_t bit = static_cast<size_t>(x) * bitsPerPixel;
                unsigned shift = 8 - bitsPerPixel - bit % 8;
                unsigned index = (row[bit / 8] >> shift) & ((1u << bitsPerPixel) - 1);
                colour = index < table.size() ? table[index] : 0;
            } else {
                const uint8_t* pixel = row + static_cast<size_t>(x) * (bitsPerPixel / 8);
                colour = colourValue(pixel[2], pixel[1], pixel[0]);
            }
            size_t at = static_cast<size_t>(y) * width + x;
            picture->colours[at] = colour;
            if (hasMask) picture->opaque[at] = !((mask[x / 8] >> (7 - x % 8)) & 1);
        }
    }
    return true;
}

}  // namespace device
