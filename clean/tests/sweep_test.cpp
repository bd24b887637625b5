// The folder sweep and the two cleaning operations whose folders are fixed or come
// from one registry value: what is counted, what is deleted, and what is never touched.
#include "app/quillex.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::ScopedDevice;
using testing_support::wide;

namespace {

// Every host path below `root` with its size (-1 for folders, -2 for links).
std::map<std::string, long long> snapshot(const std::string& root) {
    std::map<std::string, long long> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        long long size = entry.is_symlink() ? -2 : entry.is_directory() ? -1 : static_cast<long long>(entry.file_size());
        tree[entry.path().string()] = size;
    }
    return tree;
}

class SweepTest : public ::testing::Test {
protected:
    void SetUp() override { resolveInstallDir(); }

    // A target folder with files of 100 and 50 bytes and a sub-folder S holding a
    // 10-byte file and a sub-folder S2 with a 5-byte file.
    void layOutTarget(const std::string& target, bool withS2) {
        device_.writeFile(target + "\\a.bin", 100);
        device_.writeFile(target + "\\b.bin", 50);
        device_.writeFile(target + "\\S\\c.bin", 10);
        if (withS2) device_.writeFile(target + "\\S\\S2\\d.bin", 5);
    }

    std::string log() { return device_.readText("\\Program Files\\Quillex\\Quillex.log"); }

    ScopedDevice device_;
};

TEST_F(SweepTest, MeasureCountsTwoLevelsAndChangesNothing) {
    layOutTarget("\\Temp", true);
    auto before = snapshot(device_.dir());
    EXPECT_EQ(160u, sweepFolder(TEXT("\\Temp"), 0));
    EXPECT_EQ(160u, cleanupTemp(0));
    EXPECT_EQ(before, snapshot(device_.dir()));
    EXPECT_FALSE(device_.exists("\\Program Files\\Quillex\\Quillex.log"));
}

TEST_F(SweepTest, CleanDeletesTwoLevelsAndKeepsDeeperFolders) {
    layOutTarget("\\Temp", true);
    EXPECT_EQ(0u, sweepFolder(TEXT("\\Temp"), 1));
    EXPECT_FALSE(device_.exists("\\Temp\\a.bin"));
    EXPECT_FALSE(device_.exists("\\Temp\\b.bin"));
    EXPECT_FALSE(device_.exists("\\Temp\\S\\c.bin"));
    EXPECT_TRUE(device_.exists("\\Temp\\S\\S2\\d.bin"));  // S cannot go while S2 is in it
    EXPECT_TRUE(device_.exists("\\Temp"));
}

TEST_F(SweepTest, CleanLeavesTheTargetFolderEmpty) {
    layOutTarget("\\Temp", false);
    sweepFolder(TEXT("\\Temp"), 1);
    EXPECT_TRUE(device_.exists("\\Temp"));
    EXPECT_TRUE(fs::is_empty(device_.host("\\Temp")));
}

TEST_F(SweepTest, MissingTargetCountsNothingButCleanStillLogs) {
    fs::remove_all(device_.host("\\Temp"));
    EXPECT_EQ(0u, cleanupTemp(0));
    EXPECT_EQ(0u, cleanupTemp(1));
    EXPECT_EQ(std::vector<std::string>{"cleanupTemp"}, [&] {
        std::vector<std::string> texts;
        for (const std::string& line : testing_support::logLines(log())) texts.push_back(line.substr(17));
        return texts;
    }());
}

TEST_F(SweepTest, TempSweepsWindowsTempEvenWhenTempIsMissing) {
    fs::remove_all(device_.host("\\Temp"));
    device_.writeFile("\\Windows\\Temp\\x.tmp", 7);
    EXPECT_EQ(7u, cleanupTemp(0));
    cleanupTemp(1);
    EXPECT_FALSE(device_.exists("\\Windows\\Temp\\x.tmp"));
}

TEST_F(SweepTest, TotalWrapsModulo4GiB) {
    // 3 GiB + 1 GiB + 10 bytes: the sum passes 2^32 and keeps its low 32 bits. Sparse
    // files take no space.
    device_.writeFile("\\Temp\\small.bin", 10);
    device_.writeFile("\\Temp\\three.bin", 0);
    device_.writeFile("\\Temp\\S\\one.bin", 0);
    fs::resize_file(device_.host("\\Temp\\three.bin"), 3ull << 30);
    fs::resize_file(device_.host("\\Temp\\S\\one.bin"), 1ull << 30);
    EXPECT_EQ(10u, cleanupTemp(0));
    device_.writeFile("\\Windows\\Temp\\more.bin", 5);
    EXPECT_EQ(15u, cleanupTemp(0));
}

TEST_F(SweepTest, FileHeldForWritingCountsZeroAndStays) {
    device_.writeFile("\\Temp\\busy.bin", 40);
    device_.writeFile("\\Temp\\free.bin", 2);
    HANDLE held = CreateFileW(TEXT("\\Temp\\busy.bin"), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(2u, cleanupTemp(0));
    cleanupTemp(1);
    EXPECT_TRUE(device_.exists("\\Temp\\busy.bin"));
    EXPECT_FALSE(device_.exists("\\Temp\\free.bin"));
    CloseHandle(held);
}

TEST_F(SweepTest, ReadOnlyFilesAreCountedButNeverDeleted) {
    device_.writeFile("\\Temp\\keep.bin", 30);
    device_.writeFile("\\Temp\\S\\keep.bin", 3);
    chmod(device_.host("\\Temp\\keep.bin").c_str(), 0444);
    chmod(device_.host("\\Temp\\S\\keep.bin").c_str(), 0444);
    EXPECT_EQ(33u, cleanupTemp(0));
    cleanupTemp(1);
    EXPECT_TRUE(device_.exists("\\Temp\\keep.bin"));
    EXPECT_TRUE(device_.exists("\\Temp\\S\\keep.bin"));  // and so S stays too
    // No attribute was changed to make the deletion succeed.
    EXPECT_EQ(fs::perms::none, fs::status(device_.host("\\Temp\\keep.bin")).permissions() & fs::perms::owner_write);
}

// A file is read-only when no one may write it: a file that its group or anyone may write
// is deleted even when its owner may not write it. Through quillex, as a user meets it.
TEST_F(SweepTest, ReadOnlyMeansNoWritePermissionForAnyone) {
    struct Case {
        mode_t mode;
        bool readOnly;
    } cases[] = {{0444, true}, {0400, true}, {0404, true}, {0446, false}, {0464, false}, {0466, false},
                 {0644, false}, {0604, false}};
    auto nameOf = [](mode_t mode) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "%03o", static_cast<unsigned>(mode));
        return "\\Temp\\mode" + std::string(octal) + ".bin";
    };
    for (const Case& c : cases) {
        std::string name = nameOf(c.mode);
        device_.writeFile(name, 5);
        chmod(device_.host(name).c_str(), c.mode);
    }
    testing_support::RunResult result =
        testing_support::run(testing_support::quillexBinary(), {"--device", device_.dir(), "--verbose", "t"});
    EXPECT_EQ(0, result.exitCode) << result.output;
    for (const Case& c : cases) {
        std::string name = nameOf(c.mode);
        SCOPED_TRACE(name);
        EXPECT_EQ(c.readOnly, device_.exists(name));
        EXPECT_EQ(c.readOnly, result.output.find("keep file     " + name + "  5 bytes  (read-only)") != std::string::npos)
            << result.output;
    }
}

TEST_F(SweepTest, PathsThatDoNotFitAreLeftAlone) {
    // A folder of 257 characters still fits its pattern "\*"; one of 258 does not. (Host
    // names stop at 255 bytes, so the long paths are made of two folders.)
    std::string fits = "\\" + std::string(120, 'a') + "\\" + std::string(135, 'a');
    std::string tooLong = "\\" + std::string(120, 'b') + "\\" + std::string(136, 'b');
    ASSERT_EQ(257u, fits.size());
    ASSERT_EQ(258u, tooLong.size());
    device_.writeFile(fits + "\\x", 4);
    device_.writeFile(tooLong + "\\y", 5);
    EXPECT_EQ(4u, sweepFolder(wide(fits).c_str(), 0));
    EXPECT_EQ(0u, sweepFolder(wide(tooLong).c_str(), 0));
    sweepFolder(wide(tooLong).c_str(), 1);
    EXPECT_TRUE(device_.exists(tooLong + "\\y"));

    // Inside a folder of 250 characters, "\" and a name of 8 fill 259 characters; a name of 9 does not fit.
    std::string target = "\\" + std::string(124, 'c') + "\\" + std::string(124, 'c');
    ASSERT_EQ(250u, target.size());
    device_.writeFile(target + "\\" + std::string(8, 'n'), 1);
    device_.writeFile(target + "\\" + std::string(9, 'm'), 2);
    EXPECT_EQ(1u, sweepFolder(wide(target).c_str(), 0));
    sweepFolder(wide(target).c_str(), 1);
    EXPECT_FALSE(device_.exists(target + "\\" + std::string(8, 'n')));
    EXPECT_TRUE(device_.exists(target + "\\" + std::string(9, 'm')));
}

TEST_F(SweepTest, EmptyFolderIsNeverASweepOfTheRoot) {
    device_.writeFile("\\rootfile.bin", 9);
    for (const WCHAR* root : {TEXT(""), TEXT("\\")}) {
        EXPECT_EQ(0u, sweepFolder(root, 0));
        sweepFolder(root, 1);
    }
    EXPECT_TRUE(device_.exists("\\rootfile.bin"));
    EXPECT_TRUE(device_.exists("\\Windows"));
}

// A folder value made only of "\\", "." and ".." names the root on a desktop, where its sweep
// would empty the whole device; the program takes it for no value and sweeps the default.
TEST_F(SweepTest, FolderValuesOfDotsNameNoFolder) {
    struct Case {
        const char* key;
        const char* valueName;
        const char* value;
        const char* command;
        const char* defaultFile;
    } cases[] = {
        {"Software\\AvantGo", "DatabaseLocation", "\\.", "a", "\\Windows\\AvantGo\\default.pdb"},
        {"Software\\AvantGo", "DatabaseLocation", "\\.\\", "a", "\\Windows\\AvantGo\\default.pdb"},
        {"Software\\AvantGo", "DatabaseLocation", "\\..", "a", "\\Windows\\AvantGo\\default.pdb"},
        {"Software\\AvantGo", "DatabaseLocation", "\\.\\..\\\\.", "a", "\\Windows\\AvantGo\\default.pdb"},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Cache", "..\\.", "c",
         "\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\page.htm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        testing_support::setRegString(HKEY_CURRENT_USER, c.key, c.valueName, c.value);
        device_.writeFile(c.defaultFile, 7);
        device_.writeFile("\\rootfile.bin", 9);
        testing_support::RunResult result =
            testing_support::run(testing_support::quillexBinary(), {"--device", device_.dir(), c.command});
        EXPECT_EQ(0, result.exitCode) << result.output;
        EXPECT_FALSE(device_.exists(c.defaultFile));
        EXPECT_TRUE(device_.exists("\\rootfile.bin"));
        EXPECT_TRUE(device_.exists("\\Windows\\calnot.exe"));
        testing_support::deleteRegKey(HKEY_CURRENT_USER, c.key);
    }
}

// What lies outside fs/ must never be read, counted or deleted, whatever links or
// registry values point at it.
class SweepAttackTest : public SweepTest {
protected:
    void SetUp() override {
        SweepTest::SetUp();
        outside_ = device_.dir() + "/outside";
        fs::create_directories(outside_ + "/folder");
        std::ofstream(outside_ + "/secret.txt") << std::string(1000, 's');
        std::ofstream(outside_ + "/folder/inner.txt") << std::string(300, 'i');
    }
    void expectOutsideIntact() {
        EXPECT_EQ(1000u, fs::file_size(outside_ + "/secret.txt"));
        EXPECT_EQ(300u, fs::file_size(outside_ + "/folder/inner.txt"));
    }
    std::string outside_;
};

TEST_F(SweepAttackTest, LinksInsideSweptFoldersAreNeverFollowed) {
    device_.makeFolder("\\Temp\\S");
    fs::create_symlink(outside_ + "/secret.txt", device_.host("\\Temp\\file-link"));
    fs::create_directory_symlink(outside_ + "/folder", device_.host("\\Temp\\folder-link"));
    fs::create_directory_symlink(outside_ + "/folder", device_.host("\\Temp\\S\\inner-link"));
    fs::create_symlink(device_.host("\\Temp\\missing"), device_.host("\\Temp\\dangling"));
    fs::create_symlink(device_.host("\\Temp\\loop"), device_.host("\\Temp\\loop"));
    fs::create_directory_symlink("..", device_.host("\\Temp\\S\\up"));

    EXPECT_EQ(0u, cleanupTemp(0));
    cleanupTemp(1);
    expectOutsideIntact();
    // The links themselves are files of the device and go.
    for (const char* link : {"\\Temp\\file-link", "\\Temp\\folder-link", "\\Temp\\dangling", "\\Temp\\loop"})
        EXPECT_FALSE(device_.exists(link)) << link;
    EXPECT_TRUE(device_.exists("\\Windows"));
}

TEST_F(SweepAttackTest, RegistryFoldersCannotLeadOutsideTheDevice) {
    std::string hostPath = outside_;
    const std::string values[] = {
        "\\Windows\\..\\..\\outside", "\\..\\outside", hostPath, "/" + hostPath, "\\Temp/../../outside", "..\\outside",
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        testing_support::setRegString(HKEY_CURRENT_USER, "Software\\AvantGo", "DatabaseLocation", value);
        EXPECT_EQ(0u, cleanupAvantGo(0));
        cleanupAvantGo(1);
        expectOutsideIntact();
    }
}

struct AvantGoCase {
    const char* name;
    bool keyExists;
    DWORD type;
    std::string data;   // raw bytes of the value; empty with keyExists means no value
    const char* swept;  // the folder whose file must go
};

std::string regString(const std::string& text, bool terminated = true) {
    std::u16string w = wide(text);
    return std::string(reinterpret_cast<const char*>(w.c_str()), (w.size() + (terminated ? 1 : 0)) * 2);
}

TEST_F(SweepTest, AvantGoFolderComesFromItsSettingOrTheDefault) {
    const AvantGoCase cases[] = {
        {"no key", false, REG_SZ, "", "\\Windows\\AvantGo"},
        {"key without value", true, REG_SZ, "", "\\Windows\\AvantGo"},
        {"named folder", true, REG_SZ, regString("\\Storage Card\\AvantGo"), "\\Storage Card\\AvantGo"},
        {"empty string", true, REG_SZ, regString(""), "\\Windows\\AvantGo"},
        {"the root", true, REG_SZ, regString("\\"), "\\Windows\\AvantGo"},
        {"the root twice", true, REG_SZ, regString("\\\\"), "\\Windows\\AvantGo"},
        {"unterminated", true, REG_SZ, regString("\\Storage Card\\AvantGo", false), "\\Windows\\AvantGo"},
        {"too long", true, REG_SZ, regString("\\" + std::string(300, 'z')), "\\Windows\\AvantGo"},
        {"258 characters", true, REG_SZ, regString("\\" + std::string(257, 'z')), "\\Windows\\AvantGo"},
    };
    for (const AvantGoCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::deleteRegKey(HKEY_CURRENT_USER, "Software\\AvantGo");
        if (c.keyExists) {
            HKEY key;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, TEXT("Software\\AvantGo"), 0, nullptr, 0, 0,
                                                     nullptr, &key, nullptr));
            RegCloseKey(key);
            if (!c.data.empty())
                testing_support::setRegBytes(HKEY_CURRENT_USER, "Software\\AvantGo", "DatabaseLocation", c.type, c.data);
        }
        device_.writeFile("\\Windows\\AvantGo\\default.pdb", 11);
        device_.writeFile("\\Storage Card\\AvantGo\\card.pdb", 22);
        bool named = std::string(c.swept) == "\\Storage Card\\AvantGo";
        EXPECT_EQ(named ? 22u : 11u, cleanupAvantGo(0));
        cleanupAvantGo(1);
        EXPECT_EQ(named, device_.exists("\\Windows\\AvantGo\\default.pdb"));
        EXPECT_EQ(!named, device_.exists("\\Storage Card\\AvantGo\\card.pdb"));
    }
}

}  // namespace
