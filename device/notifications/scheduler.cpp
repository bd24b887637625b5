// The scheduler of time entries. It reads the queue afresh before every firing, so entries
// that a started program (or any other process) adds or removes meanwhile are seen, and it
// leaves the clock where the span ends, in the mode it found it.
#include "device/notifications/scheduler.h"

#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "device/kernel/processes.h"
#include "device/notifications/notifications.h"

#include <algorithm>

namespace device {
namespace {

constexpr uint64_t kLastCount = 0x7FFFFFFFFFFFFFFFULL;  // the longest duration a count can hold
constexpr uint64_t kUnitsPerSecond = 10000000ULL;

uint64_t unitLength(char unit) {
    switch (unit) {
        case 's': return kUnitsPerSecond;
        case 'm': return 60 * kUnitsPerSecond;
        case 'h': return 3600 * kUnitsPerSecond;
        case 'd': return 86400 * kUnitsPerSecond;
        case 'w': return 7 * 86400 * kUnitsPerSecond;
        default: return 0;
    }
}

struct DueEntry {
    uint64_t start;
    NotificationEntry entry;
};

// The time entry with the earliest start no later than `end`; the queue is in delivery
// order, so the first of equal starts wins.
std::optional<DueEntry> nextDue(uint64_t end) {
    std::optional<DueEntry> earliest;
    for (NotificationEntry& entry : notificationList()) {
        if (entry.type != CNT_TIME && entry.type != CNT_CLASSICTIME) continue;
        FILETIME start;
        if (!SystemTimeToFileTime(&entry.start, &start)) continue;  // no calendar date: never due
        uint64_t count = fileTimeCount(start);
        if (count <= end && (!earliest || count < earliest->start)) earliest = DueEntry{count, std::move(entry)};
    }
    return earliest;
}

bool stillQueued(DWORD handle) {
    for (const NotificationEntry& entry : notificationList()) {
        if (entry.handle == handle) return true;
    }
    return false;
}

std::optional<std::string> utf8(const std::optional<std::u16string>& text) {
    if (!text) return std::nullopt;
    return toUtf8(*text);
}

// Removes the entry, records the firing and starts its application, waiting for it.
// RETURNS false when the entry could not be removed although it is still queued.
bool fire(const DueEntry& due, uint64_t at, bool* fired) {
    *fired = false;
    if (!notificationClear(due.entry.handle)) return !stillQueued(due.entry.handle);  // gone: another process took it
    JournalEvent event;
    event.kind = "fire";
    event.time = at;
    event.entry = due.entry.handle;
    event.application = utf8(due.entry.application);
    event.arguments = utf8(due.entry.arguments);
    journalRecord(event);
    if (due.entry.application) {
        programStart(due.entry.application->c_str(), due.entry.arguments ? due.entry.arguments->c_str() : u"", true);
    }
    *fired = true;
    return true;
}

}  // namespace

std::optional<uint64_t> parseDuration(const std::string& text) {
    if (text.empty()) return std::nullopt;
    uint64_t total = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t digits = text.find_first_not_of("0123456789", at);
        if (digits == at || digits == std::string::npos || digits - at > 12) return std::nullopt;
        uint64_t number = std::stoull(text.substr(at, digits - at));
        uint64_t unit = unitLength(text[digits]);
        if (unit == 0 || number > (kLastCount - total) / unit) return std::nullopt;
        total += number * unit;
        at = digits + 1;
    }
    return total;
}

bool schedulerAdvance(uint64_t span, size_t cap, SchedulerResult* result, std::string* error) {
    *result = SchedulerResult{};
    bool frozen = clockIsFrozen();
    uint64_t now = clockNow();
    if (span > kClockLast - now) {
        *error = "the clock cannot go past 9999-12-31 23:59:59.999";
        return false;
    }
    uint64_t end = now + span;
    auto settle = [&](uint64_t at) {
        result->clock = at;
        return frozen ? clockFreeze(at) : clockSet(at);
    };
    while (std::optional<DueEntry> due = nextDue(end)) {
        if (result->fired == cap) {
            result->capped = true;
            break;
        }
        // An overdue entry fires now; time never runs backwards.
        now = std::max(now, due->start);
        bool fired = false;
        if (!clockFreeze(now)) {
            *error = "cannot set the clock";
            return false;
        }
        if (!fire(*due, now, &fired)) {
            settle(now);
            *error = "the object store refused to remove notification " + std::to_string(due->entry.handle);
            return false;
        }
        result->fired += fired;
    }
    if (result->fired == 0 && span == 0 && !result->capped) {
        result->clock = now;  // nothing happened: the clock is left untouched
        return true;
    }
    if (!settle(result->capped ? now : end)) {
        *error = "cannot set the clock";
        return false;
    }
    return true;
}

}  // namespace device
