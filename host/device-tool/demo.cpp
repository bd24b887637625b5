// Demo clutter, laid out through the platform's own file and registry calls so that it
// lands on the device exactly as a program on the device would have left it.
#include "host/device-tool/demo.h"

#include "device/core/utf.h"
#include "platform/windows.h"

#include <random>
#include <vector>

namespace host {
namespace {

bool makeFolders(const std::u16string& path) {
    // Creates each folder of the path in turn; those that exist already are fine.
    for (size_t slash = path.find(u'\\', 1);; slash = path.find(u'\\', slash + 1)) {
        std::u16string prefix = path.substr(0, slash);
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
        if (slash == std::u16string::npos) return true;
    }
}

bool writeFile(const std::u16string& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool setString(HKEY root, const char16_t* keyPath, const char16_t* name, const std::u16string& value) {
    HKEY key;
    if (RegCreateKeyExW(root, keyPath, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
    LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// A time entry `days` from now (negative: in the past) at hour:minute of that day.
bool addTimeEntry(const std::u16string& application, const std::u16string& arguments, int days, WORD hour,
                  WORD minute, const char16_t* title = nullptr, const char16_t* text = nullptr) {
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
    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = CNT_TIME;
    trigger.lpszApplication = const_cast<WCHAR*>(application.c_str());
    trigger.lpszArguments = const_cast<WCHAR*>(arguments.c_str());
    FileTimeToSystemTime(&instant, &trigger.stStartTime);
    CE_USER_NOTIFICATION user = {};
    user.pwszDialogTitle = const_cast<WCHAR*>(title);
    user.pwszDialogText = const_cast<WCHAR*>(text);
    HANDLE handle = CeSetUserNotificationEx(nullptr, &trigger, title ? &user : nullptr);
    if (handle) CloseHandle(handle);
    return handle != nullptr;
}

bool addEventEntry(const std::u16string& application, const char16_t* arguments, DWORD event) {
    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = CNT_EVENT;
    trigger.dwEvent = event;
    trigger.lpszApplication = const_cast<WCHAR*>(application.c_str());
    trigger.lpszArguments = const_cast<WCHAR*>(arguments);
    HANDLE handle = CeSetUserNotificationEx(nullptr, &trigger, nullptr);
    if (handle) CloseHandle(handle);
    return handle != nullptr;
}

// A queue as a well-used device has it: calendar alarms (one registered three times
// over), a reminder long past, one decades ahead, system event entries worth keeping and
// some that are not.
bool fillQueue() {
    return addEventEntry(u"\\Windows\\repllog.exe", u"AppRunAtRs232Detect", 9) &&
           addEventEntry(u"\\Windows\\clocknot.exe", u"AppRunAtTimeChange", 1) &&
           addEventEntry(u"CONNMGR.EXE", u"AppRunAfterRestore", 12) &&
           addEventEntry(u"\\Windows\\sstimechange.exe", u"-time", 1) &&
           addEventEntry(u"\\Windows\\calnot.exe", nullptr, 5) &&
           addTimeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30") &&
           addTimeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30") &&
           addTimeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 1, 9, 0, u"Dentist", u"Dentist at 9:30") &&
           addTimeEntry(u"\\Windows\\clock.exe", u"AppRunAtTime", 3, 6, 45, u"Alarm", u"Wake up") &&
           addTimeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", -40, 14, 0, u"Meeting", u"Project review") &&
           addTimeEntry(u"\\Windows\\calnot.exe", u"AppRunAtTime", 365 * 30, 8, 0, u"Anniversary", u"30 years") &&
           addTimeEntry(u"NamedEvents\\SCRIPT:sync", u"", 2, 3, 0);
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

bool fillDemo(std::string* error) {
    std::mt19937 random(20261207);
    bool ok = true;

    ok = ok && makeFolders(u"\\Temp") && makeFolders(u"\\Windows\\Temp\\setup");
    for (int i = 0; ok && i < 6; ++i)
        ok = writeFile(u"\\Temp\\~tmp" + device::toUtf16(std::to_string(1000 + i)) + u".tmp", filler(random, 1500 + random() % 9000));
    ok = ok && writeFile(u"\\Windows\\Temp\\install.log", filler(random, 4200)) &&
         writeFile(u"\\Windows\\Temp\\setup\\unpack.cab", filler(random, 23000));

    // The browser cache: randomly named sub-folders below Content.IE5 and an index file.
    const std::u16string cache = u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5";
    ok = ok && makeFolders(cache) && writeFile(cache + u"\\index.dat", filler(random, 16384));
    for (int folder = 0; ok && folder < 4; ++folder) {
        std::u16string sub = cache + u"\\" + randomName(random);
        ok = makeFolders(sub);
        for (int file = 0; ok && file < 5; ++file)
            ok = writeFile(sub + u"\\" + randomName(random) + u".htm", filler(random, 800 + random() % 12000));
    }

    const std::u16string history = u"\\Windows\\Profiles\\guest\\History";
    ok = ok && makeFolders(history + u"\\History.IE5\\MSHist01") && writeFile(history + u"\\desktop.ini", filler(random, 120)) &&
         writeFile(history + u"\\History.IE5\\index.dat", filler(random, 8192)) &&
         writeFile(history + u"\\History.IE5\\MSHist01\\index.dat", filler(random, 4096));

    ok = ok && makeFolders(u"\\Windows\\AvantGo\\channels") && writeFile(u"\\Windows\\AvantGo\\news.pdb", filler(random, 30000)) &&
         writeFile(u"\\Windows\\AvantGo\\channels\\weather.pdb", filler(random, 12000));

    const char16_t* shellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    ok = ok && setString(HKEY_CURRENT_USER, shellFolders, u"Cache", u"\\Windows\\Profiles\\guest\\Temporary Internet Files") &&
         setString(HKEY_CURRENT_USER, shellFolders, u"History", history) &&
         setString(HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation", u"\\Windows\\AvantGo");
    static const char16_t* const runs[] = {u"\\Windows\\pword.exe", u"\\Windows\\calc.exe", u"\\Windows\\tmail.exe"};
    for (int i = 0; ok && i < 3; ++i)
        ok = setString(HKEY_LOCAL_MACHINE, u"Explorer\\RunHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), runs[i]);
    static const char16_t* const addresses[] = {u"http://news.example.org/", u"http://weather.example.org/today"};
    for (int i = 0; ok && i < 2; ++i)
        ok = setString(HKEY_LOCAL_MACHINE, u"Explorer\\AddressHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), addresses[i]);

    ok = ok && fillQueue();

    if (!ok) *error = "cannot lay out the demo clutter";
    return ok;
}

}  // namespace host
