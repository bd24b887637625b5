// The automatic run and the chain of scheduled runs, through the built programs on a
// real device folder: the actions in bit order, both restart paths, weeks of runs fired
// by the device's scheduler, and an automatic run beside another run.
#include "app/quillex.h"
#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "device/notifications/notifications.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::deviceToolBinary;
using testing_support::logLines;
using testing_support::quillexBinary;
using testing_support::run;
using testing_support::RunResult;
using testing_support::ScopedDevice;

namespace {

class AutoRunTest : public ::testing::Test {
protected:
    // The tool registers this build's quillex as the device's Quillex.exe, so that the
    // device's scheduler can start it.
    void SetUp() override { tool({"init"}); }

    RunResult tool(const std::vector<std::string>& args, const std::string& input = "") {
        std::vector<std::string> all = {"--device", device_.dir()};
        all.insert(all.end(), args.begin(), args.end());
        RunResult result = run(deviceToolBinary(), all, input);
        EXPECT_EQ(0, result.exitCode) << result.output;
        return result;
    }

    RunResult quillex(const std::string& commandLine) { return run(quillexBinary(), {"--device", device_.dir(), commandLine}); }

    void schedule(int days, int time, int options) {
        char file[256];
        std::snprintf(file, sizeof file,
                      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n\"startDays\"=dword:%08x\n"
                      "\"startTime\"=dword:%08x\n\"startOptions\"=dword:%08x\n",
                      days, time, options);
        tool({"reg", "import", "-"}, file);
    }

    std::vector<std::string> logTexts() {
        std::vector<std::string> texts;
        for (const std::string& line : logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")))
            texts.push_back(line.substr(17));
        return texts;
    }

    std::vector<std::string> logLinesWithTimes() { return logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")); }

    std::vector<device::NotificationEntry> autoStartEntries() {
        std::vector<device::NotificationEntry> found;
        for (const device::NotificationEntry& entry : device::notificationList())
            if (entry.arguments == u"-auto") found.push_back(entry);
        return found;
    }

    std::vector<std::string> restarts() {
        std::vector<std::string> by;
        for (const device::JournalEvent& event : device::journalList())
            if (event.kind == "restart") by.push_back(event.by);
        return by;
    }

    void addQueueEntry() {
        CE_NOTIFICATION_TRIGGER trigger = {};
        trigger.dwSize = sizeof trigger;
        trigger.dwType = CNT_EVENT;
        trigger.dwEvent = 9;
        trigger.lpszApplication = const_cast<WCHAR*>(TEXT("\\Windows\\repllog.exe"));
        trigger.lpszArguments = const_cast<WCHAR*>(TEXT("AppRunAtRs232Detect"));
        CloseHandle(CeSetUserNotificationEx(nullptr, &trigger, nullptr));
    }

    ScopedDevice device_;
};

TEST_F(AutoRunTest, ActionsRunInBitOrderThenTheNextRunIsRegistered) {
    tool({"clock", "freeze", "2026-12-07 10:00:00"});
    addQueueEntry();
    device_.writeFile("\\Temp\\a.tmp", 5);
    schedule(0x7F, 1430, 0x1F);
    RunResult result = quillex("-auto");
    EXPECT_EQ(0, result.exitCode) << result.output;
    EXPECT_EQ((std::vector<std::string>{"cleanupNotifications: 1 items, removed: 0", "cleanupTemp", "cleanupIECache",
                                        "cleanupHistory", "cleanupAvantGo", "removeNotifications"}),
              logTexts());
    EXPECT_FALSE(device_.exists("\\Temp\\a.tmp"));
    ASSERT_EQ(1u, autoStartEntries().size());
    EXPECT_EQ("2026-12-07 14:30:00.000", device::formatDeviceTime(autoStartEntries()[0].start));
    EXPECT_TRUE(restarts().empty());
}

TEST_F(AutoRunTest, NoOptionsDoesNothingButTheRegistrationStep) {
    device_.writeFile("\\Temp\\a.tmp", 5);
    schedule(0x7F, 1430, 0);
    EXPECT_EQ(0, quillex("-auto").exitCode);
    EXPECT_EQ(std::vector<std::string>{"removeNotifications"}, logTexts());
    EXPECT_TRUE(device_.exists("\\Temp\\a.tmp"));
    EXPECT_TRUE(autoStartEntries().empty());
}

TEST_F(AutoRunTest, ShellRestartIsRequestedAndTheRunGoesOn) {
    tool({"clock", "freeze", "2026-12-07 10:00:00"});
    addQueueEntry();
    schedule(0x02, 1430, 0x21);
    EXPECT_EQ(0, quillex("-auto").exitCode);
    EXPECT_EQ(std::vector<std::string>{"shell"}, restarts());
    EXPECT_EQ((std::vector<std::string>{"cleanupNotifications: 1 items, removed: 0", "removeNotifications"}), logTexts());
    EXPECT_EQ(1u, autoStartEntries().size());
}

TEST_F(AutoRunTest, KernelResetOnOlderPlatformsStillLeavesTheNextRunRegistered) {
    tool({"version", "4.20"});
    tool({"clock", "freeze", "2026-12-07 10:00:00"});
    addQueueEntry();
    schedule(0x02, 1430, 0x21);
    RunResult result = quillex("-auto");
    EXPECT_EQ(0, result.exitCode) << result.output;
    EXPECT_EQ(std::vector<std::string>{"kernel"}, restarts());
    // Registered once, before the reset; nothing runs after it.
    EXPECT_EQ((std::vector<std::string>{"cleanupNotifications: 1 items, removed: 0", "removeNotifications"}), logTexts());
    ASSERT_EQ(1u, autoStartEntries().size());
    EXPECT_EQ("2026-12-07 14:30:00.000", device::formatDeviceTime(autoStartEntries()[0].start));
}

TEST_F(AutoRunTest, MissingShellLibraryOrEntryPointSkipsTheRestartQuietly) {
    resolveInstallDir();
    schedule(0x7F, 1430, 0x20);
    for (const char* missing : {"LoadLibraryW", "GetProcAddressW"}) {
        device::faultArm(missing, 1);
        EXPECT_EQ(0, runAutoStart());
    }
    EXPECT_TRUE(restarts().empty());
    EXPECT_EQ(0, runAutoStart());
    EXPECT_EQ(std::vector<std::string>{"shell"}, restarts());
}

// Weeks of automatic runs fired by the device, with the settings and the platform
// changed in between: every run comes at its weekday and time, each followed by the
// removal of its entry, and one entry is pending at the end.
TEST_F(AutoRunTest, WeeksOfRunsFollowTheScheduleOnBothPlatforms) {
    tool({"clock", "freeze", "2026-12-07 10:00:00"});  // a Monday
    schedule(0x22, 1830, 0x02);                      // Monday and Friday at 18:30
    EXPECT_EQ(0, quillex("-auto").exitCode);
    tool({"clock", "advance", "14d"});
    // Wednesdays at 07:05 with a restart, on the older platform: the kernel path.
    schedule(0x08, 705, 0x22);
    tool({"version", "4.20"});
    tool({"clock", "advance", "7d"});  // the pending Monday run fires first and picks up the new schedule
    tool({"version", "5.1"});
    schedule(0x41, 0, 0x22);  // Saturdays and Sundays at the time of scheduling
    tool({"clock", "advance", "8d"});

    std::vector<std::string> runs;
    for (const std::string& line : logLinesWithTimes())
        if (line.substr(17) == "cleanupTemp") runs.push_back(line.substr(0, 14));
    EXPECT_EQ((std::vector<std::string>{
                  "07/12 10:00:00",                                                          // by hand
                  "07/12 18:30:00", "11/12 18:30:00", "14/12 18:30:00", "18/12 18:30:00",  // Mon, Fri
                  "21/12 18:30:00",                                                          // Mon: reads the new schedule
                  "23/12 07:05:00",                                                          // Wed, kernel reset
                  "30/12 07:05:00",                                                          // Wed, shell restart
                  "02/01 07:05:00", "03/01 07:05:00",                                        // Sat, Sun
              }),
              runs);
    // Every run ends with the removal of its own entry, and only one is left.
    std::vector<std::string> texts = logTexts();
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] == "cleanupTemp") {
            EXPECT_EQ("removeNotifications", texts.at(i + 1)) << i;
        }
    }
    ASSERT_EQ(1u, autoStartEntries().size());
    EXPECT_EQ("2027-01-09 07:05:00.000", device::formatDeviceTime(autoStartEntries()[0].start));
    // Monday 21/12 and Wednesday 23/12 on the older platform, then three on the newer.
    EXPECT_EQ((std::vector<std::string>{"kernel", "kernel", "shell", "shell", "shell"}), restarts());
}

TEST_F(AutoRunTest, AnAutomaticRunBesideAnotherRunLosesNothing) {
    tool({"init", "--demo"});
    schedule(0x7F, 1430, 0x1F);
    for (int round = 0; round < 3; ++round) {
        device_.writeFile("\\Temp\\round.tmp", 10);
        pid_t child = fork();
        if (child == 0) {
            // The child only starts a program; it never touches this process's store.
            execl(quillexBinary().c_str(), "quillex", "--device", device_.dir().c_str(), "ntcha", nullptr);
            _exit(127);
        }
        RunResult automatic = quillex("-auto");
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(0, automatic.exitCode) << automatic.output;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every line whole: a timestamp and one of the texts the program writes.
    std::regex whole(R"(\d\d/\d\d \d\d:\d\d:\d\d ->(cleanupNotifications: \d+ items, removed: \d+|cleanupTemp|cleanupIECache|cleanupHistory|cleanupAvantGo|removeNotifications))");
    std::vector<std::string> lines = logLinesWithTimes();
    EXPECT_EQ(3u * 6u + 3u * 5u, lines.size());
    for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, whole)) << line;
    EXPECT_EQ(1u, autoStartEntries().size());
    device::Statement check(device::store(), "PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ("ok", check.columnText(0));
    EXPECT_NE(std::string::npos, tool({"reg", "export", "HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex"})
                                     .output.find("\"startOptions\"=dword:0000001f"));
}

}  // namespace
