// The time separator the tool accepts, and what it says of one it refuses.
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(LocaleTest, ATimeSeparatorShowsAMarkOfItsOwnAndARefusedOneIsEchoedEscaped) {
    testing_support::ScopedDevice device;
    struct Case {
        const char* separator;
        const char* echoed;  // null: accepted
    };
    const Case cases[] = {
        {".", nullptr},
        {"\xC2\xB7", nullptr},                      // U+00B7 middle dot
        {"\xEF\xBC\x9A", nullptr},                  // U+FF1A fullwidth colon
        {"h:", "\"h:\""},                           // a letter of the picker's fields
        {"\xE2\x80\xA8", "\"\\u2028\""},            // line separator
        {"\xE2\x80\x8F", "\"\\u200f\""},            // right-to-left mark
        {"\xE2\x80\xAE:", "\"\\u202e:\""},          // right-to-left override
        {"\xEF\xBB\xBF", "\"\xEF\xBB\xBF\""},        // zero-width no-break space (invisible, not acted on)
        {"\xC2\xA0", "\"\xC2\xA0\""},               // no-break space (a separator, shown as itself)
        {" ", "\" \""},                              // space
        {"\x1B]0", "\"\\x1b]0\""},                  // the start of a terminal title sequence
        {"\x1B[31m", "\"\\x1b[31m\""},              // too long, and a colour change
        {"\xC2\x85", "\"\\u0085\""},                // next line
        {"\xFF", "\"\\xff\""},                      // not UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.separator);
        testing_support::RunResult result = testing_support::run(
            testing_support::deviceToolBinary(), {"--device", device.dir(), "locale", "--time-separator", c.separator});
        if (!c.echoed) {
            EXPECT_EQ(0, result.exitCode) << result.output;
            continue;
        }
        EXPECT_EQ(2, result.exitCode);
        EXPECT_NE(std::string::npos, result.output.find(std::string("not a time separator: ") + c.echoed))
            << result.output;
        // Nothing a terminal acts on reaches it: no control byte but the line's end.
        EXPECT_EQ(1, std::count_if(result.output.begin(), result.output.end(),
                                   [](char b) { return static_cast<unsigned char>(b) < 0x20 || b == 0x7F; }));
    }
}

}  // namespace
