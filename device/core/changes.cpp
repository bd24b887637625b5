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
    if (!summarizing || last.what.index() != change.what.index()) return false;
    if (auto* kept = std::get_if<FileKept>(&change.what)) return std::get<FileKept>(last.what).reason == kept->reason;
    if (auto* kept = std::get_if<FolderKept>(&change.what)) return std::get<FolderKept>(last.what).reason == kept->reason;
    if (auto* kept = std::get_if<EntryKept>(&change.what)) return std::get<EntryKept>(last.what).reason == kept->reason;
    return std::holds_alternative<FileDeleted>(change.what) || std::holds_alternative<FolderRemoved>(change.what) ||
           std::holds_alternative<EntryCleared>(change.what);
}

void countInto(Change& last, const Change& change) {
    last.count += change.count;
    if (auto* deleted = std::get_if<FileDeleted>(&last.what)) deleted->size += std::get<FileDeleted>(change.what).size;
    if (auto* kept = std::get_if<FileKept>(&last.what)) kept->size += std::get<FileKept>(change.what).size;
}

// The write `change` continues, when it is one: the last record, a write to the same path.
FileWritten* continuedWrite(const Change& change) {
    auto* write = std::get_if<FileWritten>(&change.what);
    auto* last = record.empty() ? nullptr : std::get_if<FileWritten>(&record.back().what);
    return write && last && last->path == write->path ? last : nullptr;
}

}  // namespace

void changesRecord(bool on) { recording = on; }

bool changesRecording() { return recording; }

void changesSummarize(bool on) { summarizing = on; }

bool changesSummarizing() { return summarizing; }

void changeAdd(Change change) {
    if (!recording) return;
    if (!record.empty() && countsInto(record.back(), change)) {
        countInto(record.back(), change);
        if (listener) listener(change);
        return;
    }
    if (FileWritten* write = continuedWrite(change)) write->bytes += std::get<FileWritten>(change.what).bytes;
    else record.push_back(std::move(change));
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
