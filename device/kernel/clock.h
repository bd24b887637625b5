// The device clock beyond what the program calls: how the tool and the scheduler set,
// freeze and read it, and the text form of device times.
#pragma once

#include "platform/wintime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace device {

// FILETIME as one 64-bit count and back.
uint64_t fileTimeCount(const FILETIME& time);
FILETIME fileTimeFromCount(uint64_t count);

// The last instant a device time can be written as, 9999-12-31 23:59:59.999 (a device
// time has four digits of year). The clock stops there, so nothing later ever comes due.
constexpr uint64_t kClockLast = 3067671ULL * 864000000000ULL - 10000;  // 3067671 days from 1601

// The device's local time now, as a count of 100-nanosecond units since 1601; never past
// kClockLast.
uint64_t clockNow();

// The clock runs on from `count` (kept as an offset from host local time).
bool clockSet(uint64_t count);
// The clock stands still at `count`.
bool clockFreeze(uint64_t count);
// The clock follows host local time again.
bool clockRun();
bool clockIsFrozen();

// "YYYY-MM-DD HH:MM:SS" with optional ".mmm"; nullopt when malformed or not a date.
std::optional<SYSTEMTIME> parseDeviceTime(const std::string& text);
// "YYYY-MM-DD HH:MM:SS.mmm".
std::string formatDeviceTime(const SYSTEMTIME& time);

}  // namespace device
