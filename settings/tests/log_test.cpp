// The activity log: line format, the size limit, lost lines, and a log held by another
// process.
#include "app/quillex.h"
#include "device/core/faults.h"
#include "device/kernel/clock.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::logLines;
using testing_support::ScopedDevice;

namespace {

const char* const kLog = "\\Program Files\\Quillex\\Quillex.log";

void freezeClock(const char* when) {
    std::optional<SYSTEMTIME> time = device::parseDeviceTime(when);
    ASSERT_TRUE(time);
    FILETIME count;
    SystemTimeToFileTime(&*time, &count);
    ASSERT_TRUE(device::clockFreeze(device::fileTimeCount(count)));
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        freezeClock("2026-12-06 03:43:37");
        resolveInstallDir();
    }
    ScopedDevice device_;
};

TEST_F(LogTest, FirstLineCreatesTheFileWithDayFirstPrefix) {
    ASSERT_FALSE(device_.exists(kLog));
    writeLog("cleanupTemp");
    EXPECT_EQ("06/12 03:43:37 ->cleanupTemp\r\n", device_.readText(kLog));
}

TEST_F(LogTest, TextIsWrittenByteForByte) {
    writeLog("");
    writeLog("two\r\nlines");
    writeLog("\xE9t\xE9");
    EXPECT_EQ("06/12 03:43:37 ->\r\n06/12 03:43:37 ->two\r\nlines\r\n06/12 03:43:37 ->\xE9t\xE9\r\n",
              device_.readText(kLog));
}

// Each line is one write: a write that fails loses its whole line and leaves the lines
// around it whole. A text longer than the line buffer is written whole too.
TEST_F(LogTest, AFailedWriteLosesOneWholeLine) {
    device::faultArm("WriteFile", 2);
    const std::string longText(3000, 'L');
    writeLog("first");
    writeLog("second");
    writeLog("third");
    writeLog(longText.c_str());
    EXPECT_EQ("06/12 03:43:37 ->first\r\n06/12 03:43:37 ->third\r\n06/12 03:43:37 ->" + longText + "\r\n",
              device_.readText(kLog));
}

TEST_F(LogTest, SingleDigitFieldsAreZeroPadded) {
    freezeClock("2027-01-02 04:05:06.789");
    writeLog("x");
    EXPECT_EQ("02/01 04:05:06 ->x\r\n", device_.readText(kLog));
}

TEST_F(LogTest, FileIsEmptiedOnlyOncePastTheLimit) {
    struct Case {
        size_t sizeBefore;
        bool emptied;
    } cases[] = {{59999, false}, {60000, false}, {60001, true}, {70000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeBefore);
        device_.writeFile(kLog, c.sizeBefore);
        writeLog("next");
        std::string text = device_.readText(kLog);
        if (c.emptied) {
            EXPECT_EQ("06/12 03:43:37 ->next\r\n", text);
        } else {
            EXPECT_EQ(c.sizeBefore + 23, text.size());
            EXPECT_EQ("06/12 03:43:37 ->next\r\n", text.substr(c.sizeBefore));
        }
    }
}

TEST_F(LogTest, MissingInstallFolderLosesTheLineQuietly) {
    StringCchCopyW(installDir, MAX_PATH, TEXT("\\Nowhere"));
    writeLog("lost");
    EXPECT_FALSE(device_.exists("\\Nowhere"));
    EXPECT_FALSE(device_.exists(kLog));
}

TEST_F(LogTest, InstallFolderTooLongForTheLogPathLosesTheLine) {
    // 247 characters leave exactly room for "\Quillex.log"; 248 do not.
    std::string fits = "\\" + std::string(246, 'f');
    std::string tooLong = "\\" + std::string(247, 'g');
    device_.makeFolder(fits);
    device_.makeFolder(tooLong);
    StringCchCopyW(installDir, MAX_PATH, testing_support::wide(fits).c_str());
    writeLog("kept");
    EXPECT_TRUE(device_.exists(fits + "\\Quillex.log"));
    StringCchCopyW(installDir, MAX_PATH, testing_support::wide(tooLong).c_str());
    writeLog("lost");
    EXPECT_FALSE(device_.exists(tooLong + "\\Quillex.log"));
    EXPECT_FALSE(device_.exists(tooLong + "\\Quillex.lo"));
}

TEST_F(LogTest, FailedReopenForEmptyingLosesTheLineAndKeepsTheFile) {
    device_.writeFile(kLog, 60001);
    device::faultArm("CreateFileW", 2, true);
    writeLog("lost");
    EXPECT_EQ(60001u, device_.readText(kLog).size());
}

// A log of 4 GiB or more: its size is read modulo 2^32, so one whose low part is past the
// limit is emptied as usual; otherwise the move to its end fails and the line is lost
// rather than written over the start of the log. Run through quillex, as a user meets it.
TEST_F(LogTest, ALogOf4GiBOrMoreIsNeverWrittenOverFromItsStart) {
    namespace fs = std::filesystem;
    const uint64_t k4GiB = uint64_t{1} << 32;
    const std::string head = "01/01 00:00:00 ->old entry\r\n";
    struct Case {
        uint64_t size;
        bool emptied;
    } cases[] = {{k4GiB, false}, {k4GiB + 100, false}, {k4GiB + 60000, false}, {k4GiB + 60001, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        device_.writeText(kLog, head);
        fs::resize_file(device_.host(kLog), c.size);  // sparse beyond its first line
        testing_support::RunResult result =
            testing_support::run(testing_support::quillexBinary(), {"--device", device_.dir(), "t"});
        EXPECT_EQ(0, result.exitCode) << result.output;
        if (c.emptied) {
            EXPECT_EQ(std::vector<std::string>{"06/12 03:43:37 ->cleanupTemp"}, logLines(device_.readText(kLog)));
        } else {
            EXPECT_EQ(c.size, fs::file_size(device_.host(kLog)));
            std::ifstream log(device_.host(kLog), std::ios::binary);
            std::string start(head.size(), '\0');
            log.read(start.data(), static_cast<std::streamsize>(start.size()));
            EXPECT_EQ(head, start);
        }
    }
}

// Writes `text` while a child process holds the log open without sharing for `holdMs`
// milliseconds; RETURNS the log afterwards.
std::string writeWhileHeldByAnotherProcess(const ScopedDevice& device, int holdMs, const char* text) {
    int fds[2];
    EXPECT_EQ(0, pipe(fds));
    pid_t child = fork();
    if (child == 0) {
        HANDLE file = CreateFileW(TEXT("\\Program Files\\Quillex\\Quillex.log"), GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        char ready = file != INVALID_HANDLE_VALUE ? 'y' : 'n';
        if (write(fds[1], &ready, 1) != 1) _exit(1);
        usleep(holdMs * 1000);
        _exit(0);  // the handle goes with the process
    }
    char ready = 0;
    EXPECT_EQ(1, read(fds[0], &ready, 1));
    EXPECT_EQ('y', ready);
    writeLog(text);
    int status;
    waitpid(child, &status, 0);
    close(fds[0]);
    close(fds[1]);
    return device.readText(kLog);
}

TEST_F(LogTest, LineWaitsForALogBrieflyHeldByAnotherProcess) {
    EXPECT_EQ(std::vector<std::string>{"06/12 03:43:37 ->after the other process"},
              logLines(writeWhileHeldByAnotherProcess(device_, 300, "after the other process")));
}

TEST_F(LogTest, LineIsLostWhenTheLogStaysHeld) {
    EXPECT_EQ("", writeWhileHeldByAnotherProcess(device_, 2500, "lost"));
}

// A log replaced by a hard link to a host file outside the device: the line is lost and
// the host file neither grows nor, past the limit, is emptied.
TEST_F(LogTest, ALogHardLinkedToAHostFileIsNeverWritten) {
    namespace fs = std::filesystem;
    const fs::path outside = fs::path(device_.dir()).parent_path() / "host-file.txt";
    for (size_t size : {size_t{5}, size_t{60001}}) {
        SCOPED_TRACE(size);
        std::ofstream(outside, std::ios::binary | std::ios::trunc) << std::string(size, 'h');
        fs::remove(device_.host(kLog));
        fs::create_hard_link(outside, device_.host(kLog));
        writeLog("cleanupTemp");
        EXPECT_EQ(size, fs::file_size(outside));
    }
    fs::remove(outside);
}

}  // namespace
