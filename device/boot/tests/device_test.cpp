// Opening a device: a fresh folder installed, a cut-short install finished, the store's
// layout checked, fs/ a real folder; and the host's program registered on install.
#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/kernel/processes.h"
#include "host/program/program.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using testing_support::ScopedDevice;

std::string canonical(const std::string& path) { return std::filesystem::canonical(path).string(); }

TEST(DeviceOpenTest, FsMustBeARealFolder) {
    testing_support::ScopedDevice device;
    std::string other = device.dir() + "-linked";
    std::filesystem::create_directories(other);
    std::filesystem::create_directory_symlink("/", other + "/fs");
    std::string error;
    EXPECT_FALSE(device::open(other, &error));
    EXPECT_NE(std::string::npos, error.find("fs")) << error;
    std::filesystem::remove_all(other);
}

TEST(DeviceOpenTest, OpeningAFreshFolderInstallsQuillex) {
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

TEST(DeviceOpenTest, AnInstallCutShortIsFinishedOnTheNextOpening) {
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

TEST(DeviceOpenTest, TheLayoutVersionIsCheckedAndAnEmptyFileIsANewDevice) {
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

TEST(InstallTest, QuillexIsRegisteredWhenItsHostProgramIsKnown) {
    ScopedDevice device;
    // A device installed by a process that knows no quillex runs nothing for Quillex.exe.
    EXPECT_FALSE(device::programHost(u"\\Program Files\\Quillex\\Quillex.exe"));
    EXPECT_TRUE(device.exists("\\Windows\\calnot.exe"));
    EXPECT_TRUE(device.exists("\\Windows\\clocknot.exe"));

    host::introduceProgram(testing_support::quillexBinary());
    std::string error;
    bool installed = device::install(&error);
    host::introduceProgram("");
    ASSERT_TRUE(installed) << error;
    EXPECT_EQ(testing_support::quillexBinary(), device::programHost(u"\\PROGRAM FILES\\quillex\\QUILLEX.EXE"));
    // Repeating the installation without a known quillex keeps the registration.
    ASSERT_TRUE(device::install(&error));
    EXPECT_EQ(testing_support::quillexBinary(), device::programHost(u"\\Program Files\\Quillex\\Quillex.exe"));

    // The tool finds the quillex built beside it (one folder up in the build tree); `init`
    // registers it, and quillex itself registers its own executable on a device it creates.
    std::string quillex = canonical(testing_support::quillexBinary());
    EXPECT_EQ(quillex, host::findQuillexNear(testing_support::deviceToolBinary()));
    EXPECT_EQ(quillex, host::findQuillexNear(testing_support::quillexBinary()));
    EXPECT_EQ("", host::findQuillexNear(device.dir() + "/fs/tool"));
    EXPECT_EQ("", host::findQuillexNear(""));

    std::string fresh = device.dir() + "-other";
    testing_support::RunResult created = testing_support::run(testing_support::quillexBinary(), {"--device", fresh, "t"});
    ASSERT_EQ(0, created.exitCode) << created.output;
    testing_support::RunResult init = testing_support::run(testing_support::deviceToolBinary(), {"--device", device.dir(), "init"});
    ASSERT_EQ(0, init.exitCode) << init.output;
    EXPECT_EQ(quillex, device::programHost(u"\\Program Files\\Quillex\\Quillex.exe"));
    ASSERT_TRUE(device::open(fresh, nullptr));
    EXPECT_EQ(quillex, device::programHost(u"\\Program Files\\Quillex\\Quillex.exe"));
    ASSERT_TRUE(device::open(device.dir(), nullptr));
    std::filesystem::remove_all(fresh);
}

// What a folder holds decides what opening it may do: reading opens only a finished device
// and changes nothing else; making turns a new, empty or half-made folder into a device,
// but never a folder of other things.
TEST(DeviceOpenTest, OnlyAFinishedDeviceOpensForReadingAndNoFolderOfOtherThingsIsMadeOne) {
    ScopedDevice device;
    const std::string dir = device.dir() + "-other";
    namespace fs = std::filesystem;
    // Lays the folder out as the case says.
    auto layOut = [&](const std::string& state) {
        fs::remove_all(dir);
        if (state == "missing") return;
        fs::create_directories(dir);
        if (state == "fs only") fs::create_directory(dir + "/fs");
        if (state == "other things") std::ofstream(dir + "/notes.txt") << "mine";
        if (state == "device" || state == "device and other things" || state == "install cut short") {
            if (state == "install cut short") device::faultArm("RegSetValueExW", 1);
            std::string ignored;
            device::open(dir, &ignored);
            device::faultDisarmAll();
            device::close();
        }
        if (state == "device and other things") std::ofstream(dir + "/notes.txt") << "mine";
    };
    // Every name in the folder and below, to see that nothing changed.
    auto names = [&]() {
        std::vector<std::string> found;
        if (fs::exists(dir))
            for (const auto& entry : fs::recursive_directory_iterator(dir)) found.push_back(entry.path().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    using device::Opened;
    struct Case {
        const char* state;
        Opened reading, making;
    } cases[] = {
        {"missing", Opened::absent, Opened::made},
        {"empty", Opened::absent, Opened::made},
        {"fs only", Opened::absent, Opened::made},
        {"other things", Opened::occupied, Opened::occupied},
        {"install cut short", Opened::absent, Opened::existing},
        {"device", Opened::existing, Opened::existing},
        {"device and other things", Opened::existing, Opened::existing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        layOut(c.state);
        std::vector<std::string> before = names();
        std::string error;
        EXPECT_EQ(c.reading, device::openDevice(dir, device::OpenMode::existingOnly, &error)) << error;
        device::close();
        if (c.reading != Opened::existing) {
            EXPECT_EQ(before, names());
        }
        EXPECT_EQ(c.making, device::openDevice(dir, device::OpenMode::makeWhenAbsent, &error)) << error;
        device::close();
        bool isDevice = c.making == Opened::made || c.making == Opened::existing;
        EXPECT_EQ(isDevice, fs::exists(dir + "/fs/Program Files/Quillex/Quillex.exe"));
        if (!isDevice) {
            EXPECT_EQ(before, names());
        }
    }
    fs::remove_all(dir);
    ASSERT_TRUE(device::open(device.dir(), nullptr));
}

}  // namespace
