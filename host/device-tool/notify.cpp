// notify and its commands: the device's notification queue imported, listed, added to and
// cleared, its entries in the JSON form of formats/notifyjson.
#include "device/notifications/notifications.h"
#include "formats/notifyjson.h"
#include "host/common/output.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"

#include <cstdio>
#include <optional>

namespace tool {
namespace {

std::string importFile, entryText, handleText;
bool listJson = false;
// What the checks read from the arguments, for the run.
device::NotificationEntry entryGiven;
DWORD handleGiven = 0;

// A notification handle as `notify list` shows it: a decimal number from 1 to 2^32 - 1.
std::optional<DWORD> parseHandle(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    uint64_t value = std::stoull(text);
    if (value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<DWORD>(value);
}

}  // namespace

void notifyImportOptions(CLI::App* command) {
    command->add_option("FILE", importFile, "The file, or - for standard input")->required();
}

int notifyImportRun() {
    std::string bytes, error;
    size_t added = 0;
    if (!readInput(importFile, &bytes, &error) || !formats::notifyImport(bytes, &added, &error)) return fail(error);
    std::printf("added %zu entries\n", added);
    return 0;
}

void notifyListOptions(CLI::App* command) {
    command->add_flag("--json", listJson, "Print a JSON array, with each entry's handle");
}

int notifyListRun() {
    std::vector<device::NotificationEntry> entries = device::notificationList();
    std::string text;
    if (listJson) {
        text = formats::notifyToJson(entries);
    } else {
        for (const device::NotificationEntry& entry : entries) text += formats::notifyDescribe(entry) + "\n";
    }
    host::writeOut(text);
    return 0;
}

void notifyAddOptions(CLI::App* command) {
    command->add_option("JSON", entryText, "The entry as a JSON object, e.g. "
                                           "'{\"type\": 2, \"start\": \"2026-12-08 07:30:00\"}'")
        ->required();
}

int notifyAddCheck() {
    std::string error;
    return formats::notifyParseEntry(entryText, &entryGiven, &error) ? 0 : usage(error);
}

int notifyAddRun() {
    std::vector<device::NotificationEntry> entries{entryGiven};
    std::string error;
    if (!device::notificationAdd(entries, &error)) return fail(error);
    std::printf("%u\n", static_cast<unsigned>(entries[0].handle));
    return 0;
}

void notifyClearOptions(CLI::App* command) {
    command->add_option("HANDLE", handleText, "The entry's handle, as `notify list` shows it")->required();
}

int notifyClearCheck() {
    std::optional<DWORD> handle = parseHandle(handleText);
    if (!handle) return usage("not a notification handle: \"" + handleText + "\" (expected a number from 1 to 4294967295)");
    handleGiven = *handle;
    return 0;
}

int notifyClearRun() {
    if (!device::notificationClear(handleGiven)) return fail("no notification has the handle " + handleText);
    return 0;
}

}  // namespace tool
