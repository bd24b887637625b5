// The object store under several processes at once, and device opening.
#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
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

TEST(StoreTest, FsMustBeARealFolder) {
    testing_support::ScopedDevice device;
    std::string other = device.dir() + "-linked";
    std::filesystem::create_directories(other);
    std::filesystem::create_directory_symlink("/", other + "/fs");
    std::string error;
    EXPECT_FALSE(device::open(other, &error));
    EXPECT_NE(std::string::npos, error.find("fs")) << error;
    std::filesystem::remove_all(other);
}

TEST(StoreTest, OpeningAFreshFolderInstallsQuillex) {
    testing_support::ScopedDevice device;
    EXPECT_TRUE(device.exists("\\Program Files\\Quillex\\Quillex.exe"));
    for (const char* folder : {"\\Windows", "\\Temp", "\\My Documents"}) EXPECT_TRUE(device.exists(folder)) << folder;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Holvenark Quillex", 0, 0, &key));
    WCHAR value[MAX_PATH];
    DWORD size = sizeof value, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(u"\\Program Files\\Quillex", std::u16string(value));
}

// A second device folder beside the test's own, opened and removed by the test.
class OtherDevice {
public:
    explicit OtherDevice(const testing_support::ScopedDevice& beside) : dir_(beside.dir() + "-other") {
        std::filesystem::create_directories(dir_);
    }
    ~OtherDevice() {
        device::close();
        std::filesystem::remove_all(dir_);
    }
    const std::string& dir() const { return dir_; }
    bool installed() const {
        return std::filesystem::exists(dir_ + "/fs/Program Files/Quillex/Quillex.exe") &&
               std::filesystem::is_directory(dir_ + "/fs/Temp") && installKeyPresent();
    }

private:
    static bool installKeyPresent() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Holvenark Quillex", 0, 0, &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD size = 0;
        LONG result = RegQueryValueExW(key, u"InstallDir", nullptr, nullptr, nullptr, &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    std::string dir_;
};

TEST(StoreTest, AnInstallCutShortIsFinishedOnTheNextOpening) {
    testing_support::ScopedDevice device;
    OtherDevice other(device);
    // The install's last registry write fails, as on a full disk: the store keeps nothing
    // of the install, and the next opening installs the device whole.
    device::faultArm("RegSetValueExW", 1);
    std::string error;
    EXPECT_FALSE(device::open(other.dir(), &error));
    device::faultDisarmAll();
    ASSERT_TRUE(device::open(other.dir(), &error)) << error;
    EXPECT_TRUE(other.installed());
}

TEST(StoreTest, TheLayoutVersionIsCheckedAndAnEmptyFileIsANewDevice) {
    testing_support::ScopedDevice device;
    OtherDevice other(device);
    const std::string store = other.dir() + "/store.db";
    auto runSql = [&](const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(store.c_str(), &db));
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
        sqlite3_close(db);
    };
    std::string error;
    std::ofstream(store).close();  // zero bytes
    ASSERT_TRUE(device::open(other.dir(), &error)) << error;
    EXPECT_TRUE(other.installed());
    device::close();

    runSql("PRAGMA user_version = 99");
    EXPECT_FALSE(device::open(other.dir(), &error));
    EXPECT_NE(std::string::npos, error.find("another version of the device (layout 99")) << error;

    std::filesystem::remove(store);
    runSql("CREATE TABLE photos(id INTEGER)");
    EXPECT_FALSE(device::open(other.dir(), &error));
    EXPECT_NE(std::string::npos, error.find("not a device's object store")) << error;

    // A store made before the version was kept has this layout: it is taken, and stamped.
    std::filesystem::remove(store);
    ASSERT_TRUE(device::open(other.dir(), &error)) << error;
    device::close();
    runSql("PRAGMA user_version = 0");
    ASSERT_TRUE(device::open(other.dir(), &error)) << error;
    device::Statement version(device::store(), "PRAGMA user_version");
    ASSERT_TRUE(version.step());
    EXPECT_EQ(1, version.columnInt(0));
}

}  // namespace
