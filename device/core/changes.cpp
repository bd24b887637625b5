// The record of a run's changes: one list in the order they happened, kept in memory by
// the process that made them. Writes to one file in a row merge into one change, so a
// log line written in three pieces is one record.
#include "device/core/changes.h"

#include <utility>

namespace device {
namespace {

bool recording = false;
std::vector<Change> record;
void (*listener)(const Change&) = nullptr;
void (*endHandler)() = nullptr;

}  // namespace

void changesRecord(bool on) { recording = on; }

bool changesRecording() { return recording; }

void changeAdd(Change change) {
    if (!recording) return;
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
