// clock and its commands: the device's clock shown, set, frozen, released and moved on,
// firing the time entries that come due.
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/notifications/scheduler.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"
#include "platform/windows.h"

#include <cstdio>
#include <optional>

namespace tool {
namespace {

std::string setText, advanceText;
std::optional<std::string> freezeText;
// What the checks read from the arguments, for the run.
uint64_t timeGiven = 0;
std::optional<uint64_t> advanceSpan;

const char kTimeHelp[] = "\"YYYY-MM-DD HH:MM:SS[.mmm]\"";

// The latest time a device time can be written as: the clock never goes past it.
uint64_t latestDeviceTime() {
    SYSTEMTIME last{9999, 12, 0, 31, 23, 59, 59, 999};
    FILETIME count;
    SystemTimeToFileTime(&last, &count);
    return device::fileTimeCount(count);
}

// RETURNS 0 with timeGiven set, or 2 after saying why the text is no device time.
int readTime(const std::string& text) {
    std::optional<SYSTEMTIME> time = device::parseDeviceTime(text);
    if (!time) return usage("not a device time: \"" + text + "\" (expected \"YYYY-MM-DD HH:MM:SS[.mmm]\")");
    FILETIME count;
    SystemTimeToFileTime(&*time, &count);
    timeGiven = device::fileTimeCount(count);
    return 0;
}

std::string showClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    static const char* const days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    return device::formatDeviceTime(now) + " " + days[now.wDayOfWeek % 7] +
           (device::clockIsFrozen() ? " (frozen)" : " (running)");
}

int showAfter(bool changed) {
    if (!changed) return failStore("cannot change the clock");
    std::puts(showClock().c_str());
    return 0;
}

// Fires what comes due within `span`, and tells how many fired and where the clock stands.
int advance(uint64_t span) {
    device::SchedulerResult result;
    std::string error;
    if (!device::schedulerAdvance(span, device::kFiringCap, &result, &error)) return fail(error);
    std::printf("fired %zu %s\n", result.fired, result.fired == 1 ? "entry" : "entries");
    std::puts(showClock().c_str());
    if (result.capped) {
        return fail("stopped after " + std::to_string(result.fired) +
                    " firings with entries still due (a program keeps registering new ones?); the clock stands "
                    "at the last firing");
    }
    return 0;
}

}  // namespace

int clockShowRun() {
    std::puts(showClock().c_str());
    return 0;
}

void clockSetOptions(CLI::App* command) { command->add_option("TIME", setText, kTimeHelp)->required(); }

int clockSetCheck() { return readTime(setText); }

int clockSetRun() { return showAfter(device::clockSet(timeGiven)); }

void clockFreezeOptions(CLI::App* command) { command->add_option("TIME", freezeText, kTimeHelp); }

// Only a freeze without a time means "now"; an empty time is no time.
int clockFreezeCheck() { return freezeText ? readTime(*freezeText) : 0; }

int clockFreezeRun() { return showAfter(device::clockFreeze(freezeText ? timeGiven : device::clockNow())); }

int clockRunRun() { return showAfter(device::clockRun()); }

void clockAdvanceOptions(CLI::App* command) {
    command->add_option("DURATION", advanceText, "e.g. 90m, 7d, 1h30m (units s, m, h, d, w)")->required();
}

int clockAdvanceCheck() {
    if (!(advanceSpan = device::parseDuration(advanceText))) {
        return usage("not a duration: \"" + advanceText +
                     "\" (expected whole numbers with units s, m, h, d or w, such as 90m, 7d or 1h30m)");
    }
    return 0;
}

int clockAdvanceRun() {
    uint64_t now = device::clockNow(), latest = latestDeviceTime();
    if (now > latest || *advanceSpan > latest - now) {
        return usage("advancing by " + advanceText +
                     " would take the clock past 9999-12-31 23:59:59.999, the latest time it can show");
    }
    return advance(*advanceSpan);
}

int clockFireDueRun() { return advance(0); }

}  // namespace tool
