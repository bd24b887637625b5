// The device clock and the platform's calendar conversions. The clock is host local
// time plus the device's offset, or an instant frozen by the tool; it is kept in the
// object store, so every process on a device reads the same clock. Conversions use the
// proleptic Gregorian calendar from 1 January 1601, with no time-zone conversion.
#include "platform/wintime.h"

#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/kernel/calendar.h"
#include "device/kernel/clock.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace {

constexpr uint64_t kUnitsPerMs = 10000;
constexpr uint64_t kUnitsPerDay = 864000000000ULL;
constexpr uint64_t kLastCount = 0x7FFFFFFFFFFFFFFFULL;

uint64_t hostLocalNow() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return device::hostLocalCount(now);
}

int64_t storedOffset() {
    try {
        return std::stoll(device::settingGet("clock.offset", "0"));
    } catch (...) {
        return 0;
    }
}

}  // namespace

namespace device {

uint64_t fileTimeCount(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME fileTimeFromCount(uint64_t count) {
    return FILETIME{static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)};
}

uint64_t clockNow() {
    if (!isOpen()) return hostLocalNow();
    if (settingGet("clock.mode", "run") == "frozen") {
        try {
            return std::stoull(settingGet("clock.frozen", "0"));
        } catch (...) {
            return hostLocalNow();
        }
    }
    return hostLocalNow() + static_cast<uint64_t>(storedOffset());
}

bool clockSet(uint64_t count) {
    Transaction change(store());
    int64_t offset = static_cast<int64_t>(count - hostLocalNow());
    return change.ok() && settingSet("clock.mode", "run") && settingSet("clock.offset", std::to_string(offset)) &&
           change.commit();
}

bool clockFreeze(uint64_t count) {
    Transaction change(store());
    return change.ok() && settingSet("clock.mode", "frozen") && settingSet("clock.frozen", std::to_string(count)) &&
           change.commit();
}

bool clockRun() {
    Transaction change(store());
    return change.ok() && settingSet("clock.mode", "run") && settingSet("clock.offset", "0") && change.commit();
}

bool clockIsFrozen() { return isOpen() && settingGet("clock.mode", "run") == "frozen"; }

std::optional<SYSTEMTIME> parseDeviceTime(const std::string& text) {
    unsigned year, month, day, hour, minute, second, ms = 0;
    int consumed = 0;
    int fields = std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%n", &year, &month, &day, &hour, &minute, &second,
                             &consumed);
    if (fields != 6) return std::nullopt;
    std::string rest = text.substr(static_cast<size_t>(consumed));
    if (!rest.empty()) {
        if (rest.size() < 2 || rest.size() > 4 || rest[0] != '.') return std::nullopt;
        ms = 0;
        for (size_t i = 1; i < 4; ++i) {
            if (i < rest.size() && (rest[i] < '0' || rest[i] > '9')) return std::nullopt;
            ms = ms * 10 + (i < rest.size() ? static_cast<unsigned>(rest[i] - '0') : 0);
        }
    }
    SYSTEMTIME time{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                    static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), static_cast<WORD>(ms)};
    FILETIME count;
    if (!SystemTimeToFileTime(&time, &count)) return std::nullopt;
    FileTimeToSystemTime(&count, &time);  // fills in the day of the week
    return time;
}

std::string formatDeviceTime(const SYSTEMTIME& time) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

}  // namespace device

void GetLocalTime(SYSTEMTIME* time) {
    FILETIME now = device::fileTimeFromCount(device::clockNow());
    FileTimeToSystemTime(&now, time);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* fileTime) {
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > device::daysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 ||
        st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = device::daysSince1601(st->wYear, st->wMonth, st->wDay);
    uint64_t ms = static_cast<uint64_t>(days) * 86400000ULL + st->wHour * 3600000ULL + st->wMinute * 60000ULL +
                  st->wSecond * 1000ULL + st->wMilliseconds;
    *fileTime = device::fileTimeFromCount(ms * kUnitsPerMs);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* st) {
    uint64_t count = device::fileTimeCount(*fileTime);
    if (count > kLastCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = static_cast<int64_t>(count / kUnitsPerDay);
    uint64_t msOfDay = (count % kUnitsPerDay) / kUnitsPerMs;
    device::CalendarDate date = device::dateOfDay(days);
    st->wYear = static_cast<WORD>(date.year);
    st->wMonth = static_cast<WORD>(date.month);
    st->wDay = static_cast<WORD>(date.day);
    st->wDayOfWeek = static_cast<WORD>(device::dayOfWeek(days));
    st->wHour = static_cast<WORD>(msOfDay / 3600000);
    st->wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
    st->wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
    st->wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    uint64_t left = device::fileTimeCount(*a);
    uint64_t right = device::fileTimeCount(*b);
    return left < right ? -1 : (left > right ? 1 : 0);
}

void Sleep(DWORD milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

DWORD GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000);
}
