// The main dialog in a running program: the figures it measures at opening, the Cleanup
// soft key (what it cleans, in which order, what it refreshes and starts), the Tools
// menu's Export Log, About and Automatic Start.
#include "device/core/faults.h"
#include "device/kernel/journal.h"
#include "device/notifications/notifications.h"
#include "device/windowing/messages.h"
#include "res/resource.h"
#include "ui/tests/dialog_steps.h"

#include <algorithm>
#include <map>

namespace {

using dialog_steps::addReminder;
using dialog_steps::ProgramTest;
using testing_support::ScopedDevice;

const char* const kTempFile = "\\Temp\\a.tmp";
const char* const kWindowsTempFile = "\\Windows\\Temp\\b.tmp";
const char* const kCacheFile = "\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\X1\\page.htm";
const char* const kHistoryFile = "\\Windows\\Profiles\\guest\\History\\History.IE5\\index.dat";
const char* const kAvantGoFile = "\\Windows\\AvantGo\\channel.db";
const int kBoxes[] = {IDC_NOTIFICATIONS_CHECK, IDC_TEMP_CHECK, IDC_IECACHE_CHECK, IDC_HISTORY_CHECK,
                      IDC_AVANTGO_CHECK};

DWORD notificationCount() {
    DWORD count = 0;
    CeGetUserNotificationHandles(nullptr, 0, &count);
    return count;
}

std::vector<device::JournalEvent> starts() {
    std::vector<device::JournalEvent> result;
    for (const device::JournalEvent& event : device::journalList())
        if (event.kind == "start") result.push_back(event);
    return result;
}

class MainDialogTest : public ProgramTest {
protected:
    // A still clock gives reminders added one after another one start time, so that they
    // are duplicates however slowly they are added.
    void SetUp() override {
        ProgramTest::SetUp();
        device::clockFreeze(device::clockNow());
    }

    void fillDevice() {
        device_.writeFile(kTempFile, 1536);
        device_.writeFile(kWindowsTempFile, 1048576 - 1536);
        device_.writeFile(kCacheFile, 1572864);
        device_.writeFile(kHistoryFile, 2048);
        device_.writeFile(kAvantGoFile, 1048577);
        for (int i = 0; i < 3; ++i) addReminder();
    }
};

TEST_F(MainDialogTest, OpensWithEveryFigureMeasuredAndNoBoxChecked) {
    fillDevice();
    then([] {
        EXPECT_EQ(u"Quillex", textOf(front()));
        EXPECT_EQ(u"3", figure(IDC_NOTIFICATIONS_COUNT));
        EXPECT_EQ(u"1024.0 KB", figure(IDC_TEMP_SIZE));  // both temporary folders
        EXPECT_EQ(u"1.5 MB", figure(IDC_IECACHE_SIZE));
        EXPECT_EQ(u"2.0 KB", figure(IDC_HISTORY_SIZE));
        EXPECT_EQ(u"1.0 MB", figure(IDC_AVANTGO_SIZE));
        for (int box : kBoxes) EXPECT_FALSE(checked(box)) << box;
        EXPECT_FALSE(device::cursorIsWait());
    });
    EXPECT_EQ(0, runProgram());
    EXPECT_TRUE(device_.exists(kTempFile));  // measuring changes nothing
    EXPECT_EQ(3u, notificationCount());
}

TEST_F(MainDialogTest, CleanupWithEveryBoxCheckedCleansInRowOrderThenRefreshesAndStarts) {
    fillDevice();
    then([] {
        for (int box : kBoxes) tap(box);
    });
    then([] {
        for (int box : kBoxes) EXPECT_TRUE(checked(box)) << box;
        softKey(0);
    });
    then([this] {
        DWORD left = notificationCount();
        EXPECT_LT(left, 3u);
        std::u16string count = figure(IDC_NOTIFICATIONS_COUNT);
        EXPECT_EQ(std::to_string(left), std::string(count.begin(), count.end()));
        for (int id : {IDC_TEMP_SIZE, IDC_IECACHE_SIZE, IDC_HISTORY_SIZE, IDC_AVANTGO_SIZE})
            EXPECT_EQ(u"0.0 KB", figure(id)) << id;
        for (int box : kBoxes) EXPECT_FALSE(checked(box)) << box;
        EXPECT_FALSE(device::cursorIsWait());
        std::vector<std::string> log = logTexts();
        ASSERT_EQ(5u, log.size());
        EXPECT_EQ(0u, log[0].rfind("cleanupNotifications: 3 items", 0)) << log[0];
        EXPECT_EQ((std::vector<std::string>{"cleanupTemp", "cleanupIECache", "cleanupHistory", "cleanupAvantGo"}),
                  std::vector<std::string>(log.begin() + 1, log.end()));
        for (const char* file : {kTempFile, kWindowsTempFile, kCacheFile, kHistoryFile, kAvantGoFile})
            EXPECT_FALSE(device_.exists(file)) << file;
    });
    EXPECT_EQ(0, runProgram());
    std::vector<device::JournalEvent> started = starts();
    ASSERT_EQ(2u, started.size());
    EXPECT_EQ("calnot.exe", started[0].application.value_or(""));
    EXPECT_EQ("clocknot.exe", started[1].application.value_or(""));
    EXPECT_TRUE(started[0].found && started[1].found);
}

TEST_F(MainDialogTest, CleanupWithNothingCheckedStillRefreshesAndStartsBothPrograms) {
    then([this] {
        EXPECT_EQ(u"0.0 KB", figure(IDC_TEMP_SIZE));
        device_.writeFile(kTempFile, 1536);  // appears after the opening measured
        softKey(0);
    });
    then([this] {
        EXPECT_EQ(u"1.5 KB", figure(IDC_TEMP_SIZE));
        EXPECT_TRUE(device_.exists(kTempFile));
        EXPECT_TRUE(logTexts().empty());
    });
    EXPECT_EQ(0, runProgram());
    std::vector<device::JournalEvent> started = starts();
    ASSERT_EQ(2u, started.size());
    EXPECT_EQ("calnot.exe", started[0].application.value_or(""));
    EXPECT_EQ("clocknot.exe", started[1].application.value_or(""));
}

// What the figure and check-box controls of the main dialog are asked, with what was true
// at that moment: the wait cursor, the system programs started so far, the temporary file.
struct ControlCall {
    int id;
    UINT message;
    WPARAM wParam;
    bool wait;
    size_t started;
    bool tempFileThere;
    bool operator==(const ControlCall&) const = default;
};
std::vector<ControlCall> controlCalls;
std::map<HWND, WNDPROC> subclassed;
ScopedDevice* watchedDevice;

LRESULT watchingProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT || message == BM_GETCHECK || message == BM_SETCHECK)
        controlCalls.push_back({GetDlgCtrlID(control), message, wParam, device::cursorIsWait(), starts().size(),
                                watchedDevice->exists(kTempFile)});
    return subclassed[control](control, message, wParam, lParam);
}

TEST_F(MainDialogTest, CleanupAsksTheBoxesThenRefreshesUnderTheWaitCursorThenStartsThenClears) {
    device_.writeFile(kTempFile, 1536);
    watchedDevice = &device_;
    then([] { tap(IDC_TEMP_CHECK); });
    then([] {
        controlCalls.clear();
        subclassed.clear();
        for (int id = IDC_NOTIFICATIONS_CHECK; id <= IDC_AVANTGO_CHECK; ++id) {
            HWND control = GetDlgItem(front(), id);
            subclassed[control] = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(control, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(watchingProc)));
        }
        softKey(0);
    });
    EXPECT_EQ(0, runProgram());
    std::vector<ControlCall> expected = {
        // The boxes are asked in row order; the temporary files go as soon as theirs is.
        {IDC_NOTIFICATIONS_CHECK, BM_GETCHECK, 0, true, 0, true},
        {IDC_TEMP_CHECK, BM_GETCHECK, 0, true, 0, true},
        {IDC_IECACHE_CHECK, BM_GETCHECK, 0, true, 0, false},
        {IDC_HISTORY_CHECK, BM_GETCHECK, 0, true, 0, false},
        {IDC_AVANTGO_CHECK, BM_GETCHECK, 0, true, 0, false},
        // The figures, before the system programs start.
        {IDC_NOTIFICATIONS_COUNT, WM_SETTEXT, 0, true, 0, false},
        {IDC_TEMP_SIZE, WM_SETTEXT, 0, true, 0, false},
        {IDC_IECACHE_SIZE, WM_SETTEXT, 0, true, 0, false},
        {IDC_HISTORY_SIZE, WM_SETTEXT, 0, true, 0, false},
        {IDC_AVANTGO_SIZE, WM_SETTEXT, 0, true, 0, false},
        // Both started and the arrow back before the boxes are cleared.
        {IDC_NOTIFICATIONS_CHECK, BM_SETCHECK, BST_UNCHECKED, false, 2, false},
        {IDC_TEMP_CHECK, BM_SETCHECK, BST_UNCHECKED, false, 2, false},
        {IDC_IECACHE_CHECK, BM_SETCHECK, BST_UNCHECKED, false, 2, false},
        {IDC_HISTORY_CHECK, BM_SETCHECK, BST_UNCHECKED, false, 2, false},
        {IDC_AVANTGO_CHECK, BM_SETCHECK, BST_UNCHECKED, false, 2, false},
    };
    ASSERT_EQ(expected.size(), controlCalls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ControlCall& e = expected[i];
        const ControlCall& c = controlCalls[i];
        EXPECT_TRUE(e == c) << "call " << i << ": expected control " << e.id << " message " << e.message << " wait "
                            << e.wait << " started " << e.started << " file " << e.tempFileThere << "; got control "
                            << c.id << " message " << c.message << " wait " << c.wait << " started " << c.started
                            << " file " << c.tempFileThere;
    }
}

TEST_F(MainDialogTest, ExportLogWritesTheVerboseLogAndLeavesFiguresAndBoxes) {
    for (int i = 0; i < 3; ++i) addReminder();
    then([] { tap(IDC_TEMP_CHECK); });
    then([this] {
        device_.writeFile(kTempFile, 1536);
        choose(u"Export Log");
    });
    then([this] {
        EXPECT_LT(notificationCount(), 3u);
        EXPECT_EQ(u"3", figure(IDC_NOTIFICATIONS_COUNT));
        EXPECT_EQ(u"0.0 KB", figure(IDC_TEMP_SIZE));
        EXPECT_TRUE(checked(IDC_TEMP_CHECK));
        std::vector<std::string> log = logTexts();
        ASSERT_GE(log.size(), 2u);  // a line for each entry kept, then the summary
        EXPECT_EQ(0u, log.back().rfind("cleanupNotifications: 3 items", 0)) << log.back();
        EXPECT_TRUE(device_.exists(kTempFile));
    });
    EXPECT_EQ(0, runProgram());
    EXPECT_TRUE(starts().empty());
}

TEST_F(MainDialogTest, AboutClosesOnlyWithItsCaptionOk) {
    HWND main = nullptr;
    then([&main] {
        main = front();
        choose(u"About");
    });
    then([] {
        EXPECT_EQ(u"About Quillex", textOf(front()));
        EXPECT_TRUE(device::inputKey(VK_ESCAPE));  // Cancel
        PostMessageW(front(), WM_COMMAND, IDM_EXIT, 0);
    });
    then([] {
        EXPECT_EQ(u"About Quillex", textOf(front()));
        EXPECT_TRUE(device::captionOk(front()));
    });
    then([&main] {
        EXPECT_EQ(main, front());
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(0, runProgram());
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(MainDialogTest, AutomaticStartRegistersTheNextRunEvenWhenTheDialogCannotOpen) {
    testing_support::setRegBytes(HKEY_CURRENT_USER, "Software\\Holvenark\\Quillex", "startDays", REG_DWORD,
                                 std::string("\x7F\0\0\0", 4));
    testing_support::setRegBytes(HKEY_CURRENT_USER, "Software\\Holvenark\\Quillex", "startOptions", REG_DWORD,
                                 std::string("\x01\0\0\0", 4));
    device::faultArm("DialogBoxIndirectParamW", 2);  // the first runs the main dialog
    then([] {
        for (int box : kBoxes) EXPECT_FALSE(checked(box)) << "whatever the stored actions";
        choose(u"Automatic Start");
    });
    then([] {
        EXPECT_EQ(u"Quillex", textOf(front()));
        EXPECT_EQ(1u, notificationCount());
        EXPECT_EQ(u"0", figure(IDC_NOTIFICATIONS_COUNT));  // the figures stay as they were
    });
    EXPECT_EQ(0, runProgram());
    device::faultDisarmAll();
    std::vector<device::NotificationEntry> entries = device::notificationList();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(u"-auto", entries[0].arguments.value_or(u""));
}

}  // namespace
