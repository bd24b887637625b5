// The emulation's side of the program's resources, for the window system and the
// screen: the instance handle resources are loaded from, and what stands behind the
// handles of icons, bitmaps and accelerator tables. Everything here lives as long as the process.
#pragma once

#include "platform/winres.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace device {

// The module handle the start-up code passes to WinMain; the program's resources
// belong to it.
inline HINSTANCE programInstance() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
}

// The program's compiled resources (the platform's .res layout), registered by the host
// before the program's first resource call; they must live as long as the process. Until
// then the program's module holds no resources.
void programResourcesRegister(const void* bytes, size_t size);

// A decoded picture, rows top first. Colours are the platform's colour values
// (0x00BBGGRR); `opaque` is false where an icon's mask lets the background through.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colours;
    std::vector<bool> opaque;

    uint32_t colourAt(int x, int y) const { return colours[static_cast<size_t>(y) * width + x]; }
    bool opaqueAt(int x, int y) const { return opaque[static_cast<size_t>(y) * width + x]; }
};

// RETURNS the images of an icon from LoadIconW, in the order the icon lists them, or
// null for a handle LoadIconW did not give.
const std::vector<Picture>* iconPictures(HICON icon);

// RETURNS the picture of a bitmap from LoadBitmapW, or null for another handle.
const Picture* bitmapPicture(HBITMAP bitmap);

// RETURNS the entries of a table from LoadAcceleratorsW (the end-of-table flag
// removed), or null for another handle.
const std::vector<ACCEL>* acceleratorEntries(HACCEL table);

// RETURNS the number of bytes from `data` to the end of the resource that holds it, or
// 0 when `data` lies in no resource. Lets the window system bound a template that
// reaches it as a bare pointer (DialogBoxIndirectParamW).
size_t resourceBytesFrom(const void* data);

// Decodes a device-independent bitmap (BITMAPINFOHEADER, colour table, rows); with
// `hasMask` as an icon image stores it: double height, a 1-bit mask after the colours.
// Handles 1, 4, 8, 24 and 32 bits per pixel, uncompressed.
// RETURNS false for anything else or for truncated data.
bool decodeDib(const void* data, size_t size, bool hasMask, Picture* picture);

}  // namespace device
