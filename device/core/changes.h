// What a run asked of the device, in the order it asked: files deleted or kept, folders
// removed, file writes, registry values, notification entries, program starts, restarts.
// Every family records its own changes here when recording is on; the host face of the
// device turns the record into a report. Recording never changes what a call does.
#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <vector>

namespace device {

enum class ChangeKind {
    FileDeleted,     // path, size
    FileKept,        // path, size, detail: why it stayed ("read-only", "in use", "folder", ...)
    FolderRemoved,   // path
    FolderKept,      // path, detail: why it stayed ("folder not empty", ...)
    FileWritten,     // path, detail: the bytes written (consecutive writes to one path merge)
    FileEmptied,     // path: an existing file truncated to nothing
    ValueDeleted,    // path: the key, name: the value's name
    ValueSet,        // path: the key, name: the value's name, size: its data's size
    EntryCleared,    // entry: the notification entry as it was
    EntryAdded,      // entry: the notification entry as added, handle included
    ProgramStarted,  // path: the program, detail: its command line, size: 1 when found
    Restart,         // detail: who restarts the device ("shell" or "kernel")
};

struct Change {
    ChangeKind kind;
    std::string path;  // a device path or registry key, UTF-8
    std::string name;
    std::string detail;
    uint64_t size = 0;
    std::any entry;  // the notifications family's own form of an entry
    // How many like changes this record stands for: 1, unless the record is summarized,
    // when a run of files deleted (or kept for one reason, or folders removed or kept for
    // one reason, or entries cleared) is one record with their count and, for files, their
    // sizes added up.
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
