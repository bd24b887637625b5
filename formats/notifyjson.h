// The JSON form of notification entries for the device tool: one object per entry, an
// array for a queue. Entries parsed from text and written back give the same entries, and
// malformed text is refused whole, naming where the fault lies.
#pragma once

#include "device/notifications/notifications.h"

#include <string>
#include <vector>

namespace formats {

// One entry object has:
//   "type", "event"          32-bit unsigned numbers ("type" required, "event" default 0)
//   "application", "arguments"  a string ("" is empty), or null / missing for absent
//   "start", "end"           "YYYY-MM-DD HH:MM:SS[.mmm]" local time, or an object of the
//                            eight fields wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute,
//                            wSecond, wMilliseconds (any 16-bit values); null or missing
//                            is all zero
//   "user"                   null / missing for no user-notification part, else an object
//                            with "title", "text", "sound" (string or null / missing),
//                            "flags" and "maxSound" (32-bit, default 0)
//   "handle"                 written by notifyToJson; ignored when read
// Any other member is refused, so a misspelt name never goes unnoticed. Strings may not
// hold U+0000, which a record's terminated strings could not carry.

// Parses a JSON array of entries (handles left 0).
// RETURNS true with *entries set; false with *error naming the fault's place: the JSON
// line, column and byte for a syntax error, else the entry (counted from 1) and member.
bool notifyParseEntries(const std::string& text, std::vector<device::NotificationEntry>* entries, std::string* error);

// Parses one entry object; as notifyParseEntries, the place naming only the member
// ("user.title: expected a string or null").
bool notifyParseEntry(const std::string& text, device::NotificationEntry* entry, std::string* error);

// Adds every entry of the JSON array behind the open device's queue, in their order, all
// or none. RETURNS true with *added set to the number of entries; false with *error set
// and the queue unchanged.
bool notifyImport(const std::string& text, size_t* added, std::string* error);

// The entries as a JSON array with "handle" members, indented, ending in a line break.
// A time is written as null when all zero, in the text form when that form gives back
// exactly the same eight fields, else as the object of its fields.
std::string notifyToJson(const std::vector<device::NotificationEntry>& entries);

// One readable line, without line break: handle, type, start, application, arguments and,
// when present, the dialog title and text. Absent strings show as -, present ones quoted.
std::string notifyDescribe(const device::NotificationEntry& entry);

}  // namespace formats
