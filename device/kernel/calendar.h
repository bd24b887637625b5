// Day arithmetic of the proleptic Gregorian calendar, counted in days from 1 January 1601
// (day 0, a Monday), where the platform's file times begin; earlier dates count negative.
// One source for the clock, the platform's time conversions and the file system's times.
#pragma once

#include <cstdint>
#include <ctime>

namespace device {

bool isLeapYear(int64_t year);

// Days in `month` (1 to 12) of `year`.
int daysInMonth(int64_t year, int month);

// Days from 1 January 1601 to the given date; `day` may run past its month.
int64_t daysSince1601(int64_t year, int month, int day);

struct CalendarDate {
    int64_t year;
    int month;  // 1 to 12
    int day;    // 1 to 31
};
CalendarDate dateOfDay(int64_t daysSince1601);

// 0 for Sunday to 6 for Saturday, as the platform counts.
int dayOfWeek(int64_t daysSince1601);

// The host instant `when` as the host's local clock shows it, in 100-nanosecond units since
// 1601 (a leap second reads as :59); 0 before 1601 or when the host cannot tell.
uint64_t hostLocalCount(const timespec& when);

}  // namespace device
