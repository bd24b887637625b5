// The differential check's runner on the desktop: the program and the port in one process,
// driven by commands on standard input, so that many scenarios need one start of Wine.
// Commands come one a line in UTF-8; the command word ends at a space or a tab, and the
// fields of a value or an entry are separated by tabs. The device's "\" is the root of the
// current drive: started as "quillex-check FOLDER", the runner first makes FOLDER (such as
// Q:\) the current one, and port/win32/check/wine_check.py points that drive at each
// scenario's folder in turn.
//
//   reset                        forgets the last scenario: the keys below, the queue, the
//                                call record and the held files
//   key KEY                      creates a key ("HKEY_LOCAL_MACHINE\Explorer\RunHistory")
//   value KEY NAME TYPE HEX      sets a value: its type in decimal, its bytes in hex
//   hold PATH                    opens a file for reading, sharing nothing
//   release                      closes the held files
//   notification FIELDS          queues an entry (the fields as "notifications" prints them)
//   dialog look                  the interactive program: prints the main dialog's figures,
//                                then presses OK
//   dialog cleanup ID...         ... ticks those check boxes, presses Cleanup, prints the
//                                figures again, then presses OK
//   dialog export                ... chooses Export Log from the Tools menu, then presses OK
//   run COMMAND LINE             the program with that command line
//   registry                     prints every key and value below the keys Quillex uses
//   notifications                prints the queue in delivery order, an entry a line: type,
//                                event, application, arguments, start, end, whether it has a
//                                user part, title, text, sound, flags; a string is "" when
//                                absent and "=" and its text when present, a time its eight
//                                fields joined by commas
//   calls                        prints the record of the port's calls
//   end                          prints "end": the scenario's answers are complete
#include "app/quillex.h"
#include "port/win32/port.h"
#include "res/resource.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

// Every key Quillex reads or writes, each with what lies below it.
const struct {
    HKEY root;
    const wchar_t* rootName;
    const wchar_t* path;
} kWatchedKeys[] = {
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\Holvenark\\Quillex"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\Apps\\Holvenark Quillex"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\AvantGo"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE",
     L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Content"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE",
     L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Cookies"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Explorer\\RunHistory"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Explorer\\AddressHistory"},
};

const int kFigureIds[] = {IDC_NOTIFICATIONS_COUNT, IDC_TEMP_SIZE, IDC_IECACHE_SIZE, IDC_HISTORY_SIZE,
                          IDC_AVANTGO_SIZE};

std::vector<HANDLE> heldFiles;

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring converted(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), chars);
    return converted;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

// "HKEY_CURRENT_USER\a\b" into its root and the rest. RETURNS false for an unknown root.
bool splitKey(const std::wstring& path, HKEY* root, std::wstring* rest) {
    size_t slash = path.find(L'\\');
    std::wstring rootName = path.substr(0, slash);
    *rest = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
    if (rootName == L"HKEY_CURRENT_USER") *root = HKEY_CURRENT_USER;
    else if (rootName == L"HKEY_LOCAL_MACHINE") *root = HKEY_LOCAL_MACHINE;
    else if (rootName == L"HKEY_CLASSES_ROOT") *root = HKEY_CLASSES_ROOT;
    else if (rootName == L"HKEY_USERS") *root = HKEY_USERS;
    else return false;
    return true;
}

std::string hexBytes(const BYTE* data, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

std::vector<BYTE> parseHex(const std::string& text) {
    std::vector<BYTE> bytes;
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(digit(text[i]) << 4 | digit(text[i + 1])));
    return bytes;
}

void release() {
    for (HANDLE file : heldFiles) CloseHandle(file);
    heldFiles.clear();
}

void reset() {
    for (const auto& watched : kWatchedKeys) RegDeleteTreeW(watched.root, watched.path);
    release();
    port::clearNotifications();
    port::clearCallRecord();
}

void createKey(const std::string& path) {
    HKEY root, key;
    std::wstring rest;
    if (!splitKey(wide(path), &root, &rest) ||
        RegCreateKeyExW(root, rest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        say("error cannot create " + path);
        return;
    }
    RegCloseKey(key);
}

// Stores a value's bytes exactly as given. RegSetValueExW would not: the desktop lengthens
// a string that seems to lack its terminator, and scenarios hold such strings on purpose.
LONG storeExactly(HKEY key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
    struct CountedName {
        USHORT length, capacity;
        PWSTR text;
    };
    typedef LONG(WINAPI * SetValueKey)(HANDLE, CountedName*, ULONG, ULONG, PVOID, ULONG);
    static SetValueKey setValueKey = reinterpret_cast<SetValueKey>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    std::wstring copy = name;
    CountedName counted = {static_cast<USHORT>(copy.size() * 2), static_cast<USHORT>(copy.size() * 2), copy.data()};
    std::vector<BYTE> bytes = data;
    return setValueKey(key, &counted, 0, type, bytes.data(), static_cast<ULONG>(bytes.size()));
}

void setValue(const std::string& rest) {
    std::vector<std::string> fields = split(rest, '\t');
    HKEY root, key;
    std::wstring subKey;
    if (fields.size() != 4 || !splitKey(wide(fields[0]), &root, &subKey) ||
        RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        say("error cannot set a value of " + fields[0]);
        return;
    }
    if (storeExactly(key, wide(fields[1]), static_cast<DWORD>(std::stoul(fields[2])), parseHex(fields[3])) != 0)
        say("error cannot set " + fields[0] + " " + fields[1]);
    RegCloseKey(key);
}

void dumpKey(HKEY parent, const std::wstring& subKey, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    say("key " + name);
    DWORD subKeys = 0, longestKey = 0, values = 0, longestName = 0, largestData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestKey, nullptr, &values, &longestName,
                     &largestData, nullptr, nullptr);
    std::vector<wchar_t> valueName(longestName + 2);
    std::vector<BYTE> data(largestData + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(valueName.size()), size = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key, index, valueName.data(), &nameChars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        say("value " + name + "\t" + port::utf8(valueName.data()) + "\t" + std::to_string(type) + "\t" +
            hexBytes(data.data(), size));
    }
    std::vector<wchar_t> keyName(longestKey + 2);
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(keyName.size());
        if (RegEnumKeyExW(key, index, keyName.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        dumpKey(key, keyName.data(), name + "\\" + port::utf8(keyName.data()));
    }
    RegCloseKey(key);
}

void dumpRegistry() {
    for (const auto& watched : kWatchedKeys)
        dumpKey(watched.root, watched.path, port::utf8(watched.rootName) + "\\" + port::utf8(watched.path));
}

void hold(const std::string& path) {
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) say("error cannot hold " + path);
    else heldFiles.push_back(file);
}

// ---------------------------------------------------------------- the notification queue

std::string showText(const WCHAR* text) { return text ? "=" + port::utf8(text) : std::string(); }

std::string showTime(const SYSTEMTIME& time) {
    const WORD fields[] = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                           time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
    std::string text;
    for (WORD field : fields) text += (text.empty() ? "" : ",") + std::to_string(field);
    return text;
}

SYSTEMTIME parseTime(const std::string& text) {
    WORD fields[8] = {};
    std::vector<std::string> parts = split(text, ',');
    for (size_t i = 0; i < parts.size() && i < 8; ++i) fields[i] = static_cast<WORD>(std::stoul(parts[i]));
    return SYSTEMTIME{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
}

// A present string's text (kept alive in `store`), or null for an absent one.
WCHAR* parseText(const std::string& field, std::vector<std::wstring>* store) {
    if (field.empty()) return nullptr;
    store->push_back(wide(field.substr(1)));
    return store->back().data();
}

void queueNotification(const std::string& rest) {
    std::vector<std::string> fields = split(rest, '\t');
    if (fields.size() != 11) {
        say("error a notification takes 11 fields");
        return;
    }
    std::vector<std::wstring> texts;
    texts.reserve(5);
    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = static_cast<DWORD>(std::stoul(fields[0]));
    trigger.dwEvent = static_cast<DWORD>(std::stoul(fields[1]));
    trigger.lpszApplication = parseText(fields[2], &texts);
    trigger.lpszArguments = parseText(fields[3], &texts);
    trigger.stStartTime = parseTime(fields[4]);
    trigger.stEndTime = parseTime(fields[5]);
    CE_USER_NOTIFICATION user = {};
    user.pwszDialogTitle = parseText(fields[7], &texts);
    user.pwszDialogText = parseText(fields[8], &texts);
    user.pwszSound = parseText(fields[9], &texts);
    user.ActionFlags = static_cast<DWORD>(std::stoul(fields[10]));
    if (!CeSetUserNotificationEx(nullptr, &trigger, fields[6] == "1" ? &user : nullptr))
        say("error cannot queue a notification");
}

void listNotifications() {
    DWORD count = 0;
    CeGetUserNotificationHandles(nullptr, 0, &count);
    std::vector<HANDLE> handles(count);
    CeGetUserNotificationHandles(handles.data(), count, &count);
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = 0;
        CeGetUserNotification(handles[i], 0, &size, nullptr);
        std::vector<BYTE> record(size);
        if (!CeGetUserNotification(handles[i], size, &size, record.data())) continue;
        const auto* header = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record.data());
        const CE_NOTIFICATION_TRIGGER* trigger = header->pcent;
        const CE_USER_NOTIFICATION* user = header->pceun;
        say("entry " + std::to_string(trigger->dwType) + "\t" + std::to_string(trigger->dwEvent) + "\t" +
            showText(trigger->lpszApplication) + "\t" + showText(trigger->lpszArguments) + "\t" +
            showTime(trigger->stStartTime) + "\t" + showTime(trigger->stEndTime) + "\t" + (user ? "1" : "0") + "\t" +
            (user ? showText(user->pwszDialogTitle) + "\t" + showText(user->pwszDialogText) + "\t" +
                        showText(user->pwszSound) + "\t" + std::to_string(user->ActionFlags)
                  : std::string("\t\t\t0")));
    }
}

// ---------------------------------------------------------------- the main dialog

enum class DialogAction { Look, Cleanup, ExportLog };
DialogAction dialogAction;
std::vector<int> boxesToTick;
int idleChecks;

void sayFigures(HWND dialog, const char* label) {
    std::string line = label;
    for (int id : kFigureIds) {
        wchar_t text[100] = L"";
        GetDlgItemTextW(dialog, id, text, 100);
        line += "\t" + port::utf8(text);
    }
    say(line);
}

// Runs whenever the dialog's loop is idle, which is once the main dialog is up.
void CALLBACK onIdle(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = port::lastInitDialog();
    if (!dialog || !IsWindow(dialog)) {
        // The program never got as far as its dialog: end the run as a user would.
        if (++idleChecks > 500) {
            KillTimer(nullptr, timer);
            say("error the main dialog did not open");
            PostQuitMessage(0);
        }
        return;
    }
    KillTimer(nullptr, timer);
    sayFigures(dialog, "figures");
    if (dialogAction == DialogAction::Cleanup) {
        for (int id : boxesToTick) SendDlgItemMessageW(dialog, id, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDM_CLEANUP, 0), 0);
        sayFigures(dialog, "cleaned");
    } else if (dialogAction == DialogAction::ExportLog) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDM_EXPORT_LOG, 0), 0);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Every run starts as a fresh process would: the program's process-wide state (all of it
// is declared in app/quillex.h) back to zero.
void freshProgramState() {
    installDir[0] = 0;
    startDays = startTime = startOptions = 0;
    appInstance = nullptr;
    mainWindow = menuBar = nullptr;
    activationInfo = SHACTIVATEINFO{};
    for (int& toggle : dayToggles) toggle = 0;
    darkBrush = lightBrush = nullptr;
}

void runDialog(const std::string& rest) {
    std::vector<std::string> words = split(rest, ' ');
    if (words[0] == "look") dialogAction = DialogAction::Look;
    else if (words[0] == "cleanup") dialogAction = DialogAction::Cleanup;
    else if (words[0] == "export") dialogAction = DialogAction::ExportLog;
    else {
        say("error unknown dialog action " + words[0]);
        return;
    }
    boxesToTick.clear();
    for (size_t i = 1; i < words.size(); ++i)
        if (!words[i].empty()) boxesToTick.push_back(std::stoi(words[i]));
    idleChecks = 0;
    wchar_t empty[1] = L"";
    SetTimer(nullptr, 0, 10, onIdle);
    freshProgramState();
    WinMain(GetModuleHandleW(nullptr), nullptr, empty, SW_SHOW);
}

void runCommandLine(const std::string& text) {
    if (text.empty()) {
        say("error run takes a command line (the interactive program is \"dialog\")");
        return;
    }
    std::wstring line = wide(text);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    freshProgramState();
    WinMain(GetModuleHandleW(nullptr), nullptr, buffer.data(), SW_HIDE);
}

}  // namespace

// quillex-check [FOLDER]: FOLDER (such as Q:\) becomes the current folder, whose drive
// is then the device.
int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && !SetCurrentDirectoryW(argv[1])) {
        std::fprintf(stderr, "quillex-check: cannot enter %ls\n", argv[1]);
        return 2;
    }
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::string line;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t end = line.find_first_of(" \t");
        std::string command = line.substr(0, end);
        std::string rest = end == std::string::npos ? std::string() : line.substr(end + 1);
        if (command == "reset") reset();
        else if (command == "key") createKey(rest);
        else if (command == "value") setValue(rest);
        else if (command == "hold") hold(rest);
        else if (command == "release") release();
        else if (command == "notification") queueNotification(rest);
        else if (command == "notifications") listNotifications();
        else if (command == "dialog") runDialog(rest);
        else if (command == "run") runCommandLine(rest);
        else if (command == "registry") dumpRegistry();
        else if (command == "calls") for (const std::string& call : port::callRecord()) say("call " + call);
        else if (command == "end") say("end");
        else if (!command.empty()) say("error unknown command " + command);
        if (command == "end") std::fflush(stdout);
        line.clear();
    }
    reset();
    return 0;
}
