// Start-up and command-line dispatch, through the built program on a real device
// folder, and the install directory through the functions.
#include "app/quillex.h"
#include "device/boot/device.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

using testing_support::logLines;
using testing_support::quillexBinary;
using testing_support::run;
using testing_support::ScopedDevice;

namespace {

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The child process opens the same device; this process keeps it open too,
        // which is how several processes share a device.
        device_.writeFile("\\Temp\\t.bin", 3);
        device_.writeFile("\\Windows\\AvantGo\\a.pdb", 4);
    }

    testing_support::RunResult quillex(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--device", device_.dir()};
        all.insert(all.end(), args.begin(), args.end());
        return run(quillexBinary(), all);
    }

    // The texts of the log lines, without their timestamps.
    std::vector<std::string> logTexts(const std::string& logPath = "\\Program Files\\Quillex\\Quillex.log") {
        std::vector<std::string> texts;
        for (const std::string& line : logLines(device_.readText(logPath))) texts.push_back(line.substr(17));
        return texts;
    }

    ScopedDevice device_;
};

TEST_F(CommandLineTest, LettersRunTheirActionsInFixedOrder) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> logged;
    } cases[] = {
        {{"t"}, {"cleanupTemp"}},
        {{"a"}, {"cleanupAvantGo"}},
        {{"at"}, {"cleanupTemp", "cleanupAvantGo"}},
        {{"A", "T"}, {"cleanupTemp", "cleanupAvantGo"}},
        // Words of other letters reach the program only after "--"; it looks for its letters anywhere.
        {{"--", "Tea"}, {"cleanupTemp", "cleanupAvantGo"}},
        {{"--", "t"}, {"cleanupTemp"}},
        {{"--", "z"}, {}},
        {{"--", " "}, {}},
        // The automatic run (with no schedule set it only removes the previous entry);
        // nothing else on the line is looked at.
        {{"-AUTO"}, {"removeNotifications"}},
        {{"--", "x-autoy", "t"}, {"removeNotifications"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        device_.writeText("\\Program Files\\Quillex\\Quillex.log", "");
        device_.writeFile("\\Temp\\t.bin", 3);
        device_.writeFile("\\Windows\\AvantGo\\a.pdb", 4);
        testing_support::RunResult result = quillex(c.args);
        EXPECT_EQ(0, result.exitCode) << result.output;
        EXPECT_EQ(c.logged, logTexts());
        bool temp = std::find(c.logged.begin(), c.logged.end(), "cleanupTemp") != c.logged.end();
        bool avantGo = std::find(c.logged.begin(), c.logged.end(), "cleanupAvantGo") != c.logged.end();
        EXPECT_EQ(!temp, device_.exists("\\Temp\\t.bin"));
        EXPECT_EQ(!avantGo, device_.exists("\\Windows\\AvantGo\\a.pdb"));
    }
}

TEST_F(CommandLineTest, LogFollowsTheInstallKey) {
    testing_support::setRegString(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir", "\\Apps\\Q");
    device_.makeFolder("\\Apps\\Q");
    EXPECT_EQ(0, quillex({"t"}).exitCode);
    EXPECT_EQ(std::vector<std::string>{"cleanupTemp"}, logTexts("\\Apps\\Q\\Quillex.log"));

    testing_support::deleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex");
    EXPECT_EQ(0, quillex({"t"}).exitCode);
    EXPECT_EQ(std::vector<std::string>{"cleanupTemp"}, logTexts());
}

TEST_F(CommandLineTest, HostOptionsAreTakenOnlyInFront) {
    testing_support::RunResult help = run(quillexBinary(), {"--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.output.find("Usage: quillex"));
    EXPECT_EQ(0, run(quillexBinary(), {"--version"}).exitCode);
    EXPECT_EQ(2, run(quillexBinary(), {"--device"}).exitCode);

    // An empty command line starts window mode; input that is not a terminal drives it, and
    // its end ends the run. No action runs.
    testing_support::RunResult empty = quillex({});
    EXPECT_EQ(0, empty.exitCode);
    EXPECT_EQ("", empty.output);
    EXPECT_TRUE(device_.exists("\\Temp\\t.bin"));
}

TEST_F(CommandLineTest, DeviceIsCreatedOnFirstUse) {
    std::string fresh = device_.dir() + "-fresh";
    testing_support::RunResult result = run(quillexBinary(), {"--device", fresh, "t"});
    EXPECT_EQ(0, result.exitCode) << result.output;
    std::string log = fresh + "/fs/Program Files/Quillex/Quillex.log";
    EXPECT_EQ(0, run("/bin/test", {"-s", log}).exitCode);
    run("/bin/rm", {"-rf", fresh});
}

struct InstallDirCase {
    const char* name;
    DWORD type;
    std::string data;
    std::u16string expected;
};

TEST(InstallDirTest, OnlyATerminatedStringThatFitsReplacesTheDefault) {
    ScopedDevice device;
    auto bytes = [](const std::u16string& text, bool terminated) {
        return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + terminated) * 2);
    };
    const InstallDirCase cases[] = {
        {"string", REG_SZ, bytes(u"\\Apps\\Q", true), u"\\Apps\\Q"},
        {"expandable string", REG_EXPAND_SZ, bytes(u"\\Apps\\E", true), u"\\Apps\\E"},
        {"number", REG_DWORD, std::string("\x01\x00\x00\x00", 4), u"\\Program Files\\Quillex"},
        {"unterminated", REG_SZ, bytes(u"\\Apps\\Q", false), u"\\Program Files\\Quillex"},
        {"longer than the buffer", REG_SZ, bytes(std::u16string(300, u'x'), true), u"\\Program Files\\Quillex"},
        {"exactly 259 characters", REG_SZ, bytes(u"\\" + std::u16string(258, u'y'), true),
         u"\\" + std::u16string(258, u'y')},
    };
    for (const InstallDirCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::setRegBytes(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex", "InstallDir", c.type,
                                     c.data);
        std::fill(std::begin(installDir), std::end(installDir), 0xBDBD);
        resolveInstallDir();
        EXPECT_EQ(c.expected, std::u16string(installDir));
    }
    testing_support::deleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Apps\\Holvenark Quillex");
    resolveInstallDir();
    EXPECT_EQ(u"\\Program Files\\Quillex", std::u16string(installDir));
}

}  // namespace
