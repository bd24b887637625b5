// Demo clutter, laid out through the platform's own file and registry calls so that it
// lands on the device exactly as a program on the device would have left it.
#include "host/device-tool/demo.h"

#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/notifications/notifications.h"
#include "platform/windows.h"

#include <random>
#include <vector>

namespace host {
namespace {

// The device setting that records a finished demo.
const char kDemoSetting[] = "demo";

// What could not be made, named for the person who asked.
struct Layout {
    std::string failure;
    bool ok() const { return failure.empty(); }
};

void makeFolders(Layout* layout, const std::u16string& path) {
    // Creates each folder of the path in turn; those that exist already are fine.
    for (size_t slash = path.find(u'\\', 1); layout->ok(); slash = path.find(u'\\', slash + 1)) {
        std::u16string prefix = path.substr(0, slash);
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
            layout->failure = "cannot make the folder " + device::toUtf8(prefix);
        if (slash == std::u16string::npos) return;
    }
}

void writeFile(Layout* layout, const std::u16string& path, const std::string& content) {
    if (!layout->ok()) return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = false;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD count = 0;
        written = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &count, nullptr) &&
                  count == content.size();
        CloseHandle(file);
    }
    if (!written) layout->failure = "cannot replace " + device::toUtf8(path) + " (read-only, or held open?)";
}

void setString(Layout* layout, HKEY root, const char16_t* keyPath, const char16_t* name, const std::u16string& value) {
    if (!layout->ok()) return;
    HKEY key;
    LONG result = RegCreateKeyExW(root, keyPath, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) layout->failure = "cannot set the registry value " + device::toUtf8(name) + " of " + device::toUtf8(keyPath);
}

// A time entry `days` from now (negative: in the past) at hour:minute of that day.
device::NotificationEntry timeEntry(const std::u16string& application, const std::u16string& arguments, int days,
                                    WORD hour, WORD minute, const char16_t* title = nullptr,
                                    const char16_t* text = nullptr) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wHour = hour;
    now.wMinute = minute;
    now.wSecond = 0;
    now.wMilliseconds = 0;
    FILETIME instant;
    SystemTimeToFileTime(&now, &instant);
    uint64_t count = ((static_cast<uint64_t>(instant.dwHighDateTime) << 32) | instant.dwLowDateTime) +
                     static_cast<uint64_t>(static_cast<int64_t>(days) * 864000000000LL);
    instant.dwLowDateTime = static_cast<DWORD>(count);
    instant.dwHighDateTime = static_cast<DWORD>(count >> 32);
    device::NotificationEntry entry;
    entry.type = CNT_TIME;
    entry.application = application;
    entry.arguments = arguments;
    FileTimeToSystemTime(&instant, &entry.start);
    if (title) {
        entry.hasUser = true;
        entry.title = title;
        entry.text = text;
    }
    return entry;
}

device::NotificationEntry eventEntry(const std::u16string& application, const char16_t* arguments, DWORD event) {
    device::NotificationEntry entry;
    entry.type = CNT_EVENT;
    entry.event = event;
    entry.application = application;
    if (arguments) entry.arguments = arguments;
    return entry;
}

// A queue as a well-used device has it: calendar alarms (one registered three times
// over), a reminder long past, one decades ahead, system event entries worth keeping and
// some that are not. Added in one go, so that a demo cut short leaves none of them.
void fillQueue(Layout* layout) {
    if (!layout->ok()) return;
    std::vector<device::NotificationEntry> entries = {
        eventEntry(u"\\Windows\\repllog.exe", u"AppRunAtRs232Detect", 9),
        eventEntry(u"\\Windows\\clocknot.exe", u"AppRunAtTimeChange", 1),
        eventEntry(u"CONNMGR.EXE", u"AppRunAfterRestore", 12),
        eventEntry(u"\\Windows\\sstimechange.exe", u"-time", 1),
        eventEntry(u"\\Windows\\calnot.exe", nullptr, 5),
        timeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30"),
        timeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30"),
        timeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30"),
        timeEntry(u"\\Windows\\clock.exe", u"AppRunAtTime", 3, 6, 45, u"Alarm", u"Wake up"),
        timeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", -40, 14, 0, u"Meeting", u"Project review"),
        timeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 365 * 30, 8, 0, u"Anniversary", u"30 years"),
        timeEntry(u"NamedEvents\\SCRIPT:sync", u"", 2, 3, 0),
    };
    std::string error;
    if (!device::notificationAdd(entries, &error)) layout->failure = "cannot add the demo's notification entries: " + error;
}

std::string filler(std::mt19937& random, size_t size) {
    static const char text[] = "<html><body>cached page of the demo device</body></html>\r\n";
    std::string content;
    content.reserve(size);
    while (content.size() < size) content += text[random() % (sizeof text - 1)];
    return content;
}

std::u16string randomName(std::mt19937& random) {
    static const char16_t letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::u16string name;
    for (int i = 0; i < 8; ++i) name += letters[random() % 36];
    return name;
}

}  // namespace

bool demoLaidOut() { return device::settingGet(kDemoSetting, "") == "1"; }

bool fillDemo(std::string* error) {
    std::mt19937 random(20261207);
    Layout layout;
    Layout* at = &layout;

    // Files first, written whole each time, so that a demo cut short by one is repeated
    // harmlessly; the queue, which would grow, comes last with the record that it is done.
    makeFolders(at, u"\\Temp");
    makeFolders(at, u"\\Windows\\Temp\\setup");
    for (int i = 0; i < 6; ++i)
        writeFile(at, u"\\Temp\\~tmp" + device::toUtf16(std::to_string(1000 + i)) + u".tmp", filler(random, 1500 + random() % 9000));
    writeFile(at, u"\\Windows\\Temp\\install.log", filler(random, 4200));
    writeFile(at, u"\\Windows\\Temp\\setup\\unpack.cab", filler(random, 23000));

    // The browser cache: randomly named sub-folders below Content.IE5 and an index file.
    const std::u16string cache = u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5";
    makeFolders(at, cache);
    writeFile(at, cache + u"\\index.dat", filler(random, 16384));
    for (int folder = 0; folder < 4; ++folder) {
        std::u16string sub = cache + u"\\" + randomName(random);
        makeFolders(at, sub);
        for (int file = 0; file < 5; ++file)
            writeFile(at, sub + u"\\" + randomName(random) + u".htm", filler(random, 800 + random() % 12000));
    }

    const std::u16string history = u"\\Windows\\Profiles\\guest\\History";
    makeFolders(at, history + u"\\History.IE5\\MSHist01");
    writeFile(at, history + u"\\desktop.ini", filler(random, 120));
    writeFile(at, history + u"\\History.IE5\\index.dat", filler(random, 8192));
    writeFile(at, history + u"\\History.IE5\\MSHist01\\index.dat", filler(random, 4096));

    makeFolders(at, u"\\Windows\\AvantGo\\channels");
    writeFile(at, u"\\Windows\\AvantGo\\news.pdb", filler(random, 30000));
    writeFile(at, u"\\Windows\\AvantGo\\channels\\weather.pdb", filler(random, 12000));

    const char16_t* shellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    setString(at, HKEY_CURRENT_USER, shellFolders, u"Cache", u"\\Windows\\Profiles\\guest\\Temporary Internet Files");
    setString(at, HKEY_CURRENT_USER, shellFolders, u"History", history);
    setString(at, HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation", u"\\Windows\\AvantGo");
    static const char16_t* const runs[] = {u"\\Windows\\pword.exe", u"\\Windows\\calc.exe", u"\\Windows\\tmail.exe"};
    for (int i = 0; i < 3; ++i)
        setString(at, HKEY_LOCAL_MACHINE, u"Explorer\\RunHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), runs[i]);
    static const char16_t* const addresses[] = {u"http://news.example.org/", u"http://weather.example.org/today"};
    for (int i = 0; i < 2; ++i)
        setString(at, HKEY_LOCAL_MACHINE, u"Explorer\\AddressHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), addresses[i]);

    fillQueue(at);
    if (layout.ok() && !device::settingSet(kDemoSetting, "1")) layout.failure = "cannot record the demo: " + device::storeFailure();
    if (!layout.ok()) *error = layout.failure;
    return layout.ok();
}

}  // namespace host
