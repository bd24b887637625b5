// Auto-start scheduling: the stored schedule becomes one time entry in the notification
// database that starts Quillex.exe with "-auto" at the next selected weekday and time.
// Each automatic run registers the one after it.
#include "app/quillex.h"

namespace {

const ULONGLONG kOneDay = 864000000000ULL;

}  // namespace

int nextStartTime(WORD clockHour, WORD clockMinute, SYSTEMTIME* start, int days, int time, int* dayCount) {
    if (time >= 1) {
        int hour = time / 100;
        start->wHour = static_cast<WORD>(hour);
        start->wMinute = static_cast<WORD>(time - hour * 100);
    }
    // Today is out once its target minute has been reached; seconds play no part.
    int offset = (clockHour > start->wHour || (clockHour == start->wHour && clockMinute >= start->wMinute)) ? 1 : 0;
    int count = 7;
    for (int n = offset; n <= 6; ++n) {
        if (days & (1 << ((start->wDayOfWeek + n) % 7))) {
            count = n;
            break;
        }
    }
    *dayCount = count;

    // Local calendar arithmetic on the 100-nanosecond count: month and year boundaries
    // fall out of the conversion, and no time zone moves the wall-clock time.
    FILETIME instant;
    if (!SystemTimeToFileTime(start, &instant)) return 0;
    ULONGLONG moved = ((static_cast<ULONGLONG>(instant.dwHighDateTime) << 32) | instant.dwLowDateTime) +
                      static_cast<ULONGLONG>(count) * kOneDay;
    instant.dwLowDateTime = static_cast<DWORD>(moved);
    instant.dwHighDateTime = static_cast<DWORD>(moved >> 32);
    return FileTimeToSystemTime(&instant, start) ? 1 : 0;
}

void checkAutoStart(void) {
    startDays = 0;
    startOptions = 0;  // startTime keeps its value when the registry has none
    HKEY key;
    if (openScheduleKey(&key)) {
        readScheduleValue(key, TEXT("startDays"), &startDays);
        readScheduleValue(key, TEXT("startTime"), &startTime);
        readScheduleValue(key, TEXT("startOptions"), &startOptions);
        RegCloseKey(key);
    }
    removeNotifications();
    if (startDays == 0 || startOptions == 0) return;

    SYSTEMTIME clock;
    SYSTEMTIME start;
    GetLocalTime(&clock);
    GetLocalTime(&start);
    int dayCount = 0;
    int valid = nextStartTime(clock.wHour, clock.wMinute, &start, startDays, startTime, &dayCount);
    if (dayCount == 7) writeLog("checkAutoStart: nDays = 7!!?");
    // A stored time that is no time of day gives no start time: nothing is registered.
    if (!valid) return;

    WCHAR application[MAX_PATH];
    readInstallDir(application);
    if (FAILED(StringCchCatW(application, MAX_PATH, TEXT("\\Quillex.exe")))) return;

    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = CNT_TIME;
    trigger.dwEvent = 0;
    trigger.lpszApplication = application;
    trigger.lpszArguments = const_cast<WCHAR*>(TEXT("-auto"));
    trigger.stStartTime = start;
    HANDLE entry = CeSetUserNotificationEx(nullptr, &trigger, nullptr);
    if (entry) CloseHandle(entry);
}
