// The registry family on the object store: keys and values live in reg_keys and
// reg_values, shared by every process; opened keys are this process's own handles. A key
// deleted by another process while open makes operations on it fail, never misbehave.
#include "device/kernel/registry.h"

#include "device/core/changes.h"
#include "device/core/faults.h"
#include "device/core/folder.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/kernel/record.h"
#include "platform/winstring.h"

#include <sqlite3.h>

#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace device {
namespace {

// Errors of an open key whose key another process has deleted, and of a write the store
// refused (busy for too long, disk full).
constexpr LONG kKeyGone = ERROR_FILE_NOT_FOUND;
constexpr LONG kWriteRefused = ERROR_ACCESS_DENIED;

// The row a handle stands for. Parent and folded name are checked on every use, so a
// row id SQLite reuses after a delete is never taken for the deleted key.
struct OpenKey {
    int64_t id;
    int64_t parent;
    std::string fold;
    sqlite3* db;  // the device it was opened on
};

std::mutex keysLock;
std::map<uintptr_t, OpenKey> openKeys;
// Handles are counted up from here in steps of four: far from 0, from the roots and from
// the small numbers of kernel handles, and never reused while the process runs.
uintptr_t lastHandle = 0x40000000;

bool rootId(HKEY key, int64_t* id) {
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    uintptr_t first = reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT);
    if (value < first || value > reinterpret_cast<uintptr_t>(HKEY_USERS)) return false;
    *id = static_cast<int64_t>(value - first) + 1;
    return true;
}

// RETURNS a new handle for the key row `id`, or null when the row is gone.
HKEY insertHandle(int64_t id) {
    Statement row(store(), "SELECT parent, fold FROM reg_keys WHERE id = ?");
    if (!row.bind(1, id).step()) return nullptr;
    OpenKey entry{id, row.columnInt(0), row.columnText(1), store()};
    std::lock_guard<std::mutex> guard(keysLock);
    int64_t ignored;
    do {
        lastHandle += 4;
    } while (lastHandle == 0 || rootId(reinterpret_cast<HKEY>(lastHandle), &ignored) || openKeys.count(lastHandle));
    openKeys.emplace(lastHandle, std::move(entry));
    return reinterpret_cast<HKEY>(lastHandle);
}

// RETURNS ERROR_SUCCESS with *id set to the key row of `key`; ERROR_INVALID_HANDLE for a
// key that is not open; kKeyGone when its key was deleted.
LONG resolve(HKEY key, int64_t* id) {
    if (!isOpen()) return ERROR_INVALID_HANDLE;
    if (rootId(key, id)) return ERROR_SUCCESS;
    OpenKey entry;
    {
        std::lock_guard<std::mutex> guard(keysLock);
        auto found = openKeys.find(reinterpret_cast<uintptr_t>(key));
        if (found == openKeys.end() || found->second.db != store()) return ERROR_INVALID_HANDLE;
        entry = found->second;
    }
    Statement check(store(), "SELECT 1 FROM reg_keys WHERE id = ? AND parent = ? AND fold = ?");
    if (!check.bind(1, entry.id).bind(2, entry.parent).bind(3, entry.fold).step()) return kKeyGone;
    *id = entry.id;
    return ERROR_SUCCESS;
}

// Splits a '\'-separated path; one leading '\' is allowed, null or empty is no component.
// RETURNS false when a component is empty.
bool splitPath(LPCWSTR subKey, std::vector<std::u16string>* parts) {
    parts->clear();
    if (!subKey || !*subKey) return true;
    std::u16string_view path(subKey, wcslen(subKey));
    if (path.front() == u'\\') path.remove_prefix(1);
    while (true) {
        size_t slash = path.find(u'\\');
        std::u16string_view part = path.substr(0, slash);
        if (part.empty()) return false;
        parts->emplace_back(part);
        if (slash == std::u16string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

// RETURNS the id of the sub-key of `parent` with folded name `fold`, or 0.
int64_t findChild(int64_t parent, const std::string& fold) {
    Statement find(store(), "SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
    return find.bind(1, parent).bind(2, fold).step() ? find.columnInt(0) : 0;
}

// Follows `parts` down from the key row *id. RETURNS false when a key on the way is missing.
bool walk(const std::vector<std::u16string>& parts, int64_t* id) {
    for (const std::u16string& part : parts) {
        *id = findChild(*id, foldKey(part));
        if (*id == 0) return false;
    }
    return true;
}

// Runs a write in a transaction of its own, or within the one the caller has begun.
class WriteScope {
public:
    WriteScope() {
        if (sqlite3_get_autocommit(store())) own_.emplace(store());
    }
    bool ok() const { return !own_ || own_->ok(); }
    bool commit() { return !own_ || own_->commit(); }

private:
    std::optional<Transaction> own_;
};

std::u16string valueNameOf(LPCWSTR name) { return name ? std::u16string(name) : std::u16string(); }

// Copies one enumerated name and its data as RegEnumValueW and RegEnumKeyExW do.
LONG deliverEntry(const std::u16string& entryName, const std::string* bytes, LPWSTR name, LPDWORD nameLength,
                  LPBYTE data, LPDWORD dataSize) {
    bool nameFits = entryName.size() < *nameLength;
    bool dataFits = !bytes || !data || bytes->size() <= *dataSize;
    if (!nameFits || !dataFits) {
        if (bytes && dataSize) *dataSize = static_cast<DWORD>(bytes->size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, entryName.c_str(), (entryName.size() + 1) * sizeof(WCHAR));
    *nameLength = static_cast<DWORD>(entryName.size());
    if (bytes && data && !bytes->empty()) std::memcpy(data, bytes->data(), bytes->size());
    if (bytes && dataSize) *dataSize = static_cast<DWORD>(bytes->size());
    return ERROR_SUCCESS;
}

// Deletes the key row `id` and, with `tree`, everything beneath it; without `tree` a key
// with sub-keys is refused.
LONG deleteKey(HKEY key, LPCWSTR subKey, bool tree) {
    std::vector<std::u16string> parts;
    if (!splitPath(subKey, &parts)) return ERROR_FILE_NOT_FOUND;
    if (!isOpen()) return ERROR_INVALID_HANDLE;
    WriteScope scope;
    if (!scope.ok()) return kWriteRefused;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    if (!walk(parts, &id)) return ERROR_FILE_NOT_FOUND;
    if (id <= 4) return ERROR_ACCESS_DENIED;  // the roots
    if (!tree) {
        Statement children(store(), "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
        if (children.bind(1, id).step()) return ERROR_ACCESS_DENIED;
    }
    static const char* const kTree = "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
                                     "SELECT k.id FROM reg_keys k JOIN tree t ON k.parent = t.id) ";
    Statement values(store(), (std::string(kTree) + "DELETE FROM reg_values WHERE key IN tree").c_str());
    Statement keys(store(), (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN tree").c_str());
    if (!values.bind(1, id).run() || !keys.bind(1, id).run() || !scope.commit()) return kWriteRefused;
    return ERROR_SUCCESS;
}

}  // namespace

LONG regDeleteTree(HKEY key, LPCWSTR subKey) { return deleteKey(key, subKey, true); }

LONG regListSubKeys(HKEY key, std::vector<std::u16string>* names) {
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    names->clear();
    Statement list(store(), "SELECT name FROM reg_keys WHERE parent = ? ORDER BY id");
    list.bind(1, id);
    while (list.step()) names->push_back(toUtf16(list.columnText(0)));
    return ERROR_SUCCESS;
}

LONG regListValues(HKEY key, std::vector<RegistryValue>* values) {
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    values->clear();
    Statement list(store(), "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id");
    list.bind(1, id);
    while (list.step()) {
        values->push_back({toUtf16(list.columnText(0)), static_cast<DWORD>(list.columnInt(1)), list.columnBlob(2)});
    }
    return ERROR_SUCCESS;
}

void regCloseAll() {
    std::lock_guard<std::mutex> guard(keysLock);
    openKeys.clear();
}

}  // namespace device

using namespace device;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (faultHit("RegOpenKeyExW")) return ERROR_FILE_NOT_FOUND;
    if (!result) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> parts;
    if (!splitPath(subKey, &parts)) return ERROR_FILE_NOT_FOUND;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    if (!walk(parts, &id)) return ERROR_FILE_NOT_FOUND;
    HKEY opened = insertHandle(id);
    if (!opened) return ERROR_FILE_NOT_FOUND;  // deleted just now by another process
    *result = opened;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                     LPDWORD disposition) {
    if (faultHit("RegCreateKeyExW")) return ERROR_ACCESS_DENIED;
    if (!result) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> parts;
    if (!splitPath(subKey, &parts)) return ERROR_INVALID_PARAMETER;
    if (!isOpen()) return ERROR_INVALID_HANDLE;
    WriteScope scope;
    if (!scope.ok()) return kWriteRefused;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    bool created = false;
    Statement insert(store(), "INSERT INTO reg_keys(parent, name, fold) VALUES(?, ?, ?)");
    for (const std::u16string& part : parts) {
        std::string fold = foldKey(part);
        int64_t child = findChild(id, fold);
        created = child == 0;
        if (created) {
            insert.reset();
            if (!insert.bind(1, id).bind(2, toUtf8(part)).bind(3, fold).run()) return kWriteRefused;
            child = sqlite3_last_insert_rowid(store());
        }
        id = child;
    }
    if (!scope.commit()) return kWriteRefused;
    HKEY opened = insertHandle(id);
    if (!opened) return kKeyGone;
    *result = opened;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (faultHit("RegQueryValueExW")) return ERROR_FILE_NOT_FOUND;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    Statement query(store(), "SELECT type, data FROM reg_values WHERE key = ? AND fold = ?");
    if (!query.bind(1, id).bind(2, foldKey(valueNameOf(valueName))).step()) return ERROR_FILE_NOT_FOUND;
    std::string bytes = query.columnBlob(1);
    if (type) *type = static_cast<DWORD>(query.columnInt(0));
    if (data && bytes.size() > *dataSize) {
        *dataSize = static_cast<DWORD>(bytes.size());
        return ERROR_MORE_DATA;
    }
    if (data && !bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    if (dataSize) *dataSize = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    if (faultHit("RegSetValueExW")) return ERROR_ACCESS_DENIED;
    if ((!data && dataSize) || dataSize > INT_MAX) return ERROR_INVALID_PARAMETER;
    if (!isOpen()) return ERROR_INVALID_HANDLE;
    WriteScope scope;
    if (!scope.ok()) return kWriteRefused;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    // Replacing keeps the row, hence the value's position, and the name as first created.
    Statement upsert(store(), "INSERT INTO reg_values(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
                              "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    std::u16string name = valueNameOf(valueName);
    upsert.bind(1, id).bind(2, toUtf8(name)).bind(3, foldKey(name)).bind(4, static_cast<int64_t>(type));
    if (!upsert.bindBlob(5, data, dataSize).run() || !scope.commit()) return kWriteRefused;
    if (changesRecording()) recordValue(id, valueName, false, dataSize);
    return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD dataSize) {
    if (faultHit("RegEnumValueW")) return kKeyGone;
    if (!name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    Statement entry(store(), "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    if (!entry.bind(1, id).bind(2, static_cast<int64_t>(index)).step()) return ERROR_NO_MORE_ITEMS;
    if (type) *type = static_cast<DWORD>(entry.columnInt(1));
    std::string bytes = entry.columnBlob(2);
    return deliverEntry(toUtf16(entry.columnText(0)), &bytes, name, nameLength, data, dataSize);
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    if (faultHit("RegDeleteValueW")) return ERROR_ACCESS_DENIED;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    Statement remove(store(), "DELETE FROM reg_values WHERE key = ? AND fold = ?");
    if (!remove.bind(1, id).bind(2, foldKey(valueNameOf(valueName))).run()) {
        if (changesRecording()) recordValueKept(id, valueName, storeRefusal());
        return kWriteRefused;
    }
    if (sqlite3_changes(store()) == 0) return ERROR_FILE_NOT_FOUND;
    if (changesRecording()) recordValue(id, valueName, true, 0);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    if (faultHit("RegDeleteKeyW")) return ERROR_ACCESS_DENIED;
    return deleteKey(key, subKey, false);
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPWSTR keyClass,
                   LPDWORD classLength, FILETIME* lastWriteTime) {
    if (faultHit("RegEnumKeyExW")) return kKeyGone;
    if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
    int64_t id;
    if (LONG status = resolve(key, &id)) return status;
    Statement entry(store(), "SELECT name FROM reg_keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
    if (!entry.bind(1, id).bind(2, static_cast<int64_t>(index)).step()) return ERROR_NO_MORE_ITEMS;
    LONG status = deliverEntry(toUtf16(entry.columnText(0)), nullptr, name, nameLength, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    // Keys carry no class, and the store keeps no write times.
    if (keyClass && classLength && *classLength > 0) keyClass[0] = 0;
    if (classLength) *classLength = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
    if (faultHit("RegFlushKey")) return ERROR_WRITE_FAULT;
    int64_t id;
    if (LONG status = resolve(key, &id); status == ERROR_INVALID_HANDLE) return status;
    return storeCheckpoint() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG RegCloseKey(HKEY key) {
    if (faultHit("RegCloseKey")) return ERROR_INVALID_HANDLE;
    int64_t ignored;
    if (rootId(key, &ignored)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(keysLock);
    return openKeys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
