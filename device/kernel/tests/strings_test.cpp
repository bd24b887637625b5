// The platform's string helpers: bounded formatting, copying, searching and case rules.
#include "platform/winstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringsTest, WideFormatterConversions) {
    WCHAR out[64];
    auto check = [&](const char16_t* expected, HRESULT result, int line) {
        SCOPED_TRACE(line);
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(std::u16string(expected), std::u16string(out));
    };
    check(u"\\Temp\\*", StringCchPrintfW(out, 64, u"%s\\*", u"\\Temp"), __LINE__);
    check(u"06/12 03:43:37 -> 2, ", StringCchPrintfW(out, 64, u"%02d/%02d %02d:%02d:%02d -> %d, ", 6, 12, 3, 43, 37, 2),
          __LINE__);
    check(u"narrow é", StringCchPrintfW(out, 64, u"%S", "narrow \xE9"), __LINE__);
    check(u"x=-42 y=4294967295 z=ff c=Q", StringCchPrintfW(out, 64, u"x=%d y=%u z=%x c=%c", -42, 0xFFFFFFFFu, 255, u'Q'),
          __LINE__);
    check(u"12.3 KB", StringCchPrintfW(out, 64, u"%.1f KB", 12.345), __LINE__);
    check(u"1024.0 KB|   7|7   |007|-07", StringCchPrintfW(out, 64, u"%.1f KB|%4d|%-4d|%03d|%03d", 1024.0, 7, 7, 7, -7),
          __LINE__);
    check(u"(null) 100%", StringCchPrintfW(out, 64, u"%s 100%%", static_cast<const WCHAR*>(nullptr)), __LINE__);
    check(u"big 18446744073709551615", StringCchPrintfW(out, 64, u"big %I64u", 0xFFFFFFFFFFFFFFFFull), __LINE__);
}

// "%f" rounds the double's exact value, a tie away from zero, as the platform's runtime
// does; values whose binary form lies just below a tie (0.35, 9.95) round down. The
// expected texts are what the desktop runtime writes for the same formats.
TEST(StringsTest, FixedPointRoundsTheExactValueWithTiesAwayFromZero) {
    struct Case {
        double value;
        const char16_t* expected;  // "%.1f|%.0f|%.2f|%+.1f|%08.1f"
    } cases[] = {
        {0.25, u"0.3|0|0.25|+0.3|000000.3"},
        {1.25, u"1.3|1|1.25|+1.3|000001.3"},
        {-0.25, u"-0.3|-0|-0.25|-0.3|-00000.3"},
        {0.5, u"0.5|1|0.50|+0.5|000000.5"},
        {2.5, u"2.5|3|2.50|+2.5|000002.5"},
        {4095.25, u"4095.3|4095|4095.25|+4095.3|004095.3"},
        {0.35, u"0.3|0|0.35|+0.3|000000.3"},
        {2.675, u"2.7|3|2.67|+2.7|000002.7"},
        {9.95, u"9.9|10|9.95|+9.9|000009.9"},
        {9.96, u"10.0|10|9.96|+10.0|000010.0"},
        {0.45, u"0.5|0|0.45|+0.5|000000.5"},
        {1048575.95, u"1048575.9|1048576|1048575.95|+1048575.9|1048575.9"},
        {5e-324, u"0.0|0|0.00|+0.0|000000.0"},
        {1e21, u"1000000000000000000000.0|1000000000000000000000|1000000000000000000000.00|"
                u"+1000000000000000000000.0|1000000000000000000000.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        WCHAR out[200];
        EXPECT_EQ(S_OK, StringCchPrintfW(out, 200, u"%.1f|%.0f|%.2f|%+.1f|%08.1f", c.value, c.value, c.value, c.value,
                                         c.value));
        EXPECT_EQ(std::u16string(c.expected), std::u16string(out));
    }
    WCHAR out[32];
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 32, u"%f|% .1f", 0.0000025, 0.25));
    EXPECT_EQ(u"0.000003| 0.3", std::u16string(out));
}

TEST(StringsTest, NarrowFormatterTakesWideStringsWithCapitalS) {
    char out[64];
    EXPECT_EQ(S_OK, StringCchPrintfA(out, sizeof out, "%S|%s|%02d", u"E: connmgr.exe, x", "narrow", 5));
    EXPECT_STREQ("E: connmgr.exe, x|narrow|05", out);
    // Characters the device's 8-bit code page lacks become '?'.
    EXPECT_EQ(S_OK, StringCchPrintfA(out, sizeof out, "%S", u"caf\u00e9 \u20ac"));
    EXPECT_STREQ("caf\xE9 ?", out);
}

TEST(StringsTest, FormatterNeverWritesPastItsBuffer) {
    WCHAR out[8];
    for (WCHAR& c : out) c = 0xBDBD;
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfW(out, 5, u"%s\\%s", u"\\Temp", u"file"));
    EXPECT_EQ(u"\\Tem", std::u16string(out));
    EXPECT_EQ(0xBDBD, out[5]);  // nothing beyond the given size
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(out, 0, u"x"));
    EXPECT_EQ(0xBDBD, out[5]);

    char narrow[18];
    EXPECT_EQ(S_OK, StringCchPrintfA(narrow, sizeof narrow, "%02d/%02d %02d:%02d:%02d ->", 31, 12, 23, 59, 59));
    EXPECT_EQ(17u, std::string(narrow).size());  // the log prefix fills the buffer exactly
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfA(narrow, 4, "%d", 123456));
    EXPECT_STREQ("123", narrow);
}

TEST(StringsTest, CopyAndAppendReportCuts) {
    WCHAR out[6];
    EXPECT_EQ(S_OK, StringCchCopyW(out, 6, u"abcde"));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCopyW(out, 6, u"abcdef"));
    EXPECT_EQ(u"abcde", std::u16string(out));
    EXPECT_EQ(S_OK, StringCchCopyW(out, 6, u"ab"));
    EXPECT_EQ(S_OK, StringCchCatW(out, 6, u"cd"));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCatW(out, 6, u"ef"));
    EXPECT_EQ(u"abcde", std::u16string(out));

    size_t length = 99;
    WCHAR unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchLengthW(unterminated, 3, &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(S_OK, StringCchLengthW(u"abc", 4, &length));
    EXPECT_EQ(3u, length);
}

TEST(StringsTest, SearchIsExactAndComparisonIgnoresCase) {
    EXPECT_NE(nullptr, wcsstr(u"\\Windows\\Content.IE5", u"IE5"));
    EXPECT_EQ(nullptr, wcsstr(u"\\Windows\\content.ie5", u"IE5"));
    EXPECT_EQ(nullptr, wcsstr(u"", u"a"));
    const WCHAR* text = u"abcabd";
    EXPECT_EQ(text + 3, wcsstr(text, u"abd"));

    EXPECT_EQ(0, _wcsicmp(u"CONNMGR.EXE", u"connmgr.exe"));
    EXPECT_NE(0, _wcsicmp(u"\\Windows\\connmgr.exe", u"connmgr.exe"));
    EXPECT_LT(_wcsicmp(u"abc", u"abcd"), 0);
    EXPECT_EQ(0, _wcsicmp(u"ÄÖÜ ΣΑΣ ДОМ Ÿ", u"äöü σασ дом ÿ"));

    WCHAR line[] = u"-AUTO Ünïcode ΩMEGA ÀZ";
    EXPECT_EQ(u"-auto ünïcode ωmega àz", std::u16string(_wcslwr(line)));
    // Case goes by pairs: whatever changes case changes back.
    for (WCHAR c = 1; c < 0xFFFF; ++c) {
        WCHAR lower = towlower(c), upper = towupper(c);
        if (lower != c) {
            EXPECT_EQ(c, towupper(lower)) << std::hex << static_cast<unsigned>(c);
        }
        if (upper != c) {
            EXPECT_EQ(c, towlower(upper)) << std::hex << static_cast<unsigned>(c);
        }
    }
}

// Every simple case pair of Unicode, whatever the script; a mapping that goes one way only
// (İ to i, the Kelvin sign to k, ſ to S, ß and ẞ) leaves the character as it is.
TEST(StringsTest, CasePairsOfEveryScript) {
    const char16_t* const pairs[] = {u"Ґґ", u"Ғғ", u"Үү", u"Әә", u"Șș", u"Țț", u"Ǎǎ", u"Ạạ", u"Ếế", u"Ἀἀ",
                                     u"Աա", u"Ⅻⅻ", u"Ⓐⓐ", u"Ⴀⴀ", u"Ꙁꙁ", u"Ａａ", u"Ǆǆ", u"Ωω"};
    for (const char16_t* pair : pairs) {
        EXPECT_EQ(pair[1], towlower(pair[0])) << std::hex << static_cast<unsigned>(pair[0]);
        EXPECT_EQ(pair[0], towupper(pair[1])) << std::hex << static_cast<unsigned>(pair[1]);
    }
    for (WCHAR alone : {u'İ', u'ı', u'\u212A', u'\u2126', u'ſ', u'ß', u'ẞ', u'ǅ', u'µ', u'ς', u'ϴ', u'5', u'日'})
        EXPECT_TRUE(towlower(alone) == alone && towupper(alone) == alone) << std::hex << static_cast<unsigned>(alone);
    EXPECT_EQ(0, _wcsicmp(u"\\Windows\\Ғ.exe", u"\\WINDOWS\\ғ.EXE"));
    EXPECT_NE(0, _wcsicmp(u"İ.exe", u"i.exe"));
}

}  // namespace
