// The platform's calendar conversions and the device clock.
#include "device/kernel/clock.h"
#include "platform/wintime.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <random>

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0, WORD ms = 0) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
}

uint64_t count(const SYSTEMTIME& time) {
    FILETIME result{0xBDBDBDBD, 0xBDBDBDBD};
    EXPECT_TRUE(SystemTimeToFileTime(&time, &result));
    return device::fileTimeCount(result);
}

TEST(TimeTest, KnownInstants) {
    EXPECT_EQ(0u, count(at(1601, 1, 1)));
    EXPECT_EQ(116444736000000000ull, count(at(1970, 1, 1)));  // the Unix epoch
    EXPECT_EQ(864000000000ull, count(at(1601, 1, 2)));
    EXPECT_EQ(count(at(2026, 12, 7, 10, 0, 0)) + 10000, count(at(2026, 12, 7, 10, 0, 0, 1)));
}

TEST(TimeTest, InvalidFieldsAreRejected) {
    const SYSTEMTIME invalid[] = {
        at(1600, 12, 31), at(2026, 0, 1),  at(2026, 13, 1),  at(2026, 2, 29), at(1900, 2, 29), at(2100, 2, 29),
        at(2026, 4, 31),  at(2026, 1, 0),  at(2026, 1, 1, 24), at(2026, 1, 1, 0, 60), at(2026, 1, 1, 0, 0, 60),
        at(2026, 1, 1, 0, 0, 0, 1000), at(30828, 1, 1),
    };
    for (const SYSTEMTIME& time : invalid) {
        FILETIME untouched{1, 2};
        EXPECT_FALSE(SystemTimeToFileTime(&time, &untouched)) << time.wYear << "-" << time.wMonth << "-" << time.wDay;
        EXPECT_EQ(1u, untouched.dwLowDateTime);
    }
    FILETIME leap;
    for (const SYSTEMTIME& valid : {at(2000, 2, 29), at(2024, 2, 29), at(30827, 12, 31, 23, 59, 59, 999)})
        EXPECT_TRUE(SystemTimeToFileTime(&valid, &leap)) << valid.wYear;
}

TEST(TimeTest, DayOfWeekIsRecomputedAndInputDayOfWeekIgnored) {
    struct Case {
        SYSTEMTIME time;
        WORD dayOfWeek;
    } cases[] = {
        {at(1601, 1, 1), 1}, {at(2026, 12, 7), 1}, {at(2026, 12, 12), 6}, {at(2000, 2, 29), 2}, {at(2027, 1, 3), 0},
    };
    for (Case& c : cases) {
        c.time.wDayOfWeek = 5;
        FILETIME converted;
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &converted));
        SYSTEMTIME back;
        ASSERT_TRUE(FileTimeToSystemTime(&converted, &back));
        EXPECT_EQ(c.dayOfWeek, back.wDayOfWeek) << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
    }
}

TEST(TimeTest, RoundTripOverRandomInstantsAndDayBoundaries) {
    std::mt19937_64 random(7);
    const uint64_t lastConvertible = count(at(30827, 12, 31, 23, 59, 59, 999));
    for (int i = 0; i < 20000; ++i) {
        uint64_t units = random() % lastConvertible;
        units -= units % 10000;  // conversions keep milliseconds
        FILETIME in = device::fileTimeFromCount(units), out;
        SYSTEMTIME fields;
        ASSERT_TRUE(FileTimeToSystemTime(&in, &fields));
        ASSERT_TRUE(SystemTimeToFileTime(&fields, &out));
        ASSERT_EQ(units, device::fileTimeCount(out));
    }
    // Adding one day walks month, year and leap-day boundaries.
    const uint64_t day = 864000000000ull;
    struct Step {
        SYSTEMTIME from;
        SYSTEMTIME to;
    } steps[] = {
        {at(2026, 12, 31, 14, 30, 5), at(2027, 1, 1, 14, 30, 5)},
        {at(2028, 2, 28), at(2028, 2, 29)},
        {at(2027, 2, 28), at(2027, 3, 1)},
        {at(2100, 2, 28), at(2100, 3, 1)},
        {at(2000, 2, 28), at(2000, 2, 29)},
    };
    for (const Step& s : steps) {
        FILETIME next = device::fileTimeFromCount(count(s.from) + day);
        SYSTEMTIME fields;
        ASSERT_TRUE(FileTimeToSystemTime(&next, &fields));
        EXPECT_EQ(count(s.to), count(fields));
    }
}

TEST(TimeTest, FileTimeBeyondTheLastInstantIsRejected) {
    FILETIME tooLate = device::fileTimeFromCount(0x8000000000000000ull);
    SYSTEMTIME untouched{};
    untouched.wYear = 77;
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &untouched));
    EXPECT_EQ(77, untouched.wYear);
}

TEST(TimeTest, CompareFileTimeOrdersBothWords) {
    FILETIME low{0xFFFFFFFF, 1}, high{0, 2}, same{0, 2};
    EXPECT_EQ(-1, CompareFileTime(&low, &high));
    EXPECT_EQ(1, CompareFileTime(&high, &low));
    EXPECT_EQ(0, CompareFileTime(&high, &same));
}

TEST(ClockTest, FrozenSetAndRunningClock) {
    testing_support::ScopedDevice device;
    std::optional<SYSTEMTIME> frozen = device::parseDeviceTime("2026-12-07 10:00:00.250");
    ASSERT_TRUE(frozen);
    ASSERT_TRUE(device::clockFreeze(count(*frozen)));
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ("2026-12-07 10:00:00.250", device::formatDeviceTime(now));
    EXPECT_EQ(1, now.wDayOfWeek);

    ASSERT_TRUE(device::clockSet(count(at(2030, 6, 1, 8, 0))));
    GetLocalTime(&now);
    EXPECT_EQ(2030, now.wYear);
    EXPECT_FALSE(device::clockIsFrozen());
    // Running again follows the host within a minute or so either way.
    ASSERT_TRUE(device::clockRun());
    time_t hostNow = time(nullptr);
    tm local;
    localtime_r(&hostNow, &local);
    GetLocalTime(&now);
    EXPECT_EQ(local.tm_year + 1900, now.wYear);
}

TEST(ClockTest, DeviceTimeTextIsStrict) {
    for (const char* bad : {"2026-12-07", "2026-12-07 25:00:00", "2026-02-30 10:00:00", "2026-12-07 10:00:00.", "x",
                            "2026-12-07 10:00:00.1234", "2026-12-07 10:00:00 extra"})
        EXPECT_FALSE(device::parseDeviceTime(bad)) << bad;
    EXPECT_EQ("2026-12-07 10:00:00.500", device::formatDeviceTime(*device::parseDeviceTime("2026-12-07 10:00:00.5")));
}

// Through the tools: the running clock stops at 9999-12-31 23:59:59.999 rather than pass
// it, and an automatic run registers a next run only where the clock can reach it.
TEST(ClockTest, TheClockStopsAtItsLastInstantAndNoRunIsRegisteredPastIt) {
    testing_support::ScopedDevice device;
    auto tool = [&](std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"--device", device.dir()});
        return testing_support::run(testing_support::deviceToolBinary(), args, input);
    };
    EXPECT_EQ(count(*device::parseDeviceTime("9999-12-31 23:59:59.999")), device::kClockLast);
    ASSERT_EQ(0, tool({"clock", "set", "9999-12-31 23:59:59.999"}).exitCode);
    EXPECT_EQ("9999-12-31 23:59:59.999 Friday (running)\n", tool({"clock", "show"}).output);

    // Every day at 10:50, temporary files.
    ASSERT_EQ(0, tool({"reg", "import", "-"}, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n"
                                               "\"startDays\"=dword:0000007f\n\"startTime\"=dword:0000041a\n"
                                               "\"startOptions\"=dword:00000002\n")
                     .exitCode);
    struct Case {
        const char* now;
        const char* registered;  // the run then pending, as notify list shows it; "" for none
    };
    for (const Case& c : {Case{"9999-12-30 12:00:00", "9999-12-31 10:50:00.000"}, Case{"9999-12-31 12:00:00", ""}}) {
        SCOPED_TRACE(c.now);
        ASSERT_EQ(0, tool({"clock", "freeze", c.now}).exitCode);
        testing_support::RunResult run =
            testing_support::run(testing_support::quillexBinary(), {"--device", device.dir(), "-auto"});
        EXPECT_EQ(0, run.exitCode) << run.output;
        std::string pending = tool({"notify", "list"}).output;
        if (*c.registered) EXPECT_NE(std::string::npos, pending.find(c.registered)) << pending;
        else EXPECT_EQ("", pending);
    }
}

}  // namespace
