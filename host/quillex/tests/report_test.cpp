// quillex's host command line and its reports, end to end through the built programs:
// options refused before anything runs, "--" handing the rest to the program, and, on
// generated devices, the preview's JSON equal to the real run's, its summary equal to the
// plain run's, and the device untouched by the preview.
#include "device/boot/device.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>

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

}  // namespace
