// quillex-device: sets up and inspects an emulated device (file system, registry, clock and
// its scheduler, notification queue, platform version, event journal) from the host. Exit
// status 0 on success, 1 when the device refused the operation, 2 for a bad command line.
#include "device/boot/device.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "device/kernel/locale.h"
#include "device/kernel/processes.h"
#include "device/notifications/notifications.h"
#include "device/notifications/scheduler.h"
#include "platform/windows.h"
#include "platform/winfile.h"
#include "host/device-tool/demo.h"
#include "formats/notifyjson.h"
#include "formats/printable.h"
#include "formats/regfile.h"
#include "host/program/program.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "quillex-device: %s\n", message.c_str());
    return 1;
}

// A change the store refused, with the store's reason ("the disk is full", ...).
int failStore(const std::string& message) {
    std::string why = device::storeFailure();
    return fail(why.empty() ? message : message + ": " + why);
}

// The latest time a device time can be written as: the clock never goes past it.
uint64_t latestDeviceTime() {
    SYSTEMTIME last{9999, 12, 0, 31, 23, 59, 59, 999};
    FILETIME count;
    SystemTimeToFileTime(&last, &count);
    return device::fileTimeCount(count);
}

bool readInput(const std::string& name, std::string* bytes, std::string* error) {
    std::ostringstream content;
    if (name == "-") {
        content << std::cin.rdbuf();
    } else {
        std::ifstream in(name, std::ios::binary);
        if (!in) {
            *error = "cannot read " + name;
            return false;
        }
        content << in.rdbuf();
    }
    *bytes = content.str();
    return true;
}

std::optional<uint64_t> parseTimeArgument(const std::string& text, std::string* error) {
    std::optional<SYSTEMTIME> time = device::parseDeviceTime(text);
    if (!time) {
        *error = "not a device time: \"" + text + "\" (expected \"YYYY-MM-DD HH:MM:SS[.mmm]\")";
        return std::nullopt;
    }
    FILETIME count;
    SystemTimeToFileTime(&*time, &count);
    return device::fileTimeCount(count);
}

// A notification handle as `notify list` shows it: a decimal number from 1 to 2^32 - 1.
std::optional<DWORD> parseHandleArgument(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    uint64_t value = std::stoull(text);
    if (value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<DWORD>(value);
}

// Why the device would not open or read a file, in words, from the last error.
std::string deviceRefusal(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "no such file";
        case ERROR_SHARING_VIOLATION: return "in use (another handle denies it, or a deletion is removing it)";
        default: return "refused (not a plain file, or the host's permissions)";
    }
}

// The whole of a device file, read through the device. RETURNS false with *error set when
// it cannot be opened (the last error then tells why) or read.
bool readDeviceFile(const std::string& path, std::string* bytes, std::string* error) {
    std::u16string wide = device::toUtf16(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot open " + formats::printable(path) + ": " + deviceRefusal(GetLastError());
        return false;
    }
    char buffer[65536];
    DWORD got = 0;
    BOOL read;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) bytes->append(buffer, got);
    DWORD readError = GetLastError();
    CloseHandle(file);
    if (!read) {
        // Opened, yet not to be read: the device never reads a file with a second host link.
        *error = "cannot read " + formats::printable(path) + ": " +
                 (readError == ERROR_ACCESS_DENIED ? "it has a second host link, whose contents the device never reads"
                                                   : "the host could not read it");
        SetLastError(readError);
        return false;
    }
    return true;
}

std::string showClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    static const char* const days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    return device::formatDeviceTime(now) + " " + days[now.wDayOfWeek % 7] +
           (device::clockIsFrozen() ? " (frozen)" : " (running)");
}

std::string eventsToJson(const std::vector<device::JournalEvent>& events) {
    using Json = nlohmann::ordered_json;
    auto optional = [](const std::optional<std::string>& text) { return text ? Json(*text) : Json(nullptr); };
    Json array = Json::array();
    for (const device::JournalEvent& event : events) {
        SYSTEMTIME time{};
        FILETIME count = device::fileTimeFromCount(event.time);
        FileTimeToSystemTime(&count, &time);
        Json object = {{"kind", event.kind}, {"time", device::formatDeviceTime(time)}};
        if (event.kind == "start") {
            object["application"] = optional(event.application);
            object["commandLine"] = optional(event.arguments);
            object["found"] = event.found;
            object["hostRan"] = event.hostRan;
        } else if (event.kind == "restart") {
            object["by"] = event.by;
        } else if (event.kind == "fire") {
            object["handle"] = event.entry;
            object["application"] = optional(event.application);
            object["arguments"] = optional(event.arguments);
        }
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Opens every file as a program that has it open would (reading, no sharing), says so on
// standard output, and closes them once standard input ends: meanwhile no other handle
// may open them and they cannot be deleted.
int holdFiles(const std::vector<std::string>& paths) {
    std::vector<HANDLE> held;
    for (const std::string& path : paths) {
        std::u16string wide = device::toUtf16(path);
        HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            for (HANDLE open : held) CloseHandle(open);
            return fail("cannot open " + formats::printable(path) + ": " + deviceRefusal(error));
        }
        held.push_back(file);
    }
    std::printf("holding %zu %s\n", held.size(), held.size() == 1 ? "file" : "files");
    std::fflush(stdout);
    std::cin.ignore(std::numeric_limits<std::streamsize>::max());
    for (HANDLE file : held) CloseHandle(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Sets up and inspects an emulated device for Quillex."};
    app.set_version_flag("-V,--version", std::string("quillex-device ") + QUILLEX_VERSION);
    // An unknown word is then reported by name rather than as a missing command.
    app.require_subcommand(0, 1);
    std::string deviceDir;
    app.add_option("--device", deviceDir, "The device folder (default: $QUILLEX_DEVICE, else "
                                          "$XDG_DATA_HOME/quillex/device)");

    CLI::App* init = app.add_subcommand("init", "Create the device, with Quillex installed on it (harmless to repeat)");
    bool demo = false;
    init->add_flag("--demo", demo, "Also fill it with clutter of every kind Quillex cleans");

    CLI::App* reg = app.add_subcommand("reg", "Import or export the registry as a registry file");
    reg->require_subcommand(1);
    CLI::App* regImportCommand = reg->add_subcommand("import", "Apply a registry file (all of it, or nothing)");
    std::string importFile;
    regImportCommand->add_option("FILE", importFile, "The file, or - for standard input")->required();
    CLI::App* regExportCommand = reg->add_subcommand("export", "Write the registry, or one key, to standard output");
    std::string exportKey;
    regExportCommand->add_option("KEY", exportKey, "A key such as HKEY_LOCAL_MACHINE\\Software");

    CLI::App* clock = app.add_subcommand("clock", "Show or set the device clock");
    clock->require_subcommand(1);
    clock->add_subcommand("show", "Print the device's local time");
    std::string setTime;
    std::optional<std::string> freezeTime;
    clock->add_subcommand("set", "Set the time; the clock runs on from there")
        ->add_option("TIME", setTime, "\"YYYY-MM-DD HH:MM:SS[.mmm]\"")->required();
    clock->add_subcommand("freeze", "Stop the clock, now or at TIME")->add_option("TIME", freezeTime, "\"YYYY-MM-DD HH:MM:SS[.mmm]\"");
    clock->add_subcommand("run", "Follow the host's local time again");
    std::string advanceText;
    clock->add_subcommand("advance", "Move the clock forward, firing every time entry that comes due on the way")
        ->add_option("DURATION", advanceText, "e.g. 90m, 7d, 1h30m (units s, m, h, d, w)")->required();
    clock->add_subcommand("fire-due", "Fire every time entry that is due, without moving the clock");

    CLI::App* versionCommand = app.add_subcommand("version", "Show or set the platform version the device reports");
    std::string versionText;
    versionCommand->add_option("MAJOR.MINOR", versionText, "e.g. 4.20 or 5.1 (the default)");

    CLI::App* localeCommand =
        app.add_subcommand("locale", "Show or set the time format the device reports to programs");
    std::optional<std::string> separatorText;
    std::optional<int> clockHours;
    localeCommand->add_option("--time-separator", separatorText, "Between hours and minutes, e.g. \":\" or \".\"");
    localeCommand->add_option("--clock", clockHours, "12 or 24 hours")->check(CLI::IsMember({12, 24}));

    CLI::App* eventsCommand =
        app.add_subcommand("events", "List the device's journal: program starts, restarts and fired entries");
    bool eventsJson = false;
    eventsCommand->add_flag("--json", eventsJson, "Print a JSON array of objects");

    CLI::App* logCommand =
        app.add_subcommand("log", "Print the activity log (Quillex.log in the install folder the registry names)");

    CLI::App* notify = app.add_subcommand("notify", "Import, list, add or clear entries of the notification queue");
    notify->require_subcommand(1);
    CLI::App* notifyImportCommand =
        notify->add_subcommand("import", "Add the entries of a JSON array behind the queue, in order (all, or none)");
    std::string notifyFile;
    notifyImportCommand->add_option("FILE", notifyFile, "The file, or - for standard input")->required();
    CLI::App* notifyListCommand = notify->add_subcommand("list", "Print the queue in delivery order, one entry a line");
    bool notifyListJson = false;
    notifyListCommand->add_flag("--json", notifyListJson, "Print a JSON array, with each entry's handle");
    CLI::App* notifyAddCommand = notify->add_subcommand("add", "Add one entry behind the queue and print its handle");
    std::string notifyEntry;
    notifyAddCommand->add_option("JSON", notifyEntry, "The entry as a JSON object, e.g. "
                                                      "'{\"type\": 2, \"start\": \"2026-12-08 07:30:00\"}'")
        ->required();
    CLI::App* notifyClearCommand = notify->add_subcommand("clear", "Remove one entry");
    std::string notifyHandle;
    notifyClearCommand->add_option("HANDLE", notifyHandle, "The entry's handle, as `notify list` shows it")->required();

    app.footer("Exit codes: 0 done; 1 the device or the operation failed; 2 usage error.");

    CLI::App* holdCommand = app.add_subcommand(
        "hold", "Keep device files open for reading, sharing nothing, until standard input ends");
    std::vector<std::string> holdPaths;
    holdCommand->add_option("PATH", holdPaths, "Device paths such as \\Temp\\a.txt")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (app.get_subcommands().empty()) {
        std::fprintf(stderr, "quillex-device: a command is required\n%s", app.help().c_str());
        return 2;
    }

    // Bad arguments are reported before the device is touched.
    if (app.count("--device") && deviceDir.empty()) {
        std::fputs("quillex-device: --device needs a folder, not an empty name\n", stderr);
        return 2;
    }
    std::optional<uint64_t> advanceSpan;
    if (clock->got_subcommand("advance") && !(advanceSpan = device::parseDuration(advanceText))) {
        std::fprintf(stderr, "quillex-device: not a duration: \"%s\" (expected whole numbers with units s, m, h, d "
                             "or w, such as 90m, 7d or 1h30m)\n", advanceText.c_str());
        return 2;
    }
    std::optional<device::PlatformVersion> newVersion;
    if (!versionText.empty() && !(newVersion = device::parsePlatformVersion(versionText))) {
        std::fprintf(stderr, "quillex-device: not a platform version: \"%s\" (expected MAJOR.MINOR, such as 4.20)\n",
                     versionText.c_str());
        return 2;
    }

    if (separatorText && !device::validTimeSeparator(*separatorText)) {
        std::fprintf(stderr, "quillex-device: not a time separator: \"%s\" (expected 1 to 3 characters of UTF-8 "
                             "text, none a letter, a digit or a control character)\n", separatorText->c_str());
        return 2;
    }

    // A device created or installed by this run gets its Quillex.exe backed by the quillex
    // built or installed beside this tool, if there is one.
    host::introduceProgram(host::findQuillexNear(device::ownExecutable()));
    std::string error;
    bool made = false;
    std::string dir = deviceDir.empty() ? device::defaultDir() : deviceDir;
    if (!device::open(dir, &error, &made)) return fail(error);
    // Said at once, so a misspelt folder is not taken for an empty device; `init` says so anyway.
    if (made && !init->parsed()) std::fprintf(stderr, "quillex-device: made a new device at %s\n", dir.c_str());

    if (init->parsed()) {
        if (!device::install(&error)) return fail(error);
        if (demo && !host::fillDemo(&error)) return fail(error);
        std::printf("device ready at %s\n", device::dir().c_str());
        return 0;
    }
    if (regImportCommand->parsed()) {
        std::string bytes;
        if (!readInput(importFile, &bytes, &error) || !formats::regImport(bytes, &error)) return fail(error);
        return 0;
    }
    if (regExportCommand->parsed()) {
        std::string text;
        if (!formats::regExport(exportKey, &text, &error)) return fail(error);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (clock->got_subcommand("show")) {
        std::puts(showClock().c_str());
        return 0;
    }
    if (clock->got_subcommand("set") || clock->got_subcommand("freeze")) {
        bool setting = clock->got_subcommand("set");
        // Only a freeze without a time means "now"; an empty time is no time.
        std::optional<std::string> text = setting ? std::optional<std::string>(setTime) : freezeTime;
        uint64_t count = device::clockNow();
        if (text) {
            std::optional<uint64_t> parsed = parseTimeArgument(*text, &error);
            if (!parsed) {
                std::fprintf(stderr, "quillex-device: %s\n", error.c_str());
                return 2;
            }
            count = *parsed;
        }
        if (!(setting ? device::clockSet(count) : device::clockFreeze(count))) return failStore("cannot change the clock");
        std::puts(showClock().c_str());
        return 0;
    }
    if (clock->got_subcommand("run")) {
        if (!device::clockRun()) return failStore("cannot change the clock");
        std::puts(showClock().c_str());
        return 0;
    }
    if (clock->got_subcommand("advance") || clock->got_subcommand("fire-due")) {
        uint64_t now = device::clockNow(), latest = latestDeviceTime();
        if (advanceSpan && (now > latest || *advanceSpan > latest - now)) {
            std::fprintf(stderr, "quillex-device: advancing by %s would take the clock past 9999-12-31 "
                                 "23:59:59.999, the latest time it can show\n", advanceText.c_str());
            return 2;
        }
        device::SchedulerResult result;
        if (!device::schedulerAdvance(advanceSpan.value_or(0), device::kFiringCap, &result, &error)) return fail(error);
        std::printf("fired %zu %s\n", result.fired, result.fired == 1 ? "entry" : "entries");
        std::puts(showClock().c_str());
        if (result.capped) {
            return fail("stopped after " + std::to_string(result.fired) +
                        " firings with entries still due (a program keeps registering new ones?); the clock stands "
                        "at the last firing");
        }
        return 0;
    }
    if (versionCommand->parsed()) {
        if (newVersion && !device::platformVersionSet(*newVersion)) return failStore("cannot change the platform version");
        std::puts(device::formatPlatformVersion(device::platformVersion()).c_str());
        return 0;
    }
    if (localeCommand->parsed()) {
        std::optional<bool> clock24;
        if (clockHours) clock24 = *clockHours == 24;
        if ((separatorText || clock24) && !device::timeFormatSet(separatorText, clock24))
            return failStore("cannot change the time format");
        device::TimeFormat format = device::timeFormat();
        std::printf("time separator \"%s\"\n%d-hour clock\n", format.separator.c_str(), format.clock24 ? 24 : 12);
        return 0;
    }
    if (eventsCommand->parsed()) {
        std::vector<device::JournalEvent> events = device::journalList();
        if (eventsJson) {
            std::string text = eventsToJson(events);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
            for (const device::JournalEvent& event : events) std::puts(device::journalDescribe(event).c_str());
        }
        return 0;
    }
    if (logCommand->parsed()) {
        std::string bytes, logPath = host::activityLogPath();
        if (!readDeviceFile(logPath, &bytes, &error)) {
            // No log yet: nothing to print. Anything else is said.
            if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) return fail(error);
        }
        for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos;) bytes.erase(at, 1);
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return 0;
    }
    if (notifyImportCommand->parsed()) {
        std::string bytes;
        size_t added = 0;
        if (!readInput(notifyFile, &bytes, &error) || !formats::notifyImport(bytes, &added, &error)) return fail(error);
        std::printf("added %zu entries\n", added);
        return 0;
    }
    if (notifyListCommand->parsed()) {
        std::vector<device::NotificationEntry> entries = device::notificationList();
        if (notifyListJson) {
            std::string text = formats::notifyToJson(entries);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
            for (const device::NotificationEntry& entry : entries) std::puts(formats::notifyDescribe(entry).c_str());
        }
        return 0;
    }
    if (notifyAddCommand->parsed()) {
        std::vector<device::NotificationEntry> entries(1);
        if (!formats::notifyParseEntry(notifyEntry, &entries[0], &error)) {
            std::fprintf(stderr, "quillex-device: %s\n", error.c_str());
            return 2;
        }
        if (!device::notificationAdd(entries, &error)) return fail(error);
        std::printf("%u\n", static_cast<unsigned>(entries[0].handle));
        return 0;
    }
    if (notifyClearCommand->parsed()) {
        std::optional<DWORD> handle = parseHandleArgument(notifyHandle);
        if (!handle) {
            std::fprintf(stderr, "quillex-device: not a notification handle: \"%s\" (expected a number from 1 to "
                                 "4294967295)\n", notifyHandle.c_str());
            return 2;
        }
        if (!device::notificationClear(*handle)) return fail("no notification has the handle " + notifyHandle);
        return 0;
    }
    if (holdCommand->parsed()) return holdFiles(holdPaths);
    return 0;
}
