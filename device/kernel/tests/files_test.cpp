// Tests of the device file system: names ignoring case, dispositions, listings, read-only
// files, writes on a full disk, and that no path or link ever leads a call to a host file
// outside fs/, to open anything but a plain file, or to write one with a second host link.
// Sharing modes and deletions racing opens are tested in sharing_test.cpp.
#include "device/core/faults.h"
#include "device/core/utf.h"
#include "platform/windows.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testing_support::ScopedDevice;
using testing_support::wide;

namespace {

const DWORD kRead = GENERIC_READ, kWrite = GENERIC_WRITE;

HANDLE openFile(const std::u16string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return openFile(wide(path), access, share, disposition);
}

std::string readAll(HANDLE file) {
    std::string text(64, '\0');
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr));
    text.resize(got);
    return text;
}

DWORD attributes(const std::string& path) { return GetFileAttributesW(wide(path).c_str()); }

// Every entry a search of `pattern` yields, by name (UTF-8).
std::map<std::string, WIN32_FIND_DATAW> listing(const std::string& pattern) {
    std::map<std::string, WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(wide(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        std::string name = device::toUtf8(data.cFileName);
        EXPECT_EQ(0u, entries.count(name)) << name << " listed twice";
        entries[name] = data;
    } while (FindNextFileW(search, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(search));
    return entries;
}

// A path with a NUL inside: everything up to the literal's own terminator.
template <size_t N>
std::u16string withNul(const char16_t (&text)[N]) {
    return std::u16string(text, N - 1);
}

// Watches host entries for the events the kernel reports on their inodes (opens, closes of
// a descriptor open for writing), whoever causes them.
class InodeWatch {
public:
    InodeWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~InodeWatch() { close(fd_); }
    void add(const std::string& hostPath, uint32_t events) { EXPECT_GE(inotify_add_watch(fd_, hostPath.c_str(), events), 0) << hostPath; }
    // The events seen since the last call, or-ed together.
    uint32_t seen() {
        uint32_t events = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + got; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                events |= reinterpret_cast<inotify_event*>(at)->mask;
        return events;
    }

private:
    int fd_;
};

// Every host entry below `top`, for proving that a call created or removed nothing.
std::set<std::string> hostTree(const fs::path& top) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(top)) paths.insert(entry.path().string());
    return paths;
}

TEST(Files, NamesMatchIgnoringCaseAndKeepTheirCase) {
    ScopedDevice dev;
    dev.writeText("\\Temp\\MixedCase.TXT", "abc");
    dev.writeText("\\Temp\\Ärger.txt", "umlaut");

    for (const auto& [spelled, content] : {std::pair{"\\TEMP\\mixedcase.txt", "abc"}, {"\\temp\\äRGER.TXT", "umlaut"}}) {
        HANDLE file = openFile(spelled, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << spelled;
        EXPECT_EQ(content, readAll(file));
        CloseHandle(file);
    }

    // Opening an existing name in another case reuses the file instead of adding one.
    HANDLE file = openFile("\\temp\\MIXEDCASE.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(file);

    file = openFile("\\Temp\\NewFile.Txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\TEMP\\NEWFILE.TXT", GENERIC_WRITE, 0, CREATE_NEW));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_TRUE(CreateDirectoryW(u"\\Temp\\SubDir", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"\\TEMP\\subdir", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    std::set<std::string> hostNames;
    for (const auto& entry : fs::directory_iterator(dev.host("\\Temp"))) hostNames.insert(entry.path().filename().string());
    EXPECT_EQ((std::set<std::string>{"MixedCase.TXT", "Ärger.txt", "NewFile.Txt", "SubDir"}), hostNames);
    auto entries = listing("\\tEmP\\*");
    EXPECT_EQ(4u, entries.size());
    EXPECT_EQ(1u, entries.count("NewFile.Txt"));

    EXPECT_TRUE(DeleteFileW(u"\\temp\\newfile.TXT"));
    EXPECT_FALSE(dev.exists("\\Temp\\NewFile.Txt"));
    EXPECT_TRUE(RemoveDirectoryW(u"\\TEMP\\SUBDIR"));
    EXPECT_FALSE(dev.exists("\\Temp\\SubDir"));
}

TEST(Files, DispositionsCreateOpenAndTruncate) {
    struct Case {
        DWORD disposition;
        bool existed;
        bool opens;
        DWORD lastError;
        size_t sizeAfter;
    };
    const Case cases[] = {
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, 5},      {CREATE_NEW, false, true, 0, 0},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0}, {CREATE_ALWAYS, false, true, 0, 0},
        {OPEN_EXISTING, true, true, 0, 5},                    {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 5},   {OPEN_ALWAYS, false, true, 0, 0},
        {TRUNCATE_EXISTING, true, true, 0, 0},                {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("disposition " + std::to_string(c.disposition) + (c.existed ? " on a file" : " on nothing"));
        ScopedDevice dev;
        if (c.existed) dev.writeText("\\Temp\\f.txt", "12345");
        SetLastError(12345);
        HANDLE file = openFile("\\Temp\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE);
        EXPECT_EQ(c.lastError, GetLastError());
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        EXPECT_EQ(c.existed || c.opens, dev.exists("\\Temp\\f.txt"));
        if (dev.exists("\\Temp\\f.txt")) {
            EXPECT_EQ(c.sizeAfter, dev.readText("\\Temp\\f.txt").size());
        }
    }

    ScopedDevice dev;
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\Missing\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\Temp", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\Temp", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST(Files, ReadWriteAndMoveThePointer) {
    ScopedDevice dev;
    HANDLE file = openFile("\\Temp\\rw.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &count, nullptr));
    EXPECT_EQ(11u, count);
    EXPECT_EQ(11u, GetFileSize(file, nullptr));
    EXPECT_EQ(0u, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    char five[5];
    ASSERT_TRUE(ReadFile(file, five, 5, &count, nullptr));
    EXPECT_EQ("hello", std::string(five, count));
    EXPECT_EQ(7u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
    EXPECT_EQ(6u, SetFilePointer(file, -5, nullptr, FILE_END));
    EXPECT_EQ("world", readAll(file));
    EXPECT_EQ("", readAll(file));  // at the end: success with nothing read
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -12, nullptr, FILE_END));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, 7));
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    EXPECT_EQ("hello world", dev.readText("\\Temp\\rw.txt"));

    // Each handle may do only what it was opened for.
    HANDLE reader = openFile("\\Temp\\rw.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writer = openFile("\\Temp\\rw.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(ReadFile(writer, five, 1, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(WriteFile(writer, "J", 1, &count, nullptr));
    EXPECT_EQ("Jello world", readAll(reader));
    CloseHandle(reader);
    CloseHandle(writer);

    // Closed handles are refused, and so is a search handle used as a file.
    EXPECT_FALSE(ReadFile(reader, five, 1, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\Temp\\*", &data);
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(search, nullptr));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
}

TEST(Files, SizesPastFourGigabytes) {
    ScopedDevice dev;
    dev.writeText("\\Temp\\big.bin", "");
    const uint64_t size = (uint64_t{1} << 32) + 5;
    ASSERT_EQ(0, truncate(dev.host("\\Temp\\big.bin").c_str(), static_cast<off_t>(size)));  // sparse

    HANDLE file = openFile("\\Temp\\big.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 99;
    EXPECT_EQ(5u, GetFileSize(file, &high));
    EXPECT_EQ(1u, high);
    LONG moveHigh = 0;
    EXPECT_EQ(5u, SetFilePointer(file, 0, &moveHigh, FILE_END));
    EXPECT_EQ(1, moveHigh);
    // Without the high part the position must fit in 32 bits.
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_END));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "z", 1, &written, nullptr));
    EXPECT_EQ(6u, GetFileSize(file, &high));
    EXPECT_EQ(1u, high);
    moveHigh = -1;  // with distance 1: a 64-bit move back by 2^32 - 1
    EXPECT_EQ(7u, SetFilePointer(file, 1, &moveHigh, FILE_CURRENT));
    EXPECT_EQ(0, moveHigh);
    CloseHandle(file);

    auto entries = listing("\\Temp\\big.*");
    ASSERT_EQ(1u, entries.count("big.bin"));
    EXPECT_EQ(1u, entries["big.bin"].nFileSizeHigh);
    EXPECT_EQ(6u, entries["big.bin"].nFileSizeLow);
}

TEST(Files, ListingShowsEveryEntryButDotAndDotDot) {
    ScopedDevice dev;
    dev.writeText("\\Data\\plain.txt", "1234");
    dev.writeText("\\Data\\.hidden", "h");
    dev.writeText("\\Data\\locked.TXT", "r");
    chmod(dev.host("\\Data\\locked.TXT").c_str(), 0444);
    dev.makeFolder("\\Data\\Folder");
    dev.makeFolder("\\Data\\Locked Folder");
    chmod(dev.host("\\Data\\Locked Folder").c_str(), 0555);
    // Names the device cannot show are left out: not UTF-8, or holding its separator.
    dev.writeText("\\Data\\bad\xff.txt", "");
    std::ofstream(dev.host("\\Data") + "/one\\two") << "x";
    ASSERT_EQ(7, std::distance(fs::directory_iterator(dev.host("\\Data")), fs::directory_iterator()));

    // A known local time, to check the calendar conversion of the last write.
    struct tm local {};
    local.tm_year = 2004 - 1900;
    local.tm_mon = 1;
    local.tm_mday = 29;
    local.tm_hour = 12;
    local.tm_min = 34;
    local.tm_sec = 56;
    local.tm_isdst = -1;
    struct timespec times[2] = {{mktime(&local), 1234500}, {mktime(&local), 1234500}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, dev.host("\\Data\\plain.txt").c_str(), times, 0));

    auto entries = listing("\\Data\\*");
    std::set<std::string> names;
    for (const auto& [name, data] : entries) names.insert(name);
    EXPECT_EQ((std::set<std::string>{"plain.txt", ".hidden", "locked.TXT", "Folder", "Locked Folder"}), names);
    const std::pair<const char*, DWORD> expected[] = {
        {"plain.txt", FILE_ATTRIBUTE_ARCHIVE},
        {".hidden", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
        {"locked.TXT", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
        {"Folder", FILE_ATTRIBUTE_DIRECTORY},
        {"Locked Folder", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
    };
    for (const auto& [name, attributeBits] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(attributeBits, entries[name].dwFileAttributes);
        EXPECT_EQ(attributeBits, attributes(std::string("\\Data\\") + name));
    }
    EXPECT_EQ(4u, entries["plain.txt"].nFileSizeLow);
    const uint64_t written = 127225316960000000ull + 12345;  // 2004-02-29 12:34:56.0012345
    EXPECT_EQ(static_cast<DWORD>(written), entries["plain.txt"].ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(static_cast<DWORD>(written >> 32), entries["plain.txt"].ftLastWriteTime.dwHighDateTime);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), attributes("\\"));

    struct Pattern {
        const char* pattern;
        size_t matches;
    };
    const Pattern patterns[] = {
        {"\\data\\*.*", 5}, {"\\Data\\*.txt", 2},  {"\\Data\\*e*", 4},     {"\\Data\\PLAIN.TXT", 1},
        {"\\Data\\?lain.t?t", 1}, {"\\Data\\*L*D*", 3}, {"\\Data\\*.doc", 0}, {"\\Data\\plain.tx", 0},
    };
    for (const Pattern& p : patterns) {
        SCOPED_TRACE(p.pattern);
        EXPECT_EQ(p.matches, listing(p.pattern).size());
        if (p.matches == 0) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        }
    }
    WIN32_FIND_DATAW data;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\Nowhere\\*", &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\Data\\plain.txt\\*", &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(Files, DeletingWhileListingDisturbsNothing) {
    ScopedDevice dev;
    std::set<std::string> made;
    for (int i = 0; i < 400; ++i) {
        std::string name = "file" + std::to_string(i) + ".tmp";
        dev.writeText("\\Temp\\Many\\" + name, "x");
        made.insert(name);
    }
    for (int i = 0; i < 5; ++i) {
        dev.makeFolder("\\Temp\\Many\\dir" + std::to_string(i));
        made.insert("dir" + std::to_string(i));
    }
    // Two listings at once, one deleting: the other must see every entry still there.
    std::set<std::string> seen;
    WIN32_FIND_DATAW data, other;
    HANDLE search = FindFirstFileW(u"\\Temp\\Many\\*", &data);
    HANDLE watcher = FindFirstFileW(u"\\Temp\\Many\\dir*", &other);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    ASSERT_NE(INVALID_HANDLE_VALUE, watcher);
    size_t watched = 1;
    bool watcherDone = false;
    do {
        std::string name = device::toUtf8(data.cFileName);
        EXPECT_TRUE(seen.insert(name).second) << name;
        std::u16string path = u"\\Temp\\Many\\" + std::u16string(data.cFileName);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        EXPECT_TRUE(DeleteFileW(path.c_str())) << name;
        if (!watcherDone && FindNextFileW(watcher, &other)) ++watched;
        else watcherDone = true;
    } while (FindNextFileW(search, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    FindClose(search);
    FindClose(watcher);
    EXPECT_EQ(made, seen);
    EXPECT_EQ(5u, watched);  // the watcher found its five folders through the deletions
    EXPECT_EQ(5u, listing("\\Temp\\Many\\*").size());
}

TEST(Files, ReadOnlyFilesCannotBeChangedOrDeleted) {
    ScopedDevice dev;
    dev.writeText("\\Temp\\ro.txt", "keep");
    ASSERT_EQ(0, chmod(dev.host("\\Temp\\ro.txt").c_str(), 0444));
    const std::pair<DWORD, DWORD> refused[] = {
        {GENERIC_WRITE, OPEN_EXISTING}, {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
        {GENERIC_WRITE, CREATE_ALWAYS}, {GENERIC_READ, CREATE_ALWAYS}, {GENERIC_WRITE, TRUNCATE_EXISTING},
    };
    for (const auto& [access, disposition] : refused) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\Temp\\RO.txt", access, FILE_SHARE_READ, disposition));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\ro.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("keep", dev.readText("\\Temp\\ro.txt"));
    HANDLE reader = openFile("\\Temp\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ("keep", readAll(reader));
    CloseHandle(reader);

    // Created read-only: the creating handle may still write, later ones may not.
    HANDLE file = CreateFileW(u"\\Temp\\new-ro.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "data", 4, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ("data", dev.readText("\\Temp\\new-ro.txt"));
    EXPECT_TRUE(attributes("\\Temp\\new-ro.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile("\\Temp\\new-ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING));
}

TEST(Files, FoldersAreCreatedAndRemovedOnlyWhenEmpty) {
    ScopedDevice dev;
    dev.writeText("\\Temp\\Full\\f.txt", "x");
    dev.makeFolder("\\Temp\\Empty");
    dev.writeText("\\Temp\\file.txt", "x");
    struct Case {
        const char16_t* path;
        DWORD error;
    };
    const Case refusals[] = {
        {u"\\Temp\\Full", ERROR_DIR_NOT_EMPTY},
        {u"\\Temp\\file.txt", ERROR_DIRECTORY},
        {u"\\Temp\\Missing", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\Empty", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : refusals) {
        EXPECT_FALSE(RemoveDirectoryW(c.path));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_TRUE(dev.exists("\\Temp\\Full\\f.txt"));
    EXPECT_TRUE(dev.exists("\\Temp\\file.txt"));
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\Empty"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(RemoveDirectoryW(u"\\Temp\\Empty"));
    EXPECT_FALSE(dev.exists("\\Temp\\Empty"));

    EXPECT_TRUE(CreateDirectoryW(u"\\Temp\\New", nullptr));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), attributes("\\Temp\\New"));
    EXPECT_FALSE(CreateDirectoryW(u"\\Temp\\file.txt", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_FALSE(CreateDirectoryW(u"\\Temp\\Absent\\New", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\absent.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// Links below fs/ of every kind, and where they would lead.
struct LinkedTree {
    explicit LinkedTree(const ScopedDevice& dev) : outside(fs::path(dev.dir()).parent_path() / "outside") {
        fs::create_directories(outside / "dir");
        std::ofstream(outside / "secret.txt") << "secret";
        std::ofstream(outside / "dir" / "inner.txt") << "inner";
        dev.writeText("\\Temp\\real.txt", "real");
        dev.writeText("\\Temp\\sub\\inner.txt", "inner");
        const std::pair<const char*, fs::path> links[] = {
            {"toFile", "real.txt"},
            {"toDir", "sub"},
            {"toOutsideFile", outside / "secret.txt"},
            {"toOutsideDir", outside / "dir"},
            {"toRoot", "/"},
            {"dangling", "nothere"},
            {"loop", "loop"},
        };
        for (const auto& [name, target] : links) {
            fs::create_symlink(target, dev.host("\\Temp\\") + name);
            names.push_back(name);
        }
        fs::create_directory_symlink(outside, dev.host("\\Escape"));
    }
    fs::path outside;
    std::vector<std::string> names;
};

TEST(Files, LinksAreNeverFollowed) {
    ScopedDevice dev;
    LinkedTree tree(dev);
    const std::set<std::string> outsideBefore = hostTree(tree.outside);
    const std::string upper[] = {"TOFILE", "TODIR", "TOOUTSIDEFILE", "TOOUTSIDEDIR", "TOROOT", "DANGLING", "LOOP"};

    auto entries = listing("\\Temp\\*");
    for (size_t i = 0; i < tree.names.size(); ++i) {
        const std::string& name = tree.names[i];
        SCOPED_TRACE(name);
        for (const std::string& spelled : {name, upper[i]}) {
            const std::string path = "\\Temp\\" + spelled;
            // It exists, as a plain file, and nothing about its target shows.
            EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), attributes(path));
            for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
                HANDLE file = openFile(path, kRead | kWrite, 0, disposition);
                EXPECT_EQ(INVALID_HANDLE_VALUE, file) << disposition;
                if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            }
            EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path + "\\new.txt", kWrite, 0, CREATE_NEW));
            EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, attributes(path + "\\inner.txt"));
            EXPECT_FALSE(CreateDirectoryW(wide(path + "\\made").c_str(), nullptr));
            EXPECT_FALSE(DeleteFileW(wide(path + "\\inner.txt").c_str()));
            EXPECT_FALSE(RemoveDirectoryW(wide(path).c_str()));
            EXPECT_TRUE(listing(path + "\\*").empty());
            EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
        }
        ASSERT_EQ(1u, entries.count(name));
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), entries[name].dwFileAttributes);
        EXPECT_EQ(0u, entries[name].nFileSizeLow);
    }
    for (const char* escape : {"\\Escape\\secret.txt", "\\escape\\dir\\inner.txt", "\\Temp\\toRoot\\etc\\passwd"}) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, attributes(escape)) << escape;
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(escape, kRead, FILE_SHARE_READ, OPEN_EXISTING)) << escape;
        EXPECT_FALSE(DeleteFileW(wide(escape).c_str())) << escape;
    }
    EXPECT_TRUE(listing("\\Escape\\*").empty());

    // Deleting a link removes the link and nothing else.
    for (const std::string& name : tree.names) EXPECT_TRUE(DeleteFileW(wide("\\Temp\\" + name).c_str())) << name;
    EXPECT_TRUE(DeleteFileW(u"\\Escape"));
    for (const std::string& name : tree.names) EXPECT_FALSE(dev.exists("\\Temp\\" + name)) << name;
    EXPECT_EQ("real", dev.readText("\\Temp\\real.txt"));
    EXPECT_EQ("inner", dev.readText("\\Temp\\sub\\inner.txt"));
    EXPECT_FALSE(dev.exists("\\Temp\\nothere"));
    EXPECT_EQ(outsideBefore, hostTree(tree.outside));
    std::ifstream secret(tree.outside / "secret.txt");
    EXPECT_EQ("secret", std::string(std::istreambuf_iterator<char>(secret), {}));
    EXPECT_TRUE(fs::exists("/etc/passwd"));
}

// The device makes no hard links, so a file with a second host name was planted from
// outside, and that name may lie outside fs/. Its size shows; it is never read, written
// or truncated, however its name is spelled; deleting it removes only the device's name.
// Not even opened for writing, and deleted without being so: what the outside name
// leads to is no business of the device's, whoever runs it.
TEST(Files, FilesWithASecondHostLinkAreNeverReadOrWritten) {
    ScopedDevice dev;
    const fs::path outside = fs::path(dev.dir()).parent_path() / "outside.txt";
    std::ofstream(outside) << "host secret";
    fs::create_hard_link(outside, dev.host("\\Temp\\planted.txt"));
    InodeWatch watch;
    watch.add(outside.string(), IN_CLOSE_WRITE | IN_MODIFY);
    struct Case {
        DWORD access, share, disposition;
        bool opens;
    };
    const Case cases[] = {
        {kWrite, FILE_SHARE_READ, OPEN_EXISTING, false},     {kWrite, 0, OPEN_ALWAYS, false},
        {kWrite, FILE_SHARE_READ, CREATE_ALWAYS, false},     {kWrite, FILE_SHARE_READ, TRUNCATE_EXISTING, false},
        {kRead | kWrite, FILE_SHARE_READ, OPEN_EXISTING, false}, {kRead, FILE_SHARE_READ, OPEN_EXISTING, true},
        {kRead, 0, OPEN_EXISTING, true},                     {kRead, FILE_SHARE_READ, OPEN_ALWAYS, true},
        {0, FILE_SHARE_READ, OPEN_EXISTING, true},
    };
    for (const char* spelled : {"\\Temp\\planted.txt", "\\TEMP\\Planted.TXT"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << spelled << " " << std::hex << c.access << " " << c.share << " " << c.disposition);
            HANDLE file = openFile(spelled, c.access, c.share, c.disposition);
            if (!c.opens) {
                EXPECT_EQ(INVALID_HANDLE_VALUE, file);
                EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
                if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
                continue;
            }
            ASSERT_NE(INVALID_HANDLE_VALUE, file);
            EXPECT_EQ(11u, GetFileSize(file, nullptr));
            char buffer[16];
            DWORD got = 99;
            EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
            EXPECT_EQ(0u, got);
            CloseHandle(file);
        }
    }
    std::ifstream host(outside);
    EXPECT_EQ("host secret", std::string(std::istreambuf_iterator<char>(host), {}));
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\planted.txt"));
    EXPECT_FALSE(dev.exists("\\Temp\\planted.txt"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(0u, watch.seen()) << "a descriptor open for writing was closed, or the file written";
}

// A FIFO, a socket or a device node below fs/ is never opened, not even to look at its
// type (a FIFO's writer would wake, a device's driver would act): every call looks first.
// Deleting one removes its name.
TEST(Files, NothingButAPlainFileIsEverOpened) {
    ScopedDevice dev;
    dev.makeFolder("\\Temp");
    std::vector<std::string> names = {"fifo.tmp"};
    ASSERT_EQ(0, mkfifo(dev.host("\\Temp\\fifo.tmp").c_str(), 0666));
    int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socketPath = dev.host("\\Temp\\socket.tmp");
    if (socketPath.size() < sizeof address.sun_path) {
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(0, bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address));
        names.push_back("socket.tmp");
    }
    // A node of the host's null device: only root may make one.
    if (mknod(dev.host("\\Temp\\device.tmp").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) names.push_back("device.tmp");
    else std::printf("(not root: no device node among the entries)\n");
    InodeWatch watch;
    for (const std::string& name : names) watch.add(dev.host("\\Temp\\" + name), IN_OPEN);
    struct Case {
        DWORD access, share, disposition;
    };
    const Case cases[] = {
        {kRead, FILE_SHARE_READ, OPEN_EXISTING}, {kRead, 0, OPEN_EXISTING},     {0, FILE_SHARE_READ, OPEN_EXISTING},
        {kWrite, 0, OPEN_ALWAYS},                {kWrite, 0, TRUNCATE_EXISTING}, {kRead | kWrite, 0, CREATE_ALWAYS},
    };
    for (const std::string& name : names) {
        for (const std::string& spelled : {"\\Temp\\" + name, "\\TEMP\\" + name}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << spelled << " " << std::hex << c.access << " " << c.disposition);
                HANDLE file = openFile(spelled, c.access, c.share, c.disposition);
                EXPECT_EQ(INVALID_HANDLE_VALUE, file);
                EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
                if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            }
            EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, attributes(spelled));
        }
        EXPECT_EQ(0u, watch.seen()) << name << " was opened";
        EXPECT_TRUE(DeleteFileW(wide("\\Temp\\" + name).c_str())) << name;
        EXPECT_FALSE(dev.exists("\\Temp\\" + name)) << name;
        EXPECT_EQ(0u, watch.seen() & IN_OPEN) << name << " was opened to be deleted";
    }
    close(socketFd);
}

// A write the disk cannot take whole leaves the file as it was, and the handle where it
// was: the next write lands where the failed one would have. (The "write" fault makes the
// host take half of what is left, then report the disk full.)
TEST(Files, AWriteThatFallsShortLeavesTheFileAsItWas) {
    ScopedDevice dev;
    struct Case {
        const char* what;
        LONG at;  // where the write starts, from the start of "line one\r\n" (10 bytes)
        std::string after;  // the file after the failed write, then "next" written
    };
    const Case cases[] = {
        {"appending", 10, "line one\r\nnext"},
        {"over the end", 6, "line onext"},  // what it overwrote stays overwritten: only the growth goes
        {"past the end", 14, std::string("line one\r\n\0\0\0\0next", 18)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dev.writeText("\\Temp\\log.txt", "line one\r\n");
        HANDLE file = openFile("\\Temp\\log.txt", kWrite, 0, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ASSERT_EQ(static_cast<DWORD>(c.at), SetFilePointer(file, c.at, nullptr, FILE_BEGIN));
        device::faultArm("write", 1);
        DWORD written = 99;
        EXPECT_FALSE(WriteFile(file, "line two\r\n", 10, &written, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
        EXPECT_EQ(0u, written);
        EXPECT_EQ(10u, GetFileSize(file, nullptr));
        EXPECT_TRUE(WriteFile(file, "next", 4, &written, nullptr));
        CloseHandle(file);
        EXPECT_EQ(c.after, dev.readText("\\Temp\\log.txt"));
    }
}

// A kernel without openat2 resolves every path a folder at a time: the same refusals.
TEST(Files, WithoutOneCallResolutionLinksAndEscapesStillReachNothing) {
    ScopedDevice dev;
    LinkedTree tree(dev);
    const std::set<std::string> outsideBefore = hostTree(tree.outside);
    device::faultArm("openat2", 1, true);
    EXPECT_EQ("real", [] {
        HANDLE file = openFile("\\Temp\\real.txt", kRead, FILE_SHARE_READ, OPEN_EXISTING);
        std::string text = file == INVALID_HANDLE_VALUE ? "" : readAll(file);
        CloseHandle(file);
        return text;
    }());
    for (const char* escape : {"\\Escape\\secret.txt", "\\Temp\\toOutsideDir\\inner.txt",
                               "\\Temp\\toRoot\\etc\\passwd", "\\Temp\\..\\..\\outside\\secret.txt"}) {
        SCOPED_TRACE(escape);
        for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
            HANDLE file = openFile(escape, kRead | kWrite, 0, disposition);
            EXPECT_EQ(INVALID_HANDLE_VALUE, file);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
        EXPECT_FALSE(DeleteFileW(wide(escape).c_str()));
        EXPECT_TRUE(listing(std::string(escape) + "\\*").empty());
    }
    device::faultDisarmAll();
    EXPECT_EQ(outsideBefore, hostTree(tree.outside));
}

TEST(Files, MalformedAndEscapingPathsReachNothing) {
    ScopedDevice dev;
    LinkedTree tree(dev);
    dev.writeText("\\Temp\\a.txt", "a");
    const fs::path top = fs::path(dev.dir()).parent_path();
    const std::set<std::string> before = hostTree(top);

    const std::u16string paths[] = {
        u"\\..\\..\\etc\\passwd", u"/etc/passwd", u"\\..\\store.db", u"\\..\\..\\outside\\secret.txt",
        u"\\Temp\\..\\..\\store.db", u"\\Temp\\..\\Temp\\a.txt", u"\\.\\Temp\\a.txt", u"\\Temp\\.\\a.txt",
        u"\\Temp\\.", u"\\Temp\\..", u"\\..", u"\\.", u"\\Temp/a.txt", u"\\Temp\\sub/../a.txt",
        u"\\Temp\\..\\..\\outside", u"Temp\\a.txt", u"", u"\\\\Temp\\a.txt", u"\\Temp\\\\a.txt", u"\\Temp\\a.txt\\",
        u"C:\\Temp\\a.txt", u"\\Temp\\\xD800.txt", u"\\Temp\\a\xDC00.txt", withNul(u"\\..\0\\Temp\\a.txt"),
        u"\\Temp\\a*.txt", u"\\Temp\\a?txt",
    };
    for (const std::u16string& path : paths) {
        SCOPED_TRACE(device::toUtf8(path));
        auto missing = [] {
            DWORD error = GetLastError();
            return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
        };
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
        EXPECT_TRUE(missing());
        for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, CREATE_NEW}) {
            EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kRead | kWrite, 0, disposition));
            EXPECT_TRUE(missing());
        }
        EXPECT_FALSE(DeleteFileW(path.c_str()));
        EXPECT_TRUE(missing());
        EXPECT_FALSE(CreateDirectoryW(path.c_str(), nullptr));
        EXPECT_TRUE(missing());
        EXPECT_FALSE(RemoveDirectoryW(path.c_str()));
        EXPECT_TRUE(missing());
        if (!path.empty() && path.find_first_of(u"*?") == std::u16string::npos) {
            EXPECT_TRUE(listing(device::toUtf8(path) + "\\*").empty());
            EXPECT_TRUE(missing());
        }
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(nullptr, kRead, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(before, hostTree(top));

    // The path ends at its terminator: what follows it is never seen.
    const std::u16string cut = withNul(u"\\Temp\\a.txt\0\\..\\..\\store.db");
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(cut.c_str()));
    EXPECT_TRUE(DeleteFileW(cut.c_str()));
    EXPECT_FALSE(dev.exists("\\Temp\\a.txt"));
    EXPECT_TRUE(fs::exists(fs::path(dev.dir()) / "store.db"));
}

}  // namespace
