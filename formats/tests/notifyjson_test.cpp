// The JSON form of notification entries: list and import give back the same entries,
// malformed input is refused whole with the place of the fault, and the `notify`
// commands of quillex-device work on the queue that the platform operations see.
#include "formats/notifyjson.h"

#include "device/kernel/clock.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

using device::NotificationEntry;
using testing_support::RunResult;
using testing_support::ScopedDevice;

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms, WORD dayOfWeek) {
    return SYSTEMTIME{year, month, dayOfWeek, day, hour, minute, second, ms};
}

// Entries that exercise every member: absent and empty strings, times that are and are
// not calendar dates (or carry a wrong day of the week), the extremes of every number.
std::vector<NotificationEntry> sampleEntries() {
    std::vector<NotificationEntry> entries(5);
    entries[0].type = CNT_TIME;
    entries[0].application = u"\\Program Files\\Quillex\\Quillex.exe";
    entries[0].arguments = u"-auto";
    entries[0].start = at(2026, 12, 8, 7, 30, 0, 0, 2);  // a Tuesday, as written in text form
    entries[1].type = CNT_EVENT;
    entries[1].event = 0xFFFFFFFF;
    entries[1].application = u"";
    entries[1].hasUser = true;
    entries[1].title = u"Reminder \"quoted\"\nsecond line";
    entries[1].text = u"";
    entries[1].sound = std::nullopt;
    entries[1].actionFlags = 0x80000001;
    entries[1].maxSound = 260;
    entries[2].type = 0xFFFFFFFF;
    entries[2].arguments = u"\u00e9\u00e8 \U0001F600 \\x";
    entries[2].start = at(2026, 2, 30, 24, 60, 60, 1000, 7);  // no calendar date
    entries[2].end = at(2026, 12, 8, 7, 30, 0, 999, 0);  // a date, with the wrong day of the week
    entries[3].type = CNT_CLASSICTIME;
    entries[3].start = at(65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535);
    entries[3].hasUser = true;  // a user part with nothing in it
    entries[4].type = 0;
    return entries;
}

void expectSame(const std::vector<NotificationEntry>& want, const std::vector<NotificationEntry>& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(want[i].type, got[i].type);
        EXPECT_EQ(want[i].event, got[i].event);
        EXPECT_EQ(want[i].application, got[i].application);
        EXPECT_EQ(want[i].arguments, got[i].arguments);
        EXPECT_EQ(0, std::memcmp(&want[i].start, &got[i].start, sizeof(SYSTEMTIME)));
        EXPECT_EQ(0, std::memcmp(&want[i].end, &got[i].end, sizeof(SYSTEMTIME)));
        EXPECT_EQ(want[i].hasUser, got[i].hasUser);
        EXPECT_EQ(want[i].title, got[i].title);
        EXPECT_EQ(want[i].text, got[i].text);
        EXPECT_EQ(want[i].sound, got[i].sound);
        EXPECT_EQ(want[i].actionFlags, got[i].actionFlags);
        EXPECT_EQ(want[i].maxSound, got[i].maxSound);
    }
}

TEST(NotifyJsonTest, ListedEntriesImportAsTheSameEntries) {
    ScopedDevice device;
    std::vector<NotificationEntry> original = sampleEntries();
    std::string error;
    ASSERT_TRUE(device::notificationAdd(original, &error)) << error;
    std::string listed = formats::notifyToJson(device::notificationList());

    size_t added = 0;
    ASSERT_TRUE(formats::notifyImport(listed, &added, &error)) << error;
    EXPECT_EQ(original.size(), added);
    std::vector<NotificationEntry> all = device::notificationList();
    ASSERT_EQ(2 * original.size(), all.size());
    std::vector<NotificationEntry> imported(all.begin() + static_cast<long>(original.size()), all.end());
    expectSame(original, imported);
    EXPECT_GT(imported.front().handle, original.back().handle);
    // And listing again writes the same text, apart from the handles.
    nlohmann::json first = nlohmann::json::parse(listed), second = nlohmann::json::parse(formats::notifyToJson(imported));
    for (auto& entry : first) entry.erase("handle");
    for (auto& entry : second) entry.erase("handle");
    EXPECT_EQ(first, second);
}

TEST(NotifyJsonTest, TimesAreTextOnlyWhenTextGivesThemBack) {
    std::vector<NotificationEntry> entries = sampleEntries();
    nlohmann::json listed = nlohmann::json::parse(formats::notifyToJson(entries));
    EXPECT_EQ("2026-12-08 07:30:00.000", listed[0]["start"]);
    EXPECT_TRUE(listed[0]["end"].is_null());  // all zero
    ASSERT_TRUE(listed[2]["start"].is_object());
    EXPECT_EQ(30, listed[2]["start"]["wDay"]);
    EXPECT_EQ(1000, listed[2]["start"]["wMilliseconds"]);
    EXPECT_TRUE(listed[2]["end"].is_object()) << "a wrong day of the week must survive";
    EXPECT_EQ(0, listed[2]["end"]["wDayOfWeek"]);
    EXPECT_EQ(65535, listed[3]["start"]["wYear"]);
    // The text form sets the day of the week itself.
    NotificationEntry parsed;
    std::string error;
    ASSERT_TRUE(formats::notifyParseEntry(R"({"type": 2, "start": "2028-02-29 23:59:59.5"})", &parsed, &error)) << error;
    SYSTEMTIME leapDay = at(2028, 2, 29, 23, 59, 59, 500, 2);  // a Tuesday
    EXPECT_EQ(0, std::memcmp(&leapDay, &parsed.start, sizeof leapDay));
}

TEST(NotifyJsonTest, MalformedInputIsRefusedWholeWithThePlace) {
    ScopedDevice device;
    std::vector<NotificationEntry> before = sampleEntries();
    std::string error;
    ASSERT_TRUE(device::notificationAdd(before, &error));
    const std::string zeroTime =
        R"("wYear": 0, "wMonth": 0, "wDayOfWeek": 0, "wDay": 0, "wHour": 0, "wMinute": 0, "wSecond": 0)";
    struct Case {
        std::string text;
        const char* place;
    } cases[] = {
        {"", "line 1, column 1 (byte 1)"},
        {"[{\"type\": 1},\n {\"type\": 1,, }]", "line 2, column 13 (byte 27)"},
        {"[{\"type\": 1}", "line 1, column 13"},
        {"[{\"type\": 2, \"application\": \"\xff\"}]", "not valid JSON"},
        {R"({"type": 1})", "array"},
        {R"([{"type": 2}, 7])", "entry 2: expected an object"},
        {R"([{"event": 1}])", "entry 1, type: missing"},
        {R"([{"type": 4294967296}])", "entry 1, type: expected a whole number"},
        {R"([{"type": 1e400}])", "not valid JSON: number overflow"},
        {"[" + std::string(400, '9') + "]", "not valid JSON: number overflow"},
        {R"([{"type": -1}])", "entry 1, type:"},
        {R"([{"type": 1.5}])", "entry 1, type:"},
        {R"([{"type": "2"}])", "entry 1, type:"},
        {R"([{"type": 1, "event": null}])", "entry 1, event:"},
        {R"([{"type": 1}, {"type": 1, "aplication": "x"}])", "entry 2, aplication: unknown member"},
        {R"([{"type": 1, "application": 5}])", "entry 1, application: expected a string or null"},
        {R"([{"type": 1, "arguments": "a\u0000b"}])", "entry 1, arguments: a string may not hold U+0000"},
        {R"([{"type": 2, "start": "2026-02-30 10:00:00"}])", "entry 1, start: not a device time"},
        {R"([{"type": 2, "start": "2026-02-03T10:00:00"}])", "entry 1, start: not a device time"},
        {R"([{"type": 2, "end": 5}])", "entry 1, end: expected"},
        {"[{\"type\": 2, \"start\": {" + zeroTime + "}}]", "entry 1, start.wMilliseconds: missing"},
        {"[{\"type\": 2, \"start\": {" + zeroTime + R"(, "wMilliseconds": 65536}}])", "entry 1, start.wMilliseconds:"},
        {"[{\"type\": 2, \"start\": {" + zeroTime + R"(, "wMilliseconds": 0, "wWeek": 1}}])", "start.wWeek: unknown"},
        {R"([{"type": 2, "user": "x"}])", "entry 1, user: expected an object or null"},
        {R"([{"type": 2, "user": {"colour": 1}}])", "entry 1, user.colour: unknown member"},
        {R"([{"type": 2, "user": {"title": ["x"]}}])", "entry 1, user.title:"},
        {R"([{"type": 2, "user": {"flags": -1}}])", "entry 1, user.flags:"},
        {R"([{"type": 2, "user": {"maxSound": 4294967296}}])", "entry 1, user.maxSound:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        size_t added = 99;
        error.clear();
        EXPECT_FALSE(formats::notifyImport(c.text, &added, &error));
        EXPECT_NE(std::string::npos, error.find(c.place)) << error;
        EXPECT_EQ(99u, added);
    }
    expectSame(before, device::notificationList());
}

TEST(NotifyJsonTest, OneEntryAndItsDefaults) {
    NotificationEntry entry;
    std::string error;
    ASSERT_TRUE(
        formats::notifyParseEntry(R"({"type": 3, "handle": 42, "application": null, "user": null})", &entry, &error));
    EXPECT_EQ(3u, entry.type);
    EXPECT_EQ(0u, entry.handle);  // handles are the database's to give
    EXPECT_FALSE(entry.application || entry.arguments || entry.hasUser);
    SYSTEMTIME zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &entry.start, sizeof zero));
    EXPECT_FALSE(formats::notifyParseEntry(R"({"type": 3, "user": {"text": 1}})", &entry, &error));
    EXPECT_EQ("user.text: expected a string or null", error);
    EXPECT_FALSE(formats::notifyParseEntry(R"([{"type": 3}])", &entry, &error));
    EXPECT_EQ("expected an object", error);
}

class NotifyCommandTest : public ::testing::Test {
protected:
    RunResult tool(const std::vector<std::string>& args, const std::string& input = "") {
        std::vector<std::string> all = {"--device", device.dir(), "notify"};
        all.insert(all.end(), args.begin(), args.end());
        return testing_support::run(testing_support::deviceToolBinary(), all, input);
    }
    ScopedDevice device;
};

TEST_F(NotifyCommandTest, ImportListAddAndClear) {
    const std::string queue = R"([
        {"type": 2, "application": "\\Windows\\clock.exe", "arguments": "", "start": "2026-12-08 07:30:00"},
        {"type": 1, "event": 5, "application": "connmgr.exe", "user": {"title": "T", "text": null, "flags": 3}}
    ])";
    RunResult imported = tool({"import", "-"}, queue);
    ASSERT_EQ(0, imported.exitCode) << imported.output;
    std::vector<NotificationEntry> entries = device::notificationList();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(u"\\Windows\\clock.exe", entries[0].application);

    RunResult plain = tool({"list"});
    ASSERT_EQ(0, plain.exitCode);
    EXPECT_EQ(std::to_string(entries[0].handle) + "  time  2026-12-08 07:30:00.000  \"\\Windows\\clock.exe\"  \"\"\n" +
                  std::to_string(entries[1].handle) + "  event 5  -  \"connmgr.exe\"  -  dialog \"T\" / -\n",
              plain.output);
    RunResult json = tool({"list", "--json"});
    ASSERT_EQ(0, json.exitCode);
    EXPECT_EQ(formats::notifyToJson(entries), json.output);

    RunResult added = tool({"add", R"({"type": 4, "start": "2027-01-01 00:00:00", "arguments": "x"})"});
    ASSERT_EQ(0, added.exitCode) << added.output;
    entries = device::notificationList();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(std::to_string(entries[2].handle) + "\n", added.output);
    EXPECT_EQ(u"x", entries[2].arguments);

    ASSERT_EQ(0, tool({"clear", std::to_string(entries[1].handle)}).exitCode);
    entries = device::notificationList();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(4u, entries[1].type);
}

TEST_F(NotifyCommandTest, BadInputIsRefusedWithAMessageAndChangesNothing) {
    ASSERT_EQ(0, tool({"add", R"({"type": 2})"}).exitCode);
    std::vector<NotificationEntry> before = device::notificationList();
    std::string gone = std::to_string(before[0].handle + 1);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"import", "-"}, R"([{"type": 2}, {"type": 2, "start": "never"}])", 1, "entry 2, start: not a device time"},
        {{"import", "-"}, "[", 1, "line 1, column 2"},
        {{"import", "/nonexistent/queue.json"}, "", 1, "cannot read"},
        {{"add", R"({"type": 2, "user": {"title": 1}})"}, "", 2, "user.title"},
        {{"add", "[]"}, "", 2, "expected an object"},
        {{"add", R"({"type": 1e400})"}, "", 2, "number overflow"},
        {{"import", "-"}, "[1" + std::string(400, '0') + "]", 1, "number overflow"},
        {{"clear", gone}, "", 1, "no notification has the handle " + gone},
        {{"clear", "0"}, "", 2, "not a notification handle"},
        {{"clear", "4294967296"}, "", 2, "not a notification handle"},
        {{"clear", "-3"}, "", 2, "not a notification handle"},
        {{"clear"}, "", 2, "HANDLE"},
        {{"list", "--yaml"}, "", 2, "yaml"},
        {{}, "", 2, "subcommand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        RunResult result = tool(c.args, c.input);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.output;
        EXPECT_NE(std::string::npos, result.output.find(c.says)) << result.output;
    }
    expectSame(before, device::notificationList());
}

}  // namespace
