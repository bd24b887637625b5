// The device's event journal: what the device did that leaves no other trace (program
// starts, restarts, fired notification entries), in the order it happened, shared by every
// process using the device. An event is committed by the time its record call returns.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace device {

struct JournalEvent {
    int64_t id = 0;        // set by the journal; orders the events
    std::string kind;      // "start", "restart", "fire" or "foreground"
    uint64_t time = 0;     // device time, as a FILETIME count
    // start: the application as the caller named it; fire: the entry's application;
    // foreground: the class of the window asked to come forward.
    std::optional<std::string> application;
    // start: the command line ("" when none); fire: the entry's arguments;
    // foreground: the window's title.
    std::optional<std::string> arguments;
    bool found = false;    // start: the program file exists on the device
    bool hostRan = false;  // start: a host program was run for it
    std::string by;        // restart: "shell" or "kernel"
    DWORD entry = 0;       // fire: the entry's handle
};

// Appends the event (its id is ignored). RETURNS the new event's id, or 0 when the
// store refused it.
int64_t journalRecord(const JournalEvent& event);

// Marks a recorded start as having run its host program. RETURNS false when the store
// refused the change.
bool journalSetHostRan(int64_t id);

// Every event, oldest first.
std::vector<JournalEvent> journalList();

// One readable line: "YYYY-MM-DD HH:MM:SS.mmm", the kind and its details.
std::string journalDescribe(const JournalEvent& event);

}  // namespace device
