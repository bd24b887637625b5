// Fuzz target: arbitrary bytes read as a notification queue in JSON and as one entry.
// Whatever the bytes, reading them either is refused with a message or gives entries that
// are written back as JSON which reads again as the same entries.
#include "formats/notifyjson.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "notifyjson fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

void roundTrip(const std::vector<device::NotificationEntry>& entries) {
    std::string written = formats::notifyToJson(entries), error;
    std::vector<device::NotificationEntry> back;
    if (!formats::notifyParseEntries(written, &back, &error)) broken("written entries do not read back", error);
    if (formats::notifyToJson(back) != written) broken("entries read back differ", written);
    for (const device::NotificationEntry& entry : back) formats::notifyDescribe(entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size), error;
    std::vector<device::NotificationEntry> entries;
    if (formats::notifyParseEntries(text, &entries, &error)) {
        roundTrip(entries);
    } else if (error.empty()) {
        broken("refused without a message", text);
    }
    std::vector<device::NotificationEntry> one(1);
    error.clear();
    if (formats::notifyParseEntry(text, &one[0], &error)) {
        roundTrip(one);
    } else if (error.empty()) {
        broken("an entry refused without a message", text);
    }
    return 0;
}
