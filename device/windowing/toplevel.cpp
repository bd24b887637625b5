// The device-wide table of top-level windows in the object store: what FindWindowW searches
// and where SetForegroundWindow leaves requests for other processes. A row counts only
// while its process runs; rows of ended processes are removed when they are noticed.
#include "device/windowing/toplevel.h"

#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/journal.h"

#include <sqlite3.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace device {
namespace {

int64_t rowOf(HWND handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    return (value & 3) == 0 ? static_cast<int64_t>(value >> 2) : 0;
}

HWND handleOf(int64_t row) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(row) << 2); }

// The start time of a running process (clock ticks since boot), which tells it apart from
// a later process given the same pid. RETURNS nullopt for an ended process (zombies too).
std::optional<int64_t> processStarted(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    // The name in parentheses may hold spaces and ')': the fields follow the last ')'.
    size_t close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string state, field;
    fields >> state;
    if (state == "Z" || state == "X") return std::nullopt;
    // starttime is field 22 of the line; the state was field 3.
    for (int number = 4; number < 22 && fields >> field; ++number) {
    }
    int64_t started = 0;
    if (!(fields >> started)) return std::nullopt;
    return started;
}

int64_t ownStart() { return processStarted(getpid()).value_or(0); }

bool alive(int64_t pid, int64_t started) { return processStarted(static_cast<pid_t>(pid)) == started; }

void removeEnded() {
    Statement owners(store(), "SELECT DISTINCT pid, started FROM windows");
    std::vector<std::pair<int64_t, int64_t>> ended;
    while (owners.step()) {
        if (!alive(owners.columnInt(0), owners.columnInt(1))) ended.emplace_back(owners.columnInt(0), owners.columnInt(1));
    }
    for (auto [pid, started] : ended) {
        Statement remove(store(), "DELETE FROM windows WHERE pid = ? AND started = ?");
        remove.bind(1, pid).bind(2, started).run();
    }
}

}  // namespace

HWND topLevelAdd(std::u16string_view className, std::u16string_view title) {
    Statement insert(store(), "INSERT INTO windows(pid, started, class, title, fold_class, fold_title) "
                              "VALUES(?, ?, ?, ?, ?, ?)");
    insert.bind(1, static_cast<int64_t>(getpid())).bind(2, ownStart());
    insert.bind(3, toUtf8(className)).bind(4, toUtf8(title)).bind(5, foldKey(className)).bind(6, foldKey(title));
    if (!insert.run()) return nullptr;
    return handleOf(sqlite3_last_insert_rowid(store()));
}

void topLevelRemove(HWND handle) {
    Statement remove(store(), "DELETE FROM windows WHERE id = ?");
    remove.bind(1, rowOf(handle)).run();
}

void topLevelRetitle(HWND handle, std::u16string_view title) {
    Statement update(store(), "UPDATE windows SET title = ?, fold_title = ? WHERE id = ?");
    update.bind(1, toUtf8(title)).bind(2, foldKey(title)).bind(3, rowOf(handle)).run();
}

HWND topLevelFind(const WCHAR* className, const WCHAR* title) {
    removeEnded();
    Statement query(store(), "SELECT id FROM windows WHERE (?1 IS NULL OR fold_class = ?1) "
                             "AND (?2 IS NULL OR fold_title = ?2) ORDER BY id DESC LIMIT 1");
    if (className) query.bind(1, foldKey(className));
    else query.bindNull(1);
    if (title) query.bind(2, foldKey(title));
    else query.bindNull(2);
    return query.step() ? handleOf(query.columnInt(0)) : nullptr;
}

bool topLevelAlive(HWND handle) {
    int64_t row = rowOf(handle);
    if (row == 0) return false;
    Statement query(store(), "SELECT pid, started FROM windows WHERE id = ?");
    query.bind(1, row);
    return query.step() && alive(query.columnInt(0), query.columnInt(1));
}

bool topLevelRequestForward(HWND handle) {
    int64_t row = rowOf(handle);
    Statement query(store(), "SELECT pid, started, class, title FROM windows WHERE id = ?");
    query.bind(1, row);
    if (row == 0 || !query.step()) return false;
    if (!alive(query.columnInt(0), query.columnInt(1))) {
        removeEnded();
        return false;
    }
    JournalEvent event;
    event.kind = "foreground";
    event.time = clockNow();
    event.application = query.columnText(2);
    event.arguments = query.columnText(3);
    Statement update(store(), "UPDATE windows SET forward = forward + 1 WHERE id = ?");
    if (!update.bind(1, row).run()) return false;
    journalRecord(event);
    return true;
}

std::vector<HWND> topLevelTakeForwardRequests() {
    std::vector<HWND> windows;
    if (!store()) return windows;
    Transaction transaction(store());
    Statement query(store(), "SELECT id FROM windows WHERE pid = ? AND started = ? AND forward > 0 ORDER BY id");
    query.bind(1, static_cast<int64_t>(getpid())).bind(2, ownStart());
    while (query.step()) windows.push_back(handleOf(query.columnInt(0)));
    if (windows.empty()) return windows;
    Statement clear(store(), "UPDATE windows SET forward = 0 WHERE pid = ? AND started = ?");
    if (!clear.bind(1, static_cast<int64_t>(getpid())).bind(2, ownStart()).run() || !transaction.commit()) {
        windows.clear();
    }
    return windows;
}

void topLevelRemoveAllOfProcess() {
    Statement remove(store(), "DELETE FROM windows WHERE pid = ? AND started = ?");
    remove.bind(1, static_cast<int64_t>(getpid())).bind(2, ownStart()).run();
}

}  // namespace device
