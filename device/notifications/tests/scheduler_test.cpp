// Tests of the scheduler: durations, the order in which a queue of time entries fires,
// the clock while a started program runs and after the span, the firing cap, and
// `clock advance` / `clock fire-due` through quillex-device.
#include "device/notifications/scheduler.h"

#include "device/boot/device.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "device/kernel/processes.h"
#include "device/notifications/notifications.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

using device::NotificationEntry;
using testing_support::ScopedDevice;

namespace {

constexpr uint64_t kSecond = 10000000ULL;

uint64_t deviceTime(const char* text) {
    SYSTEMTIME time = *device::parseDeviceTime(text);
    FILETIME count;
    SystemTimeToFileTime(&time, &count);
    return device::fileTimeCount(count);
}

std::string timeText(uint64_t count) {
    FILETIME time = device::fileTimeFromCount(count);
    SYSTEMTIME fields;
    FileTimeToSystemTime(&time, &fields);
    return device::formatDeviceTime(fields);
}

NotificationEntry entry(DWORD type, const char* start, const char16_t* arguments,
                        const char16_t* application = u"\\Windows\\calnot.exe") {
    NotificationEntry made;
    made.type = type;
    if (auto parsed = device::parseDeviceTime(start)) made.start = *parsed;
    else made.start = SYSTEMTIME{2026, 13, 0, 1, 0, 0, 0, 0};  // no calendar date
    if (application) made.application = application;
    made.arguments = arguments;
    return made;
}

void add(std::vector<NotificationEntry> entries) {
    std::string error;
    ASSERT_TRUE(device::notificationAdd(entries, &error)) << error;
}

// "fire ARGUMENTS @ TIME" for each fired entry, in journal order.
std::vector<std::string> firings() {
    std::vector<std::string> lines;
    for (const device::JournalEvent& event : device::journalList()) {
        if (event.kind == "fire") lines.push_back(event.arguments.value_or("-") + " @ " + timeText(event.time));
    }
    return lines;
}

std::vector<std::string> queuedArguments() {
    std::vector<std::string> arguments;
    for (const NotificationEntry& queued : device::notificationList()) {
        arguments.push_back(queued.arguments ? std::string(queued.arguments->begin(), queued.arguments->end()) : "-");
    }
    return arguments;
}

TEST(DurationTest, Forms) {
    struct Case {
        const char* text;
        bool valid;
        uint64_t seconds;
    } cases[] = {
        {"90m", true, 5400},   {"7d", true, 604800},   {"28d", true, 2419200}, {"1h30m", true, 5400},
        {"2w", true, 1209600}, {"45s", true, 45},      {"0s", true, 0},        {"1d1s", true, 86401},
        {"", false, 0},        {"7", false, 0},        {"d", false, 0},        {"7x", false, 0},
        {"-1d", false, 0},     {"1.5h", false, 0},     {"1 h", false, 0},      {"7D", false, 0},
        {"1h30", false, 0},    {"h1", false, 0},       {"1000000000000s", false, 0},
        {"999999999999w", false, 0},
    };
    for (const Case& c : cases) {
        std::optional<uint64_t> span = device::parseDuration(c.text);
        ASSERT_EQ(c.valid, span.has_value()) << c.text;
        if (span) {
            EXPECT_EQ(c.seconds * kSecond, *span) << c.text;
        }
    }
}

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device::clockFreeze(deviceTime("2026-12-07 10:00:00"))); }
    device::SchedulerResult advance(const char* duration, size_t cap = device::kFiringCap) {
        device::SchedulerResult result;
        std::string error;
        EXPECT_TRUE(device::schedulerAdvance(*device::parseDuration(duration), cap, &result, &error)) << error;
        return result;
    }
    ScopedDevice device_;
};

TEST_F(SchedulerTest, FiresTimeEntriesInStartOrderWithinTheSpan) {
    add({
        entry(CNT_TIME, "2026-12-07 10:30:00", u"a"),
        entry(CNT_CLASSICTIME, "2026-12-07 10:10:00", u"b"),
        entry(CNT_TIME, "2026-12-06 09:00:00", u"overdue"),
        entry(CNT_TIME, "2026-12-07 10:10:00", u"tie"),
        entry(CNT_TIME, "not a date", u"no date"),
        entry(CNT_EVENT, "2026-12-07 10:00:00", u"event"),
        entry(CNT_PERIOD, "2026-12-07 10:05:00", u"period"),
        entry(CNT_TIME, "2026-12-07 11:00:00.001", u"after"),
        entry(CNT_TIME, "2026-12-07 11:00:00", u"at the end"),
    });
    device::SchedulerResult result = advance("1h");
    EXPECT_EQ(5u, result.fired);
    EXPECT_FALSE(result.capped);
    EXPECT_EQ((std::vector<std::string>{"overdue @ 2026-12-07 10:00:00.000", "b @ 2026-12-07 10:10:00.000",
                                        "tie @ 2026-12-07 10:10:00.000", "a @ 2026-12-07 10:30:00.000",
                                        "at the end @ 2026-12-07 11:00:00.000"}),
              firings());
    EXPECT_EQ((std::vector<std::string>{"no date", "event", "period", "after"}), queuedArguments());
    // Each firing starts the application as CreateProcessW does, right behind its "fire".
    std::vector<device::JournalEvent> events = device::journalList();
    ASSERT_EQ(10u, events.size());
    EXPECT_EQ("start", events[1].kind);
    EXPECT_EQ("\\Windows\\calnot.exe", events[1].application);
    EXPECT_EQ("overdue", events[1].arguments);
    EXPECT_TRUE(events[1].found);
    EXPECT_EQ("2026-12-07 10:00:00.000  fire  entry 3: \"\\Windows\\calnot.exe\" with \"overdue\"",
              device::journalDescribe(events[0]));

    EXPECT_TRUE(device::clockIsFrozen());
    EXPECT_EQ(deviceTime("2026-12-07 11:00:00"), device::clockNow());
}

TEST_F(SchedulerTest, FireDueLeavesTheClockAndEntriesWithoutApplicationOnlyFire) {
    add({entry(CNT_TIME, "2026-12-07 10:00:00.001", u"future"), entry(CNT_TIME, "2026-12-07 10:00:00", u"now"),
         entry(CNT_TIME, "2020-02-29 08:00:00", u"long ago", nullptr)});
    device::SchedulerResult result = advance("0s");
    EXPECT_EQ(2u, result.fired);
    EXPECT_EQ((std::vector<std::string>{"long ago @ 2026-12-07 10:00:00.000", "now @ 2026-12-07 10:00:00.000"}),
              firings());
    EXPECT_EQ(std::vector<std::string>{"future"}, queuedArguments());
    EXPECT_EQ(3u, device::journalList().size());  // the entry without an application started nothing
    EXPECT_EQ(deviceTime("2026-12-07 10:00:00"), device::clockNow());
}

TEST_F(SchedulerTest, RunningClockRunsOnFromTheSpansEnd) {
    uint64_t begin = deviceTime("2026-12-07 10:00:00");
    ASSERT_TRUE(device::clockSet(begin));
    add({entry(CNT_TIME, "2026-12-09 00:00:00", u"x")});
    device::SchedulerResult result = advance("7d");
    EXPECT_EQ(1u, result.fired);
    EXPECT_FALSE(device::clockIsFrozen());
    // The command began a moment after `begin`; the clock runs on from its end.
    uint64_t now = device::clockNow();
    EXPECT_GE(now, begin + 7 * 86400 * kSecond);
    EXPECT_LT(now, begin + 7 * 86400 * kSecond + 3600 * kSecond);
}

TEST_F(SchedulerTest, StartedProgramSeesTheClockAtItsEntrysStart) {
    ASSERT_TRUE(device::programRegister(u"\\Apps\\t.exe", testing_support::quillexBinary()));
    device_.writeText("\\Apps\\t.exe", "");
    add({entry(CNT_TIME, "2026-12-10 22:05:00", u"t", u"\\Apps\\t.exe"),
         entry(CNT_TIME, "2026-12-08 07:30:15.500", u"t", u"\\Apps\\t.exe"),
         entry(CNT_TIME, "2026-12-06 23:00:00", u"t", u"\\Apps\\t.exe")});
    EXPECT_EQ(3u, advance("7d").fired);
    EXPECT_EQ((std::vector<std::string>{"07/12 10:00:00 ->cleanupTemp", "08/12 07:30:15 ->cleanupTemp",
                                        "10/12 22:05:00 ->cleanupTemp"}),
              testing_support::logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")));
    for (const device::JournalEvent& event : device::journalList()) {
        if (event.kind == "start") {
            EXPECT_TRUE(event.hostRan);
        }
    }
    EXPECT_EQ(deviceTime("2026-12-14 10:00:00"), device::clockNow());
}

TEST_F(SchedulerTest, FiringCapStopsAtTheLastFiring) {
    add({entry(CNT_TIME, "2026-12-07 10:01:00", u"1"), entry(CNT_TIME, "2026-12-07 10:02:00", u"2"),
         entry(CNT_TIME, "2026-12-07 10:03:00", u"3"), entry(CNT_TIME, "2026-12-07 10:04:00", u"4")});
    device::SchedulerResult result = advance("1h", 3);
    EXPECT_EQ(3u, result.fired);
    EXPECT_TRUE(result.capped);
    EXPECT_EQ(std::vector<std::string>{"4"}, queuedArguments());
    EXPECT_EQ(deviceTime("2026-12-07 10:03:00"), device::clockNow());
    EXPECT_TRUE(device::clockIsFrozen());

    // Exactly as many due entries as the cap allows is no overrun.
    result = advance("1h", 1);
    EXPECT_EQ(1u, result.fired);
    EXPECT_FALSE(result.capped);
    EXPECT_EQ(deviceTime("2026-12-07 11:03:00"), device::clockNow());
}

TEST_F(SchedulerTest, SpanBeyondTheClocksRangeIsRefused) {
    device::SchedulerResult result;
    std::string error;
    EXPECT_FALSE(device::schedulerAdvance(0x7FFFFFFFFFFFFFFFULL, device::kFiringCap, &result, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(deviceTime("2026-12-07 10:00:00"), device::clockNow());
}

TEST_F(SchedulerTest, ToolAdvancesAndFires) {
    auto tool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", device_.dir()});
        return testing_support::run(testing_support::deviceToolBinary(), args);
    };
    ASSERT_EQ(0, tool({"init"}).exitCode);  // registers the quillex built beside the tool
    add({entry(CNT_TIME, "2026-12-08 07:30:00", u"t", u"\\Program Files\\Quillex\\Quillex.exe"),
         entry(CNT_TIME, "2026-12-07 10:00:00", u"now")});

    testing_support::RunResult due = tool({"clock", "fire-due"});
    EXPECT_EQ(0, due.exitCode);
    EXPECT_EQ("fired 1 entry\n2026-12-07 10:00:00.000 Monday (frozen)\n", due.output);
    testing_support::RunResult advanced = tool({"clock", "advance", "1d1h"});
    EXPECT_EQ(0, advanced.exitCode);
    EXPECT_EQ("fired 1 entry\n2026-12-08 11:00:00.000 Tuesday (frozen)\n", advanced.output);
    EXPECT_EQ(std::vector<std::string>{"08/12 07:30:00 ->cleanupTemp"},
              testing_support::logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")));
    EXPECT_TRUE(device::journalList().back().hostRan);

    for (const char* bad : {"90", "1y", "-5m", "1.5h"}) {
        testing_support::RunResult refused = tool({"clock", "advance", bad});
        EXPECT_EQ(2, refused.exitCode) << bad;
        EXPECT_NE(std::string::npos, refused.output.find("not a duration: \"" + std::string(bad) + "\"")) << refused.output;
    }
    EXPECT_EQ(deviceTime("2026-12-08 11:00:00"), device::clockNow());
}

}  // namespace
