// Text shown on a terminal: whatever a terminal would act on is written out, the rest kept.
#include "formats/printable.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintableTest, ShowsWhatATerminalWouldActOnAndKeepsTheRest) {
    struct Case {
        std::string text, shown;
    };
    const Case cases[] = {
        {"\\Temp\\caf\xc3\xa9 \xe6\x97\xa5.tmp", "\\Temp\\caf\xc3\xa9 \xe6\x97\xa5.tmp"},  // paths and letters stay
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {"\x1b]0;owned\x07title", "\\x1b]0;owned\\x07title"},  // a title-setting sequence
        {"\x1b[31mred", "\\x1b[31mred"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"del\x7f", "del\\x7f"},
        {"c1\xc2\x9b" "31m", "c1\\u009b31m"},                      // the 8-bit CSI
        {"gpj.\xe2\x80\xae" "exe", "gpj.\\u202eexe"},                 // right-to-left override
        {"line\xe2\x80\xa8sep", "line\\u2028sep"},
        {"mark\xe2\x80\x8f", "mark\\u200f"},
        {"bad\xff\xfe", "bad\\xff\\xfe"},                          // no UTF-8
        {"cut\xe6\x97", "cut\\xe6\\x97"},                          // a character cut short
        {"over\xc0\xaflong", "over\\xc0\\xaflong"},                // an overlong '/'
        {"half\xed\xa0\x80", "half\\xed\\xa0\\x80"},               // a surrogate
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.shown, formats::printable(c.text)) << c.shown;
}

}  // namespace
