// A machine's SQLite databases: one connection per process and database,
// shared by the process's threads, with nestable transactions.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "machine/shared_page.h"

namespace win9x::store {

class Database;

// The first sign this process met that a database file itself is damaged
// (SQLite found it corrupt, not a database, or could not read or write it):
// "registry.db: database disk image is malformed", or empty. A busy lock or a
// refused value is no damage.
std::string FirstDamage();

// A prepared statement from the database's cache; reset when it goes.
class Statement {
public:
    Statement(Database &db, sqlite3_stmt *stmt, bool cached);
    Statement(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement();

    Statement &Bind(int index, int64_t value);
    Statement &Bind(int index, std::string_view text);
    Statement &BindBlob(int index, const void *data, size_t size);
    Statement &BindNull(int index);

    // Steps once: true while a row is available.
    bool Step();
    // Runs to completion; false on an error.
    bool Run();
    bool failed() const { return failed_; }

    int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<uint8_t> Blob(int column) const;
    bool IsNull(int column) const;

private:
    Database *db_;
    sqlite3_stmt *stmt_;
    bool cached_;
    bool failed_ = false;
};

class Database {
public:
    // Opens the database, its write-ahead log kept between connections and
    // its shared page (path + "-changes"). Create::No opens an existing
    // database only: a missing file is an error, never a new empty database.
    // The log is checkpointed when it grows past a few megabytes, by the
    // commit that crosses that, and by the last connection to close when it
    // holds more than the next process to open the database alone would care
    // to read through.
    enum class Create { No, Yes };
    static std::unique_ptr<Database> Open(const std::string &path, Create create, std::string *error);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Runs SQL without results (schema, pragmas); false on an error.
    bool Exec(const char *sql);
    Statement Prepare(const char *sql);
    int64_t LastInsertId() const;
    int Changes() const;
    sqlite3 *handle() const { return db_; }
    const std::string &path() const { return path_; }

    // The schema version recorded in the file (PRAGMA user_version), or -1
    // when the file cannot be read.
    int SchemaVersion();
    bool SetSchemaVersion(int version);
    // Brings the tables to `version` with `setUp`, in WAL mode and in one
    // write transaction, unless the file records that version or a later
    // one: a machine that is up to date is opened without a write.
    bool EnsureSchema(int version, const std::function<bool()> &setUp);

    // Serialises this process's threads on the connection.
    std::recursive_mutex &mutex() { return mutex_; }
    // Whether a transaction of this connection is open (ask with the mutex held).
    bool InTransaction() const { return depth_ > 0; }

    // See SharedPage: changes with every change any process commits.
    uint64_t Generation() const { return shared_.Generation(); }
    SharedPage &shared() { return shared_; }

    // The file names beside a database that belong to it.
    static std::vector<std::string> Companions(const std::string &path);

private:
    Database(sqlite3 *db, std::string path) : db_(db), path_(std::move(path)) {}
    friend class Statement;
    friend class Transaction;

    // Runs one of the transaction statements, prepared once.
    bool RunControl(sqlite3_stmt **slot, const char *sql);
    bool Savepoint(int depth, int which);
    // Sizes the log's checkpoint threshold by the file's page size.
    bool LimitLog();
    // Keeps what a failed SQLite call says when it tells of damage.
    void NoteFailure(int rc);

    sqlite3 *db_;
    std::string path_;
    std::recursive_mutex mutex_;
    std::map<const char *, sqlite3_stmt *> cache_;
    std::map<sqlite3_stmt *, bool> inUse_;
    int depth_ = 0;
    SharedPage shared_;
    sqlite3_stmt *begin_ = nullptr;
    sqlite3_stmt *beginWrite_ = nullptr;
    sqlite3_stmt *commit_ = nullptr;
    sqlite3_stmt *rollback_ = nullptr;
    // SAVEPOINT, RELEASE and ROLLBACK TO for each nesting depth.
    std::vector<std::vector<sqlite3_stmt *>> savepoints_;
};

// One transaction, or a savepoint inside an enclosing one of this thread.
// Holds the database's lock for its whole life. Not committed: rolled back.
class Transaction {
public:
    enum class Mode { Read, Write };
    Transaction(Database &db, Mode mode);
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    ~Transaction();

    bool ok() const { return ok_; }
    bool Commit();

private:
    bool CommitOutermost();

    std::unique_lock<std::recursive_mutex> lock_;
    Database &db_;
    bool ok_ = false;
    bool done_ = false;
    bool outermost_ = false;
    int depth_ = 0;  // this savepoint's depth
    sqlite3_int64 changesAtBegin_ = 0;
};

}  // namespace win9x::store
