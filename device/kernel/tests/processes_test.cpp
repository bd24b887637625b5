// Tests of the process family: the platform version, the shell library and its restart,
// the kernel reset (in a child process of its own), program starts with and without a
// host program, the program registration of install(), and `version` and `events`.
#include "device/kernel/processes.h"

#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "device/notifications/notifications.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <filesystem>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::ScopedDevice;

namespace {

// The shell's restart entry point, as a program calls it.
typedef BOOL(WINAPI* ExitWindowsExProc)(UINT flags, DWORD reserved);

uint64_t deviceTime(const char* text) {
    SYSTEMTIME time = *device::parseDeviceTime(text);
    FILETIME count;
    SystemTimeToFileTime(&time, &count);
    return device::fileTimeCount(count);
}


OSVERSIONINFOW readVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(GetVersionExW(&info));
    return info;
}

BOOL start(const WCHAR* application, const WCHAR* commandLine, PROCESS_INFORMATION* info = nullptr) {
    return CreateProcessW(application, const_cast<WCHAR*>(commandLine), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          nullptr, info);
}

TEST(VersionTest, DeviceSettingDrivesGetVersionEx) {
    ScopedDevice device;
    OSVERSIONINFOW info = readVersion();
    EXPECT_EQ(5u, info.dwMajorVersion);
    EXPECT_EQ(1u, info.dwMinorVersion);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_CE), info.dwPlatformId);

    ASSERT_TRUE(device::platformVersionSet({4, 20}));
    // Another process sees the setting too: it lives in the store.
    ASSERT_TRUE(device::open(device.dir(), nullptr));
    info = readVersion();
    EXPECT_EQ(4u, info.dwMajorVersion);
    EXPECT_EQ(20u, info.dwMinorVersion);

    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(GetVersionExW(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(GetVersionExW(nullptr));
}

TEST(VersionTest, TextForm) {
    struct Case {
        const char* text;
        bool valid;
        DWORD major, minor;
    } cases[] = {
        {"4.20", true, 4, 20},   {"5.1", true, 5, 1},       {"4.2", true, 4, 2},
        {"0.0", true, 0, 0},     {"4294967295.7", true, 4294967295u, 7},
        {"", false, 0, 0},       {"4", false, 0, 0},         {"4.", false, 0, 0},
        {".1", false, 0, 0},     {"4.2.1", false, 0, 0},     {"-4.2", false, 0, 0},
        {"4.x", false, 0, 0},    {" 4.2", false, 0, 0},      {"4294967296.0", false, 0, 0},
    };
    for (const Case& c : cases) {
        std::optional<device::PlatformVersion> parsed = device::parsePlatformVersion(c.text);
        ASSERT_EQ(c.valid, parsed.has_value()) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(c.major, parsed->major) << c.text;
        EXPECT_EQ(c.minor, parsed->minor) << c.text;
        EXPECT_EQ(c.text, device::formatPlatformVersion(*parsed));
    }
}

TEST(LibraryTest, ShellLibraryIsFoundByItsNames) {
    ScopedDevice device;
    for (const char16_t* name : {u"aygshell.dll", u"AYGSHELL.DLL", u"\\Windows\\aygshell.dll", u"\\WINDOWS\\AygShell.Dll",
                                 u"aygshell"}) {
        HMODULE module = LoadLibraryW(name);
        EXPECT_NE(nullptr, module) << device::toUtf8(name);
        EXPECT_TRUE(FreeLibrary(module));
    }
    for (const char16_t* name : {u"coredll.dll", u"\\Temp\\aygshell.dll", u"aygshell.dl", u"", u"Windows\\aygshell.dll"}) {
        SetLastError(0);
        EXPECT_EQ(nullptr, LoadLibraryW(name)) << device::toUtf8(name);
        EXPECT_EQ(126u, GetLastError());
    }
}

TEST(LibraryTest, LoadsAreCountedAndEntryPointsMatchExactly) {
    ScopedDevice device;
    HMODULE first = LoadLibraryW(u"aygshell.dll");
    HMODULE second = LoadLibraryW(u"\\Windows\\AYGSHELL.DLL");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);

    EXPECT_NE(nullptr, GetProcAddressW(first, u"ExitWindowsEx"));
    for (const char16_t* name : {u"exitwindowsex", u"ExitWindowsExW", u"SHInitDialog", u""}) {
        EXPECT_EQ(nullptr, GetProcAddressW(first, name)) << device::toUtf8(name);
        EXPECT_EQ(127u, GetLastError());
    }
    HANDLE notModule = nullptr;
    ASSERT_TRUE(CreateDirectoryW(u"\\Lib", nullptr));
    notModule = CreateFileW(u"\\Lib\\f", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(nullptr, GetProcAddressW(reinterpret_cast<HMODULE>(notModule), u"ExitWindowsEx"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(notModule)));
    CloseHandle(notModule);

    // Two loads, two releases; the handle is then gone.
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(nullptr, GetProcAddressW(first, u"ExitWindowsEx"));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(nullptr, GetProcAddressW(first, u"ExitWindowsEx"));
    EXPECT_FALSE(FreeLibrary(first));

    device::faultArm("LoadLibraryW", 1);
    EXPECT_EQ(nullptr, LoadLibraryW(u"aygshell.dll"));
    EXPECT_NE(nullptr, LoadLibraryW(u"aygshell.dll"));
}

TEST(RestartTest, ShellRestartIsRecordedAndReturns) {
    ScopedDevice device;
    ASSERT_TRUE(device::clockFreeze(deviceTime("2026-12-07 10:00:00.250")));
    HMODULE shell = LoadLibraryW(u"aygshell.dll");
    auto exitWindows = reinterpret_cast<ExitWindowsExProc>(GetProcAddressW(shell, u"ExitWindowsEx"));
    ASSERT_NE(nullptr, exitWindows);

    EXPECT_FALSE(exitWindows(0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    device::faultArm("ExitWindowsEx", 1);
    EXPECT_FALSE(exitWindows(EWX_REBOOT, 0));
    EXPECT_TRUE(device::journalList().empty());

    EXPECT_TRUE(exitWindows(EWX_REBOOT, 0));
    FreeLibrary(shell);
    std::vector<device::JournalEvent> events = device::journalList();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("2026-12-07 10:00:00.250  restart  by the shell", device::journalDescribe(events[0]));
}

TEST(RestartTest, KernelResetRecordsAndEndsTheProcess) {
    ScopedDevice device;
    EXPECT_FALSE(KernelIoControl(0x01010040, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(50u, GetLastError());
    device::faultArm("KernelIoControl", 1);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_TRUE(device::journalList().empty());

    // The child must not use the parent's store connection: the device is closed before
    // the fork, and the child opens it as a program of its own would.
    device::close();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!device::open(device.dir(), nullptr) || !device::clockFreeze(deviceTime("2026-12-07 23:59:59"))) _exit(2);
        std::vector<device::NotificationEntry> entries(1);
        entries[0].type = CNT_TIME;
        entries[0].start = *device::parseDeviceTime("2026-12-14 10:00:00");
        if (!device::notificationAdd(entries, nullptr)) _exit(2);
        KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr);
        _exit(3);  // the reset returned
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));

    ASSERT_TRUE(device::open(device.dir(), nullptr));
    std::vector<device::JournalEvent> events = device::journalList();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("restart", events[0].kind);
    EXPECT_EQ("kernel", events[0].by);
    EXPECT_EQ(deviceTime("2026-12-07 23:59:59"), events[0].time);
    // What the program stored before the reset is still there.
    EXPECT_EQ(1u, device::notificationList().size());
}

class StartTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device::clockFreeze(deviceTime("2026-12-07 10:00:00"))); }
    ScopedDevice device_;
};

TEST_F(StartTest, ProgramsWithoutHostAreOnlyRecorded) {
    struct Case {
        const char16_t* application;
        const char16_t* commandLine;
        bool exists;
    } cases[] = {
        {u"calnot.exe", nullptr, true},           {u"\\Windows\\CLOCKNOT.EXE", u"x y", true},
        {u"\\Temp\\missing.exe", u"", false},     {u"missing.exe", nullptr, false},
        {u"\\Windows", nullptr, false},           {u"", nullptr, false},
    };
    for (const Case& c : cases) {
        PROCESS_INFORMATION info{};
        SetLastError(0);
        EXPECT_EQ(c.exists, start(c.application, c.commandLine, &info) != FALSE) << device::toUtf8(c.application);
        if (c.exists) {
            EXPECT_NE(info.dwProcessId, info.dwThreadId);
            EXPECT_TRUE(CloseHandle(info.hProcess));
            EXPECT_TRUE(CloseHandle(info.hThread));
            EXPECT_FALSE(CloseHandle(info.hThread));
        } else {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        }
        device::JournalEvent last = device::journalList().back();
        EXPECT_EQ("start", last.kind);
        EXPECT_EQ(device::toUtf8(c.application), last.application.value_or("?"));
        EXPECT_EQ(device::toUtf8(c.commandLine ? c.commandLine : u""), last.arguments.value_or("?"));
        EXPECT_EQ(c.exists, last.found);
        EXPECT_FALSE(last.hostRan);
        EXPECT_EQ(deviceTime("2026-12-07 10:00:00"), last.time);
    }
    EXPECT_EQ("2026-12-07 10:00:00.000  start  \"\\Windows\\CLOCKNOT.EXE\" with \"x y\": no host program ran",
              device::journalDescribe(device::journalList()[1]));
    EXPECT_EQ("2026-12-07 10:00:00.000  start  \"\\Temp\\missing.exe\" with \"\": no such program file",
              device::journalDescribe(device::journalList()[2]));

    // Arguments this platform does not take are refused before anything is recorded.
    size_t recorded = device::journalList().size();
    int startupInfo = 0;
    EXPECT_FALSE(CreateProcessW(u"calnot.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startupInfo,
                                nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(start(nullptr, u"calnot.exe"));
    device::faultArm("CreateProcessW", 1);
    EXPECT_FALSE(start(u"calnot.exe", nullptr));
    EXPECT_EQ(recorded, device::journalList().size());
}

TEST_F(StartTest, RegisteredProgramRunsItsHostWithTheCommandLine) {
    ASSERT_TRUE(device::programRegister(u"\\Apps\\T.exe", testing_support::quillexBinary()));
    ASSERT_TRUE(device::programRegister(u"\\Apps\\gone.exe", testing_support::quillexBinary()));
    device_.writeText("\\Apps\\t.exe", "");
    device_.writeText("\\Temp\\junk.txt", "junk");

    // This process adopts the orphaned program, so the test can wait for it to end.
    ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));
    EXPECT_TRUE(start(u"\\APPS\\t.EXE", u"t"));
    int status = 0;
    pid_t ended = waitpid(-1, &status, 0);
    pid_t more = waitpid(-1, nullptr, WNOHANG);
    int moreError = errno;
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_GT(ended, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Nothing else was left behind to reap.
    EXPECT_EQ(-1, more);
    EXPECT_EQ(ECHILD, moreError);

    std::vector<std::string> log = testing_support::logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log"));
    EXPECT_EQ(std::vector<std::string>{"07/12 10:00:00 ->cleanupTemp"}, log);
    EXPECT_FALSE(device_.exists("\\Temp\\junk.txt"));
    device::JournalEvent event = device::journalList().back();
    EXPECT_TRUE(event.found);
    EXPECT_TRUE(event.hostRan);

    // A registered program whose file is missing from the device runs nothing.
    EXPECT_FALSE(start(u"\\Apps\\gone.exe", u"t"));
    EXPECT_FALSE(device::journalList().back().hostRan);
}

TEST(ToolTest, VersionAndEvents) {
    ScopedDevice device;
    auto tool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", device.dir()});
        return testing_support::run(testing_support::deviceToolBinary(), args);
    };
    EXPECT_EQ("5.1\n", tool({"version"}).output);
    EXPECT_EQ("4.20\n", tool({"version", "4.20"}).output);
    EXPECT_EQ(4u, readVersion().dwMajorVersion);
    testing_support::RunResult bad = tool({"version", "4,20"});
    EXPECT_EQ(2, bad.exitCode);
    EXPECT_NE(std::string::npos, bad.output.find("not a platform version: \"4,20\"")) << bad.output;
    EXPECT_EQ("4.20\n", tool({"version"}).output);

    ASSERT_TRUE(device::clockFreeze(deviceTime("2027-01-01 00:00:00")));
    start(u"calnot.exe", u"AppRunAtTime");
    HMODULE shell = LoadLibraryW(u"aygshell.dll");
    reinterpret_cast<ExitWindowsExProc>(GetProcAddressW(shell, u"ExitWindowsEx"))(EWX_REBOOT, 0);
    FreeLibrary(shell);

    EXPECT_EQ("2027-01-01 00:00:00.000  start  \"calnot.exe\" with \"AppRunAtTime\": no host program ran\n"
              "2027-01-01 00:00:00.000  restart  by the shell\n",
              tool({"events"}).output);
    nlohmann::json events = nlohmann::json::parse(tool({"events", "--json"}).output);
    nlohmann::json expected = nlohmann::json::parse(R"([
        {"kind": "start", "time": "2027-01-01 00:00:00.000", "application": "calnot.exe",
         "commandLine": "AppRunAtTime", "found": true, "hostRan": false},
        {"kind": "restart", "time": "2027-01-01 00:00:00.000", "by": "shell"}])");
    EXPECT_EQ(expected, events);
}

}  // namespace
