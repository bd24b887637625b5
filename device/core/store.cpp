// The object store's layout and access. One SQLite file in WAL mode with a busy
// timeout, so that several processes read and write one device at once; every table
// of the device is created here, so the whole layout can be read in one place.
#include "device/core/store.h"

#include "device/core/folder.h"

#include <sqlite3.h>

#include <cerrno>

namespace device {
namespace {

// Waiting this long for another process's write is far longer than any of our
// transactions takes, so a busy store only ever means a stuck process.
constexpr int kBusyTimeoutMs = 10000;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS settings(
    name  TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
-- Registry keys; the four roots are rows 1 to 4 (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
-- HKEY_LOCAL_MACHINE, HKEY_USERS) with parent 0. `fold` is the lower-cased name.
CREATE TABLE IF NOT EXISTS reg_keys(
    id     INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name   TEXT NOT NULL,
    fold   TEXT NOT NULL,
    UNIQUE(parent, fold)
);
-- Registry values in creation order (by id); data holds the bytes exactly as set.
CREATE TABLE IF NOT EXISTS reg_values(
    id    INTEGER PRIMARY KEY,
    key   INTEGER NOT NULL,
    name  TEXT NOT NULL,
    fold  TEXT NOT NULL,
    type  INTEGER NOT NULL,
    data  BLOB NOT NULL,
    UNIQUE(key, fold)
);
-- The notification queue in delivery order (by handle, which AUTOINCREMENT never
-- reuses). Strings are UTF-16LE blobs, NULL when absent; times are the 16 bytes of a
-- SYSTEMTIME exactly as given, calendar date or not.
CREATE TABLE IF NOT EXISTS notifications(
    handle       INTEGER PRIMARY KEY AUTOINCREMENT,
    type         INTEGER NOT NULL,
    event        INTEGER NOT NULL,
    application  BLOB,
    arguments    BLOB,
    start        BLOB NOT NULL,
    end          BLOB NOT NULL,
    has_user     INTEGER NOT NULL,
    action_flags INTEGER NOT NULL,
    title        BLOB,
    text         BLOB,
    sound        BLOB,
    max_sound    INTEGER NOT NULL
);
-- Program files with a host program behind them: a start of the device path `path`
-- (`fold`: lower-cased) runs the host executable `host` on the same device.
CREATE TABLE IF NOT EXISTS programs(
    fold TEXT PRIMARY KEY,
    path TEXT NOT NULL,
    host TEXT NOT NULL
);
-- The event journal in order (by id). `time` is the device time as a FILETIME count.
-- start: application, arguments (the command line), found, host_ran;
-- restart: requester ('shell' or 'kernel'); fire: entry (its handle), application, arguments;
-- foreground: application (the window's class), arguments (its title).
CREATE TABLE IF NOT EXISTS events(
    id          INTEGER PRIMARY KEY AUTOINCREMENT,
    kind        TEXT NOT NULL,
    time        INTEGER NOT NULL,
    application TEXT,
    arguments   TEXT,
    found       INTEGER NOT NULL DEFAULT 0,
    host_ran    INTEGER NOT NULL DEFAULT 0,
    requester   TEXT NOT NULL DEFAULT '',
    entry       INTEGER NOT NULL DEFAULT 0
);
-- Top-level windows of every process of the device, for FindWindowW. `pid` and `started`
-- (the process's start time in clock ticks since boot) tell a live owner from an ended one
-- whose pid was reused; the fold_ columns are lower-cased. `forward` counts the requests of
-- other processes to bring the window to the front that its owner has not served yet.
CREATE TABLE IF NOT EXISTS windows(
    id         INTEGER PRIMARY KEY AUTOINCREMENT,
    pid        INTEGER NOT NULL,
    started    INTEGER NOT NULL,
    class      TEXT NOT NULL,
    title      TEXT NOT NULL,
    fold_class TEXT NOT NULL,
    fold_title TEXT NOT NULL,
    forward    INTEGER NOT NULL DEFAULT 0
);
INSERT OR IGNORE INTO reg_keys(id, parent, name, fold) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
    (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),
    (3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine'),
    (4, 0, 'HKEY_USERS', 'hkey_users');
)sql";

// The layout version kept in the store file's user_version. A store without one is either
// new (no tables yet) or was made before the version was kept, with this same layout.
constexpr int kLayoutVersion = 1;

bool exec(sqlite3* db, const char* sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (error) *error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

int64_t queryNumber(sqlite3* db, const char* sql) {
    Statement query(db, sql);
    return query.step() ? query.columnInt(0) : -1;
}

// Checks the store's layout version and creates or completes its tables, within the
// caller's transaction. RETURNS true; false with *error saying why the file is no store
// this build can use.
bool prepareLayout(sqlite3* db, std::string* error) {
    int64_t version = queryNumber(db, "PRAGMA user_version");
    if (version < 0) {
        *error = sqlite3_errmsg(db);
        return false;
    }
    if (version == 0) {
        int64_t tables = queryNumber(db, "SELECT count(*) FROM sqlite_schema WHERE type = 'table'");
        int64_t ours = queryNumber(db, "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND "
                                       "name IN ('settings', 'reg_keys', 'reg_values', 'notifications')");
        if (tables > 0 && ours != 4) {
            *error = "it is not a device's object store (it holds other tables)";
            return false;
        }
    } else if (version != kLayoutVersion) {
        *error = "it was made by another version of the device (layout " + std::to_string(version) +
                 "; this build reads layout " + std::to_string(kLayoutVersion) + ")";
        return false;
    } else {
        // Nothing to write: a device whose disk is full still opens, and reads.
        return true;
    }
    std::string stamp = "PRAGMA user_version = " + std::to_string(kLayoutVersion);
    return exec(db, kSchema, error) && exec(db, stamp.c_str(), error);
}

}  // namespace

sqlite3* storeOpen(const std::string& path, std::string* error) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error) *error = "cannot open the object store " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // NORMAL is safe in WAL mode against a crash of any process; RegFlushKey checkpoints
    // for durability against power loss.
    bool ready = exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error) &&
                 exec(db, "BEGIN IMMEDIATE", error);
    if (ready) {
        ready = prepareLayout(db, error);
        ready = exec(db, ready ? "COMMIT" : "ROLLBACK", ready ? error : nullptr) && ready;
    }
    if (!ready) {
        if (error) *error = "cannot prepare the object store " + path + ": " + *error;
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

Statement::Statement(sqlite3* db, const char* sql) {
    if (db && sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::bind(int index, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, size_t size) {
    // A zero-length blob must still be a blob, not NULL.
    static const char empty = 0;
    if (stmt_) sqlite3_bind_blob(stmt_, index, size ? data : &empty, static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (stmt_) sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Statement::step() {
    if (!stmt_) return false;
    lastResult_ = sqlite3_step(stmt_);
    return lastResult_ == SQLITE_ROW;
}

bool Statement::run() {
    if (!stmt_) return false;
    while ((lastResult_ = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    return lastResult_ == SQLITE_DONE;
}

void Statement::reset() {
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

int64_t Statement::columnInt(int column) const { return stmt_ ? sqlite3_column_int64(stmt_, column) : 0; }

std::string Statement::columnText(int column) const {
    if (!stmt_) return std::string();
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column)) : std::string();
}

std::string Statement::columnBlob(int column) const {
    if (!stmt_) return std::string();
    const void* data = sqlite3_column_blob(stmt_, column);
    return data ? std::string(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, column)) : std::string();
}

bool Statement::columnIsNull(int column) const {
    return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(sqlite3* db) : db_(db) {
    began_ = db_ && sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

Transaction::~Transaction() {
    // A COMMIT that failed on a full disk has rolled back already; a ROLLBACK then would
    // fail too and put its own error in the place of the reason storeFailure() tells.
    if (began_ && !done_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::commit() {
    if (!began_ || done_) return false;
    done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return done_;
}

std::string settingGet(const std::string& name, const std::string& fallback) {
    Statement query(store(), "SELECT value FROM settings WHERE name = ?");
    query.bind(1, name);
    return query.step() ? query.columnText(0) : fallback;
}

bool settingSet(const std::string& name, const std::string& value) {
    Statement update(store(), "INSERT INTO settings(name, value) VALUES(?, ?) "
                              "ON CONFLICT(name) DO UPDATE SET value = excluded.value");
    return update.bind(1, name).bind(2, value).run();
}

std::string storeFailure() {
    sqlite3* db = store();
    if (!db) return "no device is open";
    int code = sqlite3_errcode(db);
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return std::string();
    if (code == SQLITE_FULL || sqlite3_system_errno(db) == ENOSPC) return "the disk is full";
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "another process holds the store";
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN: return "the store cannot be written (permissions?)";
        default: return sqlite3_errmsg(db);
    }
}

std::string storeRefusal() {
    sqlite3* db = store();
    int code = db ? sqlite3_errcode(db) : SQLITE_CANTOPEN;
    if (code == SQLITE_FULL || (db && sqlite3_system_errno(db) == ENOSPC)) return "disk full";
    if (code == SQLITE_READONLY || code == SQLITE_PERM || code == SQLITE_CANTOPEN) return "store read-only";
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return "store busy";
    return "refused";
}

bool storeCheckpoint() {
    sqlite3* db = store();
    if (!db) return false;
    // FULL waits for readers to finish with old frames, then syncs the database file.
    return sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace device
