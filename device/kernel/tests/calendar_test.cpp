// The calendar helper: known dates on both sides of 1601, and every day of a wide span
// following the one before and read back to the day count it came from.
#include "device/kernel/calendar.h"

#include <gtest/gtest.h>

namespace {

TEST(Calendar, KnownDates) {
    struct Case {
        int64_t year;
        int month, day;
        int64_t days;
        int weekday;  // 0 = Sunday
    };
    const Case cases[] = {
        {1601, 1, 1, 0, 1},         {1600, 12, 31, -1, 0},     {1600, 2, 29, -307, 2},  {1601, 3, 1, 59, 4},
        {1970, 1, 1, 134774, 4},    {2000, 2, 29, 145790, 2},  {2000, 3, 1, 145791, 3}, {2100, 3, 1, 182315, 1},
        {30827, 12, 31, 10674941, 5}, {1, 1, 1, -584388, 1},   {0, 3, 1, -584694, 3},   {-400, 3, 1, -730791, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(c.days, device::daysSince1601(c.year, c.month, c.day));
        device::CalendarDate date = device::dateOfDay(c.days);
        EXPECT_EQ(c.year, date.year);
        EXPECT_EQ(c.month, date.month);
        EXPECT_EQ(c.day, date.day);
        EXPECT_EQ(c.weekday, device::dayOfWeek(c.days));
    }
}

TEST(Calendar, EveryDayFollowsTheOneBefore) {
    // From before year 0, where whole eras count negative, to past 2600.
    constexpr int64_t kFirst = -2000 * 366, kLast = 1000 * 366;
    device::CalendarDate previous = device::dateOfDay(kFirst);
    int mismatches = 0;
    for (int64_t days = kFirst + 1; days <= kLast; ++days) {
        device::CalendarDate date = device::dateOfDay(days);
        bool nextDay = date.year == previous.year && date.month == previous.month && date.day == previous.day + 1;
        bool nextMonth = date.day == 1 && previous.day == device::daysInMonth(previous.year, previous.month) &&
                         (date.year == previous.year ? date.month == previous.month + 1
                                                     : date.year == previous.year + 1 && date.month == 1 && previous.month == 12);
        bool weekdayFollows = device::dayOfWeek(days) == (device::dayOfWeek(days - 1) + 1) % 7;
        mismatches += !(nextDay || nextMonth) || !weekdayFollows || device::daysSince1601(date.year, date.month, date.day) != days;
        previous = date;
    }
    EXPECT_EQ(0, mismatches);
}

}  // namespace
