// The floor of a start that does nothing: open the device's store with SQLite and read
// one row, as any program that keeps its state there must.
//   store_floor STORE.DB
#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: store_floor STORE.DB\n");
        return 2;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    sqlite3_stmt* row = nullptr;
    int found = 0;
    if (sqlite3_prepare_v2(db, "SELECT * FROM reg_values LIMIT 1", -1, &row, nullptr) == SQLITE_OK)
        found = sqlite3_step(row) == SQLITE_ROW;
    sqlite3_finalize(row);
    sqlite3_close(db);
    if (!found) std::fprintf(stderr, "no row in reg_values\n");
    return 0;
}
