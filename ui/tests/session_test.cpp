// Whole sessions of the real program on the script screen: the figures before and after a
// Cleanup, Export Log, the Auto-start dialog set up by taps and keys and saved with OK,
// and each way of leaving the program.
#include "device/kernel/journal.h"
#include "device/notifications/notifications.h"
#include "device/screens/screen.h"
#include "tests/support/scoped_device.h"
#include "ui/tests/dialog_steps.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using dialog_steps::storedValue;

using testing_support::quillexBinary;
using testing_support::run;
using testing_support::RunResult;
using testing_support::ScopedDevice;

// The screens a run wrote, each as its lines.
std::vector<std::vector<std::string>> screens(const std::string& output) {
    std::vector<std::vector<std::string>> result;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line == std::string(device::kScreenColumns, '='))
            result.emplace_back();
        else if (!result.empty())
            result.back().push_back(line);
    }
    return result;
}

// The line of `screen` that starts with `label` after its leading blanks, without them;
// or "".
std::string row(const std::vector<std::string>& screen, const std::string& label) {
    for (const std::string& line : screen) {
        size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, label.size(), label) == 0) return line.substr(start);
    }
    return "";
}

bool shows(const std::vector<std::string>& screen, const std::string& text) {
    for (const std::string& line : screen)
        if (line.find(text) != std::string::npos) return true;
    return false;
}


class SessionTest : public ::testing::Test {
protected:
    RunResult session(const std::string& script) { return run(quillexBinary(), {"--device", device_.dir()}, script); }
    ScopedDevice device_;
};

TEST_F(SessionTest, CleanupExportLogAndAutomaticStartThenExit) {
    device_.writeFile("\\Temp\\a.tmp", 1536);
    device_.writeFile("\\Windows\\AvantGo\\channel.db", 2048);
    dialog_steps::addReminder();
    RunResult result = session(
        "dump\n"
        "tap 1004\n"                 // Temp files
        "softkey left\n"             // Cleanup
        "softkey right\n"
        "menu Export Log\n"
        "softkey right\n"
        "menu Automatic Start\n"
        "tap 1300\n"                 // Monday
        "tap 1302\n"                 // Wednesday
        "tap 1299\n"                 // Sunday, twice: as it was
        "tap 1299\n"
        "key 1\nkey 8\nkey Right\nkey 3\nkey 0\n"  // the picker has the focus: 18:30
        "tap 1014\n"                 // Notifications
        "tap 1010\n"                 // AvantGo Cache
        "key Escape\n"               // no Cancel here
        "dump\n"
        "ok\n"
        "softkey right\n"
        "menu Exit\n");
    EXPECT_EQ(0, result.exitCode) << result.output;
    std::vector<std::vector<std::string>> shown = screens(result.output);
    ASSERT_GE(shown.size(), 4u) << result.output;

    // The tap leaves the focus ('>') on the box.
    EXPECT_EQ("Temp files:           1.5 KB    [ ]", row(shown[0], "Temp files:"));
    EXPECT_EQ("Temp files:           1.5 KB   >[x]", row(shown[1], "Temp files:"));
    EXPECT_EQ("Temp files:           0.0 KB   >[ ]", row(shown[2], "Temp files:"));
    EXPECT_TRUE(shows(shown[2], "AvantGo Cache:        2.0 KB    [ ]")) << "unchecked rows are left alone";
    EXPECT_FALSE(device_.exists("\\Temp\\a.tmp"));
    EXPECT_TRUE(device_.exists("\\Windows\\AvantGo\\channel.db"));

    // The dump before OK: the Auto-start dialog, still open after Escape.
    std::vector<std::string> autoStart;
    for (const auto& screen : shown)
        if (shows(screen, "At:") && shows(screen, "18:[30]")) autoStart = screen;
    ASSERT_FALSE(autoStart.empty()) << result.output;
    EXPECT_EQ(0u, autoStart[0].rfind("Auto-start"));
    EXPECT_TRUE(shows(autoStart, "[x] Notifications"));
    EXPECT_TRUE(shows(autoStart, "[x] AvantGo Cache"));
    EXPECT_TRUE(shows(autoStart, "[ ] Soft-reset on finish"));

    EXPECT_EQ(0x0A, storedValue(TEXT("startDays")));
    EXPECT_EQ(1830, storedValue(TEXT("startTime")));
    EXPECT_EQ(0x11, storedValue(TEXT("startOptions")));
    // The next automatic run was registered as the dialog closed.
    std::vector<device::NotificationEntry> entries = device::notificationList();
    ASSERT_EQ(2u, entries.size());  // the reminder and the automatic run
    const device::NotificationEntry& next = entries[0].arguments == u"-auto" ? entries[0] : entries[1];
    EXPECT_EQ(u"-auto", next.arguments.value_or(u""));
    EXPECT_EQ(18, next.start.wHour);
    EXPECT_EQ(30, next.start.wMinute);

    std::string log = device_.readText("\\Program Files\\Quillex\\Quillex.log");
    EXPECT_NE(std::string::npos, log.find("cleanupTemp\r\n"));
    EXPECT_EQ(std::string::npos, log.find("cleanupAvantGo"));
    EXPECT_NE(std::string::npos, log.find("cleanupNotifications: 1 items, removed: 0"));  // Export Log
}

TEST_F(SessionTest, AboutStaysUntilItsOkAndEachWayOutEndsWithZero) {
    RunResult about = session("softkey right\nmenu About\nkey Escape\ndump\nok\ndump\nok\n");
    EXPECT_EQ(0, about.exitCode) << about.output;
    std::vector<std::vector<std::string>> shown = screens(about.output);
    ASSERT_GE(shown.size(), 4u) << about.output;
    EXPECT_EQ(0u, shown[2].front().rfind("About Quillex")) << "Escape left it open";
    EXPECT_TRUE(shows(shown[2], "Quillex v1.07"));
    EXPECT_EQ(0u, shown[3].front().rfind("Quillex")) << "OK closed it";
    EXPECT_EQ("Notifications:        0        >[ ]", row(shown[3], "Notifications:")) << "the box has the focus again";

    for (const char* way : {"ok\n", "key Escape\n", "softkey right\nmenu Exit\n", ""}) {
        RunResult result = session(way);
        EXPECT_EQ(0, result.exitCode) << way << result.output;
        EXPECT_EQ(std::string::npos, result.output.find("quillex:")) << way << result.output;
    }
}

}  // namespace
