// Auto-start scheduling and the removal of the previous entry: the next-run arithmetic
// over whole years of clock readings against an independent calendar, and the entry that
// checkAutoStart leaves in the queue.
#include "app/quillex.h"
#include "device/core/faults.h"
#include "device/kernel/clock.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <chrono>

using testing_support::logLines;
using testing_support::ScopedDevice;

namespace {

// The reading's date and weekday, its time and the seconds and milliseconds it carries.
SYSTEMTIME reading(const char* text) {
    std::optional<SYSTEMTIME> time = device::parseDeviceTime(text);
    EXPECT_TRUE(time) << text;
    return time.value_or(SYSTEMTIME{});
}

std::string format(const SYSTEMTIME& time) { return device::formatDeviceTime(time); }

const int kMonday = 1 << 1, kTuesday = 1 << 2, kEveryDay = 0x7F;

struct NextRunCase {
    const char* clock;
    int days;
    int time;
    int dayCount;
    const char* run;
};

TEST(NextStartTimeTest, ExamplesOfTheSchedule) {
    const NextRunCase cases[] = {
        {"2026-12-07 10:00:00", kMonday, 1430, 0, "2026-12-07 14:30:00.000"},              // Monday, later today
        {"2026-12-07 16:00:00", kEveryDay, 1430, 1, "2026-12-08 14:30:00.000"},            // today's time has passed
        {"2026-12-07 14:10:00", kMonday, 1430, 0, "2026-12-07 14:30:00.000"},              // same hour, earlier minute
        {"2026-12-07 14:30:05.250", kMonday, 1430, 7, "2026-12-14 14:30:05.250"},          // the run that just started
        {"2026-12-07 14:30:00", kMonday | kTuesday, 1430, 1, "2026-12-08 14:30:00.000"},
        {"2026-12-07 16:05:00", kMonday, 1430, 7, "2026-12-14 14:30:00.000"},              // a late run
        {"2026-12-12 23:00:42", kMonday, 700, 2, "2026-12-14 07:00:42.000"},               // Saturday night
        {"2026-12-09 09:41:17", kEveryDay, 0, 1, "2026-12-10 09:41:17.000"},               // 0: the current time
        {"2026-12-09 09:41:17", kEveryDay, -5, 1, "2026-12-10 09:41:17.000"},
        {"2026-12-07 10:00:00", 0x80, 1000, 7, "2026-12-14 10:00:00.000"},                 // no weekday bit
        {"2026-12-31 20:00:00", kEveryDay, 705, 1, "2027-01-01 07:05:00.000"},             // into the new year
        {"2028-02-28 20:00:00", kEveryDay, 2359, 0, "2028-02-28 23:59:00.000"},
        {"2028-02-28 23:59:00", kEveryDay, 2359, 1, "2028-02-29 23:59:00.000"},            // leap day
        {"2027-02-28 23:59:00", kEveryDay, 2359, 1, "2027-03-01 23:59:00.000"},
    };
    for (const NextRunCase& c : cases) {
        SCOPED_TRACE(std::string(c.clock) + " days " + std::to_string(c.days) + " time " + std::to_string(c.time));
        SYSTEMTIME clock = reading(c.clock), start = clock;
        int dayCount = -1;
        ASSERT_EQ(1, nextStartTime(clock.wHour, clock.wMinute, &start, c.days, c.time, &dayCount));
        EXPECT_EQ(c.dayCount, dayCount);
        EXPECT_EQ(c.run, format(start));
    }
}

TEST(NextStartTimeTest, TimesOfDayThatDoNotExistGiveNoRun) {
    for (int time : {2400, 2460, 1260, 1299, 9999, 2147483647}) {
        SYSTEMTIME clock = reading("2026-12-07 10:00:00"), start = clock;
        int dayCount = -1;
        EXPECT_EQ(0, nextStartTime(clock.wHour, clock.wMinute, &start, kEveryDay, time, &dayCount)) << time;
        EXPECT_GE(dayCount, 0);
        EXPECT_LE(dayCount, 7);
    }
}

// The expected run computed independently with the standard library's calendar: the first
// of today and the seven days after it that is a selected weekday and, for today, whose
// target minute lies ahead of the clock.
std::string expectedRun(const std::chrono::sys_days& today, int hour, int minute, int second, int ms, int weekdays,
                        int targetHour, int targetMinute, int* dayCount) {
    using namespace std::chrono;
    bool todayPossible = hour * 60 + minute < targetHour * 60 + targetMinute;
    int count = 7;
    for (int n = todayPossible ? 0 : 1; n <= 6; ++n) {
        unsigned dayOfWeek = weekday{today + days{n}}.c_encoding();
        if (weekdays & (1 << dayOfWeek)) {
            count = n;
            break;
        }
    }
    *dayCount = count;
    year_month_day date{today + std::chrono::days{count}};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), targetHour, targetMinute,
                  second, ms);
    return text;
}

TEST(NextStartTimeTest, AgreesWithTheCalendarOverWholeYears) {
    using namespace std::chrono;
    int checked = 0;
    for (sys_days today = sys_days{year{2027} / January / 1}; today < sys_days{year{2029} / January / 1};
         today += days{1}) {
        year_month_day date{today};
        for (int target : {0, 705, 1430, 2359}) {
            int targetHour = target / 100, targetMinute = target % 100;
            // Readings either side of the target minute, and on it.
            for (int delta : {-61, -1, 0, 1, 59}) {
                int minuteOfDay = targetHour * 60 + targetMinute + delta;
                if (minuteOfDay < 0 || minuteOfDay >= 24 * 60) continue;
                SYSTEMTIME clock = {static_cast<WORD>(static_cast<int>(date.year())),
                                    static_cast<WORD>(static_cast<unsigned>(date.month())),
                                    static_cast<WORD>(weekday{today}.c_encoding()),
                                    static_cast<WORD>(static_cast<unsigned>(date.day())),
                                    static_cast<WORD>(minuteOfDay / 60),
                                    static_cast<WORD>(minuteOfDay % 60),
                                    37,
                                    123};
                for (int days = 0; days <= 0xFF; days += (days < 0x80 ? 1 : 0x7F)) {
                    SYSTEMTIME start = clock;
                    int dayCount = -1;
                    ASSERT_EQ(1, nextStartTime(clock.wHour, clock.wMinute, &start, days, target, &dayCount));
                    // A time of 0 means the time of day of the reading.
                    int expectedHour = target ? targetHour : clock.wHour;
                    int expectedMinute = target ? targetMinute : clock.wMinute;
                    int expectedCount;
                    std::string expected = expectedRun(today, clock.wHour, clock.wMinute, 37, 123, days, expectedHour,
                                                       expectedMinute, &expectedCount);
                    ASSERT_EQ(expectedCount, dayCount) << format(clock) << " days " << days << " time " << target;
                    ASSERT_EQ(expected, format(start)) << format(clock) << " days " << days << " time " << target;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 1000000);
}

class ScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        freeze("2026-12-07 10:00:00");
        resolveInstallDir();  // where the log goes, as every caller has done before
    }

    void freeze(const char* when) {
        SYSTEMTIME time = reading(when);
        FILETIME count;
        SystemTimeToFileTime(&time, &count);
        device::clockFreeze(device::fileTimeCount(count));
    }

    void setSchedule(int days, int time, int options) {
        const std::string key = "Software\\Holvenark\\Quillex";
        auto dword = [](int value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
        testing_support::setRegBytes(HKEY_CURRENT_USER, key, "startDays", REG_DWORD, dword(days));
        testing_support::setRegBytes(HKEY_CURRENT_USER, key, "startTime", REG_DWORD, dword(time));
        testing_support::setRegBytes(HKEY_CURRENT_USER, key, "startOptions", REG_DWORD, dword(options));
    }

    struct Pending {
        std::u16string application;
        std::u16string arguments;
        DWORD type;
        std::string start;
        bool hasUser;
    };

    // Every entry of the queue, as the platform delivers it.
    std::vector<Pending> pending() {
        std::vector<Pending> entries;
        DWORD count = 0;
        CeGetUserNotificationHandles(nullptr, 0, &count);
        std::vector<HANDLE> handles(count);
        if (count) CeGetUserNotificationHandles(handles.data(), count, &count);
        for (DWORD i = 0; i < count; ++i) {
            DWORD size = 0;
            CeGetUserNotification(handles[i], 0, &size, nullptr);
            std::vector<BYTE> buffer(size);
            if (!CeGetUserNotification(handles[i], size, &size, buffer.data())) continue;
            auto* header = reinterpret_cast<CE_NOTIFICATION_INFO_HEADER*>(buffer.data());
            const CE_NOTIFICATION_TRIGGER* trigger = header->pcent;
            if (!trigger) continue;
            entries.push_back({trigger->lpszApplication ? trigger->lpszApplication : u"",
                               trigger->lpszArguments ? trigger->lpszArguments : u"<absent>", trigger->dwType,
                               format(trigger->stStartTime), header->pceun != nullptr});
        }
        return entries;
    }

    std::vector<std::string> logTexts() {
        std::vector<std::string> texts;
        for (const std::string& line : logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")))
            texts.push_back(line.substr(17));
        return texts;
    }

    HANDLE addEntry(const char16_t* application, const char16_t* arguments, const char* start = "2026-12-20 10:00:00",
                    CE_USER_NOTIFICATION* user = nullptr) {
        CE_NOTIFICATION_TRIGGER trigger = {};
        trigger.dwSize = sizeof trigger;
        trigger.dwType = CNT_TIME;
        trigger.lpszApplication = const_cast<WCHAR*>(application);
        trigger.lpszArguments = const_cast<WCHAR*>(arguments);
        trigger.stStartTime = reading(start);
        return CeSetUserNotificationEx(nullptr, &trigger, user);
    }

    void removeAllEntries() {
        DWORD count = 0;
        CeGetUserNotificationHandles(nullptr, 0, &count);
        std::vector<HANDLE> handles(count);
        if (count) CeGetUserNotificationHandles(handles.data(), count, &count);
        for (DWORD i = 0; i < count; ++i) CeClearUserNotification(handles[i]);
    }

    ScopedDevice device_;
};

TEST_F(ScheduleTest, RegistersOneTimeEntryThatStartsQuillexWithAuto) {
    setSchedule(kMonday, 1430, SCHEDULE_TEMP);
    checkAutoStart();
    std::vector<Pending> entries = pending();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(u"\\Program Files\\Quillex\\Quillex.exe", entries[0].application);
    EXPECT_EQ(u"-auto", entries[0].arguments);
    EXPECT_EQ(static_cast<DWORD>(CNT_TIME), entries[0].type);
    EXPECT_EQ("2026-12-07 14:30:00.000", entries[0].start);
    EXPECT_FALSE(entries[0].hasUser);
    EXPECT_EQ(std::vector<std::string>{"removeNotifications"}, logTexts());

    // Every call replaces the entry, also when nothing changed.
    checkAutoStart();
    EXPECT_EQ(1u, pending().size());
}

TEST_F(ScheduleTest, InstallKeyNamesTheProgramAndTooLongADirectoryRegistersNothing) {
    setSchedule(kEveryDay, 1430, SCHEDULE_TEMP);
    testing_support::setRegString(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir", "\\Apps\\Q");
    checkAutoStart();
    ASSERT_EQ(1u, pending().size());
    EXPECT_EQ(u"\\Apps\\Q\\Quillex.exe", pending()[0].application);

    // 247 characters leave room for "\Quillex.exe"; 248 do not.
    std::string longest = "\\" + std::string(246, 'd');
    testing_support::setRegString(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir", longest);
    checkAutoStart();
    ASSERT_EQ(1u, pending().size());
    EXPECT_EQ(testing_support::wide(longest + "\\Quillex.exe"), pending()[0].application);
    testing_support::setRegString(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir",
                                  "\\" + std::string(247, 'e'));
    checkAutoStart();
    // Nothing new is registered; the entry before stays, its record being too large for
    // the removal to read.
    ASSERT_EQ(1u, pending().size());
    EXPECT_EQ(testing_support::wide(longest + "\\Quillex.exe"), pending()[0].application);
}

TEST_F(ScheduleTest, NoWeekdayOrNoActionRemovesTheOldEntryAndRegistersNothing) {
    struct Case {
        int days, options;
    } cases[] = {{0, SCHEDULE_TEMP}, {kEveryDay, 0}, {0, 0}};
    for (const Case& c : cases) {
        setSchedule(kEveryDay, 1430, SCHEDULE_TEMP);
        checkAutoStart();
        ASSERT_EQ(1u, pending().size());
        setSchedule(c.days, 1430, c.options);
        checkAutoStart();
        EXPECT_TRUE(pending().empty()) << c.days << " " << c.options;
    }
}

TEST_F(ScheduleTest, SeventhDayIsLogged) {
    freeze("2026-12-07 14:30:05");
    setSchedule(kMonday, 1430, SCHEDULE_TEMP);
    checkAutoStart();
    EXPECT_EQ((std::vector<std::string>{"removeNotifications", "checkAutoStart: nDays = 7!!?"}), logTexts());
    ASSERT_EQ(1u, pending().size());
    EXPECT_EQ("2026-12-14 14:30:05.000", pending()[0].start);
}

TEST_F(ScheduleTest, TimeThatIsNoTimeOfDayRegistersNothing) {
    setSchedule(kEveryDay, 2575, SCHEDULE_TEMP);
    checkAutoStart();
    EXPECT_TRUE(pending().empty());
}

TEST_F(ScheduleTest, MissingSettingsAndValuesOfTheWrongShape) {
    // No key at all: the old entry goes, nothing is registered.
    addEntry(u"\\Program Files\\Quillex\\Quillex.exe", u"-auto");
    checkAutoStart();
    EXPECT_TRUE(pending().empty());

    // startTime missing keeps the value this process loaded last.
    setSchedule(kEveryDay, 1815, SCHEDULE_TEMP);
    checkAutoStart();
    HKEY key;
    ASSERT_TRUE(openScheduleKey(&key));
    RegDeleteValueW(key, TEXT("startTime"));
    RegCloseKey(key);
    checkAutoStart();
    ASSERT_EQ(1u, pending().size());
    EXPECT_EQ("2026-12-07 18:15:00.000", pending()[0].start);

    // Values of another type or size count as missing and never spill into the integer.
    const std::string scheduleKey = "Software\\Holvenark\\Quillex";
    struct Shape {
        DWORD type;
        std::string bytes;
    } shapes[] = {{REG_SZ, std::string("1\0\0\0", 4)},
                  {REG_BINARY, std::string("\x7F\0\0\0", 4)},
                  {REG_DWORD, std::string("\x7F\0", 2)},
                  {REG_DWORD, std::string("\x7F\0\0\0\x01\0\0\0", 8)}};
    for (const Shape& shape : shapes) {
        testing_support::setRegBytes(HKEY_CURRENT_USER, scheduleKey, "startDays", shape.type, shape.bytes);
        checkAutoStart();
        EXPECT_EQ(0, startDays);
        EXPECT_TRUE(pending().empty());
    }
}

TEST_F(ScheduleTest, RemovalClearsTheLastMatchingEntryOnly) {
    HANDLE keep = addEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime");
    HANDLE earlier = addEntry(u"\\Program Files\\QUILLEX\\QUILLEX.EXE", u"-auto");
    HANDLE noArguments = addEntry(u"\\Program Files\\Quillex\\Quillex.exe", nullptr);
    HANDLE later = addEntry(u"\\Storage\\quillex-old.exe", u"");
    removeNotifications();
    std::vector<Pending> after = pending();
    ASSERT_EQ(3u, after.size());
    EXPECT_EQ(u"\\Program Files\\QUILLEX\\QUILLEX.EXE", after[1].application);  // stored case unchanged
    removeNotifications();
    ASSERT_EQ(2u, pending().size());
    removeNotifications();
    EXPECT_EQ(2u, pending().size());  // the entry without arguments never matches
    EXPECT_EQ((std::vector<std::string>{"removeNotifications", "removeNotifications", "removeNotifications"}),
              logTexts());
    (void)keep, (void)earlier, (void)noArguments, (void)later;
}

// The removal reads records of up to 519 bytes as the device lays them out: a 16-byte
// header, a 52-byte trigger, a 24-byte user part, then the strings. The program's own
// entry, "<install folder>\Quillex.exe" with "-auto", takes 106 bytes plus two per
// character of the folder, so folders of up to 206 characters keep one automatic run.
TEST_F(ScheduleTest, RemovalReadsRecordsUpTo519BytesInTheDevicesLayout) {
    setSchedule(kEveryDay, 1430, SCHEDULE_TEMP);
    const struct {
        size_t folderLength;
        size_t pendingAfterTwoRuns;
    } folders[] = {{20, 1}, {192, 1}, {193, 1}, {206, 1}, {207, 2}};
    for (const auto& c : folders) {
        SCOPED_TRACE(c.folderLength);
        std::string folder = "\\" + std::string(c.folderLength - 1, 'f');
        testing_support::setRegString(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir", folder);
        checkAutoStart();
        checkAutoStart();
        EXPECT_EQ(c.pendingAfterTwoRuns, pending().size());
        while (!pending().empty()) removeAllEntries();
    }

    // With a user part: 16 + 52 + 24 + the application's and "-auto"'s characters.
    const struct {
        size_t applicationLength;
        size_t pendingAfterRemoval;
    } entries[] = {{206, 0}, {207, 1}};  // 518 and 520 bytes on the device
    for (const auto& c : entries) {
        SCOPED_TRACE(c.applicationLength);
        std::u16string application = u"\\quillex" + std::u16string(c.applicationLength - 8, u'x');
        CE_USER_NOTIFICATION user = {};
        addEntry(application.c_str(), u"-auto", "2026-12-20 10:00:00", &user);
        removeNotifications();
        EXPECT_EQ(c.pendingAfterRemoval, pending().size());
        removeAllEntries();
    }
}

TEST_F(ScheduleTest, RemovalWithAnEmptyQueueOnlyLogs) {
    removeNotifications();
    EXPECT_EQ(std::vector<std::string>{"removeNotifications"}, logTexts());
    device::faultArm("LocalAlloc", 2);  // the record buffer
    addEntry(u"\\Program Files\\Quillex\\Quillex.exe", u"-auto");
    removeNotifications();
    EXPECT_EQ(1u, pending().size());
}

}  // namespace
