// A machine's SQLite databases: one connection per process and database,
// shared by the process's threads, with nestable transactions.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace win9x::store {

class Database;

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
    // Create::No opens an existing database only: a missing file is an
    // error, never a new empty database.
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

    // Serialises this process's threads on the connection.
    std::recursive_mutex &mutex() { return mutex_; }

private:
    explicit Database(sqlite3 *db) : db_(db) {}
    friend class Statement;
    friend class Transaction;

    sqlite3 *db_;
    std::recursive_mutex mutex_;
    std::map<const char *, sqlite3_stmt *> cache_;
    std::map<sqlite3_stmt *, bool> inUse_;
    int depth_ = 0;
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
    std::unique_lock<std::recursive_mutex> lock_;
    Database &db_;
    bool ok_ = false;
    bool done_ = false;
    bool outermost_ = false;
    std::string savepoint_;
};

}  // namespace win9x::store
