// Tests of the notification database: the calling conventions of the four operations
// (buffers are filled with 0xbd first so any write past what is allowed shows), the record
// layout, delivery order, handles, other processes, the raw-record hook and chosen failures.
#include "device/notifications/notifications.h"

#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using device::NotificationEntry;
using testing_support::ScopedDevice;

namespace {

constexpr BYTE kSentinel = 0xbd;
using Text = std::optional<std::u16string>;

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0, WORD ms = 0,
              WORD dayOfWeek = 0) {
    return SYSTEMTIME{year, month, dayOfWeek, day, hour, minute, second, ms};
}

WCHAR* raw(const Text& text) { return text ? const_cast<WCHAR*>(text->c_str()) : nullptr; }

DWORD number(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle)); }
HANDLE handleOf(DWORD number) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(number)); }

// Adds the entry through the platform operation, as the program does.
HANDLE add(const NotificationEntry& entry, HANDLE replacing = nullptr) {
    CE_NOTIFICATION_TRIGGER trigger{sizeof(CE_NOTIFICATION_TRIGGER), entry.type, entry.event, raw(entry.application),
                                    raw(entry.arguments), entry.start, entry.end};
    CE_USER_NOTIFICATION user{entry.actionFlags, raw(entry.title), raw(entry.text),
                              raw(entry.sound), entry.maxSound, 0};
    return CeSetUserNotificationEx(replacing, &trigger, entry.hasUser ? &user : nullptr);
}

NotificationEntry timeEntry(const char16_t* application, const char16_t* arguments, SYSTEMTIME start) {
    NotificationEntry entry;
    entry.type = CNT_TIME;
    if (application) entry.application = application;
    if (arguments) entry.arguments = arguments;
    entry.start = start;
    return entry;
}

std::vector<DWORD> queue() {
    DWORD count = 0;
    EXPECT_TRUE(CeGetUserNotificationHandles(nullptr, 0, &count));
    std::vector<HANDLE> handles(count + 1);
    DWORD delivered = 0;
    EXPECT_TRUE(CeGetUserNotificationHandles(handles.data(), count, &delivered));
    std::vector<DWORD> numbers;
    for (DWORD i = 0; i < delivered; ++i) numbers.push_back(number(handles[i]));
    return numbers;
}

std::vector<BYTE> readRecord(HANDLE handle) {
    DWORD size = 0;
    EXPECT_FALSE(CeGetUserNotification(handle, 0, &size, nullptr));
    std::vector<BYTE> buffer(size, kSentinel);
    EXPECT_TRUE(CeGetUserNotification(handle, size, &size, buffer.data()));
    return buffer;
}

// Reads a record the way a careful reader would: every part and every string, with its
// terminator, must lie inside the buffer. Failures are reported where they are found.
class RecordReader {
public:
    explicit RecordReader(const std::vector<BYTE>& buffer)
        : begin_(reinterpret_cast<uintptr_t>(buffer.data())), end_(begin_ + buffer.size()) {}

    template <class T>
    bool inside(const T* part, size_t bytes = sizeof(T)) const {
        uintptr_t at = reinterpret_cast<uintptr_t>(part);
        return at >= begin_ && at <= end_ && bytes <= end_ - at && at % alignof(T) == 0;
    }

    Text text(const WCHAR* text) const {
        if (!text) return std::nullopt;
        EXPECT_TRUE(inside(text, sizeof(WCHAR)));
        std::u16string read;
        for (const WCHAR* c = text; inside(c, sizeof(WCHAR)); ++c) {
            if (*c == 0) return read;
            read += *c;
        }
        ADD_FAILURE() << "string runs past the end of the record";
        return std::nullopt;
    }

    // RETURNS the entry the record describes.
    NotificationEntry entry(const CE_NOTIFICATION_INFO_HEADER* header) const {
        NotificationEntry entry;
        EXPECT_TRUE(inside(header));
        entry.handle = number(header->hNotification);
        EXPECT_EQ(0u, header->dwStatus);
        const CE_NOTIFICATION_TRIGGER* trigger = header->pcent;
        EXPECT_TRUE(trigger && inside(trigger));
        if (!trigger || !inside(trigger)) return entry;
        EXPECT_EQ(sizeof(CE_NOTIFICATION_TRIGGER), trigger->dwSize);
        entry.type = trigger->dwType;
        entry.event = trigger->dwEvent;
        entry.application = text(trigger->lpszApplication);
        entry.arguments = text(trigger->lpszArguments);
        entry.start = trigger->stStartTime;
        entry.end = trigger->stEndTime;
        if (const CE_USER_NOTIFICATION* user = header->pceun) {
            EXPECT_TRUE(inside(user));
            if (!inside(user)) return entry;
            entry.hasUser = true;
            entry.actionFlags = user->ActionFlags;
            entry.title = text(user->pwszDialogTitle);
            entry.text = text(user->pwszDialogText);
            entry.sound = text(user->pwszSound);
            entry.maxSound = user->nMaxSound;
        }
        return entry;
    }

private:
    uintptr_t begin_, end_;
};

void expectSameEntry(const NotificationEntry& want, const NotificationEntry& got) {
    EXPECT_EQ(want.type, got.type);
    EXPECT_EQ(want.event, got.event);
    EXPECT_EQ(want.application, got.application);
    EXPECT_EQ(want.arguments, got.arguments);
    EXPECT_EQ(0, std::memcmp(&want.start, &got.start, sizeof want.start));
    EXPECT_EQ(0, std::memcmp(&want.end, &got.end, sizeof want.end));
    EXPECT_EQ(want.hasUser, got.hasUser);
    if (want.hasUser && got.hasUser) {
        EXPECT_EQ(want.actionFlags, got.actionFlags);
        EXPECT_EQ(want.title, got.title);
        EXPECT_EQ(want.text, got.text);
        EXPECT_EQ(want.sound, got.sound);
        EXPECT_EQ(want.maxSound, got.maxSound);
    }
}

class NotificationsTest : public ::testing::Test {
protected:
    ScopedDevice device;
};

TEST_F(NotificationsTest, HandleQueriesCountAndFillUpToTheCapacity) {
    DWORD count = 99;
    ASSERT_TRUE(CeGetUserNotificationHandles(nullptr, 0, &count));
    EXPECT_EQ(0u, count);
    std::vector<DWORD> added;
    for (int i = 0; i < 5; ++i) added.push_back(number(add(timeEntry(u"\\a.exe", nullptr, at(2026, 1, 1)))));
    ASSERT_TRUE(CeGetUserNotificationHandles(nullptr, 0, &count));
    EXPECT_EQ(5u, count);

    HANDLE handles[8];
    std::fill(std::begin(handles), std::end(handles), INVALID_HANDLE_VALUE);
    DWORD delivered = 0;
    ASSERT_TRUE(CeGetUserNotificationHandles(handles, 3, &delivered));
    ASSERT_EQ(3u, delivered);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(added[i], number(handles[i]));
    EXPECT_EQ(INVALID_HANDLE_VALUE, handles[3]) << "written past the capacity";
    ASSERT_TRUE(CeGetUserNotificationHandles(handles, 8, &delivered));
    EXPECT_EQ(5u, delivered);
    EXPECT_EQ(added, queue());

    EXPECT_FALSE(CeGetUserNotificationHandles(handles, 8, nullptr));
    EXPECT_FALSE(CeGetUserNotificationHandles(nullptr, 4, &count));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(NotificationsTest, ReadFollowsTheSizeConventions) {
    HANDLE handle = add(timeEntry(u"\\Windows\\clock.exe", u"-alarm", at(2026, 12, 8, 7, 30)));
    ASSERT_NE(nullptr, handle);
    DWORD size = 12345;
    SetLastError(0);
    EXPECT_FALSE(CeGetUserNotification(handle, 0, &size, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_GT(size, sizeof(CE_NOTIFICATION_INFO_HEADER) + sizeof(CE_NOTIFICATION_TRIGGER));

    // One byte short: refused, the size reported again, nothing written.
    std::vector<BYTE> small(size - 1, kSentinel);
    DWORD needed = 0;
    EXPECT_FALSE(CeGetUserNotification(handle, size - 1, &needed, small.data()));
    EXPECT_EQ(size, needed);
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](BYTE b) { return b == kSentinel; }));

    // Exactly the size, and one more (as the cleanup asks): filled, the extra byte untouched.
    for (DWORD extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        std::vector<BYTE> buffer(size + extra, kSentinel);
        needed = 0;
        ASSERT_TRUE(CeGetUserNotification(handle, size + extra, &needed, buffer.data()));
        EXPECT_EQ(size, needed);
        if (extra) {
            EXPECT_EQ(kSentinel, buffer.back());
        }
        auto* header = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(buffer.data());
        EXPECT_EQ(u"-alarm", RecordReader(buffer).text(header->pcent->lpszArguments).value_or(u"<absent>"));
    }

    // A handle that names no entry: fails with size 0.
    for (HANDLE unknown : {handleOf(number(handle) + 1), static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        needed = 77;
        EXPECT_FALSE(CeGetUserNotification(unknown, 0, &needed, nullptr));
        EXPECT_EQ(0u, needed);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
}

TEST_F(NotificationsTest, RecordsHoldEveryPartInsideTheBuffer) {
    NotificationEntry withUser =
        timeEntry(u"\\Program Files\\Quillex\\Quillex.exe", u"-auto", at(2026, 12, 8, 7, 30, 0, 0, 2));
    withUser.hasUser = true;
    withUser.actionFlags = 0x25;
    withUser.title = u"Alarm";
    withUser.text = u"";
    withUser.sound = u"\\Windows\\Alarm1.wav";
    withUser.maxSound = 260;
    withUser.end = at(2026, 12, 8, 8, 0);
    NotificationEntry userWithoutStrings = timeEntry(nullptr, nullptr, at(2027, 1, 1));
    userWithoutStrings.hasUser = true;
    NotificationEntry event;
    event.type = CNT_EVENT;
    event.event = 11;
    event.application = u"connmgr.exe";
    event.arguments = u"";
    NotificationEntry odd = timeEntry(u"\u00e9t\u00e9 \U0001F600", u"", at(2026, 13, 40, 25, 61, 61, 1000, 9));
    odd.type = 0xFFFFFFFF;
    odd.event = 0x80000000;
    const NotificationEntry cases[] = {withUser, userWithoutStrings, event, odd, timeEntry(u"", nullptr, SYSTEMTIME{})};
    for (const NotificationEntry& want : cases) {
        SCOPED_TRACE(testing::Message() << "type " << want.type << ", user " << want.hasUser);
        HANDLE handle = add(want);
        ASSERT_NE(nullptr, handle);
        std::vector<BYTE> buffer = readRecord(handle);
        auto* header = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(buffer.data());
        NotificationEntry got = RecordReader(buffer).entry(header);
        EXPECT_EQ(number(handle), got.handle);
        expectSameEntry(want, got);
        // The database's own view agrees with the record.
        std::vector<NotificationEntry> listed = device::notificationList();
        ASSERT_FALSE(listed.empty());
        EXPECT_EQ(number(handle), listed.back().handle);
        expectSameEntry(want, listed.back());
    }
}

TEST_F(NotificationsTest, PointersLeadIntoWhicheverBufferIsGiven) {
    NotificationEntry entry = timeEntry(u"\\a.exe", u"x", at(2026, 5, 5));
    entry.hasUser = true;
    entry.title = u"t";
    HANDLE handle = add(entry);
    std::vector<BYTE> first = readRecord(handle);
    // A buffer at an odd address: the parts are copied in whole, the pointers still lead inside.
    std::vector<BYTE> odd(first.size() + 1, kSentinel);
    DWORD size = 0;
    ASSERT_TRUE(CeGetUserNotification(handle, static_cast<DWORD>(first.size()), &size, odd.data() + 1));
    EXPECT_EQ(kSentinel, odd[0]);
    CE_NOTIFICATION_INFO_HEADER header;
    std::memcpy(&header, odd.data() + 1, sizeof header);
    uintptr_t base = reinterpret_cast<uintptr_t>(odd.data() + 1);
    uintptr_t trigger = reinterpret_cast<uintptr_t>(header.pcent);
    uintptr_t user = reinterpret_cast<uintptr_t>(header.pceun);
    ASSERT_TRUE(trigger > base && trigger + sizeof(CE_NOTIFICATION_TRIGGER) <= base + size);
    ASSERT_TRUE(user > trigger && user + sizeof(CE_USER_NOTIFICATION) <= base + size);
    // Apart from the pointers, both reads hold the same bytes at the same places.
    const CE_NOTIFICATION_INFO_HEADER* aligned = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(first.data());
    EXPECT_EQ(trigger - base, reinterpret_cast<uintptr_t>(aligned->pcent) - reinterpret_cast<uintptr_t>(first.data()));
    CE_NOTIFICATION_TRIGGER copy;
    std::memcpy(&copy, odd.data() + 1 + (trigger - base), sizeof copy);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(aligned->pcent->lpszArguments) - reinterpret_cast<uintptr_t>(first.data()),
              reinterpret_cast<uintptr_t>(copy.lpszArguments) - base);
    EXPECT_EQ(0, std::memcmp(first.data() + (first.size() - 4), odd.data() + 1 + (first.size() - 4), 4));
}

TEST_F(NotificationsTest, DeliveryOrderIsTheOrderAdded) {
    HANDLE a = add(timeEntry(u"a", nullptr, at(2026, 3, 1)));
    HANDLE b = add(timeEntry(u"b", nullptr, at(2026, 1, 1)));  // earlier start, still behind a
    HANDLE c = add(timeEntry(u"c", nullptr, at(2026, 2, 1)));
    EXPECT_EQ((std::vector<DWORD>{number(a), number(b), number(c)}), queue());
    EXPECT_TRUE(CeClearUserNotification(b));
    HANDLE d = add(timeEntry(u"d", nullptr, at(2026, 1, 1)));
    EXPECT_EQ((std::vector<DWORD>{number(a), number(c), number(d)}), queue());

    // Replacing keeps the handle and the place, and may drop the user part.
    NotificationEntry changed = timeEntry(u"a2", u"", at(2030, 1, 1));
    EXPECT_EQ(a, add(changed, a));
    EXPECT_EQ((std::vector<DWORD>{number(a), number(c), number(d)}), queue());
    std::vector<BYTE> record = readRecord(a);
    auto* header = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record.data());
    expectSameEntry(changed, RecordReader(record).entry(header));
    EXPECT_EQ(u"a2", device::notificationList().front().application);

    // Replacing an entry that is gone, and a missing trigger, fail and add nothing.
    EXPECT_EQ(nullptr, add(changed, b));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, CeSetUserNotificationEx(nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(3u, queue().size());
    EXPECT_FALSE(CeClearUserNotification(b));
    EXPECT_FALSE(CeClearUserNotification(nullptr));
}

TEST_F(NotificationsTest, HandlesAreNeverReused) {
    std::vector<DWORD> seen;
    for (int round = 0; round < 3; ++round) {
        HANDLE handle = add(timeEntry(u"x", nullptr, at(2026, 1, 1)));
        ASSERT_NE(nullptr, handle);
        EXPECT_NE(0u, number(handle));
        if (!seen.empty()) {
            EXPECT_GT(number(handle), seen.back());
        }
        seen.push_back(number(handle));
        EXPECT_TRUE(CeClearUserNotification(handle));  // the queue is empty again
    }
    // Nor after the device is opened anew.
    std::string error;
    ASSERT_TRUE(device::open(device.dir(), &error)) << error;
    HANDLE later = add(timeEntry(u"x", nullptr, at(2026, 1, 1)));
    EXPECT_GT(number(later), seen.back());
}

TEST_F(NotificationsTest, HandlesStayWithin32BitsAndAddsAreAllOrNothing) {
    add(timeEntry(u"first", nullptr, at(2026, 1, 1)));
    device::Statement jump(device::store(), "UPDATE sqlite_sequence SET seq = 4294967294 WHERE name = 'notifications'");
    ASSERT_TRUE(jump.run());
    std::vector<NotificationEntry> two = {timeEntry(u"last", nullptr, at(2026, 1, 1)),
                                          timeEntry(u"beyond", nullptr, at(2026, 1, 1))};
    std::string error;
    EXPECT_FALSE(device::notificationAdd(two, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(1u, queue().size()) << "the first of the two must not stay";
    two.pop_back();
    ASSERT_TRUE(device::notificationAdd(two, &error)) << error;
    EXPECT_EQ(0xFFFFFFFFu, two[0].handle);
    EXPECT_EQ(0xFFFFFFFFu, queue().back());
    EXPECT_EQ(nullptr, add(timeEntry(u"none left", nullptr, at(2026, 1, 1))));
}

TEST_F(NotificationsTest, CloseHandleAcceptsTheHandleAndKeepsTheEntry) {
    HANDLE handle = add(timeEntry(u"\\Quillex.exe", u"-auto", at(2026, 1, 1)));
    ASSERT_NE(nullptr, handle);
    EXPECT_TRUE(device::isNotificationHandle(handle));
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(std::vector<DWORD>{number(handle)}, queue());
    EXPECT_FALSE(device::isNotificationHandle(handleOf(number(handle) + 1)));
    EXPECT_FALSE(CloseHandle(handleOf(number(handle) + 1)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(device::isNotificationHandle(nullptr));
    EXPECT_FALSE(device::isNotificationHandle(reinterpret_cast<HANDLE>(uintptr_t(1) << 32 | number(handle))));
}

TEST_F(NotificationsTest, AddsFromSeveralProcessesAreAllKeptInOrder) {
    const int children = 3, each = 8;
    std::vector<pid_t> pids;
    for (int c = 0; c < children; ++c) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // A separate program on the same device; this process's connection stays untouched.
            int code = 0;
            for (int i = 0; i < each && code == 0; ++i) {
                std::string entry = "{\"type\": 2, \"application\": \"child" + std::to_string(c) +
                                    "\", \"arguments\": \"" + std::to_string(i) + "\"}";
                auto result = testing_support::run(testing_support::deviceToolBinary(),
                                                   {"--device", device.dir(), "notify", "add", entry});
                if (result.exitCode != 0) code = 1;
            }
            _exit(code);
        }
        pids.push_back(pid);
    }
    for (int i = 0; i < each; ++i) {
        std::u16string digit(1, static_cast<char16_t>(u'0' + i));
        EXPECT_NE(nullptr, add(timeEntry(u"parent", digit.c_str(), at(2026, 1, 1))));
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<NotificationEntry> entries = device::notificationList();
    ASSERT_EQ(static_cast<size_t>((children + 1) * each), entries.size());
    // Every writer's entries appear in the order it added them, handles rising throughout.
    std::map<std::u16string, int> nextOf;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(entries[i].handle, entries[i - 1].handle);
        }
        ASSERT_TRUE(entries[i].application && entries[i].arguments);
        int& next = nextOf[*entries[i].application];
        EXPECT_EQ(std::u16string(1, static_cast<char16_t>(u'0' + next)), *entries[i].arguments);
        ++next;
    }
    EXPECT_EQ(static_cast<size_t>(children + 1), nextOf.size());
}

TEST_F(NotificationsTest, RawRecordHookHandsOutChosenBytes) {
    HANDLE handle = add(timeEntry(u"\\a.exe", nullptr, at(2026, 1, 1)));
    std::vector<BYTE> real = readRecord(handle);
    const std::string bytes("\x01\x02\x03\xff garbage that points nowhere", 33);
    device::notificationSetRawRecordForTest(number(handle), bytes);
    DWORD size = 0;
    EXPECT_FALSE(CeGetUserNotification(handle, 0, &size, nullptr));
    EXPECT_EQ(bytes.size(), size);
    std::vector<BYTE> buffer(size + 1, kSentinel);
    ASSERT_TRUE(CeGetUserNotification(handle, size + 1, &size, buffer.data()));
    EXPECT_EQ(bytes, std::string(buffer.begin(), buffer.end() - 1));
    EXPECT_EQ(kSentinel, buffer.back());

    device::notificationSetRawRecordForTest(number(handle), "");
    EXPECT_EQ(real.size(), readRecord(handle).size());
    // A hooked entry that has been cleared is gone like any other.
    device::notificationSetRawRecordForTest(number(handle), bytes);
    ASSERT_TRUE(CeClearUserNotification(handle));
    EXPECT_FALSE(CeGetUserNotification(handle, 0, &size, nullptr));
    EXPECT_EQ(0u, size);
}

TEST_F(NotificationsTest, ChosenFailuresFailAsTheDatabaseWouldAndChangeNothing) {
    HANDLE handle = add(timeEntry(u"\\a.exe", nullptr, at(2026, 1, 1)));
    NotificationEntry other = timeEntry(u"\\b.exe", nullptr, at(2026, 1, 1));
    CE_NOTIFICATION_TRIGGER trigger{sizeof(CE_NOTIFICATION_TRIGGER), CNT_TIME, 0, raw(other.application), nullptr,
                                    other.start, {}};
    std::vector<BYTE> buffer(4096, kSentinel);
    DWORD out = 5;
    struct Case {
        const char* operation;
        std::function<bool()> call;  // true when the call succeeded
        DWORD error;
    } cases[] = {
        {"CeGetUserNotificationHandles", [&] { return CeGetUserNotificationHandles(nullptr, 0, &out) != 0; },
         ERROR_NOT_ENOUGH_MEMORY},
        {"CeGetUserNotification", [&] { return CeGetUserNotification(handle, 4096, &out, buffer.data()) != 0; },
         ERROR_INVALID_HANDLE},
        {"CeClearUserNotification", [&] { return CeClearUserNotification(handle) != 0; }, ERROR_INVALID_HANDLE},
        {"CeSetUserNotificationEx", [&] { return CeSetUserNotificationEx(nullptr, &trigger, nullptr) != nullptr; },
         ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        device::faultArm(c.operation, 1);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(std::vector<DWORD>{number(handle)}, queue());
    }
    EXPECT_EQ(0u, out);  // the failed read reported no size
    EXPECT_EQ(kSentinel, buffer[0]);
    // Disarmed after one failure: the next calls work.
    EXPECT_TRUE(CeGetUserNotification(handle, 4096, &out, buffer.data()));
    EXPECT_NE(nullptr, CeSetUserNotificationEx(nullptr, &trigger, nullptr));
    EXPECT_TRUE(CeClearUserNotification(handle));
}

}  // namespace
