// The command lines a person types, through the built tools, one row each: every row is
// refused (exit code 2 or 1, with a message) or does exactly what its options say, read
// GNU style; and none deletes what it was not asked to or makes a folder. The rows run as
// this user and, when the tests run as root, again as an ordinary user.
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ftw.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::deviceToolBinary;
using testing_support::quillexBinary;
using testing_support::run;
using testing_support::RunResult;

namespace {

constexpr uid_t kNobody = 65534;

// The clutter each action removes, as host paths below the device's fs/; n's is a
// notification entry long past.
const struct {
    char action;
    const char* path;
} kClutter[] = {
    {'t', "Temp/t.txt"},
    {'c', "Windows/Profiles/guest/Temporary Internet Files/Content.IE5/X1/page.htm"},
    {'h', "Windows/Profiles/guest/History/History.IE5/MSHist01/index.dat"},
    {'a', "Windows/AvantGo/news.pdb"},
};
const char kPastEntry[] = R"({"type": 2, "application": "\\Windows\\calnot.exe", "arguments": "AppRunAtTime",
                            "start": "2001-01-01 09:00:00"})";

enum class Tool { quillex, device };
enum class Output { pipe, full };  // standard output on a pipe, or on /dev/full

struct Row {
    Tool tool;
    std::vector<std::string> args;  // {D} the device, {NEW} no folder yet, {OTHER} a folder of other things,
                                    // {LOCKED} a folder the ordinary user may not enter
    int exitCode;
    std::string says;     // in standard output or error
    std::string cleaned;  // the actions whose clutter went
    Output output = Output::pipe;
    bool ordinaryUserOnly = false;  // root may enter any folder
};

const Row kRows[] = {
    // Options read wherever they stand before "--".
    {Tool::quillex, {"--device", "{D}", "t", "--preview"}, 0, "Preview of \"t\" on {D}; nothing was changed.", ""},
    {Tool::quillex, {"--device", "{D}", "t", "--json"}, 0, "\"commandLine\": \"t\"", "t"},
    {Tool::quillex, {"--device", "{D}", "t", "--help"}, 0, "Usage: quillex", ""},
    {Tool::quillex, {"t", "--device", "{D}"}, 0, "Temp files: 1 file deleted", "t"},
    {Tool::quillex, {"--device={D}", "NT", "a"}, 0, "AvantGo Cache: 1 file deleted", "nta"},
    {Tool::quillex, {"-hV"}, 0, "Usage: quillex", ""},
    {Tool::quillex, {"--device", "{D}", "--", "-h"}, 0, "IE History: 1 file deleted", "h"},
    {Tool::quillex, {"--device", "{D}", "--", "CLEAN"}, 0, "Notifications: 1 entry removed", "nca"},
    // Words that are no actions, and options that are not known.
    {Tool::quillex, {"-n", "t"}, 2, "unknown option -n;", ""},
    {Tool::quillex, {"-x", "t"}, 2, "unknown option -x;", ""},
    {Tool::quillex, {"--device", "{D}", "-preview", "t"}, 2, "unknown option -p (in -preview)", ""},
    {Tool::quillex, {"--device", "{D}", "--tmp"}, 2, "put it after \"--\": quillex -- --tmp", ""},
    {Tool::quillex, {"CLEAN"}, 2, "\"CLEAN\" is not an action", ""},
    {Tool::quillex, {"--device", "{D}", "t", "device"}, 2, "words after \"--\" reach the program exactly as written",
     ""},
    {Tool::quillex, {"--device", "{D}", "t", "{D}"}, 2, "\"{D}\" is not an action", ""},
    {Tool::quillex, {"--device", "{D}", "-auto", "t"}, 2, "-auto runs the automatic run alone", ""},
    // Repeated and contradictory options.
    {Tool::quillex, {"--device", "{D}", "t", "--device", "{D}"}, 2, "--device given twice", ""},
    {Tool::quillex, {"--device", "{D}", "--verbose", "t", "--quiet"}, 2, "--verbose and --quiet contradict", ""},
    {Tool::quillex, {"--device", "{D}", "--json", "--quiet", "t"}, 2, "--json and --quiet contradict", ""},
    {Tool::quillex, {"--device", "{D}", "--preview", "--preview", "t"}, 2, "--preview given twice", ""},
    {Tool::quillex, {"--device", "{D}", "--screen", "script", "t"}, 2, "--screen script is for window mode", ""},
    {Tool::quillex, {"--device", "{D}", "--preview=yes", "t"}, 2, "--preview takes no value", ""},
    // Reading makes nothing; nothing is made in a folder of other things.
    {Tool::quillex, {"--preview", "--device", "{NEW}", "t"}, 1, "quillex: no device at {NEW}; quillex-device init", ""},
    {Tool::quillex, {"--device", "{OTHER}", "t"}, 1, "no device at {OTHER}, and the folder holds other things", ""},
    {Tool::device, {"--device", "{NEW}", "log"}, 1, "quillex-device: no device at {NEW}; quillex-device init", ""},
    {Tool::device, {"--device", "{NEW}", "notify", "list"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "events", "--json"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "reg", "export"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "clock"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "clock", "show"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "version"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "locale"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{NEW}", "hold", "\\Temp\\t.txt"}, 1, "no device at {NEW}", ""},
    {Tool::device, {"--device", "{OTHER}", "init"}, 1, "no device at {OTHER}, and the folder holds other things", ""},
    {Tool::device, {"--device", "{OTHER}", "clock", "run"}, 1, "the folder holds other things", ""},
    {Tool::quillex, {"--preview", "--device", "{LOCKED}/device", "t"}, 1, "Permission denied", "", Output::pipe, true},
    {Tool::device, {"--device", "{LOCKED}/device", "init"}, 1, "Permission denied", "", Output::pipe, true},
    // Output that cannot be written is an error, never a success.
    {Tool::quillex, {"--device", "{D}", "t"}, 1, "quillex: write error: No space left on device", "t", Output::full},
    {Tool::quillex, {"--device", "{D}", "--json", "t"}, 1, "quillex: write error: No space left on device", "t",
     Output::full},
    {Tool::device, {"--device", "{D}", "notify", "list"}, 1, "quillex-device: write error: No space left on device",
     "", Output::full},
    // quillex-device's usage messages.
    {Tool::device, {"--device", "{D}", "init", "extra", "words"}, 2,
     "quillex-device: the following arguments were not expected: extra words", ""},
    {Tool::device, {"--device", "{D}", "frobnicate"}, 2, "quillex-device: the following argument was not expected", ""},
    {Tool::device, {"log", "--device", "{D}"}, 0, "", ""},
};

std::string replaced(std::string text, const std::map<std::string, std::string>& names) {
    for (const auto& [name, value] : names) {
        for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), value);
    }
    return text;
}

uid_t ownerTo = 0;
int chownEntry(const char* path, const struct stat*, int, FTW*) { return lchown(path, ownerTo, ownerTo); }

// Runs `row` in a fresh folder as `user` (0: as this process).
void runRow(const Row& row, uid_t user) {
    char pattern[] = "/tmp/quillex-face-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string top = pattern, dir = top + "/device", other = top + "/other", locked = top + "/locked";
    chmod(top.c_str(), 0755);
    std::map<std::string, std::string> names = {
        {"{D}", dir}, {"{NEW}", top + "/new/a/b"}, {"{OTHER}", other}, {"{LOCKED}", locked}};
    ASSERT_EQ(0, run(deviceToolBinary(), {"--device", dir, "init"}).exitCode);
    ASSERT_EQ(0, run(deviceToolBinary(), {"--device", dir, "notify", "add", kPastEntry}).exitCode);
    for (const auto& clutter : kClutter) {
        fs::path file = fs::path(dir) / "fs" / clutter.path;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "clutter";
    }
    fs::create_directories(other);
    std::ofstream(other + "/notes.txt") << "not a device";
    if (user != 0) {
        ownerTo = user;
        ASSERT_EQ(0, nftw(top.c_str(), chownEntry, 16, FTW_PHYS));
    }
    // Root's own folder shuts the ordinary user out; a user not root shuts itself out.
    fs::create_directories(locked);
    chmod(locked.c_str(), geteuid() == 0 ? 0700 : 0);

    std::vector<std::string> command;
    if (user != 0) {
        command = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user), "--regid=" + std::to_string(user),
                   "--clear-groups"};
    }
    // A row that wrongly falls back on the default device shows as a folder made there.
    command.insert(command.end(), {"/usr/bin/env", "QUILLEX_DEVICE=" + top + "/default"});
    if (row.output == Output::full) command.insert(command.end(), {"/bin/sh", "-c", "exec \"$@\" >/dev/full", "sh"});
    command.push_back(row.tool == Tool::quillex ? quillexBinary() : deviceToolBinary());
    for (const std::string& arg : row.args) command.push_back(replaced(arg, names));
    RunResult result = run(command.front(), std::vector<std::string>(command.begin() + 1, command.end()));

    EXPECT_EQ(row.exitCode, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(replaced(row.says, names))) << result.output;
    for (const auto& clutter : kClutter) {
        bool asked = row.cleaned.find(clutter.action) != std::string::npos;
        EXPECT_EQ(asked, !fs::exists(fs::path(dir) / "fs" / clutter.path)) << clutter.path;
    }
    std::string queue = run(deviceToolBinary(), {"--device", dir, "notify", "list"}).output;
    EXPECT_EQ(row.cleaned.find('n') != std::string::npos, queue.find("2001-01-01") == std::string::npos) << queue;
    EXPECT_FALSE(fs::exists(top + "/new")) << "a folder made for a read";
    EXPECT_FALSE(fs::exists(top + "/default")) << "the default device used";
    chmod(locked.c_str(), 0700);
    EXPECT_TRUE(fs::is_empty(locked));
    std::vector<fs::path> otherHolds;
    for (const auto& entry : fs::directory_iterator(other)) otherHolds.push_back(entry.path().filename());
    EXPECT_EQ(std::vector<fs::path>{"notes.txt"}, otherHolds);
    fs::remove_all(top);
}

TEST(CommandLineRowsTest, EachRowIsRefusedOrDoesWhatItsOptionsSayAndMakesNothing) {
    std::vector<uid_t> users = {0};
    if (geteuid() == 0) users.push_back(kNobody);
    for (uid_t user : users) {
        for (const Row& row : kRows) {
            if (row.ordinaryUserOnly && user == 0 && geteuid() == 0) continue;
            SCOPED_TRACE((user ? "as an ordinary user: " : "") + ::testing::PrintToString(row.args));
            runRow(row, user);
        }
    }
}

// init --demo lays its clutter out once: a repeat is refused and changes nothing, and a
// file it cannot replace is named, with nothing of the queue added, so that it can be
// repeated once the file is writable again.
TEST(DemoTest, LaidOutOnceAndAFileItCannotReplaceIsNamed) {
    char pattern[] = "/tmp/quillex-demo-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string dir = std::string(pattern) + "/device";
    auto tool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", dir});
        return run(deviceToolBinary(), args);
    };
    ASSERT_EQ(0, tool({"init"}).exitCode);
    const std::string blocking = dir + "/fs/Temp/~tmp1003.tmp";
    std::ofstream(blocking) << "a file of the user's";
    chmod(blocking.c_str(), 0444);  // read-only on the device
    RunResult blocked = tool({"init", "--demo"});
    EXPECT_EQ(1, blocked.exitCode);
    EXPECT_NE(std::string::npos, blocked.output.find("cannot replace \\Temp\\~tmp1003.tmp")) << blocked.output;
    EXPECT_EQ("", tool({"notify", "list"}).output);

    chmod(blocking.c_str(), 0644);
    ASSERT_EQ(0, tool({"init", "--demo"}).exitCode);
    const std::string queue = tool({"notify", "list"}).output, registry = tool({"reg", "export"}).output;
    EXPECT_EQ(12, std::count(queue.begin(), queue.end(), '\n')) << queue;
    RunResult again = tool({"init", "--demo"});
    EXPECT_EQ(1, again.exitCode);
    EXPECT_NE(std::string::npos, again.output.find("has its demo clutter already; nothing was changed")) << again.output;
    EXPECT_EQ(queue, tool({"notify", "list"}).output);
    EXPECT_EQ(registry, tool({"reg", "export"}).output);
    EXPECT_EQ(0, tool({"init"}).exitCode);  // init alone stays harmless to repeat
    fs::remove_all(pattern);
}

}  // namespace
