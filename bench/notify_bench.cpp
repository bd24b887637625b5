// Notification cleanup benchmark: a queue of 100,000 entries (a realistic mix, half of
// them to be removed) cleaned through `quillex n`, beside the same reads and deletes done
// directly in SQLite on an identical queue, in one run. Reports entries per second.
//   notify_bench QUILLEX-BINARY [ENTRIES]
#include "device/kernel/clock.h"
#include "device/boot/device.h"
#include "device/notifications/notifications.h"
#include "device/core/store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

SYSTEMTIME day(int dayOfMonth, int month, int year, int hour) {
    return SYSTEMTIME{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(dayOfMonth),
                      static_cast<WORD>(hour), 0, 0, 0};
}

// Pairs of entries: the first always stays, the second always goes (as a duplicate, a
// stale or far-future time, or an unwanted event entry), so exactly half are removed.
std::vector<device::NotificationEntry> mixedQueue(int entries) {
    std::vector<device::NotificationEntry> queue;
    for (int i = 0; i < entries / 2; ++i) {
        device::NotificationEntry keep;
        keep.type = i % 5 == 0 ? CNT_EVENT : CNT_TIME;
        keep.event = 1 + i % 9;
        keep.application = u"\\Windows\\app" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u".exe";
        keep.arguments = u"AppRunAt" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
        keep.start = day(1 + i % 28, 1 + i % 12, 2027, i % 24);
        if (i % 3 == 0) {
            keep.hasUser = true;
            keep.title = u"Reminder";
            keep.text = u"Meeting in room " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
        }
        device::NotificationEntry drop = keep;
        switch (i % 4) {
        case 0: break;  // a duplicate of its neighbour
        case 1: drop.type = CNT_TIME; drop.start = day(1, 1, 2020, 9); break;
        case 2: drop.type = CNT_TIME; drop.start = day(1, 1, 2040, 9); break;
        case 3: drop.type = CNT_EVENT; drop.arguments = std::nullopt; break;
        }
        queue.push_back(keep);
        queue.push_back(drop);
    }
    return queue;
}

bool makeDevice(const fs::path& dir, int entries) {
    std::string error;
    if (!device::open(dir.string(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::vector<device::NotificationEntry> queue = mixedQueue(entries);
    bool ok = device::notificationAdd(queue, &error);
    // Every device in this run sees the same "now": 7 December 2025, 10:00.
    SYSTEMTIME now = day(7, 12, 2025, 10);
    FILETIME instant;
    SystemTimeToFileTime(&now, &instant);
    device::clockFreeze(device::fileTimeCount(instant));
    device::close();
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The baseline: the same statements the cleanup needs, straight on SQLite — list the
// handles, read each entry twice (size, then record), delete the unwanted half one
// statement at a time, as separate processes would.
int sqliteBaseline(const fs::path& store) {
    sqlite3* db = nullptr;
    sqlite3_open(store.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    std::vector<int64_t> handles;
    sqlite3_stmt* list;
    sqlite3_prepare_v2(db, "SELECT handle FROM notifications ORDER BY handle", -1, &list, nullptr);
    while (sqlite3_step(list) == SQLITE_ROW) handles.push_back(sqlite3_column_int64(list, 0));
    sqlite3_finalize(list);
    sqlite3_stmt* read;
    sqlite3_prepare_v2(db, "SELECT * FROM notifications WHERE handle = ?", -1, &read, nullptr);
    size_t bytes = 0;
    for (int64_t handle : handles) {
        for (int pass = 0; pass < 2; ++pass) {
            sqlite3_bind_int64(read, 1, handle);
            if (sqlite3_step(read) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(read); ++c) bytes += sqlite3_column_bytes(read, c);
            sqlite3_reset(read);
        }
    }
    sqlite3_finalize(read);
    sqlite3_stmt* remove;
    sqlite3_prepare_v2(db, "DELETE FROM notifications WHERE handle = ?", -1, &remove, nullptr);
    for (size_t i = 1; i < handles.size(); i += 2) {
        sqlite3_bind_int64(remove, 1, handles[i]);
        sqlite3_step(remove);
        sqlite3_reset(remove);
    }
    sqlite3_finalize(remove);
    sqlite3_close(db);
    return static_cast<int>(bytes > 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: notify_bench QUILLEX-BINARY [ENTRIES]\n");
        return 2;
    }
    int entries = argc > 2 ? std::atoi(argv[2]) : 100000;
    fs::path work = fs::temp_directory_path() / ("quillex-notify-bench-" + std::to_string(getpid()));
    std::printf("building two queues of %d entries...\n", entries);
    if (!makeDevice(work / "program", entries) || !makeDevice(work / "baseline", entries)) return 1;

    auto start = std::chrono::steady_clock::now();
    std::string command = std::string(argv[1]) + " --device '" + (work / "program").string() + "' n";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "quillex failed\n");
    double program = since(start);

    start = std::chrono::steady_clock::now();
    sqliteBaseline(work / "baseline" / "store.db");
    double baseline = since(start);

    std::string error;
    device::open((work / "program").string(), &error);
    size_t left = device::notificationList().size();
    device::close();
    std::printf("%-26s %8.3f s  %10.0f entries/s\n", "quillex n", program, entries / program);
    std::printf("%-26s %8.3f s  %10.0f entries/s\n", "SQLite directly", baseline, entries / baseline);
    std::printf("ratio %.2fx; entries left after quillex n: %zu of %d\n", program / baseline, left, entries);
    fs::remove_all(work);
    return 0;
}
