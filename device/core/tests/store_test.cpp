// The object store under several processes at once.
#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/core/storefiles.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(StoreTest, ConcurrentWritersLoseNothing) {
    testing_support::ScopedDevice device;
    const std::string dir = device.dir();
    const int writers = 4, each = 200;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t child = fork();
        if (child == 0) {
            // A child opens the store for itself, as a separate program would; it leaves
            // the connection inherited from the parent alone.
            std::string error;
            sqlite3* db = device::storeOpen(dir + "/store.db", &error);
            if (!db) _exit(1);
            for (int i = 0; i < each; ++i) {
                device::Transaction change(db);
                int64_t current = 0;
                {
                    device::Statement read(db, "SELECT value FROM settings WHERE name = 'counter'");
                    if (read.step()) current = std::stoll(read.columnText(0));
                }
                device::Statement write(db, "INSERT OR REPLACE INTO settings(name, value) VALUES('counter', ?)");
                if (!change.ok() || !write.bind(1, std::to_string(current + 1)).run() || !change.commit()) _exit(2);
            }
            sqlite3_close(db);
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(std::to_string(writers * each), device::settingGet("counter", "0"));
    device::Statement check(device::store(), "PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ("ok", check.columnText(0));
}

// The guard holds wherever SQLite opens a side file, also after the store's own first look
// (a link planted meanwhile): the open fails, names the file, and nothing is written.
TEST(StoreTest, SideFilesAreOpenedOnlyAsPlainFilesWithOneHostLink) {
    testing_support::ScopedDevice device;
    const std::string store = device.dir() + "-guarded.db", outside = device.dir() + "-notes.txt";
    sqlite3* made = device::storeOpen(store, nullptr);
    ASSERT_NE(nullptr, made);
    sqlite3_close(made);  // the last connection takes its side files with it
    for (const char* side : {"-wal", "-shm"}) {
        for (bool hardLink : {true, false}) {
            SCOPED_TRACE(std::string(side) + (hardLink ? " hard link" : " symbolic link"));
            std::ofstream(outside, std::ios::trunc) << "notes";
            std::string name = store + side;
            if (hardLink) std::filesystem::create_hard_link(outside, name);
            else std::filesystem::create_symlink(outside, name);
            device::storeFilesForget();
            sqlite3* db = nullptr;
            ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr));
            EXPECT_NE(SQLITE_OK, sqlite3_exec(db, "INSERT INTO settings VALUES('a', 'b')", nullptr, nullptr, nullptr));
            sqlite3_close(db);
            EXPECT_NE(std::string::npos, device::storeFilesRefusal().find(name)) << device::storeFilesRefusal();
            EXPECT_EQ("notes", testing_support::ScopedDevice::readHostFile(outside));
            std::filesystem::remove(name);
        }
    }
    for (const char* leftover : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(store + leftover);
    std::filesystem::remove(outside);
}

}  // namespace
