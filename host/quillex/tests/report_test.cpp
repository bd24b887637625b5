// quillex's host command line and its reports, end to end through the built programs:
// options refused before anything runs, "--" handing the rest to the program, and, on
// generated devices, the preview's JSON equal to the real run's, its summary equal to the
// plain run's, and the device untouched by the preview. Then what the host refuses (an
// ordinary user's read-only store or folder, a full disk), names no terminal may act on
// or the device cannot hold, and a run stopped by a signal.
#include "device/boot/device.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using testing_support::deviceToolBinary;
using testing_support::quillexBinary;
using testing_support::run;
using testing_support::RunResult;
using testing_support::wide;

namespace {

// A folder removed when the test ends.
struct ScopedFolder {
    ScopedFolder() { fs::create_directories(path); }
    ~ScopedFolder() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    std::string path = (fs::temp_directory_path() / ("quillex-report-" + std::to_string(getpid()))).string();
};

RunResult tool(const std::string& device, std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--device", device});
    return run(deviceToolBinary(), args, input);
}

TEST(HostCommandLineTest, UnknownOptionsAndAnEmptyDeviceAreRefusedBeforeAnythingRuns) {
    testing_support::ScopedDevice device;
    device.writeText("\\Temp\\keep.txt", "still here");
    struct Case {
        std::vector<std::string> args;
        std::string named;  // what the message must name
    };
    const Case cases[] = {
        {{"--device", device.dir(), "--dry-run"}, "--dry-run"},
        {{"--device", device.dir(), "--quiet2", "t"}, "--quiet2"},
        {{"--devcie", device.dir(), "t"}, "--devcie"},
        {{"--device", "", "t"}, "--device"},
        {{"--device=", "t"}, "--device"},
        {{"--device", device.dir(), "--preview"}, "--preview"},
        {{"--device", device.dir(), "--json"}, "--json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        RunResult result = run(quillexBinary(), c.args);
        EXPECT_EQ(2, result.exitCode) << result.output;
        EXPECT_NE(std::string::npos, result.output.find(c.named)) << result.output;
        EXPECT_TRUE(device.exists("\\Temp\\keep.txt"));
        EXPECT_FALSE(device.exists("\\Program Files\\Quillex\\Quillex.log"));
    }
    // An unknown option points at "--".
    EXPECT_NE(std::string::npos, run(quillexBinary(), {"--frobnicate"}).output.find("quillex -- --frobnicate"));

    // -h, -? and --help are the host's; after "--" the program gets "-h", whose h cleans
    // the browser history.
    for (const char* help : {"-h", "-?", "--help"}) {
        RunResult result = run(quillexBinary(), {"--device", device.dir(), help});
        EXPECT_EQ(0, result.exitCode);
        EXPECT_EQ(0u, result.output.rfind("Usage: quillex", 0)) << help;
    }
    EXPECT_FALSE(device.exists("\\Program Files\\Quillex\\Quillex.log"));
    RunResult passed = run(quillexBinary(), {"--device", device.dir(), "--", "-h"});
    EXPECT_EQ(0, passed.exitCode) << passed.output;
    EXPECT_EQ("IE History: nothing to do\n", passed.output);
    std::vector<std::string> log = testing_support::logLines(device.readText("\\Program Files\\Quillex\\Quillex.log"));
    ASSERT_EQ(1u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("->cleanupHistory"));
    EXPECT_TRUE(device.exists("\\Temp\\keep.txt"));

    // A folder that holds no device yet becomes one, and the run says so.
    std::string fresh = device.dir() + "-new";
    RunResult made = run(quillexBinary(), {"--device", fresh, "--quiet", "t"});
    EXPECT_EQ(0, made.exitCode);
    EXPECT_EQ("quillex: made a new device at " + fresh + "\n", made.output);
    EXPECT_EQ("", run(quillexBinary(), {"--device", fresh, "--quiet", "t"}).output);
    fs::remove_all(fresh);
}

TEST(ReportTest, SummaryAndItemsTellWhatWentAndWhatStayedAndWhy) {
    testing_support::ScopedDevice device;
    device.writeFile("\\Temp\\a.tmp", 1000);
    device.writeFile("\\Temp\\b.tmp", 2048);
    device.writeFile("\\Temp\\locked.tmp", 10);
    device.writeFile("\\Temp\\open.tmp", 20);
    device.writeFile("\\Windows\\Temp\\sub\\deeper\\c.tmp", 5);
    chmod(device.host("\\Temp\\locked.tmp").c_str(), 0444);
    ASSERT_EQ(0, tool(device.dir(), {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
    HANDLE open = CreateFileW(u"\\Temp\\open.tmp", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);

    RunResult preview = run(quillexBinary(), {"--device", device.dir(), "--preview", "t"});
    EXPECT_EQ(0, preview.exitCode);
    for (const char* line : {"  log           07/12 10:00:00 ->cleanupTemp\n", "  delete file   \\Temp\\b.tmp  2.0 KB\n",
                             "  keep file     \\Temp\\locked.tmp  10 bytes  (read-only)\n",
                             "  keep file     \\Temp\\open.tmp  20 bytes  (in use)\n",
                             "  keep folder   \\Windows\\Temp\\sub\\deeper  (below the two levels swept)\n",
                             "  keep folder   \\Windows\\Temp\\sub  (folder not empty)\n"})
        EXPECT_NE(std::string::npos, preview.output.find(line)) << line << preview.output;
    const std::string summary =
        "Temp files: 2 files deleted (3.0 KB freed); 2 files kept: 1 read-only, 1 in use; 2 folders kept: 1 below the "
        "two levels swept, 1 folder not empty\n";
    EXPECT_NE(std::string::npos, preview.output.find("\n\n" + summary)) << preview.output;
    EXPECT_TRUE(device.exists("\\Temp\\a.tmp"));
    EXPECT_EQ("", tool(device.dir(), {"log"}).output);

    RunResult real = run(quillexBinary(), {"--device", device.dir(), "t"});
    EXPECT_EQ(0, real.exitCode);
    EXPECT_EQ(summary, real.output);
    EXPECT_FALSE(device.exists("\\Temp\\a.tmp"));
    EXPECT_TRUE(device.exists("\\Temp\\open.tmp"));
    CloseHandle(open);
    // The device tool prints the log the run wrote, without the device's line ends.
    EXPECT_EQ("07/12 10:00:00 ->cleanupTemp\n", tool(device.dir(), {"log"}).output);
    EXPECT_EQ("", run(quillexBinary(), {"--device", device.dir(), "--quiet", "t"}).output);
}

// The report names actions as the main dialog does, names an action asked for that found
// nothing, and tells the next automatic run and a restart apart from every action, in the
// text and in the JSON (which keeps each action's operation name beside its label).
TEST(ReportTest, ActionsGoByTheirLabelsAndTheScheduleAndRestartStandApart) {
    struct Case {
        const char* platform;
        int startOptions;
        std::vector<std::string> args;
        std::string summary;
        std::vector<std::string> names, labels;  // of the JSON's actions
    };
    const Case cases[] = {
        {"5.1", 0, {"n"}, "Notifications: nothing to do\n", {"cleanupNotifications"}, {"Notifications"}},
        {"5.1", 0, {"-auto"}, "schedule: nothing to do\n", {"removeNotifications"}, {"schedule"}},
        {"5.1", 0x23, {"-auto"},
         "Notifications: nothing to do\nTemp files: 1 file deleted (3 bytes freed)\nrestart requested by the shell\n"
         "schedule: next run registered for 2026-12-07 18:30\n",
         {"cleanupNotifications", "cleanupTemp", "restart", "removeNotifications"},
         {"Notifications", "Temp files", "restart", "schedule"}},
        // The kernel's reset ends the process: the next run is registered first.
        {"4.20", 0x22, {"-auto"},
         "Temp files: 1 file deleted (3 bytes freed)\nschedule: next run registered for 2026-12-07 18:30\n"
         "restart requested by the kernel\n",
         {"cleanupTemp", "removeNotifications", "restart"}, {"Temp files", "schedule", "restart"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " on " + c.platform);
        for (bool json : {false, true}) {
            testing_support::ScopedDevice device;
            device.writeText("\\Temp\\a.txt", "hi\n");
            char settings[200];
            std::snprintf(settings, sizeof settings,
                          "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n\"startDays\"=dword:00000022\n"
                          "\"startTime\"=dword:00000726\n\"startOptions\"=dword:%08x\n",
                          c.startOptions);
            ASSERT_EQ(0, tool(device.dir(), {"reg", "import", "-"}, settings).exitCode);
            ASSERT_EQ(0, tool(device.dir(), {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
            ASSERT_EQ(0, tool(device.dir(), {"version", c.platform}).exitCode);
            std::vector<std::string> args = {"--device", device.dir()};
            if (json) args.push_back("--json");
            args.insert(args.end(), c.args.begin(), c.args.end());
            RunResult result = run(quillexBinary(), args);
            ASSERT_EQ(0, result.exitCode) << result.output;
            if (!json) {
                EXPECT_EQ(c.summary, result.output);
                continue;
            }
            std::vector<std::string> names, labels;
            Json report = Json::parse(result.output);
            for (const Json& action : report.at("actions")) {
                names.push_back(action.at("name"));
                labels.push_back(action.at("label"));
            }
            EXPECT_EQ(c.names, names);
            EXPECT_EQ(c.labels, labels);
        }
    }
    // The labels are the main dialog's own.
    testing_support::ScopedDevice device;
    std::string shown = run(quillexBinary(), {"--device", device.dir(), "--screen", "script"}, "dump\n").output;
    for (const char* label : {"Notifications:", "Temp files:", "IE Cache:", "IE History:", "AvantGo Cache:"})
        EXPECT_NE(std::string::npos, shown.find(label)) << label << shown;
}

// "hex(N):" data of a .reg file: `text` as UTF-16LE, with or without its terminator.
std::string regHex(int type, const std::string& text, bool terminated) {
    std::string hex = "hex(" + std::to_string(type) + "):";
    char byte[8];
    for (char c : text + (terminated ? std::string(1, '\0') : "")) {
        std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
        hex += byte;
    }
    if (hex.back() == ',') hex.pop_back();
    return hex;
}

// The report and the device tool find the log where the program writes it, however the
// install folder is stored: whatever the program makes of the value, they make of it too.
TEST(ReportTest, TheLogIsFoundWhereTheProgramWritesItWhateverFormTheInstallFolderTakes) {
    struct Case {
        const char* form;
        std::string data;     // the value's data in a .reg file
        const char* logPath;  // where the program writes its log
    };
    const Case cases[] = {
        {"a string", "\"\\\\Apps\\\\QX\"", "\\Apps\\QX\\Quillex.log"},
        {"an expandable string", regHex(REG_EXPAND_SZ, "\\Apps\\QX", true), "\\Apps\\QX\\Quillex.log"},
        {"an empty string", "\"\"", "\\Quillex.log"},
        {"an unterminated string", regHex(REG_SZ, "\\Apps\\QX", false), "\\Program Files\\Quillex\\Quillex.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        testing_support::ScopedDevice device;
        device.makeFolder("\\Apps\\QX");
        device.writeText("\\Temp\\a.txt", "hi\n");
        ASSERT_EQ(0, tool(device.dir(), {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
        std::string reg = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Apps\\Holvenark Quillex]\n\"InstallDir\"=" + c.data + "\n";
        RunResult imported = tool(device.dir(), {"reg", "import", "-"}, reg);
        ASSERT_EQ(0, imported.exitCode) << imported.output;

        EXPECT_EQ("Temp files: 1 file deleted (3 bytes freed)\n", run(quillexBinary(), {"--device", device.dir(), "t"}).output);
        EXPECT_EQ("07/12 10:00:00 ->cleanupTemp\r\n", device.readText(c.logPath));
        EXPECT_EQ("07/12 10:00:00 ->cleanupTemp\n", tool(device.dir(), {"log"}).output);
    }
}

// Lays out a device from a seed: clutter in every folder the actions sweep (read-only files,
// sub-folders and sub-sub-folders), the browser's history lists, a queue with entries of
// every kind, and a schedule selecting every action with a restart at the end.
void generateDevice(const std::string& dir, unsigned seed, const std::string& platformVersion) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    ASSERT_EQ(0, tool(dir, {"init"}).exitCode);
    const char* folders[] = {"Temp", "Windows/Temp", "Windows/Profiles/guest/Temporary Internet Files/Content.IE5",
                             "Windows/Profiles/guest/History", "Windows/Profiles/guest/History/History.IE5",
                             "Windows/AvantGo"};
    int fileNumber = 0;
    for (const char* folder : folders) {
        fs::path base = fs::path(dir) / "fs" / folder;
        std::vector<fs::path> places{base};
        for (int sub = pick(3); sub > 0; --sub) places.push_back(base / ("sub" + std::to_string(sub)));
        if (pick(2)) places.push_back(places.back() / "deeper");
        for (const fs::path& place : places) {
            fs::create_directories(place);
            for (int n = 1 + pick(5); n > 0; --n) {
                fs::path file = place / ("f" + std::to_string(++fileNumber) + (pick(2) ? ".tmp" : ".DAT"));
                std::ofstream(file) << std::string(static_cast<size_t>(pick(3000)), 'q');
                if (pick(6) == 0) chmod(file.c_str(), 0444);
            }
        }
    }
    std::string lists = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Explorer\\RunHistory]\n";
    for (int n = 1 + pick(4); n > 0; --n) lists += "\"run" + std::to_string(n) + "\"=\"\\\\Windows\\\\app" + std::to_string(n) + ".exe\"\n";
    lists += "[HKEY_LOCAL_MACHINE\\Explorer\\AddressHistory]\n";
    for (int n = pick(4); n > 0; --n) lists += "\"url" + std::to_string(n) + "\"=\"http://example.org/" + std::to_string(n) + "\"\n";
    lists += "[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n\"startDays\"=dword:0000007f\n"
             "\"startTime\"=dword:00000726\n\"startOptions\"=dword:0000003f\n";
    ASSERT_EQ(0, tool(dir, {"reg", "import", "-"}, lists).exitCode);

    const char* kinds[] = {
        R"({"type": 1, "event": 12, "application": "connmgr.exe", "arguments": "x"})",
        R"({"type": 1, "event": 1, "application": "\\Windows\\sstimechange.exe", "arguments": "-time"})",
        R"({"type": 1, "event": 5, "application": "\\Windows\\calnot.exe"})",
        R"({"type": 1, "event": 9, "application": "\\Windows\\repllog.exe", "arguments": "AppRunAtRs232Detect"})",
        R"({"type": 2, "application": "\\Windows\\calnot.exe", "arguments": "AppRunAtTime", "start": "2026-12-08 09:00:00", "user": {"title": "Dentist", "text": "at 9:30"}})",
        R"({"type": 2, "application": "\\Windows\\calnot.exe", "arguments": "AppRunAtTime", "start": "2026-10-28 14:00:00"})",
        R"({"type": 4, "application": "NamedEvents\\SCRIPT:sync", "arguments": "", "start": "2026-12-09 03:00:00"})",
        R"({"type": 3, "application": "\\Windows\\clock.exe", "start": "2026-12-10 06:45:00", "end": "2026-12-10 07:00:00"})",
        R"({"type": 2, "start": "2031-01-01 00:00:00", "user": {"title": "Far", "text": "future"}})",
        R"({"type": 2, "application": "\\Program Files\\Quillex\\Quillex.exe", "arguments": "-auto", "start": "2026-12-07 18:30:00"})",
    };
    std::string queue = "[";
    for (int n = 4 + pick(8); n > 0; --n) {
        // Neighbours repeat now and then, so that duplicates are among them.
        const char* entry = kinds[pick(static_cast<int>(std::size(kinds)))];
        queue += std::string(queue.size() > 1 ? "," : "") + entry;
        if (pick(3) == 0) queue += std::string(",") + entry;
    }
    ASSERT_EQ(0, tool(dir, {"notify", "import", "-"}, queue + "]").exitCode);
    ASSERT_EQ(0, tool(dir, {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
    ASSERT_EQ(0, tool(dir, {"version", platformVersion}).exitCode);
}

// A copy made entry by entry in name order, so that two copies list their folders alike.
void copyDevice(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(from)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        fs::path target = to / entry.filename();
        if (fs::is_directory(fs::symlink_status(entry))) {
            copyDevice(entry, target);
        } else {
            fs::copy_file(entry, target);
            fs::permissions(target, fs::status(entry).permissions());
        }
    }
}

// Everything a run could change, read back: fs/ (paths, kinds, modes, contents) and the
// store's logical content through the tool. The store file itself is not compared: its
// WAL bookkeeping changes whenever a process opens it.
std::string deviceState(const std::string& dir) {
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(dir) / "fs")) {
        struct stat info;
        lstat(entry.path().c_str(), &info);
        std::string line = entry.path().string() + " " + std::to_string(info.st_mode);
        if (S_ISREG(info.st_mode)) line += " " + testing_support::ScopedDevice::readHostFile(entry.path().string());
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string state;
    for (const std::string& line : lines) state += line + "\n";
    for (std::vector<std::string> command : std::vector<std::vector<std::string>>{
             {"reg", "export"}, {"notify", "list", "--json"}, {"events", "--json"}, {"clock", "show"}, {"version"}})
        state += tool(dir, command).output;
    return state;
}

// Runs quillex on `dir` with some of its files held open by this process meanwhile.
RunResult runHolding(const std::string& dir, const std::vector<std::string>& held, std::vector<std::string> args) {
    std::string error;
    EXPECT_TRUE(device::open(dir, &error)) << error;
    std::vector<HANDLE> handles;
    for (const std::string& path : held) {
        std::u16string name = wide(path);
        handles.push_back(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_NE(INVALID_HANDLE_VALUE, handles.back()) << path;
    }
    args.insert(args.begin(), {"--device", dir});
    RunResult result = run(quillexBinary(), args);
    for (HANDLE handle : handles) CloseHandle(handle);
    device::close();
    return result;
}

// The JSON report parsed back, checked against itself and against the device after the run.
void checkReport(const Json& report, const std::string& dir, bool preview) {
    EXPECT_EQ(preview, report.at("preview").get<bool>());
    uint64_t deleted = 0, kept = 0, freed = 0;
    for (const Json& action : report.at("actions")) {
        for (const Json& file : action.at("files")) {
            std::string host = dir + "/fs" + file.at("path").get<std::string>();
            std::replace(host.begin() + static_cast<long>(dir.size()), host.end(), '\\', '/');
            bool isDeleted = file.at("result") == "deleted";
            deleted += isDeleted;
            kept += !isDeleted;
            if (isDeleted) freed += file.at("size").get<uint64_t>();
            // After the real run, what it reports deleted is gone and what it kept is there.
            if (!preview) {
                EXPECT_EQ(!isDeleted, fs::exists(fs::symlink_status(host))) << host;
            }
        }
    }
    EXPECT_EQ(deleted, report.at("totals").at("filesDeleted").get<uint64_t>());
    EXPECT_EQ(kept, report.at("totals").at("filesKept").get<uint64_t>());
    EXPECT_EQ(freed, report.at("totals").at("bytesFreed").get<uint64_t>());
}

TEST(PreviewTest, PreviewOfEachActionEqualsTheRunAndLeavesTheDeviceAsItWas) {
    ScopedFolder work;
    struct Seed {
        unsigned seed;
        const char* platform;  // 4.20: the automatic run's restart is the kernel's, which ends the process
    };
    for (Seed seed : {Seed{1, "5.1"}, Seed{2, "5.1"}, Seed{3, "4.20"}}) {
        SCOPED_TRACE("seed " + std::to_string(seed.seed));
        fs::path original = fs::path(work.path) / ("seed" + std::to_string(seed.seed));
        generateDevice(original.string(), seed.seed, seed.platform);
        // Files held open: one in each swept folder that has files directly in it.
        std::vector<std::string> held;
        for (const char* folder : {"Temp", "Windows/AvantGo"}) {
            for (const auto& entry : fs::directory_iterator(original / "fs" / folder)) {
                if (entry.is_regular_file() && (fs::status(entry).permissions() & fs::perms::owner_write) != fs::perms::none) {
                    std::string path = "\\" + std::string(folder) + "\\" + entry.path().filename().string();
                    std::replace(path.begin(), path.end(), '/', '\\');
                    held.push_back(path);
                    break;
                }
            }
        }
        for (const char* commandLine : {"n", "t", "c", "h", "a", "-auto"}) {
            SCOPED_TRACE(commandLine);
            fs::path previewed = fs::path(work.path) / "previewed", ran = fs::path(work.path) / "ran";
            fs::remove_all(previewed);
            fs::remove_all(ran);
            copyDevice(original, previewed);
            copyDevice(original, ran);

            std::string before = deviceState(previewed.string());
            RunResult preview = runHolding(previewed.string(), held, {"--preview", "--json", "--", commandLine});
            ASSERT_EQ(0, preview.exitCode) << preview.output;
            EXPECT_EQ(before, deviceState(previewed.string()));
            RunResult real = runHolding(ran.string(), held, {"--json", "--", commandLine});
            ASSERT_EQ(0, real.exitCode) << real.output;

            Json previewReport = Json::parse(preview.output), realReport = Json::parse(real.output);
            checkReport(previewReport, previewed.string(), true);
            checkReport(realReport, ran.string(), false);
            EXPECT_FALSE(realReport.at("actions").empty());
            for (Json* report : {&previewReport, &realReport}) {
                report->erase("device");
                report->erase("preview");
            }
            EXPECT_EQ(previewReport.dump(1), realReport.dump(1));

            // The plain run keeps only counts and sizes, yet must tell what the full record tells.
            fs::remove_all(previewed);
            fs::remove_all(ran);
            copyDevice(original, previewed);
            copyDevice(original, ran);
            RunResult listed = runHolding(previewed.string(), held, {"--preview", "--", commandLine});
            RunResult plain = runHolding(ran.string(), held, {"--", commandLine});
            ASSERT_EQ(0, plain.exitCode) << plain.output;
            size_t summaryAt = listed.output.rfind("\n\n");
            ASSERT_NE(std::string::npos, summaryAt) << listed.output;
            EXPECT_EQ(listed.output.substr(summaryAt + 2), plain.output);
        }
    }
}

// Runs quillex as an ordinary user (nobody, when this test runs as root) on a device
// handed to that user beforehand.
RunResult quillexAsUser(const std::string& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", dir});
    if (geteuid() != 0) return run(quillexBinary(), args);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", quillexBinary()});
    return run("setpriv", args);
}

void handToUser(const std::string& dir) {
    if (geteuid() != 0) return;
    lchown(dir.c_str(), 65534, 65534);
    for (const auto& entry : fs::recursive_directory_iterator(dir)) lchown(entry.path().c_str(), 65534, 65534);
}

// What the text report says after the item list: its summary lines.
std::string summaryOf(const std::string& listed) {
    size_t at = listed.rfind("\n\n");
    return at == std::string::npos ? listed : listed.substr(at + 2);
}

// A change the host or the store refuses is reported kept, with its reason, and fails the
// run; the preview, which changes nothing, says the same of it.
TEST(ReportTest, WhatTheHostOrTheStoreRefusesIsReportedKeptAndFailsTheRun) {
    struct Case {
        const char* what;
        const char* commandLine;
        const char* refuse;  // the host path, below the device, made read-only
        mode_t mode;
        bool usersOwn;       // whether the device is handed to the user who runs quillex
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"a read-only store", "n", "store.db", 0444, true,
         {"  keep entry    1  event 12  -  \"connmgr.exe\"  \"x\"  (store read-only)\n",
          "Notifications: 2 entries kept: 2 store read-only\n"}},
        {"a folder the user may not write", "t", "fs/Temp", 0555, true,
         {"  keep file     \\Temp\\a.tmp  2 bytes  (refused)\n", "  keep folder   \\Temp\\sub  (refused)\n",
          "Temp files: 2 files kept: 2 refused; 1 folder kept: 1 refused\n"}},
        // Nothing of it is the user's, the log included: each refused line stands for its action.
        {"a device of another user's", "nt", "fs", 0755, false,
         {"  not written   \\Program Files\\Quillex\\Quillex.log  (refused)\n",
          "Notifications: 2 entries kept: 2 store read-only; 1 write failed: 1 refused\n",
          "Temp files: 2 files kept: 2 refused; 1 folder kept: 1 refused; 1 write failed: 1 refused\n"}},
    };
    ScopedFolder work;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.usersOwn && geteuid() != 0) {
            std::printf("(not root: no device of another user to run on)\n");
            continue;
        }
        std::string dir = work.path + "/device";
        fs::remove_all(dir);
        ASSERT_EQ(0, tool(dir, {"init"}).exitCode);
        ASSERT_EQ(0, tool(dir, {"notify", "import", "-"},
                          R"([{"type": 1, "event": 12, "application": "connmgr.exe", "arguments": "x"},
                              {"type": 1, "event": 12, "application": "connmgr.exe", "arguments": "x"}])")
                         .exitCode);
        for (const char* name : {"a.tmp", "b.tmp"}) std::ofstream(dir + "/fs/Temp/" + name) << "x\n";
        fs::create_directory(dir + "/fs/Temp/sub");
        ASSERT_EQ(0, tool(dir, {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
        if (c.usersOwn) handToUser(work.path);
        chmod(work.path.c_str(), 0755);
        chmod((dir + "/" + c.refuse).c_str(), c.mode);

        RunResult preview = quillexAsUser(dir, {"--preview", c.commandLine});
        RunResult real = quillexAsUser(dir, {c.commandLine});
        EXPECT_EQ(1, preview.exitCode) << preview.output;
        EXPECT_EQ(1, real.exitCode) << real.output;
        for (const std::string& line : c.said) EXPECT_NE(std::string::npos, preview.output.find(line)) << line << preview.output;
        EXPECT_EQ(summaryOf(preview.output), real.output);
        // Nothing went, though the program asked.
        std::string entries = tool(dir, {"notify", "list"}).output;
        EXPECT_EQ(2, std::count(entries.begin(), entries.end(), '\n')) << entries;
        for (const char* name : {"a.tmp", "b.tmp", "sub"}) EXPECT_TRUE(fs::exists(dir + "/fs/Temp/" + name)) << name;
        Json previewReport = Json::parse(quillexAsUser(dir, {"--preview", "--json", c.commandLine}).output);
        Json realReport = Json::parse(quillexAsUser(dir, {"--json", c.commandLine}).output);
        for (Json* report : {&previewReport, &realReport}) {
            report->erase("device");
            report->erase("preview");
        }
        EXPECT_EQ(previewReport.dump(1), realReport.dump(1));
        chmod((dir + "/" + c.refuse).c_str(), 0755);
    }
}

// Every entry the sweep lists is in the report, those the device cannot name too, and no
// name reaches the terminal as anything but visible text: not an escape sequence, not a
// line of its own.
TEST(ReportTest, EveryEntryTheSweepMeetsIsReportedAndNoNameActsOnTheTerminal) {
    testing_support::ScopedDevice device;
    const std::string longFolder(200, 'L'), longName(70, 'x');
    struct Case {
        std::string hostName;  // below \Temp
        std::string shown;     // as the report shows it
        bool deleted;
    };
    const Case cases[] = {
        {"star*.tmp", "keep file     \\Temp\\star*.tmp  2 bytes  (name not valid on the device)", false},
        {"what?.tmp", "keep file     \\Temp\\what?.tmp  2 bytes  (name not valid on the device)", false},
        {"not\xff" "utf8.tmp", "keep file     \\Temp\\not\\xffutf8.tmp  2 bytes  (name not valid on the device)", false},
        {longFolder + "/" + longName,
         "keep file     \\Temp\\" + longFolder + "\\" + longName + "  2 bytes  (name not valid on the device)", false},
        {"title\x1b]0;owned\x07.tmp", "delete file   \\Temp\\title\\x1b]0;owned\\x07.tmp  2 bytes", true},
        {"forged\ncleanupHistory: 9,999 files deleted", "delete file   \\Temp\\forged\\ncleanupHistory: 9,999 files deleted  2 bytes",
         true},
        {"reversed\xe2\x80\xae" "pmt.exe", "delete file   \\Temp\\reversed\\u202epmt.exe  2 bytes", true},
    };
    for (const Case& c : cases) device.writeText("\\Temp\\" + c.hostName, "x\n");
    RunResult preview = run(quillexBinary(), {"--device", device.dir(), "--preview", "t"});
    RunResult verbose = run(quillexBinary(), {"--device", device.dir(), "--verbose", "t"});
    for (const RunResult* result : {&preview, &verbose}) {
        EXPECT_EQ(0, result->exitCode) << result->output;
        for (const Case& c : cases) EXPECT_NE(std::string::npos, result->output.find("  " + c.shown + "\n")) << c.shown;
        EXPECT_NE(std::string::npos,
                  result->output.find("Temp files: 3 files deleted (6 bytes freed); 4 files kept: 4 name not valid on "
                                      "the device; 1 folder kept: 1 folder not empty\n"))
            << result->output;
        EXPECT_EQ(std::string::npos, result->output.find_first_of("\x1b\x07\r")) << result->output;
        EXPECT_EQ(std::string::npos, result->output.find("\ncleanupHistory")) << result->output;
    }
    for (const Case& c : cases) EXPECT_EQ(!c.deleted, device.exists("\\Temp\\" + c.hostName)) << c.shown;
    // The JSON stays JSON: the same names, escaped as JSON escapes them.
    Json report = Json::parse(run(quillexBinary(), {"--device", device.dir(), "--json", "t"}).output);
    std::vector<std::string> kept;
    for (const Json& file : report.at("actions").at(0).at("files")) kept.push_back(file.at("path").get<std::string>());
    EXPECT_NE(kept.end(), std::find(kept.begin(), kept.end(), "\\Temp\\not\xef\xbf\xbdutf8.tmp"));
    EXPECT_NE(kept.end(), std::find(kept.begin(), kept.end(), "\\Temp\\star*.tmp"));
}

// A run a signal stops says what it did until then, marked as stopped, and ends as a shell
// expects (128 + the signal); what it says is so, the log holds whole lines, and a run
// after it finishes the work.
TEST(ReportTest, ARunStoppedByASignalReportsWhatItDidSoFar) {
    testing_support::ScopedDevice device;
    constexpr int kFiles = 30000;
    device.makeFolder("\\Temp");
    for (int n = 0; n < kFiles; ++n) std::ofstream(device.host("\\Temp\\f" + std::to_string(n) + ".tmp")) << "x";
    const std::string log = device.host("\\Program Files\\Quillex\\Quillex.log");
    auto left = [&] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(device.host("\\Temp"))) count += entry.is_regular_file();
        return count;
    };
    struct Case {
        int signal;
        bool json;
    };
    for (Case c : {Case{SIGTERM, true}, Case{SIGHUP, false}, Case{SIGINT, false}}) {
        SCOPED_TRACE(strsignal(c.signal));
        int before = left();
        std::string output = device.dir() + "/../report.out";
        fs::remove(log);
        std::string binary = quillexBinary();
        pid_t pid = fork();
        if (pid == 0) {
            if (!freopen(output.c_str(), "w", stdout)) _exit(127);
            execl(binary.c_str(), "quillex", "--device", device.dir().c_str(), c.json ? "--json" : "--verbose", "t", nullptr);
            _exit(127);
        }
        // Stopped as soon as it has begun (its log line is the action's first step), then
        // signalled: it can only have got so far.
        while (!fs::exists(log)) sched_yield();
        kill(pid, SIGSTOP);
        int status = 0;
        ASSERT_EQ(0, waitpid(pid, &status, WNOHANG)) << "the run ended before it could be stopped";
        kill(pid, c.signal);
        kill(pid, SIGCONT);
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(128 + c.signal, WEXITSTATUS(status));
        std::string text = testing_support::ScopedDevice::readHostFile(output);
        int gone = before - left();
        EXPECT_GT(left(), 0);
        if (c.json) {
            Json report = Json::parse(text);
            EXPECT_TRUE(report.at("interrupted").get<bool>());
            EXPECT_EQ("SIGTERM", report.at("signal"));
            EXPECT_EQ(static_cast<uint64_t>(gone), report.at("totals").at("filesDeleted").get<uint64_t>());
        } else {
            std::string ending = "\ninterrupted by " + std::string(c.signal == SIGHUP ? "SIGHUP" : "SIGINT") +
                                 ": the report tells what the run did until then\n";
            ASSERT_GT(text.size(), ending.size());
            EXPECT_EQ(ending, text.substr(text.size() - ending.size())) << text.substr(0, 400);
            size_t listed = 0;
            for (size_t at = 0; (at = text.find("\n  delete file   ", at)) != std::string::npos; ++at) ++listed;
            EXPECT_EQ(static_cast<size_t>(gone), listed);
        }
        std::vector<std::string> lines = testing_support::logLines(testing_support::ScopedDevice::readHostFile(log));
        ASSERT_EQ(1u, lines.size());
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d/\d\d \d\d:\d\d:\d\d ->cleanupTemp)"))) << lines[0];
    }
    RunResult rest = run(quillexBinary(), {"--device", device.dir(), "t"});
    EXPECT_EQ(0, rest.exitCode) << rest.output;
    EXPECT_EQ(0, left());
}

// On a full disk a log line is whole or absent: the write that falls short is taken back,
// the line after it starts on a line of its own, and the run says the write failed.
TEST(ReportTest, OnAFullDiskALogLineIsWholeOrAbsent) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to mount a small tmpfs of its own";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "cannot make a mount namespace of its own here";
    ScopedFolder work;
    if (mount("tmpfs", work.path.c_str(), "tmpfs", 0, "size=2m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string dir = work.path + "/device", line = "07/12 10:00:00 ->cleanupTemp\r\n";
    ASSERT_EQ(0, tool(dir, {"init"}).exitCode);
    ASSERT_EQ(0, tool(dir, {"clock", "freeze", "2026-12-07 10:00:00"}).exitCode);
    // Whole lines up to 16 bytes short of the end of a page: the next line fits only in part.
    std::string lines;
    while (lines.size() + line.size() <= 4096 - 16) lines += line;
    const std::string log = dir + "/fs/Program Files/Quillex/Quillex.log";
    std::ofstream(log, std::ios::binary) << lines;
    std::ofstream(dir + "/fs/Temp/a.tmp") << "x";
    std::string error;
    ASSERT_TRUE(device::open(dir, &error)) << error;  // keeps the store's side files while the disk is full
    {
        std::ofstream filler(work.path + "/filler", std::ios::binary);
        std::string block(4096, 'f');
        for (size_t size = block.size(); size > 0; size /= 2) {
            while (filler.write(block.data(), static_cast<std::streamsize>(size)).flush()) {
            }
            filler.clear();
        }
    }
    RunResult full = run(quillexBinary(), {"--device", dir, "t"});
    EXPECT_EQ(1, full.exitCode) << full.output;
    EXPECT_NE(std::string::npos, full.output.find("1 write failed: 1 disk full")) << full.output;
    EXPECT_EQ(lines, testing_support::ScopedDevice::readHostFile(log));
    fs::remove(work.path + "/filler");
    RunResult after = run(quillexBinary(), {"--device", dir, "t"});
    EXPECT_EQ(0, after.exitCode) << after.output;
    EXPECT_EQ(lines + line, testing_support::ScopedDevice::readHostFile(log));
    device::close();
    umount2(work.path.c_str(), MNT_DETACH);
}

}  // namespace
