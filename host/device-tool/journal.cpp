// events, log: what the device recorded (its journal) and what the program logged.
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"
#include "host/common/output.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"
#include "host/program/program.h"
#include "platform/windows.h"

#include <nlohmann/json.hpp>


namespace tool {
namespace {

bool eventsJson = false;

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
            // The run report and start events call it so.
            object["commandLine"] = optional(event.arguments);
        }
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The whole of a device file, read through the device. RETURNS false with *error set when
// it cannot be opened or read; *missing then tells whether there was no such file.
bool readDeviceFile(const std::string& path, std::string* bytes, std::string* error, bool* missing) {
    std::u16string wide = device::toUtf16(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD why = GetLastError();
        *missing = why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND;
        *error = "cannot open " + path + ": " + openRefusal(why);
        return false;
    }
    char buffer[65536];
    DWORD got = 0;
    BOOL read;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) bytes->append(buffer, got);
    DWORD why = GetLastError();
    CloseHandle(file);
    if (!read) {
        // Opened, yet not to be read: the device never reads a file with a second host link.
        *missing = false;
        *error = "cannot read " + path + ": " +
                 (why == ERROR_ACCESS_DENIED ? "it has a second host link, whose contents the device never reads"
                                             : "the host could not read it");
        return false;
    }
    return true;
}

}  // namespace

void eventsOptions(CLI::App* command) { command->add_flag("--json", eventsJson, "Print a JSON array of objects"); }

int eventsRun() {
    std::vector<device::JournalEvent> events = device::journalList();
    std::string text;
    if (eventsJson) {
        text = eventsToJson(events);
    } else {
        for (const device::JournalEvent& event : events) text += device::journalDescribe(event) + "\n";
    }
    host::writeOut(text);
    return 0;
}

int logRun() {
    std::string bytes, error;
    bool missing = false;
    // No log yet: nothing to print. A log that is there and cannot be read is said.
    if (!readDeviceFile(host::activityLogPath(), &bytes, &error, &missing) && !missing) return fail(error);
    for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos;) bytes.erase(at, 1);
    host::writeOut(bytes);
    return 0;
}

}  // namespace tool
