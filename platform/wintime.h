// The device clock and the platform's calendar conversions. Times are local: the
// platform converts nothing to or from UTC. FILETIME counts 100-nanosecond units
// from 1 January 1601 on the proleptic Gregorian calendar.
#pragma once

#include "wintypes.h"

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday ... 6 = Saturday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

// Fills *time with the device's local date and time, day of week included.
void WINAPI GetLocalTime(SYSTEMTIME* time);

// Converts calendar fields to a count. wDayOfWeek is ignored.
// RETURNS non-zero on success; 0 when a field is out of range (year 1601..30827,
// month 1..12, a day that exists in that month, hour < 24, minute and second < 60,
// milliseconds < 1000). *fileTime is untouched on failure.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

// Converts a count to calendar fields, computing wDayOfWeek.
// RETURNS non-zero on success; 0 for a count of 0x8000000000000000 or more
// (*systemTime untouched).
BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

// RETURNS -1, 0 or 1 as *a is earlier than, equal to or later than *b.
LONG WINAPI CompareFileTime(const FILETIME* a, const FILETIME* b);

// Suspends the calling thread for `milliseconds`.
void WINAPI Sleep(DWORD milliseconds);

// Milliseconds since the device started; wraps after about 49.7 days.
DWORD WINAPI GetTickCount(void);
