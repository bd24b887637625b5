// The event journal on the object store: the events table, appended to by every process
// of the device with single statements (each one commits on its own), read in id order.
#include "device/kernel/journal.h"

#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/kernel/clock.h"

#include <sqlite3.h>

namespace device {
namespace {

void bindOptional(Statement& statement, int index, const std::optional<std::string>& text) {
    if (text) statement.bind(index, *text);
    else statement.bindNull(index);
}

std::optional<std::string> optionalColumn(const Statement& row, int column) {
    if (row.columnIsNull(column)) return std::nullopt;
    return row.columnText(column);
}

std::string quoted(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "(none)"; }

}  // namespace

int64_t journalRecord(const JournalEvent& event) {
    Statement insert(store(), "INSERT INTO events(kind, time, application, arguments, found, host_ran, requester, "
                              "entry) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, event.kind).bind(2, static_cast<int64_t>(event.time));
    bindOptional(insert, 3, event.application);
    bindOptional(insert, 4, event.arguments);
    insert.bind(5, event.found ? 1 : 0).bind(6, event.hostRan ? 1 : 0).bind(7, event.by);
    insert.bind(8, static_cast<int64_t>(event.entry));
    if (!insert.run()) return 0;
    return sqlite3_last_insert_rowid(store());
}

bool journalSetHostRan(int64_t id) {
    Statement update(store(), "UPDATE events SET host_ran = 1 WHERE id = ?");
    return update.bind(1, id).run() && sqlite3_changes(store()) > 0;
}

std::vector<JournalEvent> journalList() {
    std::vector<JournalEvent> events;
    Statement query(store(), "SELECT id, kind, time, application, arguments, found, host_ran, requester, entry "
                             "FROM events ORDER BY id");
    while (query.step()) {
        JournalEvent event;
        event.id = query.columnInt(0);
        event.kind = query.columnText(1);
        event.time = static_cast<uint64_t>(query.columnInt(2));
        event.application = optionalColumn(query, 3);
        event.arguments = optionalColumn(query, 4);
        event.found = query.columnInt(5) != 0;
        event.hostRan = query.columnInt(6) != 0;
        event.by = query.columnText(7);
        event.entry = static_cast<DWORD>(query.columnInt(8));
        events.push_back(std::move(event));
    }
    return events;
}

std::string journalDescribe(const JournalEvent& event) {
    SYSTEMTIME time{};
    FILETIME count = fileTimeFromCount(event.time);
    FileTimeToSystemTime(&count, &time);
    std::string line = formatDeviceTime(time) + "  " + event.kind + "  ";
    if (event.kind == "start") {
        line += quoted(event.application) + " with " + quoted(event.arguments) + ": ";
        line += !event.found ? "no such program file" : event.hostRan ? "its host program ran" : "no host program ran";
    } else if (event.kind == "restart") {
        line += "by the " + event.by;
    } else if (event.kind == "fire") {
        line += "entry " + std::to_string(event.entry) + ": " + quoted(event.application) + " with " +
                quoted(event.arguments);
    } else if (event.kind == "foreground") {
        line += "window " + quoted(event.arguments) + " of class " + quoted(event.application);
    }
    return line;
}

}  // namespace device
