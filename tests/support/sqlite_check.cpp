#include "support/sqlite_check.h"

#include <sqlite3.h>

namespace ovltest {

std::string IntegrityCheck(const std::string &databasePath)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::string reason = "cannot open " + databasePath + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return reason;
    }
    sqlite3_busy_timeout(db, 5000);
    std::string verdict;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK) {
        verdict = std::string("cannot check: ") + sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            if (!verdict.empty())
                verdict += "; ";
            verdict += reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        }
        if (verdict.empty())
            verdict = std::string("no verdict: ") + sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return verdict;
}

std::string MachineIntegrity(const std::string &machineDir)
{
    std::string verdict;
    for (const char *db : {"registry.db", "machine.db"}) {
        std::string one = IntegrityCheck(machineDir + "/" + db);
        if (one != "ok")
            verdict += (verdict.empty() ? "" : "; ") + std::string(db) + ": " + one;
    }
    return verdict.empty() ? "ok" : verdict;
}

}  // namespace ovltest
