// What a run asked of the device, in the order it asked: files deleted or kept, folders
// removed, file writes, registry values, notification entries, program starts, restarts,
// and every change the host or the store refused, with the reason.
// Every family records its own changes here when recording is on; the host face of the
// device turns the record into a report. Recording never changes what a call does.
#pragma once

#include "device/core/notifyentry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace device {

// One struct per kind of change. Paths are device paths, registry keys their full names,
// all UTF-8.
struct FileDeleted {
    std::string path;
    uint64_t size = 0;
};
struct FileKept {
    std::string path;
    uint64_t size = 0;
    // Why it stayed: "read-only", "in use", "folder", "not found", "name not valid on the
    // device" (the program cannot name it), "refused" (the host would not remove it).
    std::string reason;
};
struct FolderRemoved {
    std::string path;
};
struct FolderKept {
    std::string path;
    std::string reason;  // "folder not empty", "not a folder", "not found", "refused"
};
struct FileWritten {
    std::string path;
    std::string bytes;  // consecutive writes to one path merge into one record
};
struct FileEmptied {  // an existing file truncated to nothing
    std::string path;
};
// An open for writing, or a write, that failed and leaves nothing of it: not for a file
// held open by another handle, which a program may wait for and try again.
struct FileNotWritten {
    std::string path;
    std::string reason;  // "read-only", "hard-linked", "disk full", "write failed", "refused"
};
struct ValueDeleted {
    std::string key;
    std::string name;
};
struct ValueSet {
    std::string key;
    std::string name;
    uint64_t size = 0;  // of its data
};
struct ValueKept {  // a deletion the store refused
    std::string key;
    std::string name;
    std::string reason;  // see EntryKept
};
struct EntryCleared {
    // The entry as it was; absent when records are summarized, which never list it.
    std::optional<NotificationEntry> entry;
};
struct EntryKept {  // a clear the store refused
    std::optional<NotificationEntry> entry;  // as EntryCleared
    std::string reason;                      // "store read-only", "disk full", "store busy", "refused"
};
struct EntryAdded {
    NotificationEntry entry;  // as added, handle included
};
struct ProgramStarted {
    std::string application;
    std::string commandLine;
    bool found = false;
};
struct Restart {
    std::string by;  // "shell" or "kernel"
};

using ChangeWhat = std::variant<FileDeleted, FileKept, FolderRemoved, FolderKept, FileWritten, FileEmptied, FileNotWritten,
                                ValueDeleted, ValueSet, ValueKept, EntryCleared, EntryKept, EntryAdded, ProgramStarted,
                                Restart>;

struct Change {
    ChangeWhat what;
    // How many like changes this record stands for: 1, unless the record is summarized,
    // when a run of files deleted (or kept for one reason, or folders removed or kept for
    // one reason, or entries cleared or kept for one reason) is one record with their
    // count and, for files, their sizes added up.
    uint64_t count = 1;
};

// Recording is off until turned on; while off, the families skip building their records.
void changesRecord(bool on);
bool changesRecording();

// Summarizing keeps the record's size flat however many files a run sweeps: for a run
// whose report tells only counts and sizes. Off unless turned on.
void changesSummarize(bool on);
// Whether records are summarized: a family may then leave out what only a listing shows
// (a cleared notification entry's contents).
bool changesSummarizing();

// Appends one change (when recording) and tells the listener about that change.
void changeAdd(Change change);

// Everything recorded since recording was turned on or the record last taken.
const std::vector<Change>& changesSoFar();
void changesForget();

// Called after every change is added, e.g. to show progress. One listener; null for none.
void changesListen(void (*listener)(const Change&));

// The process is about to end inside a platform call (the kernel's reset): the host face
// gets its last word before nothing more of the process runs. One handler; null for none.
void changesOnProcessEnd(void (*handler)());
void changesProcessEnding();

}  // namespace device
