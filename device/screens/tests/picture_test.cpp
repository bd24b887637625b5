// The picture of the screen: a PNG that decodes to the screen's size, with the colours a
// 256-colour terminal shows, the font's glyphs in the text and the bitmap as pixels.
#include "device/screens/render.h"
#include "device/screens/view.h"

#include "device/windowing/tests/dialog_recorder.h"

#include <png.h>

#include <filesystem>
#include <set>

using namespace dialog_testing;

namespace {

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;

    COLORREF at(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
};

bool decode(const std::string& path, Decoded* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}

COLORREF asShown(COLORREF colour) { return device::terminalPaletteColour(device::terminalColour(colour, 256)); }

class PictureTest : public DialogTest {};

TEST_F(PictureTest, MainDialogAsPng) {
    if (!std::filesystem::exists("/usr/share/unifont/unifont.hex")) GTEST_SKIP() << "the unifont package is missing";
    reactLikeTheProgram();
    std::string path = device_.dir() + "/main.png";
    device::ScreenGrid grid;
    std::string error;
    bool written = false;
    script({[&] {
        grid = device::screenRender();
        written = device::screenPicture(grid, path, &error);
    }});
    runDialog(IDD_MAIN, owner_, 1);
    ASSERT_TRUE(written) << error;

    Decoded image;
    ASSERT_TRUE(decode(path, &image));
    EXPECT_EQ(device::kScreenColumns * 8, image.width);
    EXPECT_EQ(device::kScreenRows * 16, image.height);

    // The title bar's blue behind "Quillex", with the glyph of 'Q' in white on it.
    const device::Cell& q = grid.at(0, 0);
    ASSERT_EQ(u'Q', q.character);
    EXPECT_EQ(asShown(q.background), image.at(7, 0));
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) ink += image.at(x, y) == asShown(q.text);
    EXPECT_GT(ink, 10);  // the glyph's strokes, bold
    EXPECT_LT(ink, 64);

    // The soft-key bar's blue in the last row, the dialog's white in an empty row.
    EXPECT_EQ(asShown(grid.at(device::kScreenRows - 1, 20).background), image.at(20 * 8 + 4, image.height - 8));
    EXPECT_EQ(RGB(255, 255, 255), image.at(40 * 8, 4 * 16 + 8));

    // The bitmap as pixels: its own colours, not one flat colour, within its cells.
    ASSERT_EQ(1u, grid.pictures.size());
    const device::PlacedPicture& bitmap = grid.pictures[0];
    std::set<COLORREF> colours;
    for (int y = bitmap.y * 2 + 2; y < (bitmap.y + bitmap.height) * 2 - 2; ++y)
        for (int x = bitmap.x * 8 / 3 + 2; x < (bitmap.x + bitmap.width) * 8 / 3 - 2; ++x) colours.insert(image.at(x, y));
    EXPECT_GT(colours.size(), 4u);
}

// The terminal at 80 x 24 as the terminal screen fills it: the device screen from the
// second column, the frame's side in the first, the key help beside in the terminal's
// own colours.
TEST_F(PictureTest, TerminalAsPng) {
    if (!std::filesystem::exists("/usr/share/unifont/unifont.hex")) GTEST_SKIP() << "the unifont package is missing";
    reactLikeTheProgram();
    std::string path = device_.dir() + "/terminal.png";
    device::ScreenGrid grid;
    std::string error;
    bool written = false;
    script({[&] {
        grid = device::screenRender();
        written = device::terminalPicture(device::terminalView(grid, "F1 Cleanup  F2 Tools", 24, 80), path, &error);
    }});
    runDialog(IDD_MAIN, owner_, 1);
    ASSERT_TRUE(written) << error;

    Decoded image;
    ASSERT_TRUE(decode(path, &image));
    EXPECT_EQ(80 * 8, image.width);
    EXPECT_EQ(24 * 16, image.height);
    EXPECT_EQ(asShown(grid.at(0, 0).background), image.at(8 + 7, 0));  // the title bar
    std::set<COLORREF> frame, help;
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 8; ++x) frame.insert(image.at(x, y));
    for (int y = 16; y < 32; ++y)
        for (int x = 57 * 8; x < 67 * 8; ++x) help.insert(image.at(x, y));
    EXPECT_EQ(2u, frame.size());  // the line on the terminal's black
    EXPECT_EQ(std::set<COLORREF>({RGB(0, 0, 0), RGB(150, 150, 150)}), help);  // dim text
}

TEST_F(PictureTest, UnwritableFileIsReported) {
    if (!std::filesystem::exists("/usr/share/unifont/unifont.hex")) GTEST_SKIP() << "the unifont package is missing";
    std::string error;
    EXPECT_FALSE(device::screenPicture(device::ScreenGrid{}, device_.dir() + "/no/such/folder/x.png", &error));
    EXPECT_NE(std::string::npos, error.find("cannot write")) << error;
}

}  // namespace
