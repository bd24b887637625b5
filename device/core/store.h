// The object store: one SQLite database beside fs/ in WAL mode, shared by every process
// using the device. Each statement helper here reports failures by result, never throws.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace device {

// Opens the store file at `path`, creating its tables when missing (an empty or missing
// file is a new store). The file is judged before anything is written to it: a store of
// another version, or an SQLite file that holds other tables, is refused unchanged; so is a
// store file or side file that is a link, a folder or shares its host file with another
// name. On a disk too full for a new WAL index, the process keeps the index in memory and
// holds the store alone until it closes it (other processes wait for it, as for a writer).
// RETURNS the connection, or null with *error set ("cannot open the object store P: why").
sqlite3* storeOpen(const std::string& path, std::string* error);

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int index, int64_t value);
    Statement& bind(int index, const std::string& text);
    Statement& bindBlob(int index, const void* data, size_t size);
    Statement& bindNull(int index);
    // RETURNS true while a row is available.
    bool step();
    // RETURNS true when the statement ran to its end without error.
    bool run();
    void reset();
    int64_t columnInt(int column) const;
    std::string columnText(int column) const;
    std::string columnBlob(int column) const;
    bool columnIsNull(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int lastResult_ = 0;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless commit() succeeded.
// Several statements of one operation become one atomic change for other processes.
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool ok() const { return began_; }
    bool commit();

private:
    sqlite3* db_;
    bool began_ = false;
    bool done_ = false;
};

// Device settings kept in the store (clock, platform version, locale, ...).
// RETURNS the stored text, or `fallback` when the setting is absent.
std::string settingGet(const std::string& name, const std::string& fallback);
bool settingSet(const std::string& name, const std::string& value);

// Why the last store operation of this process failed, in words for a person: "the disk
// is full", "another process holds the store", a side
// file refused by name, ... with SQLite's own message otherwise;
// empty when the last operation did not fail.
std::string storeFailure();

// The same, as the short reason a record of changes gives for a change the store
// refused: "store read-only", "disk full", "store busy", or "refused" for anything else.
std::string storeRefusal();

// Writes everything committed so far into the database file and syncs it.
bool storeCheckpoint();

}  // namespace device
