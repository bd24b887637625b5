// The notification database on the object store: the queue lives in the notifications
// table, shared by every process; delivery order is handle order, and handles come from an
// AUTOINCREMENT key, so they are never reused. Records are built in the caller's buffer.
#include "device/notifications/notifications.h"

#include "device/core/changes.h"
#include "device/core/faults.h"
#include "device/core/folder.h"
#include "device/core/interrupt.h"
#include "device/core/store.h"
#include "device/kernel/clock.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <mutex>

namespace device {
namespace {

constexpr int64_t kLastHandle = 0xFFFFFFFFLL;
#define NOTIFICATION_COLUMNS \
    "handle, type, event, application, arguments, start, end, has_user, action_flags, title, text, sound, max_sound"
const char kSelectAll[] = "SELECT " NOTIFICATION_COLUMNS " FROM notifications ORDER BY handle";
const char kSelectOne[] = "SELECT " NOTIFICATION_COLUMNS " FROM notifications WHERE handle = ?";
#undef NOTIFICATION_COLUMNS

// Prepared statements kept from call to call, since preparing one costs several times
// more than running it. They belong to the connection they were prepared on: once the
// device's connection changes they are all finalized, which also lets a connection closed
// in the meantime finish closing. The cache is never destroyed: nothing of it runs while
// the process exits.
struct StatementCache {
    std::recursive_mutex lock;  // held by every Query while it runs
    sqlite3* db = nullptr;
    std::map<const char*, sqlite3_stmt*> statements;
};
StatementCache& statementCache() {
    static StatementCache* cache = new StatementCache;
    return *cache;
}

void releaseStatements(StatementCache& cache) {
    for (auto& kept : cache.statements) sqlite3_finalize(kept.second);
    cache.statements.clear();
}

// One use of a kept statement; reset when the use ends. `sql` must be a string constant.
class Query {
public:
    explicit Query(const char* sql) : guard_(statementCache().lock) {
        StatementCache& cache = statementCache();
        if (cache.db != store()) {
            releaseStatements(cache);
            cache.db = store();
        }
        if (!cache.db) return;
        sqlite3_stmt*& kept = cache.statements[sql];
        if (!kept && sqlite3_prepare_v3(cache.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &kept, nullptr) != SQLITE_OK) {
            sqlite3_finalize(kept);
            kept = nullptr;
        }
        stmt_ = kept;
    }
    ~Query() {
        if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int index, int64_t value) {
        if (stmt_) sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Query& bindBlob(int index, const std::string& bytes) {
        // A zero-length blob must still be a blob, not NULL.
        if (stmt_) sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                                     SQLITE_TRANSIENT);
        return *this;
    }
    Query& bindNull(int index) {
        if (stmt_) sqlite3_bind_null(stmt_, index);
        return *this;
    }
    // RETURNS true while a row is available.
    bool step() { return stmt_ && sqlite3_step(stmt_) == SQLITE_ROW; }
    // RETURNS true when the statement ran to its end without error.
    bool run() {
        if (!stmt_) return false;
        int result;
        while ((result = sqlite3_step(stmt_)) == SQLITE_ROW) {
        }
        return result == SQLITE_DONE;
    }
    int64_t columnInt(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool columnIsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string columnBlob(int column) const {
        const void* data = sqlite3_column_blob(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, column)) : std::string();
    }

private:
    std::unique_lock<std::recursive_mutex> guard_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Raw records handed out in place of the real ones (test hook), by handle.
std::mutex rawLock;
std::map<DWORD, std::string> rawRecords;

// Strings are kept as UTF-16LE whatever the host's byte order.
std::string encodeText(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::u16string decodeText(const std::string& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned low = static_cast<unsigned char>(bytes[i]), high = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<char16_t>(low | high << 8);
    }
    return text;
}

std::string encodeTime(const SYSTEMTIME& time) {
    const WORD fields[] = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                           time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
    std::string bytes;
    for (WORD field : fields) {
        bytes += static_cast<char>(field & 0xFF);
        bytes += static_cast<char>(field >> 8);
    }
    return bytes;
}

SYSTEMTIME decodeTime(const std::string& bytes) {
    WORD fields[8] = {};
    for (size_t i = 0; i < 8 && 2 * i + 1 < bytes.size(); ++i) {
        fields[i] = static_cast<WORD>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return SYSTEMTIME{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
}

void bindText(Query& statement, int index, const std::optional<std::u16string>& text) {
    if (!text) {
        statement.bindNull(index);
        return;
    }
    statement.bindBlob(index, encodeText(*text));
}

std::optional<std::u16string> columnText(const Query& statement, int column) {
    if (statement.columnIsNull(column)) return std::nullopt;
    return decodeText(statement.columnBlob(column));
}

// Binds the entry's fields to ?1..?12, in the order of the table's columns after the handle.
void bindEntry(Query& statement, const NotificationEntry& entry) {
    statement.bind(1, static_cast<int64_t>(entry.type)).bind(2, static_cast<int64_t>(entry.event));
    bindText(statement, 3, entry.application);
    bindText(statement, 4, entry.arguments);
    statement.bindBlob(5, encodeTime(entry.start)).bindBlob(6, encodeTime(entry.end));
    statement.bind(7, entry.hasUser ? 1 : 0).bind(8, static_cast<int64_t>(entry.actionFlags));
    bindText(statement, 9, entry.hasUser ? entry.title : std::nullopt);
    bindText(statement, 10, entry.hasUser ? entry.text : std::nullopt);
    bindText(statement, 11, entry.hasUser ? entry.sound : std::nullopt);
    statement.bind(12, static_cast<int64_t>(entry.maxSound));
}

NotificationEntry readEntry(const Query& row) {
    NotificationEntry entry;
    entry.handle = static_cast<DWORD>(row.columnInt(0));
    entry.type = static_cast<DWORD>(row.columnInt(1));
    entry.event = static_cast<DWORD>(row.columnInt(2));
    entry.application = columnText(row, 3);
    entry.arguments = columnText(row, 4);
    entry.start = decodeTime(row.columnBlob(5));
    entry.end = decodeTime(row.columnBlob(6));
    entry.hasUser = row.columnInt(7) != 0;
    entry.actionFlags = static_cast<DWORD>(row.columnInt(8));
    entry.title = columnText(row, 9);
    entry.text = columnText(row, 10);
    entry.sound = columnText(row, 11);
    entry.maxSound = static_cast<DWORD>(row.columnInt(12));
    return entry;
}

std::optional<NotificationEntry> loadEntry(DWORD handle) {
    Query query(kSelectOne);
    if (!query.bind(1, handle).step()) return std::nullopt;
    return readEntry(query);
}

std::optional<std::string> rawRecordOf(DWORD handle) {
    std::lock_guard<std::mutex> guard(rawLock);
    auto found = rawRecords.find(handle);
    if (found == rawRecords.end()) return std::nullopt;
    return found->second;
}

bool entryExists(DWORD handle) {
    Query query("SELECT 1 FROM notifications WHERE handle = ?");
    return query.bind(1, handle).step();
}

// Appends one entry inside the caller's transaction. RETURNS its handle, or 0 when the
// store refused it or the handles of 32 bits are used up.
DWORD insertEntry(const NotificationEntry& entry) {
    Query insert("INSERT INTO notifications(type, event, application, arguments, start, end, has_user, action_flags, "
                 "title, text, sound, max_sound) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    bindEntry(insert, entry);
    if (!insert.run()) return 0;
    int64_t handle = sqlite3_last_insert_rowid(store());
    return handle > 0 && handle <= kLastHandle ? static_cast<DWORD>(handle) : 0;
}

// A notification handle as a number: 0 for anything that is not a non-zero 32-bit value.
DWORD handleNumber(HANDLE handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    return value <= static_cast<uintptr_t>(kLastHandle) ? static_cast<DWORD>(value) : 0;
}

std::optional<std::u16string> copyText(const WCHAR* text) {
    if (!text) return std::nullopt;
    return std::u16string(text);
}

// Where each part of a record lies, in bytes from the start of the buffer.
struct RecordLayout {
    size_t trigger = 0;
    size_t user = 0;  // 0: no user-notification part
    size_t stringsStart = 0;
    size_t strings[5] = {};  // application, arguments, title, text, sound; 0: absent
    size_t size = 0;
};

size_t alignUp(size_t offset, size_t alignment) { return (offset + alignment - 1) / alignment * alignment; }

const std::optional<std::u16string>* recordStrings(const NotificationEntry& entry, size_t index) {
    static const std::optional<std::u16string> absent;
    const std::optional<std::u16string>* strings[] = {&entry.application, &entry.arguments, &entry.title, &entry.text,
                                                      &entry.sound};
    return index < 2 || entry.hasUser ? strings[index] : &absent;
}

RecordLayout layoutOf(const NotificationEntry& entry) {
    RecordLayout layout;
    size_t offset = sizeof(CE_NOTIFICATION_INFO_HEADER);
    layout.trigger = alignUp(offset, alignof(CE_NOTIFICATION_TRIGGER));
    offset = layout.trigger + sizeof(CE_NOTIFICATION_TRIGGER);
    if (entry.hasUser) {
        layout.user = alignUp(offset, alignof(CE_USER_NOTIFICATION));
        offset = layout.user + sizeof(CE_USER_NOTIFICATION);
    }
    offset = alignUp(offset, alignof(WCHAR));
    layout.stringsStart = offset;
    for (size_t i = 0; i < 5; ++i) {
        const std::optional<std::u16string>& text = *recordStrings(entry, i);
        if (!text) continue;
        layout.strings[i] = offset;
        offset += (text->size() + 1) * sizeof(WCHAR);
    }
    layout.size = offset;
    return layout;
}

// Builds the record in `buffer` (any alignment: every part is copied in whole).
void writeRecord(const NotificationEntry& entry, const RecordLayout& layout, BYTE* buffer) {
    uintptr_t base = reinterpret_cast<uintptr_t>(buffer);
    // Padding, between the parts and inside them, is zero: equal entries give equal bytes.
    std::memset(buffer, 0, layout.stringsStart);
    WCHAR* strings[5] = {};
    for (size_t i = 0; i < 5; ++i) {
        const std::optional<std::u16string>& text = *recordStrings(entry, i);
        if (!text) continue;
        strings[i] = reinterpret_cast<WCHAR*>(base + layout.strings[i]);
        std::memcpy(buffer + layout.strings[i], text->c_str(), (text->size() + 1) * sizeof(WCHAR));
    }
    CE_NOTIFICATION_INFO_HEADER header;
    std::memset(&header, 0, sizeof header);
    header.hNotification = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handle));
    header.dwStatus = 0;
    header.pcent = reinterpret_cast<CE_NOTIFICATION_TRIGGER*>(base + layout.trigger);
    header.pceun = entry.hasUser ? reinterpret_cast<CE_USER_NOTIFICATION*>(base + layout.user) : nullptr;
    CE_NOTIFICATION_TRIGGER trigger;
    std::memset(&trigger, 0, sizeof trigger);
    trigger.dwSize = sizeof(CE_NOTIFICATION_TRIGGER);
    trigger.dwType = entry.type;
    trigger.dwEvent = entry.event;
    trigger.lpszApplication = strings[0];
    trigger.lpszArguments = strings[1];
    trigger.stStartTime = entry.start;
    trigger.stEndTime = entry.end;
    std::memcpy(buffer, &header, sizeof header);
    std::memcpy(buffer + layout.trigger, &trigger, sizeof trigger);
    if (entry.hasUser) {
        CE_USER_NOTIFICATION user;
        std::memset(&user, 0, sizeof user);
        user.ActionFlags = entry.actionFlags;
        user.pwszDialogTitle = strings[2];
        user.pwszDialogText = strings[3];
        user.pwszSound = strings[4];
        user.nMaxSound = entry.maxSound;
        std::memcpy(buffer + layout.user, &user, sizeof user);
    }
}

}  // namespace

void notificationsRelease() {
    {
        StatementCache& cache = statementCache();
        std::lock_guard<std::recursive_mutex> guard(cache.lock);
        releaseStatements(cache);
        cache.db = nullptr;
    }
    // Raw records stand in for entries of this device only.
    std::lock_guard<std::mutex> guard(rawLock);
    rawRecords.clear();
}

std::vector<NotificationEntry> notificationList() {
    std::vector<NotificationEntry> entries;
    Query query(kSelectAll);
    while (query.step()) entries.push_back(readEntry(query));
    return entries;
}

bool notificationAdd(std::vector<NotificationEntry>& entries, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (!isOpen()) {
        *error = "no device is open";
        return false;
    }
    // The store's own reason when it refused (a full disk, a store that cannot be written);
    // otherwise the only other cause of a refused entry.
    auto refused = [&](const char* otherwise) {
        std::string why = storeFailure();
        *error = why.empty() ? otherwise : "the object store refused the change: " + why;
        return false;
    };
    Transaction change(store());
    if (!change.ok()) return refused("the object store refused the change");
    std::vector<DWORD> handles;
    for (const NotificationEntry& entry : entries) {
        DWORD handle = insertEntry(entry);
        if (handle == 0) return refused("every notification handle is used up");
        handles.push_back(handle);
    }
    if (!change.commit()) return refused("the object store refused the change");
    for (size_t i = 0; i < entries.size(); ++i) entries[i].handle = handles[i];
    return true;
}

bool notificationClear(DWORD handle) {
    Query remove("DELETE FROM notifications WHERE handle = ?");
    return remove.bind(1, handle).run() && sqlite3_changes(store()) > 0;
}

bool isNotificationHandle(HANDLE handle) {
    DWORD number = handleNumber(handle);
    if (number == 0 || !isOpen()) return false;
    // Every value up to the highest handed out has been a handle.
    Query query("SELECT seq FROM sqlite_sequence WHERE name = 'notifications'");
    return query.step() && number <= query.columnInt(0);
}

void notificationSetRawRecordForTest(DWORD handle, const std::string& bytes) {
    std::lock_guard<std::mutex> guard(rawLock);
    if (bytes.empty()) rawRecords.erase(handle);
    else rawRecords[handle] = bytes;
}

}  // namespace device

using namespace device;

BOOL CeGetUserNotificationHandles(HANDLE* handles, DWORD capacity, LPDWORD needed) {
    if (faultHit("CeGetUserNotificationHandles")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!needed || (!handles && capacity != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!handles) {
        Query count("SELECT COUNT(*) FROM notifications");
        if (!count.step()) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        *needed = static_cast<DWORD>(count.columnInt(0));
        return TRUE;
    }
    Query list("SELECT handle FROM notifications ORDER BY handle LIMIT ?");
    list.bind(1, static_cast<int64_t>(capacity));
    DWORD delivered = 0;
    while (list.step()) handles[delivered++] = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(list.columnInt(0)));
    *needed = delivered;
    return TRUE;
}

BOOL CeGetUserNotification(HANDLE notification, DWORD bufferSize, LPDWORD needed, LPBYTE buffer) {
    if (faultHit("CeGetUserNotification")) {
        if (needed) *needed = 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD handle = handleNumber(notification);
    std::optional<std::string> raw = rawRecordOf(handle);
    // A raw record stands in for its entry only while the entry exists.
    std::optional<NotificationEntry> entry;
    bool exists = false;
    if (handle != 0 && isOpen()) {
        if (raw) exists = entryExists(handle);
        else exists = (entry = loadEntry(handle)).has_value();
    }
    if (!exists) {
        if (needed) *needed = 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RecordLayout layout;
    if (entry) layout = layoutOf(*entry);
    size_t size = raw ? raw->size() : layout.size;
    if (needed) *needed = static_cast<DWORD>(size);
    if (!buffer || bufferSize < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (raw) std::memcpy(buffer, raw->data(), raw->size());
    else writeRecord(*entry, layout, buffer);
    return TRUE;
}

BOOL CeClearUserNotification(HANDLE notification) {
    interruptPoint();
    if (faultHit("CeClearUserNotification")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD handle = handleNumber(notification);
    // The entry as it was is read only for a record that will list it.
    bool listed = changesRecording() && !changesSummarizing();
    std::optional<NotificationEntry> cleared;
    if (handle != 0 && isOpen() && listed) cleared = loadEntry(handle);
    if (handle == 0 || !isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!notificationClear(handle)) {
        // No such entry, or one the store would not remove: the latter stays, with the reason.
        std::string refusal = storeFailure().empty() ? std::string() : storeRefusal();
        if (changesRecording() && !refusal.empty())
            changeAdd(Change{EntryKept{.entry = std::move(cleared), .reason = refusal}});
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (cleared) changeAdd(Change{EntryCleared{.entry = std::move(cleared)}});
    else if (changesRecording() && !listed) changeAdd(Change{EntryCleared{}});
    return TRUE;
}

HANDLE CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger, CE_USER_NOTIFICATION* user) {
    if (faultHit("CeSetUserNotificationEx")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD handle = handleNumber(notification);
    if (!trigger || (notification && handle == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    NotificationEntry entry;
    entry.type = trigger->dwType;
    entry.event = trigger->dwEvent;
    entry.application = copyText(trigger->lpszApplication);
    entry.arguments = copyText(trigger->lpszArguments);
    entry.start = trigger->stStartTime;
    entry.end = trigger->stEndTime;
    if (user) {
        entry.hasUser = true;
        entry.actionFlags = user->ActionFlags;
        entry.title = copyText(user->pwszDialogTitle);
        entry.text = copyText(user->pwszDialogText);
        entry.sound = copyText(user->pwszSound);
        entry.maxSound = user->nMaxSound;
    }
    // The clock stops at its last instant: a time entry after it could never come due.
    FILETIME start;
    bool timed = entry.type == CNT_TIME || entry.type == CNT_PERIOD;
    if (timed && SystemTimeToFileTime(&entry.start, &start) && fileTimeCount(start) > kClockLast) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (handle == 0) {
        std::vector<NotificationEntry> added{entry};
        if (!notificationAdd(added, nullptr)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        handle = added[0].handle;
        if (changesRecording()) changeAdd(Change{EntryAdded{.entry = added[0]}});
    } else {
        // Replacing keeps the row, so the entry keeps its place in the delivery order.
        Query update("UPDATE notifications SET type = ?1, event = ?2, application = ?3, arguments = ?4, start = ?5, "
                     "end = ?6, has_user = ?7, action_flags = ?8, title = ?9, text = ?10, sound = ?11, max_sound = ?12 "
                     "WHERE handle = ?13");
        bindEntry(update, entry);
        update.bind(13, handle);
        if (!update.run() || sqlite3_changes(store()) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        entry.handle = handle;
        if (changesRecording()) changeAdd(Change{EntryAdded{.entry = entry}});
    }
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
}
