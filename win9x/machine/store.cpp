// SQLite connection, statement cache and nestable transactions.
#include "machine/store.h"

#include <cstdio>

namespace win9x::store {

namespace {
// Another process of the machine may hold the write lock for a while (a long
// batch, a busy machine): wait for it rather than fail.
constexpr int kBusyTimeoutMs = 60000;
}  // namespace

Statement::Statement(Database &db, sqlite3_stmt *stmt, bool cached) : db_(&db), stmt_(stmt), cached_(cached)
{
    if (!stmt_)
        failed_ = true;
}

Statement::Statement(Statement &&other) noexcept
    : db_(other.db_), stmt_(other.stmt_), cached_(other.cached_), failed_(other.failed_)
{
    other.stmt_ = nullptr;
}

Statement::~Statement()
{
    if (!stmt_)
        return;
    if (cached_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        db_->inUse_[stmt_] = false;
    } else {
        sqlite3_finalize(stmt_);
    }
}

Statement &Statement::Bind(int index, int64_t value)
{
    if (stmt_ && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        failed_ = true;
    return *this;
}

Statement &Statement::Bind(int index, std::string_view text)
{
    if (stmt_ && sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        failed_ = true;
    return *this;
}

Statement &Statement::BindBlob(int index, const void *data, size_t size)
{
    // A zero-length blob must still be a blob, not NULL.
    static const char empty = 0;
    if (stmt_ && sqlite3_bind_blob(stmt_, index, size ? data : &empty, static_cast<int>(size), SQLITE_TRANSIENT) != SQLITE_OK)
        failed_ = true;
    return *this;
}

Statement &Statement::BindNull(int index)
{
    if (stmt_ && sqlite3_bind_null(stmt_, index) != SQLITE_OK)
        failed_ = true;
    return *this;
}

bool Statement::Step()
{
    if (!stmt_ || failed_)
        return false;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        failed_ = true;
    return false;
}

bool Statement::Run()
{
    while (Step()) {
    }
    return !failed_;
}

int64_t Statement::Int(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const
{
    const unsigned char *text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text ? std::string(reinterpret_cast<const char *>(text), static_cast<size_t>(size)) : std::string();
}

std::vector<uint8_t> Statement::Blob(int column) const
{
    const uint8_t *data = static_cast<const uint8_t *>(sqlite3_column_blob(stmt_, column));
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

bool Statement::IsNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::unique_ptr<Database> Database::Open(const std::string &path, Create create, std::string *error)
{
    sqlite3 *db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create == Create::Yes ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::unique_ptr<Database> result(new Database(db));
    // WAL lets readers go on while a writer works; NORMAL sync keeps the
    // database consistent across a killed process.
    if (!result->Exec("PRAGMA journal_mode=WAL") || !result->Exec("PRAGMA synchronous=NORMAL") ||
        !result->Exec("PRAGMA foreign_keys=ON")) {
        if (error)
            *error = "cannot prepare " + path + ": " + sqlite3_errmsg(db);
        return nullptr;
    }
    return result;
}

Database::~Database()
{
    for (auto &entry : cache_)
        sqlite3_finalize(entry.second);
    sqlite3_close(db_);
}

bool Database::Exec(const char *sql)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement Database::Prepare(const char *sql)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    auto found = cache_.find(sql);
    if (found != cache_.end() && !inUse_[found->second]) {
        inUse_[found->second] = true;
        return Statement(*this, found->second, true);
    }
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "win9x: cannot prepare statement: %s\n", sqlite3_errmsg(db_));
        return Statement(*this, nullptr, false);
    }
    if (found != cache_.end())  // the cached one is busy in an outer use
        return Statement(*this, stmt, false);
    cache_[sql] = stmt;
    inUse_[stmt] = true;
    return Statement(*this, stmt, true);
}

int64_t Database::LastInsertId() const
{
    return sqlite3_last_insert_rowid(db_);
}

int Database::Changes() const
{
    return sqlite3_changes(db_);
}

Transaction::Transaction(Database &db, Mode mode) : lock_(db.mutex()), db_(db)
{
    if (db_.depth_ == 0) {
        outermost_ = true;
        ok_ = sqlite3_exec(db_.db_, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) ==
              SQLITE_OK;
    } else {
        savepoint_ = "sp" + std::to_string(db_.depth_);
        ok_ = sqlite3_exec(db_.db_, ("SAVEPOINT " + savepoint_).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    if (ok_)
        ++db_.depth_;
    else
        done_ = true;
}

bool Transaction::Commit()
{
    if (done_)
        return false;
    done_ = true;
    --db_.depth_;
    if (outermost_) {
        if (sqlite3_exec(db_.db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_exec(db_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        return true;
    }
    return sqlite3_exec(db_.db_, ("RELEASE " + savepoint_).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

Transaction::~Transaction()
{
    if (done_)
        return;
    --db_.depth_;
    if (outermost_) {
        sqlite3_exec(db_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        std::string undo = "ROLLBACK TO " + savepoint_ + "; RELEASE " + savepoint_;
        sqlite3_exec(db_.db_, undo.c_str(), nullptr, nullptr, nullptr);
    }
}

}  // namespace win9x::store
