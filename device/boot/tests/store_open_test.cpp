// Opening a device's store through the built tools, as a user meets it: a file that is not
// the device's own is refused as it was found, and named; a full disk still opens for
// reading and deleting, and says so where it refuses a change; a read-only store says so.
#include "tests/support/as_user.h"
#include "tests/support/scoped_device.h"
#include "tests/support/small_disk.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;
using testing_support::RunResult;

const std::string kEntry = R"({"type": 1, "event": 5, "application": "\\x.exe"})";

// A fresh temporary folder of the test's own.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "quillex-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

RunResult tool(const std::vector<std::string>& args, const std::string& input = "") {
    return testing_support::run(testing_support::deviceToolBinary(), args, input);
}

void runSql(const std::string& file, const std::string& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, statements.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A device made and left by quillex, which closes its store: only store.db stays beside fs/.
void makeDevice(const std::string& dir) {
    RunResult made = testing_support::run(testing_support::quillexBinary(), {"--device", dir, "--quiet", "t"});
    ASSERT_EQ(0, made.exitCode) << made.output;
    ASSERT_FALSE(fs::exists(dir + "/store.db-wal"));
}

// A file's bytes in a few words: its size and a hash of its bytes.
std::string fingerprint(const std::string& bytes) {
    return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(bytes));
}

// Every entry of the device folder, with its bytes or where its link leads (fs/ only as
// being there).
std::map<std::string, std::string> folderEntries(const std::string& dir) {
    std::map<std::string, std::string> entries;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ignored)) {
        std::string name = entry.path().filename().string();
        if (entry.is_symlink()) entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory()) entries[name] = "folder";
        else entries[name] = fingerprint(testing_support::ScopedDevice::readHostFile(entry.path().string()));
    }
    return entries;
}

struct Planting {
    const char* what;
    std::function<void(const std::string& dir, const std::string& outside)> plant;
    std::string says;
    bool device;  // a device folder (fs/ there): reading commands open it too and say so
};

std::vector<Planting> plantings() {
    auto database = [](std::string statements) {
        return [statements](const std::string& dir, const std::string&) {
            fs::create_directories(dir);
            runSql(dir + "/store.db", statements);
        };
    };
    std::vector<Planting> rows = {
        {"another program's database", database("CREATE TABLE photos(id); INSERT INTO photos VALUES(1)"),
         "it holds other tables", false},
        {"another program's database in WAL mode", database("PRAGMA journal_mode=WAL; CREATE TABLE photos(id)"),
         "it holds other tables", false},
        {"a store of another layout", database("CREATE TABLE settings(name, value); PRAGMA user_version = 99"),
         "layout 99", false},
        {"another program's empty database", database("PRAGMA application_id = 4660; CREATE TABLE t(x); DROP TABLE t"),
         "application id 4660", false},
        {"a text file",
         [](const std::string& dir, const std::string&) {
             fs::create_directories(dir);
             std::ofstream(dir + "/store.db") << std::string(5000, 'x');
         },
         "not an SQLite database", false},
        {"a folder", [](const std::string& dir, const std::string&) { fs::create_directories(dir + "/store.db"); },
         "store.db is a folder", true},
        {"a link to a file",
         [](const std::string& dir, const std::string& outside) {
             fs::create_directories(dir);
             fs::create_symlink(outside, dir + "/store.db");
         },
         "store.db is a symbolic link", true},
        {"a store with a second host link",
         [](const std::string& dir, const std::string& outside) {
             makeDevice(dir);
             fs::remove(outside);
             fs::create_hard_link(dir + "/store.db", outside);
         },
         "store.db has 2 host links", true},
    };
    for (const char* side : {"-wal", "-shm", "-journal"}) {
        std::string name = std::string("store.db") + side;
        rows.push_back({side,
                        [name](const std::string& dir, const std::string& outside) {
                            makeDevice(dir);
                            fs::create_hard_link(outside, dir + "/" + name);
                        },
                        name + " has 2 host links", true});
        rows.push_back({side,
                        [name](const std::string& dir, const std::string& outside) {
                            makeDevice(dir);
                            fs::create_symlink(outside, dir + "/" + name);
                        },
                        name + " is a symbolic link", true});
    }
    return rows;
}

// Plants each row's file and opens the device with a run that would make a device where
// there is none (and, in a device folder, with a reading command too): each is refused with
// the row's words, and nothing in the folder, nor the file outside, changes.
void checkRefusals(bool asUser) {
    for (const Planting& row : plantings()) {
        SCOPED_TRACE(std::string(row.what) + ": " + row.says);
        Scratch scratch;
        std::string dir = scratch.dir() + "/device", outside = scratch.dir() + "/notes.txt";
        std::ofstream(outside) << "notes of another program\n";
        row.plant(dir, outside);
        if (asUser) testing_support::giveToUser(scratch.dir());
        std::map<std::string, std::string> before = folderEntries(dir);
        std::string outsideBefore = testing_support::ScopedDevice::readHostFile(outside);

        std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
            {testing_support::quillexBinary(), {"--device", dir, "t"}}};
        if (row.device) commands.push_back({testing_support::deviceToolBinary(), {"--device", dir, "notify", "list"}});
        for (const auto& [program, args] : commands) {
            RunResult opened = asUser ? testing_support::runAsUser(program, args) : testing_support::run(program, args);
            EXPECT_EQ(1, opened.exitCode);
            EXPECT_NE(std::string::npos, opened.output.find("cannot open the object store")) << opened.output;
            EXPECT_NE(std::string::npos, opened.output.find(row.says)) << opened.output;
            EXPECT_EQ(before, folderEntries(dir));
            EXPECT_EQ(outsideBefore, testing_support::ScopedDevice::readHostFile(outside));
        }
    }
}

TEST(StoreOpenTest, FilesThatAreNotTheDevicesOwnAreRefusedAsTheyWereFound) { checkRefusals(false); }

TEST(StoreOpenTest, FilesThatAreNotTheDevicesOwnAreRefusedAsTheyWereFoundAsAUser) {
    SKIP_UNLESS_AS_USER();
    checkRefusals(true);
}

struct Command {
    std::string program;
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    std::string says;
};

void runCommands(const std::vector<Command>& commands, bool asUser = false) {
    for (const Command& c : commands) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        RunResult result = asUser ? testing_support::runAsUser(c.program, c.args, c.input)
                                  : testing_support::run(c.program, c.args, c.input);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.output;
        EXPECT_NE(std::string::npos, result.output.find(c.says)) << result.output;
    }
}

// The store's side files gone, as after the last process to use the device closed it.
void checkpointAway(const std::string& store) {
    runSql(store, "PRAGMA wal_checkpoint(TRUNCATE)");
    ASSERT_FALSE(fs::exists(store + "-shm"));
}

TEST(StoreOpenTest, AFullDiskStillOpensForReadingAndDeletingAndSaysWhatItRefuses) {
    SKIP_UNLESS_SMALL_DISK();
    testing_support::SmallDisk disk(2 << 20);
    const std::string dir = disk.dir() + "/device";
    const std::string quillex = testing_support::quillexBinary(), device = testing_support::deviceToolBinary();
    makeDevice(dir);
    ASSERT_EQ(0, tool({"--device", dir, "notify", "add", kEntry}).exitCode);
    for (const char* name : {"a.tmp", "b.tmp", "c.tmp"}) std::ofstream(dir + "/fs/Temp/" + name) << std::string(20000, 'x');
    checkpointAway(dir + "/store.db");
    disk.fillLeaving(16 * 1024);

    const std::string bigEntry =
        R"([{"type": 1, "event": 5, "application": "\\x.exe", "arguments": ")" + std::string(400000, 'a') + "\"}]";
    const std::string bigValue = "REGEDIT4\n[HKEY_CURRENT_USER\\Big]\n\"v\"=\"" + std::string(400000, 'a') + "\"\n";
    runCommands({
        {device, {"--device", dir, "notify", "list"}, "", 0, "\"\\x.exe\""},
        {quillex, {"--device", dir, "--preview", "t"}, "", 0, "delete file   \\Temp\\b.tmp"},
    });
    // No WAL index was made, nor left half made.
    EXPECT_FALSE(fs::exists(dir + "/store.db-shm"));
    runCommands({
        {quillex, {"--device", dir, "t"}, "", 0, "3 files deleted"},
        {device, {"--device", dir, "notify", "import", "-"}, bigEntry, 1, "the disk is full"},
        {device, {"--device", dir, "reg", "import", "-"}, bigValue, 1, "the disk is full"},
    });
    disk.fillLeaving(0);
    runCommands({{quillex, {"--device", disk.dir() + "/new", "t"}, "", 1, "the disk is full"}});

    fs::remove(disk.dir() + "/filler");
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((dir + "/store.db").c_str(), &db));
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
    EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);
}

// Only an ordinary user meets a store it may not write; every change says so.
TEST(StoreOpenTest, AReadOnlyStoreSaysSoAsAUser) {
    SKIP_UNLESS_AS_USER();
    Scratch scratch;
    const std::string dir = scratch.dir() + "/device", device = testing_support::deviceToolBinary();
    makeDevice(dir);
    fs::permissions(dir + "/store.db", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    testing_support::giveToUser(scratch.dir());
    runCommands({
                    {device, {"--device", dir, "notify", "list"}, "", 0, ""},
                    {device, {"--device", dir, "notify", "import", "-"}, "[" + kEntry + "]", 1, "the store is read-only"},
                    {device, {"--device", dir, "notify", "add", kEntry}, "", 1, "the store is read-only"},
                    {device, {"--device", dir, "clock", "set", "2026-01-01 00:00:00"}, "", 1,
                     "cannot change the clock: the store is read-only"},
                    {device, {"--device", dir, "reg", "import", "-"}, "REGEDIT4\n[HKEY_CURRENT_USER\\k]\n", 1,
                     "the store is read-only"},
                },
                true);
}

}  // namespace
