// The record of a run's changes: one list in the order they happened, kept in memory by
// the process that made them. Writes to one file in a row merge into one change, so a
// log line written in three pieces is one record; when summarizing, so do like file and
// folder outcomes in a row.
#include "device/core/changes.h"

#include <utility>

namespace device {
namespace {

bool recording = false, summarizing = false;
std::vector<Change> record;
void (*listener)(const Change&) = nullptr;
void (*endHandler)() = nullptr;

// Whether `change` may be counted into `last`: like outcomes whose items nobody will list.
bool countsInto(const Change& last, const Change& change) {
    if (!summarizing || last.kind != change.kind) return false;
    switch (change.kind) {
        case ChangeKind::FileDeleted:
        case ChangeKind::FolderRemoved:
        case ChangeKind::EntryCleared: return true;
        case ChangeKind::FileKept:
        case ChangeKind::FolderKept: return last.detail == change.detail;
        default: return false;
    }
}

}  // namespace

void changesRecord(bool on) { recording = on; }

bool changesRecording() { return recording; }

void changesSummarize(bool on) { summarizing = on; }

bool changesSummarizing() { return summarizing; }

void changeAdd(Change change) {
    if (!recording) return;
    if (!record.empty() && countsInto(record.back(), change)) {
        record.back().count += change.count;
        record.back().size += change.size;
        if (listener) listener(change);
        return;
    }
    if (change.kind == ChangeKind::FileWritten && !record.empty() && record.back().kind == ChangeKind::FileWritten &&
        record.back().path == change.path) {
        record.back().detail += change.detail;
    } else {
        record.push_back(std::move(change));
    }
    if (listener) listener(record.back());
}

const std::vector<Change>& changesSoFar() { return record; }

void changesForget() { record.clear(); }

void changesListen(void (*onChange)(const Change&)) { listener = onChange; }

void changesOnProcessEnd(void (*handler)()) { endHandler = handler; }

void changesProcessEnding() {
    if (endHandler) endHandler();
}

}  // namespace device
