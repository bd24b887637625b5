// Browser cache and history: which folder each operation finds, what its sweeps count and
// delete (every file once), and how the two history lists of the registry are emptied.
#include "app/quillex.h"
#include "device/core/faults.h"
#include "device/core/utf.h"
#include "device/kernel/registry.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::ScopedDevice;
using testing_support::wide;

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCacheFallback[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Content";
const char kHistoryFallback[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Cookies";
const char kInternetFiles[] = "\\Windows\\Profiles\\guest\\Temporary Internet Files";
const char kDefaultCache[] = "\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5";
const char kDefaultHistory[] = "\\Windows\\Profiles\\guest\\History";
const char kRunHistory[] = "Explorer\\RunHistory";
const char kAddressHistory[] = "Explorer\\AddressHistory";

// The raw bytes of a wide string value, with or without its terminator.
std::string regString(const std::string& text, bool terminated = true) {
    std::u16string w = wide(text);
    return std::string(reinterpret_cast<const char*>(w.c_str()), (w.size() + (terminated ? 1 : 0)) * 2);
}

void createKey(HKEY root, const std::string& key) {
    HKEY opened;
    std::u16string name = wide(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, 0, nullptr, &opened, nullptr));
    RegCloseKey(opened);
}

bool keyExists(HKEY root, const std::string& key) {
    HKEY opened;
    std::u16string name = wide(key);
    if (RegOpenKeyExW(root, name.c_str(), 0, 0, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

// The names of the values of an HKEY_LOCAL_MACHINE key, in order; empty when it is missing.
std::vector<std::string> valueNames(const std::string& key) {
    std::vector<std::string> names;
    HKEY opened;
    std::u16string name = wide(key);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, 0, &opened) != ERROR_SUCCESS) return names;
    std::vector<device::RegistryValue> values;
    device::regListValues(opened, &values);
    for (const device::RegistryValue& value : values) names.push_back(device::toUtf8(value.name));
    RegCloseKey(opened);
    return names;
}

std::vector<std::string> fillList(const std::string& key, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back("url" + std::to_string(i));
        testing_support::setRegString(HKEY_LOCAL_MACHINE, key, names.back(), "http://site" + std::to_string(i) + "/");
    }
    return names;
}

// "\Long\xxx...\yyy..." of exactly `length` characters, without "IE5" in it.
std::string longFolder(size_t length) { return "\\Long\\" + std::string(120, 'x') + "\\" + std::string(length - 127, 'y'); }

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override { resolveInstallDir(); }

    std::vector<std::string> logTexts() {
        std::vector<std::string> texts;
        for (const std::string& line : testing_support::logLines(device_.readText("\\Program Files\\Quillex\\Quillex.log")))
            texts.push_back(line.substr(17));
        return texts;
    }

    ScopedDevice device_;
};

// ------------------------------------------------------------------ which folder is swept

// Marker files, marker i of 2^i bytes, so a measure tells exactly which ones were counted
// and a clean run which ones went.
using Markers = std::vector<std::string>;

enum KeyState { kAbsent, kNoValue, kHasValue };

struct LocationCase {
    const char* name;
    KeyState firstChoice;
    std::string firstValue;  // raw bytes
    KeyState fallback;
    std::string fallbackValue;
    unsigned reached;  // the markers the operation counts and deletes
    bool failFirstOpen = false;
    bool withoutDefault = false;  // the default folder is removed first
};

class LocationTest : public BrowserTest {
protected:
    // Lays out the markers and the registry of one case, then checks that measuring
    // counts exactly the reached markers and changes nothing, and that cleaning deletes
    // exactly those.
    void check(const Markers& markers, const LocationCase& c, const char* firstValueName, const char* fallbackKey,
               DWORD (*operation)(int)) {
        SCOPED_TRACE(c.name);
        testing_support::deleteRegKey(HKEY_CURRENT_USER, kShellFolders);
        testing_support::deleteRegKey(HKEY_LOCAL_MACHINE, fallbackKey);
        for (size_t i = 0; i < markers.size(); ++i) device_.writeFile(markers[i], size_t{1} << i);
        device_.writeFile("\\rootfile.bin", 1 << 20);
        if (c.withoutDefault) fs::remove_all(device_.host(kDefaultCache));
        if (c.firstChoice != kAbsent) createKey(HKEY_CURRENT_USER, kShellFolders);
        if (c.firstChoice == kHasValue)
            testing_support::setRegBytes(HKEY_CURRENT_USER, kShellFolders, firstValueName, REG_SZ, c.firstValue);
        if (c.fallback != kAbsent) createKey(HKEY_LOCAL_MACHINE, fallbackKey);
        if (c.fallback == kHasValue)
            testing_support::setRegBytes(HKEY_LOCAL_MACHINE, fallbackKey, "CachePath", REG_SZ, c.fallbackValue);
        std::vector<bool> present;
        for (const std::string& marker : markers) present.push_back(device_.exists(marker));

        if (c.failFirstOpen) device::faultArm("RegOpenKeyExW", 1);
        EXPECT_EQ(c.reached, operation(0));
        for (size_t i = 0; i < markers.size(); ++i) EXPECT_EQ(present[i], device_.exists(markers[i])) << markers[i];

        if (c.failFirstOpen) device::faultArm("RegOpenKeyExW", 1);
        EXPECT_EQ(0u, operation(1));
        for (size_t i = 0; i < markers.size(); ++i)
            EXPECT_EQ(present[i] && !(c.reached & (1u << i)), device_.exists(markers[i])) << markers[i];
        EXPECT_TRUE(device_.exists("\\rootfile.bin"));
        EXPECT_TRUE(device_.exists("\\Windows"));
        device::faultDisarmAll();
    }
};

const Markers kCacheMarkers = {
    "\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\index.dat",      // 1
    "\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\K3X9QZ1A\\a.htm",  // 2
    "\\Windows\\Profiles\\guest\\Temporary Internet Files\\beside.dat",                  // 4
    "\\Storage Card\\Cache\\beside.dat",                                                 // 8
    "\\Storage Card\\Cache\\Content.IE5\\index.dat",                                     // 16
    "\\Storage Card\\content.ie5\\beside.dat",                                           // 32
    "\\Storage Card\\content.ie5\\Content.IE5\\index.dat",                               // 64
    "\\Storage Card\\Fallback\\beside.dat",                                              // 128
    "\\Storage Card\\Fallback\\Content.IE5\\index.dat",                                  // 256
    "\\Storage Card\\MyIE5\\beside.dat",                                                 // 512
    "\\Storage Card\\MyIE5\\Content.IE5\\index.dat",                                     // 1024
    "\\Storage Card\\Odd\\Content.IE5",                                                  // 2048, a file
    "\\Storage Card\\Odd\\beside.dat",                                                   // 4096
    "\\Storage Card\\Cache\\Content.IE5\\X1\\deeper\\d.htm",                             // 8192
};

TEST_F(LocationTest, CacheFolderComesFromTheFirstChoiceTheFallbackOrTheDefault) {
    const unsigned kDefault = 1 | 2;
    const std::string fallback = regString("\\Storage Card\\Fallback");
    const LocationCase cases[] = {
        {"no key", kAbsent, "", kAbsent, "", kDefault},
        {"first choice names the folder above Content.IE5", kHasValue, regString(kInternetFiles), kAbsent, "", kDefault},
        {"first choice without Content.IE5 below it", kHasValue, regString(kInternetFiles), kAbsent, "", 4, false, true},
        {"first choice with Content.IE5: only that is swept", kHasValue, regString("\\Storage Card\\Cache"), kAbsent, "",
         16},
        {"first-choice key without Cache: fallback not consulted", kNoValue, "", kHasValue, fallback, kDefault},
        {"fallback taken as it stands, Content.IE5 and all", kAbsent, "", kHasValue, fallback, 128 | 256},
        {"fallback key without CachePath", kAbsent, "", kNoValue, "", kDefault},
        {"first-choice key that fails to open", kHasValue, regString("\\Storage Card\\Cache"), kHasValue, fallback,
         128 | 256, true},
        {"lower-case content.ie5 does not name IE5", kHasValue, regString("\\Storage Card\\content.ie5"), kAbsent, "",
         64},
        {"a folder naming IE5 is swept itself", kHasValue, regString("\\Storage Card\\MyIE5"), kAbsent, "", 512 | 1024},
        {"Content.IE5 that is a file is taken and yields nothing", kHasValue, regString("\\Storage Card\\Odd"),
         kAbsent, "", 0},
        {"empty Cache", kHasValue, regString(""), kHasValue, fallback, kDefault},
        {"unterminated Cache", kHasValue, regString("\\Storage Card\\Cache", false), kAbsent, "", kDefault},
        {"Cache with no bytes", kHasValue, "", kAbsent, "", kDefault},
        {"Cache of 258 characters", kHasValue, regString("\\" + std::string(257, 'c')), kAbsent, "", kDefault},
        {"Cache longer than the buffer", kHasValue, regString("\\" + std::string(400, 'c')), kAbsent, "", kDefault},
        {"empty CachePath", kAbsent, "", kHasValue, regString(""), kDefault},
        {"unterminated CachePath", kAbsent, "", kHasValue, regString("\\Storage Card\\Fallback", false), kDefault},
        {"CachePath longer than the buffer", kAbsent, "", kHasValue, regString("\\" + std::string(400, 'f')), kDefault},
    };
    for (const LocationCase& c : cases) check(kCacheMarkers, c, "Cache", kCacheFallback, cleanupIECache);
}

const Markers kHistoryMarkers = {
    "\\Windows\\Profiles\\guest\\History\\desktop.ini",                                  // 1
    "\\Windows\\Profiles\\guest\\History\\History.IE5\\index.dat",                       // 2
    "\\Windows\\Profiles\\guest\\History\\History.IE5\\MSHist01\\index.dat",             // 4
    "\\Windows\\Profiles\\guest\\History\\History.IE5\\MSHist01\\deeper\\d.dat",         // 8, never
    "\\Storage Card\\Hist\\desktop.ini",                                                 // 16
    "\\Storage Card\\Hist\\History.IE5\\index.dat",                                      // 32
    "\\Storage Card\\Hist\\History.IE5\\MSHist02\\index.dat",                            // 64
    "\\Storage Card\\Cookies\\desktop.ini",                                              // 128
    "\\Storage Card\\Cookies\\History.IE5\\index.dat",                                   // 256
    "\\Storage Card\\Cookies\\History.IE5\\MSHist03\\index.dat",                         // 512
    "\\Storage Card\\Hist.IE5\\desktop.ini",                                             // 1024
    "\\Storage Card\\Hist.IE5\\History.IE5\\index.dat",                                  // 2048
    "\\Storage Card\\Hist.IE5\\History.IE5\\MSHist04\\index.dat",                        // 4096, second sweep only
    "\\Storage Card\\history.ie5\\desktop.ini",                                          // 8192
    "\\Storage Card\\history.ie5\\History.IE5\\MSHist05\\index.dat",                     // 16384
};

TEST_F(LocationTest, HistoryFolderAndItsHistoryIE5AreSweptWhateverGaveTheFolder) {
    const unsigned kDefault = 1 | 2 | 4;
    const std::string fallback = regString("\\Storage Card\\Cookies");
    const LocationCase cases[] = {
        {"no key", kAbsent, "", kAbsent, "", kDefault},
        {"first choice", kHasValue, regString("\\Storage Card\\Hist"), kHasValue, fallback, 16 | 32 | 64},
        {"first-choice key without History: fallback not consulted", kNoValue, "", kHasValue, fallback, kDefault},
        {"fallback, History.IE5 below it too", kAbsent, "", kHasValue, fallback, 128 | 256 | 512},
        {"first-choice key that fails to open", kHasValue, regString("\\Storage Card\\Hist"), kHasValue, fallback,
         128 | 256 | 512, true},
        {"a folder naming IE5 gets one sweep", kHasValue, regString("\\Storage Card\\Hist.IE5"), kAbsent, "",
         1024 | 2048},
        {"lower-case history.ie5 does not name IE5", kHasValue, regString("\\Storage Card\\history.ie5"), kAbsent, "",
         8192 | 16384},
        {"empty History", kHasValue, regString(""), kAbsent, "", kDefault},
        {"unterminated History", kHasValue, regString("\\Storage Card\\Hist", false), kAbsent, "", kDefault},
        {"History longer than the buffer", kHasValue, regString("\\" + std::string(400, 'h')), kAbsent, "", kDefault},
        {"empty CachePath", kAbsent, "", kHasValue, regString(""), kDefault},
        {"CachePath with no bytes", kAbsent, "", kHasValue, "", kDefault},
    };
    for (const LocationCase& c : cases) check(kHistoryMarkers, c, "History", kHistoryFallback, cleanupHistory);
}

TEST_F(BrowserTest, IE5CandidateIsBuiltOnlyWhenItFits) {
    // A folder of 245 characters leaves room for "\Content.IE5" and its listing; one of
    // 247 still for the candidate (259) but not its listing, so nothing is swept; one of
    // 248 has no candidate and is swept itself, its Content.IE5 entry too long to touch.
    // Beside it lies what a candidate cut to 259 characters would name.
    struct Case {
        size_t length;
        DWORD measured;
    } cases[] = {{245, 16}, {247, 0}, {248, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string folder = longFolder(c.length);
        ASSERT_EQ(c.length, folder.size());
        device_.writeFile(folder + "\\b", 1);
        device_.writeFile(folder + "\\Content.IE5\\i", 16);
        device_.writeFile(folder + "\\Content.IE\\j", 64);
        testing_support::setRegString(HKEY_CURRENT_USER, kShellFolders, "Cache", folder);
        EXPECT_EQ(c.measured, cleanupIECache(0));
        cleanupIECache(1);
        EXPECT_EQ(c.measured != 1, device_.exists(folder + "\\b"));
        EXPECT_EQ(c.measured != 16, device_.exists(folder + "\\Content.IE5\\i"));

        device_.writeFile(folder + "\\History.IE5\\i", 16);
        testing_support::setRegString(HKEY_CURRENT_USER, kShellFolders, "History", folder);
        cleanupHistory(0);
        cleanupHistory(1);
        EXPECT_TRUE(device_.exists("\\Windows"));
        fs::remove_all(device_.host("\\Long"));
    }
}

// ------------------------------------------------------------------ what the sweeps do

TEST_F(BrowserTest, HistoryCountsEveryFileOnceAndCleanEmptiesHistoryIE5) {
    device_.writeFile(std::string(kDefaultHistory) + "\\a", 1);
    device_.writeFile(std::string(kDefaultHistory) + "\\History.IE5\\b", 16);
    device_.writeFile(std::string(kDefaultHistory) + "\\History.IE5\\S\\c", 8);
    EXPECT_EQ(25u, cleanupHistory(0));
    EXPECT_EQ(25u, cleanupHistory(0));
    EXPECT_TRUE(device_.exists(std::string(kDefaultHistory) + "\\History.IE5\\S\\c"));

    EXPECT_EQ(0u, cleanupHistory(1));
    EXPECT_FALSE(device_.exists(std::string(kDefaultHistory) + "\\a"));
    EXPECT_TRUE(device_.exists(std::string(kDefaultHistory) + "\\History.IE5"));
    EXPECT_TRUE(fs::is_empty(device_.host(std::string(kDefaultHistory) + "\\History.IE5")));
    EXPECT_EQ(0u, cleanupHistory(0));
}

TEST_F(BrowserTest, HistoryIE5WithoutSubFoldersGoesInTheFirstSweep) {
    device_.writeFile(std::string(kDefaultHistory) + "\\History.IE5\\index.dat", 16);
    EXPECT_EQ(16u, cleanupHistory(0));
    cleanupHistory(1);
    EXPECT_FALSE(device_.exists(std::string(kDefaultHistory) + "\\History.IE5"));
    EXPECT_TRUE(device_.exists(kDefaultHistory));
}

TEST_F(BrowserTest, MissingFoldersCountNothingButCleanStillLogsAndClearsLists) {
    fs::remove_all(device_.host("\\Windows\\Profiles"));
    fillList(kRunHistory, 2);
    EXPECT_EQ(0u, cleanupIECache(0));
    EXPECT_EQ(0u, cleanupHistory(0));
    EXPECT_FALSE(device_.exists("\\Program Files\\Quillex\\Quillex.log"));
    EXPECT_EQ(0u, cleanupIECache(1));
    EXPECT_EQ(0u, cleanupHistory(1));
    EXPECT_EQ((std::vector<std::string>{"cleanupIECache", "cleanupHistory"}), logTexts());
    EXPECT_TRUE(valueNames(kRunHistory).empty());
    EXPECT_FALSE(device_.exists("\\Windows\\Profiles"));
}

// A cache as the browser leaves it: an index and many randomly named sub-folders of
// pages, one file read-only, one held open by the browser, one folder a level too deep.
TEST_F(BrowserTest, RealisticCacheIsMeasuredAndEmptiedBarFilesThatCannotGo) {
    const std::string cache = kDefaultCache;
    std::mt19937 random(20040101);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::set<std::string> folders;
    while (folders.size() < 24) {
        std::string name;
        for (int i = 0; i < 8; ++i) name += alphabet[random() % 36];
        folders.insert(name);
    }
    const char* pages[] = {"default[1].htm", "logo[1].gif", "style[2].css", "script[1].js", "banner[3].jpg"};
    DWORD total = 0;
    std::vector<std::string> files;
    device_.writeFile(cache + "\\index.dat", 16384);
    total += 16384;
    for (const std::string& folder : folders) {
        for (int i = 0, count = 1 + static_cast<int>(random() % 5); i < count; ++i) {
            size_t size = random() % 3000;
            files.push_back(cache + "\\" + folder + "\\" + pages[i]);
            device_.writeFile(files.back(), size);
            total += static_cast<DWORD>(size);
        }
    }
    std::string readOnly = files[3], held = files[7], deep = cache + "\\" + *folders.begin() + "\\frames\\f.htm";
    device_.writeFile(deep, 999);
    chmod(device_.host(readOnly).c_str(), 0444);
    HANDLE browser = CreateFileW(wide(held).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, browser);
    total -= static_cast<DWORD>(fs::file_size(device_.host(held)));

    EXPECT_EQ(total, cleanupIECache(0));
    cleanupIECache(1);
    CloseHandle(browser);

    EXPECT_FALSE(device_.exists(cache + "\\index.dat"));
    for (const std::string& file : files) EXPECT_EQ(file == readOnly || file == held, device_.exists(file)) << file;
    EXPECT_TRUE(device_.exists(deep));
    // Only the sub-folders still holding something stay.
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(device_.host(cache))) left.insert(entry.path().filename().string());
    std::set<std::string> expected = {fs::path(device_.host(readOnly)).parent_path().filename().string(),
                                      fs::path(device_.host(held)).parent_path().filename().string(),
                                      *folders.begin()};
    EXPECT_EQ(expected, left);
}

TEST_F(BrowserTest, RealisticHistoryIsMeasuredOnceAndEmptied) {
    const std::string history = kDefaultHistory;
    const std::string ie5 = history + "\\History.IE5";
    std::vector<std::pair<std::string, size_t>> files = {
        {history + "\\desktop.ini", 113},
        {ie5 + "\\desktop.ini", 113},
        {ie5 + "\\index.dat", 32768},
        {ie5 + "\\MSHist012004010520040112\\index.dat", 16384},
        {ie5 + "\\MSHist012004011220040119\\index.dat", 16384},
        {ie5 + "\\MSHist012004011920040120\\index.dat", 8192},
    };
    DWORD total = 0;
    for (const auto& [path, size] : files) {
        device_.writeFile(path, size);
        total += static_cast<DWORD>(size);
    }
    // The browser holds today's index open.
    HANDLE browser = CreateFileW(wide(files[5].first).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, browser);
    EXPECT_EQ(total - 8192, cleanupHistory(0));
    cleanupHistory(1);
    CloseHandle(browser);

    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(i == 5, device_.exists(files[i].first)) << files[i].first;
    EXPECT_FALSE(device_.exists(ie5 + "\\MSHist012004010520040112"));
    EXPECT_TRUE(device_.exists(ie5 + "\\MSHist012004011920040120"));
    EXPECT_EQ(8192u, cleanupHistory(0));
}

// ------------------------------------------------------------------ the history lists

TEST_F(BrowserTest, CleanEmptiesBothListsAndKeepsTheKeys) {
    fillList(kRunHistory, 4);
    fillList(kAddressHistory, 2);
    testing_support::setRegBytes(HKEY_LOCAL_MACHINE, kRunHistory, "", REG_SZ, regString("\\Windows\\pword.exe"));
    testing_support::setRegBytes(HKEY_LOCAL_MACHINE, kRunHistory, "count", REG_DWORD, std::string("\x04\0\0\0", 4));
    testing_support::setRegString(HKEY_LOCAL_MACHINE, std::string(kRunHistory) + "\\Sub", "kept", "x");
    cleanupHistory(1);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kRunHistory));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kAddressHistory));
    EXPECT_TRUE(valueNames(kRunHistory).empty());
    EXPECT_TRUE(valueNames(kAddressHistory).empty());
    EXPECT_EQ(std::vector<std::string>{"kept"}, valueNames(std::string(kRunHistory) + "\\Sub"));
}

TEST_F(BrowserTest, MeasureNeverTouchesTheLists) {
    std::vector<std::string> run = fillList(kRunHistory, 4);
    std::vector<std::string> address = fillList(kAddressHistory, 2);
    for (int i = 0; i < 3; ++i) cleanupHistory(0);
    EXPECT_EQ(run, valueNames(kRunHistory));
    EXPECT_EQ(address, valueNames(kAddressHistory));
}

TEST_F(BrowserTest, MissingRunHistoryStillClearsAddressHistory) {
    fillList(kAddressHistory, 2);
    cleanupHistory(1);
    EXPECT_TRUE(valueNames(kAddressHistory).empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kRunHistory));  // never created
}

struct ListCase {
    const char* name;
    std::vector<std::pair<std::string, size_t>> values;  // name, bytes of data
    std::vector<std::string> left;
};

TEST_F(BrowserTest, ListWalkDeletesEveryReadableValueAndStopsAtOneThatDoesNotFit) {
    std::vector<std::pair<std::string, size_t>> many;
    for (int i = 0; i < 60; ++i) many.push_back({"v" + std::to_string(i), static_cast<size_t>(i * 70)});
    const std::string name259(259, 'n'), name260(260, 'm');
    const ListCase cases[] = {
        {"empty list", {}, {}},
        {"sixty values", many, {}},
        {"data of 4200 bytes fits", {{"a", 10}, {"b", 4200}, {"c", 5}}, {}},
        {"data of 4201 bytes ends the walk", {{"a", 10}, {"b", 4201}, {"c", 5}}, {"b", "c"}},
        {"first value too big", {{"a", 9000}, {"b", 1}}, {"a", "b"}},
        {"name of 259 characters fits", {{"a", 1}, {name259, 1}, {"c", 1}}, {}},
        {"name of 260 characters ends the walk", {{"a", 1}, {name260, 1}, {"c", 1}}, {name260, "c"}},
        {"no data at all", {{"a", 0}, {"b", 0}}, {}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::deleteRegKey(HKEY_LOCAL_MACHINE, kRunHistory);
        createKey(HKEY_LOCAL_MACHINE, kRunHistory);
        for (const auto& [name, size] : c.values)
            testing_support::setRegBytes(HKEY_LOCAL_MACHINE, kRunHistory, name, REG_BINARY, std::string(size, 'd'));
        clearHistoryList(wide(kRunHistory).c_str());
        EXPECT_EQ(c.left, valueNames(kRunHistory));
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kRunHistory));
    }
}

TEST_F(BrowserTest, ListWalkEndsAtAValueThatWillNotGo) {
    std::vector<std::string> names = fillList(kRunHistory, 4);
    device::faultArm("RegDeleteValueW", 1, true);  // the walk would read "url0" forever
    clearHistoryList(wide(kRunHistory).c_str());
    device::faultDisarmAll();
    EXPECT_EQ(names, valueNames(kRunHistory));

    device::faultArm("RegDeleteValueW", 2);
    clearHistoryList(wide(kRunHistory).c_str());
    EXPECT_EQ((std::vector<std::string>{"url1", "url2", "url3"}), valueNames(kRunHistory));

    device::faultArm("RegEnumValueW", 1);
    clearHistoryList(wide(kRunHistory).c_str());
    EXPECT_EQ((std::vector<std::string>{"url1", "url2", "url3"}), valueNames(kRunHistory));

    // A list that ends early does not keep the other one from being cleared.
    fillList(kAddressHistory, 2);
    device::faultArm("RegDeleteValueW", 1);
    cleanupHistory(1);
    EXPECT_EQ((std::vector<std::string>{"url1", "url2", "url3"}), valueNames(kRunHistory));
    EXPECT_TRUE(valueNames(kAddressHistory).empty());
}

// ------------------------------------------------------------------ the command line

TEST_F(BrowserTest, LettersCAndHRunInFixedOrder) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> logged;
    } cases[] = {
        {{"c"}, {"cleanupIECache"}},
        {{"h"}, {"cleanupHistory"}},
        {{"hc"}, {"cleanupIECache", "cleanupHistory"}},
        {{"H", "C"}, {"cleanupIECache", "cleanupHistory"}},
        {{"ahtc"}, {"cleanupTemp", "cleanupIECache", "cleanupHistory", "cleanupAvantGo"}},
    };
    const std::string cacheFile = std::string(kDefaultCache) + "\\X\\page.htm";
    const std::string historyFile = std::string(kDefaultHistory) + "\\History.IE5\\MSHist01\\index.dat";
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        device_.writeText("\\Program Files\\Quillex\\Quillex.log", "");
        device_.writeFile(cacheFile, 5);
        device_.writeFile(historyFile, 6);
        fillList(kRunHistory, 3);
        std::vector<std::string> args = {"--device", device_.dir()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        testing_support::RunResult result = testing_support::run(testing_support::quillexBinary(), args);
        EXPECT_EQ(0, result.exitCode) << result.output;
        EXPECT_EQ(c.logged, logTexts());
        bool cache = std::find(c.logged.begin(), c.logged.end(), "cleanupIECache") != c.logged.end();
        bool history = std::find(c.logged.begin(), c.logged.end(), "cleanupHistory") != c.logged.end();
        EXPECT_EQ(!cache, device_.exists(cacheFile));
        EXPECT_EQ(!history, device_.exists(historyFile));
        EXPECT_EQ(history, valueNames(kRunHistory).empty());
    }
}

}  // namespace
