// The preview's store: SQLite's online backup copies the device's store, in one read
// transaction, into an in-memory database that then stands in for it. The device's own
// connection stays open, set aside until the preview ends.
#include "device/core/preview.h"

#include "device/core/folder.h"

#include <sqlite3.h>

namespace device {
namespace {

bool active = false;
sqlite3* setAside = nullptr;
void (*dropHooks[4])() = {};

}  // namespace

bool previewing() { return active; }

bool previewBegin(std::string* error) {
    if (active || !store()) {
        *error = active ? "a preview is already running" : "no device is open";
        return false;
    }
    sqlite3* copy = nullptr;
    if (sqlite3_open_v2(":memory:", &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        *error = "cannot open a store for the preview";
        sqlite3_close(copy);
        return false;
    }
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", store(), "main");
    bool copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    if (backup) sqlite3_backup_finish(backup);
    if (!copied) {
        *error = std::string("cannot copy the store for the preview: ") + sqlite3_errmsg(copy);
        sqlite3_close(copy);
        return false;
    }
    // A store this process may only read refuses the preview's changes as it would the run's.
    if (sqlite3_db_readonly(store(), "main") == 1) sqlite3_exec(copy, "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
    setAside = folderReplaceStore(copy);
    active = true;
    return true;
}

void previewEnd() {
    if (!active) return;
    for (auto drop : dropHooks)
        if (drop) drop();
    sqlite3* copy = folderReplaceStore(setAside);
    sqlite3_close_v2(copy);
    setAside = nullptr;
    active = false;
}

void previewOnEnd(void (*drop)()) {
    for (auto& slot : dropHooks) {
        if (slot == drop) return;
        if (!slot) {
            slot = drop;
            return;
        }
    }
}

}  // namespace device
