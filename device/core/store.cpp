// The object store's layout and access. One SQLite file in WAL mode with a busy
// timeout, so that several processes read and write one device at once; every table
// of the device is created here, so the whole layout can be read in one place.
#include "device/core/store.h"

#include "device/core/folder.h"
#include "device/core/storefiles.h"

#include <sqlite3.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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

bool diskFull(sqlite3* db) {
    return sqlite3_errcode(db) == SQLITE_FULL || sqlite3_system_errno(db) == ENOSPC;
}

// Why the last operation on `db` failed, in words for a person; empty when it did not.
std::string reasonOf(sqlite3* db) {
    int code = sqlite3_errcode(db);
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return std::string();
    std::string refused = storeFilesRefusal();
    if (!refused.empty() && ((code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_IOERR)) return refused;
    if (diskFull(db)) return "the disk is full";
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "another process holds the store";
        case SQLITE_READONLY: return "the store is read-only";
        case SQLITE_PERM:
        case SQLITE_CANTOPEN: return "the store cannot be opened for writing (permissions?)";
        case SQLITE_NOTADB: return "it is not a device's object store (not an SQLite database)";
        default: return sqlite3_errmsg(db);
    }
}

// The reason the last statement or transaction step of this thread failed, kept until one
// succeeds: the ROLLBACK that follows a failed change clears SQLite's own error.
thread_local std::string failedWith;

void noteResult(sqlite3* db, int result) {
    if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE) failedWith.clear();
    else failedWith = reasonOf(db);
}

enum class Layout { kNew, kUnstamped, kCurrent, kRefused, kUnreadable };

// Tells a store of this build from a new one and from any other file, reading only.
// RETURNS kNew (no tables yet), kUnstamped (this layout, made before the version was
// kept), kCurrent; kRefused or kUnreadable with *why set.
Layout judgeLayout(sqlite3* db, std::string* why) {
    Statement look(db, "SELECT (SELECT user_version FROM pragma_user_version), "
                       "(SELECT application_id FROM pragma_application_id), "
                       "(SELECT count(*) FROM sqlite_schema WHERE type = 'table'), "
                       "(SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND "
                       "name IN ('settings', 'reg_keys', 'reg_values', 'notifications'))");
    if (!look.step()) {
        *why = reasonOf(db);
        return (sqlite3_errcode(db) & 0xff) == SQLITE_NOTADB ? Layout::kRefused : Layout::kUnreadable;
    }
    int64_t version = look.columnInt(0), application = look.columnInt(1), tables = look.columnInt(2),
            ours = look.columnInt(3);
    if (application != 0) {
        *why = "it is not a device's object store (it belongs to another program, application id " +
               std::to_string(application) + ")";
        return Layout::kRefused;
    }
    if (version == kLayoutVersion) return Layout::kCurrent;
    if (version != 0) {
        *why = "it was made by another version of the device (layout " + std::to_string(version) +
               "; this build reads layout " + std::to_string(kLayoutVersion) + ")";
        return Layout::kRefused;
    }
    if (tables == 0) return Layout::kNew;
    if (ours != 4) {
        *why = "it is not a device's object store (it holds other tables)";
        return Layout::kRefused;
    }
    return Layout::kUnstamped;
}

// Checks the store's layout and creates or completes its tables, within the caller's
// transaction. RETURNS true; false with *error saying why the file is no store this build
// can use.
bool prepareLayout(sqlite3* db, std::string* error) {
    Layout layout = judgeLayout(db, error);
    if (layout == Layout::kRefused || layout == Layout::kUnreadable) return false;
    // Nothing to write: a device whose disk is full still opens, and reads.
    if (layout == Layout::kCurrent) return true;
    std::string stamp = "PRAGMA user_version = " + std::to_string(kLayoutVersion);
    return exec(db, kSchema, error) && exec(db, stamp.c_str(), error);
}

// `path` as an SQLite URI's path: everything but plain name characters percent-encoded.
std::string uriPath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = !path.empty() && path[0] == '/' ? "file://" : "file:";
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '.' || c == '-' || c == '_';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

// A first look at an existing file through a connection that takes no lock, makes no side
// file and writes nothing, so that a file of another program is refused as it was found.
// RETURNS the verdict, with *error set for kRefused; kUnreadable for a file that could not
// be read whole (say while a checkpoint rewrites it), which is judged again under the
// store's lock before anything is written.
Layout firstLook(const std::string& path, std::string* error) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || info.st_size == 0) return Layout::kNew;
    std::string uri = uriPath(path) + "?immutable=1";
    sqlite3* look = nullptr;
    int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW;
    Layout layout = Layout::kUnreadable;
    if (sqlite3_open_v2(uri.c_str(), &look, flags, nullptr) == SQLITE_OK) layout = judgeLayout(look, error);
    sqlite3_close(look);
    return layout;
}

// Opens the store at `path` and prepares its layout; a file the first look could not
// judge is judged before its journal mode is touched. `alone` keeps the WAL index in this
// process's memory instead of the -shm file, under an exclusive lock on the store held
// until the connection closes: other processes wait for it, as for any writer.
// RETURNS the connection, or null with *error and *full set.
sqlite3* connect(const std::string& path, bool judged, bool alone, std::string* error, bool* full) {
    *full = false;
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db ? reasonOf(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::string why;
    // The store's reason when SQLite failed, else the layout's; taken before anything
    // clears it. Closing rolls back the transaction begun.
    auto failed = [&]() -> sqlite3* {
        *full = diskFull(db);
        std::string reason = reasonOf(db);
        *error = reason.empty() ? why : reason;
        sqlite3_close(db);
        return nullptr;
    };
    if (alone && !exec(db, "PRAGMA locking_mode = EXCLUSIVE", &why)) return failed();
    if (!judged) {
        Layout layout = judgeLayout(db, &why);
        if (layout == Layout::kRefused || layout == Layout::kUnreadable) return failed();
    }
    // NORMAL is safe in WAL mode against a crash of any process; RegFlushKey checkpoints
    // for durability against power loss.
    if (!exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &why) || !exec(db, "BEGIN IMMEDIATE", &why) ||
        !prepareLayout(db, &why) || !exec(db, "COMMIT", &why)) {
        return failed();
    }
    return db;
}

}  // namespace

sqlite3* storeOpen(const std::string& path, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    storeFilesGuard();
    storeFilesForget();  // what an earlier opening was refused
    std::string why;
    sqlite3* db = nullptr;
    Layout first = Layout::kRefused;
    if (storeFilesCheck(path, &why) && (first = firstLook(path, &why)) != Layout::kRefused) {
        bool judged = first != Layout::kUnreadable;
        std::string shm = path + "-shm";
        struct stat info;
        bool hadShm = lstat(shm.c_str(), &info) == 0;
        bool full = false;
        db = connect(path, judged, false, &why, &full);
        if (!db && full) {
            // A full disk has no room for a new WAL index: this process keeps its own, in
            // memory, alone. Holding the store alone, it removes the index file its first
            // attempt began, which no other process can be using.
            db = connect(path, judged, true, &why, &full);
            if (db && !hadShm) unlink(shm.c_str());
        }
    }
    if (!db) *error = "cannot open the object store " + path + ": " + why;
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
    noteResult(sqlite3_db_handle(stmt_), lastResult_);
    return lastResult_ == SQLITE_ROW;
}

bool Statement::run() {
    if (!stmt_) return false;
    while ((lastResult_ = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    noteResult(sqlite3_db_handle(stmt_), lastResult_);
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
    if (!db_) return;
    int result = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    noteResult(db_, result);
    began_ = result == SQLITE_OK;
}

Transaction::~Transaction() {
    // A COMMIT that failed on a full disk has rolled back already; a ROLLBACK then would
    // fail too and put its own error in the place of the reason storeFailure() tells.
    if (began_ && !done_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::commit() {
    if (!began_ || done_) return false;
    int result = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    noteResult(db_, result);
    done_ = result == SQLITE_OK;
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
    std::string now = reasonOf(db);
    return now.empty() ? failedWith : now;
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
