// Notification entries as JSON: every member is checked before anything is added, so a
// file is taken whole or refused whole; members keep a fixed order on output, and times
// that are no calendar date are written field by field so that they come back unchanged.
#include "formats/notifyjson.h"

#include "device/core/utf.h"
#include "device/kernel/clock.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace formats {
namespace {

using Json = nlohmann::ordered_json;
using device::NotificationEntry;

constexpr uint64_t kMaxDword = 0xFFFFFFFFu;
constexpr uint64_t kMaxWord = 0xFFFFu;

const char* const kEntryMembers[] = {"handle", "type", "event", "application", "arguments", "start", "end", "user"};
const char* const kUserMembers[] = {"title", "text", "sound", "flags", "maxSound"};
const char* const kTimeFields[] = {"wYear", "wMonth", "wDayOfWeek", "wDay",
                                   "wHour", "wMinute", "wSecond", "wMilliseconds"};

WORD* timeField(SYSTEMTIME& time, const std::string& name) {
    if (name == "wYear") return &time.wYear;
    if (name == "wMonth") return &time.wMonth;
    if (name == "wDayOfWeek") return &time.wDayOfWeek;
    if (name == "wDay") return &time.wDay;
    if (name == "wHour") return &time.wHour;
    if (name == "wMinute") return &time.wMinute;
    if (name == "wSecond") return &time.wSecond;
    if (name == "wMilliseconds") return &time.wMilliseconds;
    return nullptr;
}

// Checks one JSON object, reporting faults as "<place>, <member>: <what>".
class Reader {
public:
    Reader(std::string place, std::string* error) : place_(std::move(place)), error_(error) {}

    bool fail(const std::string& member, const std::string& what) {
        std::string where = place_;
        if (!member.empty()) where += (where.empty() ? "" : ", ") + member;
        *error_ = where.empty() ? what : where + ": " + what;
        return false;
    }

    bool onlyMembers(const Json& object, const std::string& prefix, const char* const* names, size_t count) {
        for (auto member = object.begin(); member != object.end(); ++member) {
            if (std::find_if(names, names + count, [&](const char* n) { return member.key() == n; }) == names + count) {
                return fail(prefix + member.key(), "unknown member");
            }
        }
        return true;
    }

    bool number(const Json& object, const std::string& name, const std::string& member, uint64_t max, uint64_t* out) {
        auto found = object.find(name);
        if (found == object.end()) return true;
        if (!found->is_number_unsigned() || found->get<uint64_t>() > max) {
            return fail(member, "expected a whole number from 0 to " + std::to_string(max));
        }
        *out = found->get<uint64_t>();
        return true;
    }

    bool dword(const Json& object, const std::string& name, const std::string& member, DWORD* out) {
        uint64_t value = *out;
        if (!number(object, name, member, kMaxDword, &value)) return false;
        *out = static_cast<DWORD>(value);
        return true;
    }

    bool text(const Json& object, const std::string& name, const std::string& member,
              std::optional<std::u16string>* out) {
        auto found = object.find(name);
        if (found == object.end() || found->is_null()) {
            out->reset();
            return true;
        }
        if (!found->is_string()) return fail(member, "expected a string or null");
        std::u16string converted = device::toUtf16(found->get<std::string>());
        if (converted.find(u'\0') != std::u16string::npos) return fail(member, "a string may not hold U+0000");
        *out = std::move(converted);
        return true;
    }

    bool time(const Json& object, const std::string& name, SYSTEMTIME* out) {
        *out = SYSTEMTIME{};
        auto found = object.find(name);
        if (found == object.end() || found->is_null()) return true;
        if (found->is_string()) {
            std::optional<SYSTEMTIME> parsed = device::parseDeviceTime(found->get<std::string>());
            if (!parsed) {
                return fail(name, "not a device time: \"" + found->get<std::string>() +
                                      "\" (expected \"YYYY-MM-DD HH:MM:SS[.mmm]\" or an object of the eight "
                                      "SYSTEMTIME fields)");
            }
            *out = *parsed;
            return true;
        }
        if (!found->is_object()) {
            return fail(name, "expected a device time string, an object of SYSTEMTIME fields, or null");
        }
        if (!onlyMembers(*found, name + ".", kTimeFields, std::size(kTimeFields))) return false;
        for (const char* field : kTimeFields) {
            std::string member = name + "." + field;
            if (!found->contains(field)) return fail(member, "missing (all eight SYSTEMTIME fields are needed)");
            uint64_t value = 0;
            if (!number(*found, field, member, kMaxWord, &value)) return false;
            *timeField(*out, field) = static_cast<WORD>(value);
        }
        return true;
    }

    bool entry(const Json& object, NotificationEntry* out) {
        *out = NotificationEntry{};
        if (!object.is_object()) return fail("", "expected an object");
        if (!onlyMembers(object, "", kEntryMembers, std::size(kEntryMembers))) return false;
        if (!object.contains("type")) return fail("type", "missing");
        if (!dword(object, "type", "type", &out->type) || !dword(object, "event", "event", &out->event) ||
            !text(object, "application", "application", &out->application) ||
            !text(object, "arguments", "arguments", &out->arguments) || !time(object, "start", &out->start) ||
            !time(object, "end", &out->end)) {
            return false;
        }
        auto user = object.find("user");
        if (user == object.end() || user->is_null()) return true;
        if (!user->is_object()) return fail("user", "expected an object or null");
        out->hasUser = true;
        return onlyMembers(*user, "user.", kUserMembers, std::size(kUserMembers)) &&
               text(*user, "title", "user.title", &out->title) && text(*user, "text", "user.text", &out->text) &&
               text(*user, "sound", "user.sound", &out->sound) &&
               dword(*user, "flags", "user.flags", &out->actionFlags) &&
               dword(*user, "maxSound", "user.maxSound", &out->maxSound);
    }

private:
    std::string place_;
    std::string* error_;
};

// RETURNS the parsed document, or null with *error naming line, column and byte.
std::optional<Json> parseJson(const std::string& text, std::string* error) {
    try {
        return Json::parse(text);
    } catch (const Json::parse_error& fault) {
        size_t byte = std::clamp<size_t>(fault.byte, 1, text.size() + 1);  // 1 = the first byte
        size_t at = byte - 1;  // index of the byte the parser stopped at
        size_t line = 1, lineStart = 0;
        for (size_t i = 0; i < at; ++i) {
            if (text[i] == '\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        size_t column = at - lineStart + 1;
        // The library's message starts with its own code and place; keep only the reason.
        std::string reason = fault.what();
        size_t colon = reason.find(": ");
        if (colon != std::string::npos) reason = reason.substr(colon + 2);
        *error = "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) + " (byte " +
                 std::to_string(byte) + "): " + reason;
        return std::nullopt;
    } catch (const Json::exception& fault) {
        // Well-formed text the library still cannot hold, such as a number beyond a double.
        std::string reason = fault.what();
        size_t bracket = reason.find("] ");
        if (bracket != std::string::npos) reason = reason.substr(bracket + 2);
        *error = "not valid JSON: " + reason;
        return std::nullopt;
    }
}

Json textJson(const std::optional<std::u16string>& text) {
    return text ? Json(device::toUtf8(*text)) : Json(nullptr);
}

bool sameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Json timeJson(const SYSTEMTIME& time) {
    if (sameTime(time, SYSTEMTIME{})) return nullptr;
    std::string text = device::formatDeviceTime(time);
    std::optional<SYSTEMTIME> back = device::parseDeviceTime(text);
    if (back && sameTime(*back, time)) return text;
    SYSTEMTIME copy = time;
    Json object = Json::object();
    for (const char* field : kTimeFields) {
        object[field] = *timeField(copy, field);
    }
    return object;
}

Json entryJson(const NotificationEntry& entry) {
    Json object = Json::object();
    object["handle"] = entry.handle;
    object["type"] = entry.type;
    object["event"] = entry.event;
    object["application"] = textJson(entry.application);
    object["arguments"] = textJson(entry.arguments);
    object["start"] = timeJson(entry.start);
    object["end"] = timeJson(entry.end);
    if (!entry.hasUser) {
        object["user"] = nullptr;
        return object;
    }
    Json user = Json::object();
    user["title"] = textJson(entry.title);
    user["text"] = textJson(entry.text);
    user["sound"] = textJson(entry.sound);
    user["flags"] = entry.actionFlags;
    if (entry.maxSound != 0) user["maxSound"] = entry.maxSound;
    object["user"] = user;
    return object;
}

// A string for one readable line: quoted, with quotes and control characters escaped.
std::string quoted(const std::optional<std::u16string>& text) {
    if (!text) return "-";
    std::string out = "\"";
    for (char c : device::toUtf8(*text)) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"') {
            out += "\\\"";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string typeName(DWORD type) {
    switch (type) {
        case CNT_EVENT: return "event";
        case CNT_TIME: return "time";
        case CNT_PERIOD: return "period";
        case CNT_CLASSICTIME: return "classictime";
        default: return "type " + std::to_string(type);
    }
}

std::string timeText(const SYSTEMTIME& time) {
    if (sameTime(time, SYSTEMTIME{})) return "-";
    FILETIME ignored;
    std::string text = device::formatDeviceTime(time);
    return SystemTimeToFileTime(&time, &ignored) ? text : "(no date: " + text + ")";
}

}  // namespace

bool notifyParseEntries(const std::string& text, std::vector<NotificationEntry>* entries, std::string* error) {
    std::optional<Json> document = parseJson(text, error);
    if (!document) return false;
    if (!document->is_array()) {
        *error = "expected a JSON array of entries";
        return false;
    }
    std::vector<NotificationEntry> parsed(document->size());
    for (size_t i = 0; i < parsed.size(); ++i) {
        Reader reader("entry " + std::to_string(i + 1), error);
        if (!reader.entry((*document)[i], &parsed[i])) return false;
    }
    *entries = std::move(parsed);
    return true;
}

bool notifyParseEntry(const std::string& text, NotificationEntry* entry, std::string* error) {
    std::optional<Json> document = parseJson(text, error);
    if (!document) return false;
    Reader reader("", error);
    return reader.entry(*document, entry);
}

bool notifyImport(const std::string& text, size_t* added, std::string* error) {
    std::vector<NotificationEntry> entries;
    if (!notifyParseEntries(text, &entries, error) || !device::notificationAdd(entries, error)) return false;
    *added = entries.size();
    return true;
}

std::string notifyToJson(const std::vector<NotificationEntry>& entries) {
    Json array = Json::array();
    for (const NotificationEntry& entry : entries) array.push_back(entryJson(entry));
    return array.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string notifyDescribe(const NotificationEntry& entry) {
    std::string line = std::to_string(entry.handle) + "  " + typeName(entry.type);
    if (entry.type == CNT_EVENT) line += " " + std::to_string(entry.event);
    line += "  " + timeText(entry.start) + "  " + quoted(entry.application) + "  " + quoted(entry.arguments);
    if (entry.hasUser) line += "  dialog " + quoted(entry.title) + " / " + quoted(entry.text);
    return line;
}

}  // namespace formats
