// Notification queue cleanup: the decision rules in their order, the two-record window,
// the time limits to the millisecond, the stops of the walk, and verbose descriptions.
#include "app/quillex.h"
#include "device/core/faults.h"
#include "device/kernel/clock.h"
#include "device/notifications/notifications.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using testing_support::logLines;
using testing_support::ScopedDevice;

namespace {

// "Now" for every test: Monday 7 December 2026, 10:00:00.000.
const char* const kNow = "2026-12-07 10:00:00";

SYSTEMTIME when(const char* text) {
    std::optional<SYSTEMTIME> time = device::parseDeviceTime(text);
    EXPECT_TRUE(time) << text;
    return time.value_or(SYSTEMTIME{});
}

struct Entry {
    DWORD type = CNT_TIME;
    DWORD event = 0;
    const char16_t* application = u"\\Windows\\app.exe";
    const char16_t* arguments = u"-x";
    SYSTEMTIME start = when("2026-12-08 09:00:00");
    bool user = false;
    const char16_t* title = nullptr;
    const char16_t* text = nullptr;
};

Entry timeEntry(const char16_t* application, const char* start, const char16_t* arguments = u"-x") {
    Entry e;
    e.application = application;
    e.start = when(start);
    e.arguments = arguments;
    return e;
}

Entry eventEntry(const char16_t* application, DWORD event, const char16_t* arguments) {
    Entry e;
    e.type = CNT_EVENT;
    e.event = event;
    e.application = application;
    e.arguments = arguments;
    return e;
}

HANDLE add(const Entry& e) {
    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = e.type;
    trigger.dwEvent = e.event;
    trigger.lpszApplication = const_cast<WCHAR*>(e.application);
    trigger.lpszArguments = const_cast<WCHAR*>(e.arguments);
    trigger.stStartTime = e.start;
    CE_USER_NOTIFICATION user = {};
    user.pwszDialogTitle = const_cast<WCHAR*>(e.title);
    user.pwszDialogText = const_cast<WCHAR*>(e.text);
    HANDLE handle = CeSetUserNotificationEx(nullptr, &trigger, e.user ? &user : nullptr);
    EXPECT_NE(nullptr, handle);
    return handle;
}

class CleanupTest : public ::testing::Test {
protected:
    void SetUp() override {
        FILETIME now;
        SYSTEMTIME fields = when(kNow);
        SystemTimeToFileTime(&fields, &now);
        device::clockFreeze(device::fileTimeCount(now));
        resolveInstallDir();
    }

    // Adds the entries in order, runs the cleanup, and tells which of them survived.
    std::vector<bool> survivors(const std::vector<Entry>& entries, int verbose = 0) {
        std::vector<HANDLE> handles;
        for (const Entry& e : entries) handles.push_back(add(e));
        cleanupNotifications(verbose);
        std::vector<HANDLE> left = queue();
        std::vector<bool> kept;
        for (HANDLE h : handles) kept.push_back(std::find(left.begin(), left.end(), h) != left.end());
        return kept;
    }

    std::vector<HANDLE> queue() {
        DWORD count = 0;
        CeGetUserNotificationHandles(nullptr, 0, &count);
        std::vector<HANDLE> handles(count);
        DWORD delivered = 0;
        if (count) CeGetUserNotificationHandles(handles.data(), count, &delivered);
        handles.resize(delivered);
        return handles;
    }

    std::vector<std::string> logTexts() {
        std::vector<std::string> texts;
        for (const std::string& line : logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")))
            texts.push_back(line.substr(17));
        return texts;
    }

    ScopedDevice device_;
};

struct RuleCase {
    const char* name;
    std::vector<Entry> entries;
    std::vector<bool> kept;
};

TEST_F(CleanupTest, DecisionRules) {
    Entry withUser = timeEntry(u"\\Windows\\alarm.exe", "2026-12-09 07:00:00", nullptr);
    withUser.user = true;
    withUser.text = u"Wake up";
    Entry sameTextOtherCase = withUser;
    sameTextOtherCase.text = u"WAKE UP";
    Entry noText = withUser;
    noText.text = nullptr;
    Entry withoutUser = withUser;
    withoutUser.user = false;

    const RuleCase cases[] = {
        {"connmgr whole name in any case", {eventEntry(u"CONNMGR.EXE", 5, u"x"), eventEntry(u"\\Windows\\connmgr.exe", 6, u"x")}, {false, true}},
        {"sstimechange is case-sensitive", {eventEntry(u"\\Windows\\sstimechange.exe", 1, u"x"), eventEntry(u"\\Windows\\SSTimeChange.exe", 2, u"x")}, {false, true}},
        {"event without arguments or application", {eventEntry(u"\\a.exe", 1, nullptr), eventEntry(u"\\b.exe", 1, u""), eventEntry(nullptr, 1, u"x"), eventEntry(u"", 1, u"x")}, {false, false, false, false}},
        {"script named events", {timeEntry(u"NamedEvents\\SCRIPT:run", "2026-12-09 00:00:00"), timeEntry(u"namedevents\\script:run", "2026-12-10 00:00:00")}, {false, true}},
        {"three identical: first stays", {timeEntry(u"\\a.exe", "2026-12-08 09:00:00"), timeEntry(u"\\A.EXE", "2026-12-08 09:00:00", u"-X"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00")}, {true, false, false}},
        {"A B A' through the second window slot", {timeEntry(u"\\a.exe", "2026-12-08 09:00:00"), timeEntry(u"\\b.exe", "2026-12-08 09:00:00"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00")}, {true, true, false}},
        {"comparable previous hides the second", {timeEntry(u"\\a.exe", "2026-12-08 09:00:00"), timeEntry(u"\\a.exe", "2026-12-09 09:00:00"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00")}, {true, true, true}},
        {"window reaches two back only", {timeEntry(u"\\a.exe", "2026-12-08 09:00:00"), timeEntry(u"\\b.exe", "2026-12-08 09:00:00"), timeEntry(u"\\c.exe", "2026-12-08 09:00:00"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00")}, {true, true, true, true}},
        {"removed record still serves as model", {eventEntry(u"\\e.exe", 7, nullptr), eventEntry(u"\\e.exe", 7, u"go")}, {false, false}},
        {"event duplicates need the same code", {eventEntry(u"\\e.exe", 7, u"go"), eventEntry(u"\\e.exe", 8, u"go"), eventEntry(u"\\e.exe", 8, u"GO")}, {true, true, false}},
        {"different arguments differ", {timeEntry(u"\\a.exe", "2026-12-08 09:00:00", u"1"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00", u"2")}, {true, true}},
        {"dialog texts equal ignoring case", {withUser, sameTextOtherCase}, {true, false}},
        {"absent dialog text is never a duplicate", {noText, noText}, {true, true}},
        {"user part against none", {withoutUser, withUser}, {true, true}},
        {"neither has a user part", {withoutUser, withoutUser}, {true, false}},
        {"type 3 escapes the time rules", {[] { Entry e = timeEntry(u"NamedEvents\\SCRIPT:x", "2020-01-01 00:00:00"); e.type = CNT_PERIOD; return e; }(), [] { Entry e = timeEntry(u"\\far.exe", "2035-01-01 00:00:00"); e.type = 77; return e; }()}, {true, true}},
        {"classic time is a time entry", {[] { Entry e = timeEntry(u"\\old.exe", "2026-12-01 00:00:00"); e.type = CNT_CLASSICTIME; return e; }()}, {false}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (HANDLE h : queue()) CeClearUserNotification(h);
        EXPECT_EQ(c.kept, survivors(c.entries));
    }
}

TEST_F(CleanupTest, TimeLimitsToTheMillisecond) {
    const RuleCase cases[] = {
        {"exactly 24 hours ago stays", {timeEntry(u"\\a.exe", "2026-12-06 10:00:00.000")}, {true}},
        {"one millisecond earlier goes", {timeEntry(u"\\b.exe", "2026-12-06 09:59:59.999")}, {false}},
        {"two years ahead stays", {timeEntry(u"\\c.exe", "2028-12-31 23:59:59")}, {true}},
        {"three years ahead goes", {timeEntry(u"\\d.exe", "2029-01-01 00:00:00")}, {false}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (HANDLE h : queue()) CeClearUserNotification(h);
        EXPECT_EQ(c.kept, survivors(c.entries));
    }
}

TEST_F(CleanupTest, SummaryCountsItemsAndRemovals) {
    survivors({timeEntry(u"\\a.exe", "2026-12-08 09:00:00"), timeEntry(u"\\a.exe", "2026-12-08 09:00:00"),
               timeEntry(u"\\a.exe", "2026-12-08 09:00:00")});
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 3 items, removed: 2"}, logTexts());
}

TEST_F(CleanupTest, EmptyQueueLogsNothing) {
    cleanupNotifications(0);
    cleanupNotifications(1);
    EXPECT_TRUE(logTexts().empty());
}

TEST_F(CleanupTest, VerboseClearsTheSameAndDescribesKeptEntriesInOrder) {
    Entry alarm = timeEntry(u"\\Windows\\alarm.exe", "2026-12-09 07:05:03", nullptr);
    alarm.user = true;
    alarm.title = u"Alarm";
    alarm.text = u"Wake up";
    std::vector<Entry> entries = {
        eventEntry(u"\\Windows\\sync.exe", 9, u"AppRunAtRs232Detect"),
        timeEntry(u"\\Windows\\plain.exe", "2026-12-08 18:30:00", nullptr),
        timeEntry(u"\\Windows\\old.exe", "2026-01-01 00:00:00"),
        alarm,
    };
    std::vector<bool> quiet = survivors(entries, 0);
    std::vector<std::string> quietLog = logTexts();
    for (HANDLE h : queue()) CeClearUserNotification(h);
    device_.writeText("\\Program Files\\Quillex\\Quillex.log", "");
    EXPECT_EQ(quiet, survivors(entries, 1));
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 4 items, removed: 1"}, quietLog);
    EXPECT_EQ((std::vector<std::string>{
                  "E: \\Windows\\sync.exe, AppRunAtRs232Detect",
                  "08/12 18:30:00 -> 2, \\Windows\\plain.exe, ; ; ",
                  "09/12 07:05:03 -> 2, \\Windows\\alarm.exe, ; Alarm; Wake up",
                  "cleanupNotifications: 4 items, removed: 1",
              }),
              logTexts());
}

TEST_F(CleanupTest, LongDescriptionsAreCutToTheirBuffers) {
    std::u16string longName = u"\\" + std::u16string(700, u'\u00e9');
    std::vector<Entry> entries = {timeEntry(longName.c_str(), "2026-12-08 09:00:00")};
    survivors(entries, 1);
    std::vector<std::string> texts = logTexts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(499u, texts[0].size());
    EXPECT_EQ("08/12 09:00:00 -> 2, \\\xE9\xE9", texts[0].substr(0, 24));
}

TEST_F(CleanupTest, WalkStopsWhereARecordCannotBeRead) {
    std::vector<HANDLE> handles;
    for (int i = 0; i < 10; ++i) handles.push_back(add(timeEntry(u"\\same.exe", "2026-12-08 09:00:00")));
    // Size and read calls alternate: the eighth call is the read of the fourth entry.
    device::faultArm("CeGetUserNotification", 8);
    cleanupNotifications(0);
    std::vector<HANDLE> left = queue();
    EXPECT_EQ(8u, left.size());  // entries 2 and 3 went as duplicates of the first
    EXPECT_EQ(handles[0], left[0]);
    EXPECT_EQ(handles[3], left[1]);
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 10 items, removed: 2"}, logTexts());
}

TEST_F(CleanupTest, WalkStopsWhereARecordCannotBeAllocated) {
    for (int i = 0; i < 4; ++i) add(timeEntry(u"\\same.exe", "2026-12-08 09:00:00"));
    // The handle list is the first allocation; the third record the fourth.
    device::faultArm("LocalAlloc", 4);
    cleanupNotifications(0);
    EXPECT_EQ(3u, queue().size());  // only the second went, as a duplicate of the first
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 4 items, removed: 1"}, logTexts());
}

TEST_F(CleanupTest, NothingHappensWithoutAHandleList) {
    for (int i = 0; i < 3; ++i) add(timeEntry(u"\\same.exe", "2026-12-08 09:00:00"));
    device::faultArm("LocalAlloc", 1);
    cleanupNotifications(0);
    device::faultArm("CeGetUserNotificationHandles", 2);
    cleanupNotifications(0);
    EXPECT_EQ(3u, queue().size());
    EXPECT_TRUE(logTexts().empty());
}

TEST_F(CleanupTest, EntryThatCannotBeSizedIsClearedUnjudged) {
    add(timeEntry(u"\\keep.exe", "2026-12-08 09:00:00"));
    add(timeEntry(u"\\other.exe", "2026-12-08 09:00:00"));
    // The size query of the second entry fails and reports no size, as for an entry
    // that vanished after the listing.
    device::faultArm("CeGetUserNotification", 3);
    cleanupNotifications(0);
    EXPECT_EQ(1u, queue().size());
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 2 items, removed: 1"}, logTexts());
}

TEST_F(CleanupTest, RecordThatLeadsNowhereEndsTheCleanupQuietly) {
    add(timeEntry(u"\\a.exe", "2026-12-08 09:00:00"));
    add(timeEntry(u"\\a.exe", "2026-12-08 09:00:00"));
    HANDLE broken = add(timeEntry(u"\\b.exe", "2026-12-08 09:00:00"));
    // A header whose trigger pointer leads far outside the record.
    std::string bytes(sizeof(CE_NOTIFICATION_INFO_HEADER) + sizeof(CE_NOTIFICATION_TRIGGER), '\0');
    CE_NOTIFICATION_INFO_HEADER header = {};
    header.pcent = reinterpret_cast<CE_NOTIFICATION_TRIGGER*>(0x10);
    std::memcpy(bytes.data(), &header, sizeof header);
    device::notificationSetRawRecordForTest(static_cast<DWORD>(reinterpret_cast<uintptr_t>(broken)), bytes);
    cleanupNotifications(0);
    EXPECT_EQ(3u, queue().size());  // not even the duplicate before it was cleared
    EXPECT_TRUE(logTexts().empty());
    device::notificationSetRawRecordForTest(static_cast<DWORD>(reinterpret_cast<uintptr_t>(broken)), std::string());
}

const FILETIME limitForJudge = {0, 0};

// Reads an entry's record into `buffer` (which must stay where it is: the record's
// pointers lead into it).
NotificationRecord readRecord(HANDLE handle, std::vector<BYTE>& buffer) {
    DWORD size = 0;
    CeGetUserNotification(handle, 0, &size, nullptr);
    buffer.assign(size, 0);
    DWORD read = 0;
    EXPECT_TRUE(CeGetUserNotification(handle, size, &read, buffer.data()));
    return NotificationRecord{buffer.data(), size};
}

struct JudgeCall {
    const NotificationRecord* entry;
    const NotificationRecord* previous;
    int removed;
};

TEST_F(CleanupTest, UserPartsAreReadOnlyWhereTheyDecide) {
    // A user-part pointer that leads nowhere must not end the judgement or the
    // description where that part plays no role, so verbose and quiet passes agree.
    std::vector<BYTE> eventBuffer, timeBuffer, windowBuffer;
    NotificationRecord event = readRecord(add(eventEntry(u"\\Windows\\sync.exe", 9, u"go")), eventBuffer);
    NotificationRecord time = readRecord(add(timeEntry(u"\\a.exe", "2026-12-08 09:00:00", nullptr)), timeBuffer);
    Entry withUser = timeEntry(u"\\a.exe", "2026-12-08 09:00:00", nullptr);
    withUser.user = true;
    withUser.text = u"Text";
    NotificationRecord window = readRecord(add(withUser), windowBuffer);
    auto breakUserPart = [](NotificationRecord& record) {
        reinterpret_cast<CE_NOTIFICATION_INFO_HEADER*>(const_cast<BYTE*>(record.buffer))->pceun =
            reinterpret_cast<CE_USER_NOTIFICATION*>(0x20);
    };
    breakUserPart(event);
    breakUserPart(window);

    WCHAR text[500];
    auto describe = [](void* context) {
        WCHAR out[500];
        describeEntry(static_cast<const NotificationRecord*>(context), out, 500);
    };
    EXPECT_EQ(1, runUnderFaultGuard(describe, &event));
    describeEntry(&event, text, 500);
    EXPECT_EQ(u"E: \\Windows\\sync.exe, go", std::u16string(text));

    // The entry has no user part and the window has one: not a duplicate, decided
    // without reading the window's part.
    JudgeCall call = {&time, &window, -1};
    auto judge = [](void* context) {
        JudgeCall* c = static_cast<JudgeCall*>(context);
        c->removed = shouldRemoveEntry(c->entry, c->previous, nullptr, &limitForJudge, 2026);
    };
    EXPECT_EQ(1, runUnderFaultGuard(judge, &call));
    EXPECT_EQ(0, call.removed);

    // Where the window's dialog text decides, the broken part does end the pass.
    Entry bothUser = withUser;
    std::vector<BYTE> bothBuffer;
    NotificationRecord both = readRecord(add(bothUser), bothBuffer);
    JudgeCall decided = {&both, &window, -1};
    EXPECT_EQ(0, runUnderFaultGuard(judge, &decided));
}

TEST_F(CleanupTest, LetterNRunsTheCleanupFromTheCommandLine) {
    add(timeEntry(u"\\a.exe", "2026-12-08 09:00:00"));
    add(timeEntry(u"\\a.exe", "2026-12-08 09:00:00"));
    add(timeEntry(u"\\old.exe", "2025-12-08 09:00:00"));
    testing_support::RunResult result = testing_support::run(testing_support::quillexBinary(), {"--device", device_.dir(), "N"});
    EXPECT_EQ(0, result.exitCode) << result.output;
    EXPECT_EQ(1u, queue().size());
    EXPECT_EQ(std::vector<std::string>{"cleanupNotifications: 3 items, removed: 2"}, logTexts());
}

}  // namespace
