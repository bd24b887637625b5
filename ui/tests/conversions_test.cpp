// The dialogs' conversions as tables: size texts at their boundaries, weekday masks both
// ways, stored times and picker times, action bits and box states, the locale's picker
// format and the letter cells' colours.
#include "app/quillex.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string sizeText(DWORD bytes) {
    WCHAR text[100];
    formatSizeText(bytes, text, 100);
    return text;
}

TEST(SizeText, KilobytesUpToOneMebibyteAndMegabytesAbove) {
    const struct {
        DWORD bytes;
        const char16_t* text;
    } cases[] = {
        {0, u"0.0 KB"},           {1, u"0.0 KB"},          {51, u"0.0 KB"},           {52, u"0.1 KB"},
        {1536, u"1.5 KB"},        {1048575, u"1024.0 KB"}, {1048576, u"1024.0 KB"},  {1048577, u"1.0 MB"},
        {1572864, u"1.5 MB"},     {104857600, u"100.0 MB"}, {4294967295u, u"4096.0 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(std::u16string(c.text), sizeText(c.bytes)) << c.bytes;
}

TEST(SizeText, CutToTheBuffer) {
    WCHAR text[5];
    formatSizeText(4294967295u, text, 5);
    EXPECT_EQ(u"4096", std::u16string(text));
}

TEST(WeekdayToggles, EveryMaskBothWays) {
    for (int days = 0; days < 128; ++days) {
        int toggles[7];
        togglesFromDays(days, toggles);
        for (int k = 0; k < 7; ++k) ASSERT_EQ((days >> k) & 1, toggles[k]) << days << " day " << k;
        ASSERT_EQ(days, daysFromToggles(toggles)) << days;
    }
}

TEST(WeekdayToggles, BitsAboveSaturdayAreLost) {
    int toggles[7];
    togglesFromDays(0x7FFFFF80 | 0x22, toggles);  // Monday and Friday, and junk above
    EXPECT_EQ(0x22, daysFromToggles(toggles));
    togglesFromDays(-1, toggles);
    EXPECT_EQ(0x7F, daysFromToggles(toggles));
}

TEST(PickerTime, StoredTimesReplaceHourAndMinuteOnly) {
    const struct {
        int stored;
        WORD hour, minute;
    } cases[] = {
        {0, 14, 42},     // not set: the current time
        {-5, 14, 42},    // likewise
        {1, 0, 1},       {705, 7, 5},   {1830, 18, 30}, {2359, 23, 59},
        {2400, 14, 42},  // no time of day: the current time stands in
        {1260, 14, 42},  {99999, 14, 42},
    };
    for (const auto& c : cases) {
        SYSTEMTIME now = {2026, 12, 1, 7, 14, 42, 17, 250};
        pickerTimeFromStartTime(c.stored, &now);
        EXPECT_EQ(c.hour, now.wHour) << c.stored;
        EXPECT_EQ(c.minute, now.wMinute) << c.stored;
        // The date, seconds and milliseconds stay the current ones.
        EXPECT_EQ(2026, now.wYear);
        EXPECT_EQ(7, now.wDay);
        EXPECT_EQ(17, now.wSecond);
        EXPECT_EQ(250, now.wMilliseconds);
        if (c.stored >= 1 && c.stored % 100 < 60 && c.stored < 2400) {
            EXPECT_EQ(c.stored, startTimeFromPickerTime(&now)) << "round trip";
        }
    }
    SYSTEMTIME midnight = {2026, 12, 1, 7, 0, 0, 59, 999};
    EXPECT_EQ(0, startTimeFromPickerTime(&midnight));  // seconds do not count
}

TEST(ActionBoxes, EveryOptionMaskBothWays) {
    for (int options = 0; options < 64; ++options) {
        int checks[6];
        checksFromOptions(options | 0x7C0, checks);  // bits above 5 have no box
        for (int bit = 0; bit < 6; ++bit)
            ASSERT_EQ((options >> bit) & 1 ? BST_CHECKED : BST_UNCHECKED, checks[bit]) << options;
        ASSERT_EQ(options, optionsFromChecks(checks)) << options;
    }
    // Only exactly BST_CHECKED counts: an indeterminate box is not an action.
    int checks[6] = {BST_CHECKED, 2 /* indeterminate */, 0, 0, 0, BST_CHECKED};
    EXPECT_EQ(0x21, optionsFromChecks(checks));
}

TEST(PickerFormat, FromTheLocalesSeparatorAndClockFlag) {
    const struct {
        const char16_t* separator;
        const char16_t* flag;
        const char16_t* format;
    } cases[] = {
        {u":", u"1", u"HH:mm"},   {u":", u"0", u"h:mm tt"}, {u".", u"1", u"HH.mm"},
        {u".", u"0", u"h.mm tt"}, {u"-:", u"1", u"HH-mm"},  // only the first character
        {u"", u"1", u"HH:mm"},    // an empty separator would end the format
        {u":", u"2", u"HH:mm"},   {u":", u"00", u"h:mm tt"}, {u":", u"", u"HH:mm"},
        {u":", u"x", u"HH:mm"},
    };
    for (const auto& c : cases) {
        WCHAR format[20];
        pickerFormat(c.separator, c.flag, format, 20);
        EXPECT_EQ(std::u16string(c.format), std::u16string(format))
            << "separator \"" << std::string(c.separator, c.separator + std::char_traits<char16_t>::length(c.separator))
            << "\"";
    }
}

TEST(LetterColours, SelectedDarkUnselectedLightOthersKeepTheirText) {
    int toggles[7] = {1, 0, 0, 1, 0, 0, 1};  // Sunday, Wednesday, Saturday
    for (int id = IDC_DAY_FIRST - 1; id <= IDC_DAY_FIRST + 7; ++id) {
        COLORREF text = RGB(1, 2, 3);
        int setsText = -1;
        int dark = staticColours(id, toggles, &text, &setsText);
        bool letter = id >= IDC_DAY_SUNDAY && id <= IDC_DAY_SATURDAY;
        bool selected = letter && toggles[id - IDC_DAY_FIRST];
        EXPECT_EQ(selected ? 1 : 0, dark) << id;
        EXPECT_EQ(letter ? 1 : 0, setsText) << id;
        COLORREF expected = !letter ? RGB(1, 2, 3) : selected ? RGB(240, 250, 240) : RGB(7, 27, 149);
        EXPECT_EQ(expected, text) << id;
    }
    int none[7] = {};
    COLORREF text = 0;
    int setsText = 0;
    EXPECT_EQ(0, staticColours(IDC_AUTO_ON_LABEL, none, &text, &setsText));
    EXPECT_EQ(0, setsText);
}

}  // namespace
