// The device's scheduler of time entries, driven from the host: moving the clock forward
// fires every time entry that comes due, in start-time order, with the clock standing at
// the entry's start while the program it starts runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace device {

// One or more groups of a whole number and a unit: s, m, h, d or w ("90m", "7d", "1h30m").
// RETURNS the span as a count of 100-nanosecond units; nullopt when malformed or longer
// than the clock can count.
std::optional<uint64_t> parseDuration(const std::string& text);

// A guard against a program that keeps registering entries that are due at once.
constexpr size_t kFiringCap = 10000;

struct SchedulerResult {
    size_t fired = 0;
    bool capped = false;  // stopped at the cap with entries still due
    uint64_t clock = 0;   // where the clock stands afterwards
};

// Moves the clock forward by `span` (0: fire what is due now). Repeatedly takes the time
// entry (CNT_TIME or CNT_CLASSICTIME, start a valid calendar date) with the earliest start
// no later than the span's end, ties in delivery order, and fires it at its start, or at
// the current time when it is overdue: the clock is frozen there, the entry is removed
// from the queue, a "fire" event is recorded, and its application is started with its
// arguments as CreateProcessW starts one, waiting for any host program to end. Entries
// that program registers take their turn. Afterwards the clock stands at the span's end,
// frozen there when it was frozen before, running on from there otherwise; when `cap`
// firings were not enough it stands at the last firing instead.
// RETURNS true; false with *error set when the store fails or the span's end is beyond
// what the clock can show.
bool schedulerAdvance(uint64_t span, size_t cap, SchedulerResult* result, std::string* error);

}  // namespace device
