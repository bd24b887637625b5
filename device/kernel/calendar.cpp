// Calendar arithmetic in 400-year eras of 146097 days whose years start in March, so that
// a leap day falls last in its year (after H. Hinnant's days-from-civil method).
#include "device/kernel/calendar.h"

namespace device {
namespace {

constexpr int64_t kDaysPerEra = 146097;
constexpr int64_t kMarch0000To1601 = 584694;  // days from 1 March of year 0 to 1 January 1601

int64_t floorDivide(int64_t value, int64_t by) { return (value >= 0 ? value : value - (by - 1)) / by; }

}  // namespace

bool isLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int64_t year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

int64_t daysSince1601(int64_t year, int month, int day) {
    year -= month <= 2;
    int64_t era = floorDivide(year, 400);
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPerEra + dayOfEra - kMarch0000To1601;
}

CalendarDate dateOfDay(int64_t days) {
    days += kMarch0000To1601;
    int64_t era = floorDivide(days, kDaysPerEra);
    int64_t dayOfEra = days - era * kDaysPerEra;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    CalendarDate date;
    date.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    date.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    date.year = yearOfEra + era * 400 + (date.month <= 2);
    return date;
}

int dayOfWeek(int64_t days) {
    return static_cast<int>(days % 7 + 8) % 7;  // day 0 was a Monday
}

uint64_t hostLocalCount(const timespec& when) {
    time_t seconds = when.tv_sec;
    tm local {};
    if (!localtime_r(&seconds, &local)) return 0;
    int64_t days = daysSince1601(int64_t{local.tm_year} + 1900, local.tm_mon + 1, local.tm_mday);
    if (days < 0) return 0;
    int64_t secondOfDay = local.tm_hour * 3600 + local.tm_min * 60 + (local.tm_sec > 59 ? 59 : local.tm_sec);
    return static_cast<uint64_t>(days * 86400 + secondOfDay) * 10000000ULL + static_cast<uint64_t>(when.tv_nsec) / 100;
}

}  // namespace device
