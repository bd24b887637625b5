// quillex-device through its command line: set-up, the clock, the registry, holds and the
// log, and the messages and exit codes of bad input.
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::deviceToolBinary;
using testing_support::run;
using testing_support::RunResult;

namespace {

class DeviceToolTest : public ::testing::Test {
protected:
    RunResult tool(const std::vector<std::string>& args, const std::string& input = "") {
        std::vector<std::string> all = {"--device", dir_};
        all.insert(all.end(), args.begin(), args.end());
        return run(deviceToolBinary(), all, input);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_ = (fs::temp_directory_path() / ("quillex-tool-" + std::to_string(getpid()))).string();
};

TEST_F(DeviceToolTest, InitIsIdempotentAndDemoLaysOutClutter) {
    ASSERT_EQ(0, tool({"init"}).exitCode);
    ASSERT_EQ(0, tool({"init"}).exitCode);
    EXPECT_TRUE(fs::is_regular_file(dir_ + "/fs/Program Files/Quillex/Quillex.exe"));
    for (const char* folder : {"Windows", "Temp", "My Documents"}) EXPECT_TRUE(fs::is_directory(dir_ + "/fs/" + folder));

    RunResult demo = tool({"init", "--demo"});
    ASSERT_EQ(0, demo.exitCode) << demo.output;
    std::string cache = dir_ + "/fs/Windows/Profiles/guest/Temporary Internet Files/Content.IE5";
    EXPECT_TRUE(fs::is_regular_file(cache + "/index.dat"));
    int subFolders = 0;
    for (const auto& entry : fs::directory_iterator(cache)) subFolders += entry.is_directory();
    EXPECT_GE(subFolders, 3);
    EXPECT_FALSE(fs::is_empty(dir_ + "/fs/Temp"));
    RunResult lists = tool({"reg", "export", "HKEY_LOCAL_MACHINE\\Explorer"});
    EXPECT_NE(std::string::npos, lists.output.find("[HKEY_LOCAL_MACHINE\\Explorer\\RunHistory]")) << lists.output;
    EXPECT_NE(std::string::npos, lists.output.find("[HKEY_LOCAL_MACHINE\\Explorer\\AddressHistory]"));

    // The demo queue holds duplicates, stale, far-future and unwanted entries beside
    // four worth keeping.
    RunResult cleanup = run(testing_support::quillexBinary(), {"--device", dir_, "n"});
    ASSERT_EQ(0, cleanup.exitCode) << cleanup.output;
    std::string log = testing_support::ScopedDevice::readHostFile(dir_ + "/fs/Program Files/Quillex/Quillex.log");
    EXPECT_NE(std::string::npos, log.find("->cleanupNotifications: 12 items, removed: 8\r\n")) << log;
}

TEST_F(DeviceToolTest, ClockCanBeFrozenSetAndReleased) {
    RunResult frozen = tool({"clock", "freeze", "2026-12-07 10:00:00"});
    ASSERT_EQ(0, frozen.exitCode) << frozen.output;
    EXPECT_EQ("2026-12-07 10:00:00.000 Monday (frozen)\n", tool({"clock", "show"}).output);
    RunResult set = tool({"clock", "set", "2028-02-29 23:59:59.5"});
    EXPECT_EQ(0, set.exitCode);
    // The clock runs on from the time set, so a moment may have passed.
    EXPECT_TRUE(set.output.rfind("2028-02-29 23:59:59", 0) == 0 || set.output.rfind("2028-03-01 00:00:0", 0) == 0)
        << set.output;
    EXPECT_NE(std::string::npos, tool({"clock", "run"}).output.find("(running)"));
}

TEST_F(DeviceToolTest, LocaleSetsWhatProgramsReadAndKeepsWhatIsNotGiven) {
    // The first command makes the device, and says so.
    EXPECT_EQ("quillex-device: made a new device at " + dir_ + "\ntime separator \".\"\n12-hour clock\n",
              tool({"locale", "--clock", "12", "--time-separator", "."}).output);
    EXPECT_EQ("time separator \".\"\n24-hour clock\n", tool({"locale", "--clock", "24"}).output);
    EXPECT_EQ("time separator \".\"\n24-hour clock\n", tool({"locale"}).output);
    // The program reads it: its Auto-start picker shows the time in that format.
    ASSERT_EQ(0, tool({"reg", "import", "-"}, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n"
                                               "\"startTime\"=dword:0000072b\n").exitCode);
    RunResult screen = run(testing_support::quillexBinary(), {"--device", dir_},
                           "softkey right\nmenu Automatic Start\ndump\n");
    EXPECT_NE(std::string::npos, screen.output.find("At:           >[18].35")) << screen.output;
}

TEST_F(DeviceToolTest, BadInputIsRefusedWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"clock", "set", "2026-02-30 10:00:00"}, "not a device time"},
        {{"clock", "freeze", "tomorrow"}, "not a device time"},
        {{"notify"}, "quillex-device: a subcommand is required"},
        {{"frobnicate"}, "frobnicate"},
        {{"reg", "import", "/nonexistent/file.reg"}, "cannot read"},
        {{"reg", "export", "HKEY_LOCAL_MACHINE\\No\\Such\\Key"}, "No\\Such\\Key"},
        {{"locale", "--time-separator", "h"}, "not a time separator"},
        {{"locale", "--time-separator", "::::"}, "not a time separator"},
        {{"locale", "--clock", "13"}, "--clock"},
        {{"locale", "--time-separator", ":\n"}, "not a time separator"},
        {{"locale", "--time-separator", "\t"}, "not a time separator"},
        {{"locale", "--time-separator", "\x7f"}, "not a time separator"},
        {{"locale", "--time-separator", "\xc2\x85"}, "not a time separator"},  // U+0085, next line
        {{"locale", "--time-separator", "\xff"}, "not a time separator"},
        {{"clock", "set", ""}, "not a device time: \"\""},
        {{"clock", "freeze", ""}, "not a device time: \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        RunResult result = tool(c.args);
        EXPECT_NE(0, result.exitCode);
        EXPECT_NE(std::string::npos, result.output.find(c.says)) << result.output;
    }
}

// The clock stops at the last time a device time can show, whichever command moves it.
TEST_F(DeviceToolTest, TheClockNeverPassesTheYear9999) {
    ASSERT_EQ(0, tool({"clock", "freeze", "9999-12-24 00:00:00"}).exitCode);
    RunResult tooFar = tool({"clock", "advance", "8d"});
    EXPECT_EQ(2, tooFar.exitCode);
    EXPECT_NE(std::string::npos, tooFar.output.find("past 9999-12-31 23:59:59.999")) << tooFar.output;
    EXPECT_EQ("9999-12-24 00:00:00.000 Friday (frozen)\n", tool({"clock", "show"}).output);
    RunResult lastDay = tool({"clock", "advance", "7d"});
    EXPECT_EQ(0, lastDay.exitCode) << lastDay.output;
    EXPECT_NE(std::string::npos, lastDay.output.find("9999-12-31 00:00:00.000")) << lastDay.output;
    EXPECT_EQ(2, tool({"clock", "set", "10000-01-01 00:00:00"}).exitCode);
}

// quillex-device started with its standard input and output on pipes of ours.
struct Holder {
    pid_t pid = -1;
    int input = -1;    // its standard input: closing it ends the hold
    FILE* output = nullptr;
};

Holder startHolder(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return {};
    Holder holder;
    holder.pid = fork();
    if (holder.pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        std::vector<char*> argv;
        std::string tool = deviceToolBinary();
        argv.push_back(tool.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    holder.input = in[1];
    holder.output = fdopen(out[0], "r");
    return holder;
}

// RETURNS the holder's exit code once its input has ended.
int endHold(Holder* holder) {
    close(holder->input);
    int status = 0;
    waitpid(holder->pid, &status, 0);
    fclose(holder->output);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DeviceToolTest, HeldFilesResistTheProgramUntilTheHoldEnds) {
    ASSERT_EQ(0, tool({"init"}).exitCode);
    for (const char* name : {"held.txt", "free.txt"}) std::ofstream(dir_ + "/fs/Temp/" + name) << "data";

    Holder holder = startHolder({"--device", dir_, "hold", "\\Temp\\held.txt"});
    ASSERT_GT(holder.pid, 0);
    char line[64] = "";
    ASSERT_NE(nullptr, fgets(line, sizeof line, holder.output));
    EXPECT_STREQ("holding 1 file\n", line);
    // Held: it counts nothing and is not deleted; the other file goes.
    RunResult shown = run(testing_support::quillexBinary(), {"--device", dir_, "--screen", "script"}, "dump\n");
    size_t row = shown.output.find("Temp files:");
    ASSERT_NE(std::string::npos, row) << shown.output;
    EXPECT_NE(std::string::npos, shown.output.substr(row, shown.output.find('\n', row) - row).find(" 0.0 KB"))
        << shown.output;
    EXPECT_EQ(0, run(testing_support::quillexBinary(), {"--device", dir_, "t"}).exitCode);
    EXPECT_TRUE(fs::exists(dir_ + "/fs/Temp/held.txt"));
    EXPECT_FALSE(fs::exists(dir_ + "/fs/Temp/free.txt"));

    EXPECT_EQ(0, endHold(&holder));
    EXPECT_EQ(0, run(testing_support::quillexBinary(), {"--device", dir_, "t"}).exitCode);
    EXPECT_FALSE(fs::exists(dir_ + "/fs/Temp/held.txt"));

    // A file that does not open is refused, and nothing stays held.
    RunResult missing = tool({"hold", "\\Temp\\gone.txt"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.output.find("cannot open \\Temp\\gone.txt")) << missing.output;
}

// Runs the tool as an ordinary user (nobody, when this test runs as root), on a device
// handed to that user.
RunResult toolAsUser(const std::string& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", dir});
    if (geteuid() != 0) return run(deviceToolBinary(), args);
    for (const auto& entry : fs::recursive_directory_iterator(dir)) lchown(entry.path().c_str(), 65534, 65534);
    lchown(dir.c_str(), 65534, 65534);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", deviceToolBinary()});
    return run("setpriv", args);
}

// What the tool opens, an ordinary user may open too: a read-only file is held with a
// descriptor open for reading. A log with a second host link is never read, and the tool
// says so rather than print nothing.
TEST_F(DeviceToolTest, HoldAndLogRefuseNothingTheyMayDoAndSayWhatTheyMayNot) {
    ASSERT_EQ(0, tool({"init"}).exitCode);
    std::ofstream(dir_ + "/fs/Temp/read-only.txt") << "data";
    chmod((dir_ + "/fs/Temp/read-only.txt").c_str(), 0444);
    RunResult held = toolAsUser(dir_, {"hold", "\\Temp\\read-only.txt"});
    EXPECT_EQ(0, held.exitCode) << held.output;
    EXPECT_EQ("holding 1 file\n", held.output);

    const std::string log = dir_ + "/fs/Program Files/Quillex/Quillex.log", outside = dir_ + "-notes.txt";
    std::ofstream(outside) << "not the device's\n";
    fs::create_hard_link(outside, log);
    RunResult shown = tool({"log"});
    EXPECT_EQ(1, shown.exitCode);
    EXPECT_NE(std::string::npos, shown.output.find("cannot read \\Program Files\\Quillex\\Quillex.log: it has a second host link"))
        << shown.output;
    EXPECT_EQ(std::string::npos, shown.output.find("not the device's"));
    fs::remove(outside);
}

TEST_F(DeviceToolTest, RegistryFilesGoInAndComeBackOut) {
    const std::string file =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\r\n"
        "\"startDays\"=dword:0000007f\r\n"
        "\"startTime\"=dword:00000726\r\n"
        "\"startOptions\"=dword:00000003\r\n";
    RunResult imported = tool({"reg", "import", "-"}, file);
    ASSERT_EQ(0, imported.exitCode) << imported.output;
    RunResult exported = tool({"reg", "export", "HKEY_CURRENT_USER\\Software\\Holvenark"});
    ASSERT_EQ(0, exported.exitCode);
    EXPECT_NE(std::string::npos, exported.output.find("\"startTime\"=dword:00000726")) << exported.output;

    // A malformed file changes nothing and names its line.
    RunResult refused = tool({"reg", "import", "-"},
                             "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n\"startDays\"=dword:1\n\"x\"=bogus\n");
    EXPECT_NE(0, refused.exitCode);
    EXPECT_NE(std::string::npos, refused.output.find("4")) << refused.output;
    EXPECT_EQ(exported.output, tool({"reg", "export", "HKEY_CURRENT_USER\\Software\\Holvenark"}).output);
}

// The journal as JSON calls things what the run report calls them: a command line is
// "commandLine", a restart is told by who made it, "shell" or "kernel".
TEST_F(DeviceToolTest, TheJournalAsJsonUsesTheRunReportsNames) {
    ASSERT_EQ(0, tool({"init"}).exitCode);
    ASSERT_EQ(0, tool({"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
    ASSERT_EQ(0, tool({"reg", "import", "-"}, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n"
                                               "\"startDays\"=dword:0000007f\n\"startTime\"=dword:00000726\n"
                                               "\"startOptions\"=dword:00000022\n").exitCode);
    RunResult ran = run(testing_support::quillexBinary(), {"--device", dir_, "--json", "--", "-auto"});
    ASSERT_EQ(0, ran.exitCode) << ran.output;
    std::vector<std::string> reportRestarts;
    nlohmann::json report = nlohmann::json::parse(ran.output);
    for (const auto& action : report.at("actions"))
        for (const auto& restart : action.at("restarts")) reportRestarts.push_back(restart);
    ASSERT_EQ(std::vector<std::string>{"shell"}, reportRestarts);
    ASSERT_EQ(0, tool({"clock", "advance", "9h"}).exitCode);  // the registered run fires at 18:30

    nlohmann::json events = nlohmann::json::parse(tool({"events", "--json"}).output);
    std::vector<std::string> kinds;
    for (const auto& event : events) {
        kinds.push_back(event.at("kind"));
        if (event.at("kind") == "restart") {
            EXPECT_EQ(reportRestarts[0], event.at("by"));
        } else {
            EXPECT_EQ("-auto", event.at("commandLine")) << event;
        }
    }
    EXPECT_EQ((std::vector<std::string>{"restart", "fire", "start", "restart"}), kinds) << events;
}

}  // namespace
