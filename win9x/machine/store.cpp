// SQLite connection, statement cache and nestable transactions.
#include "machine/store.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

namespace win9x::store {

namespace {
// Another process of the machine may hold the write lock for a while (a long
// batch, a busy machine): wait for it rather than fail.
constexpr int kBusyTimeoutMs = 60000;
// A checkpoint syncs the log and the database, several milliseconds on a
// disk: few of them keep writes fast. The first process to open a database
// alone rebuilds the log's index by reading the whole log, a millisecond or
// more a megabyte: the last connection to close checkpoints a log larger
// than a quarter megabyte, and cuts it to nothing.
constexpr int64_t kLogBytes = 8 << 20;
constexpr int64_t kLogBytesAtClose = 256 << 10;

std::mutex g_damageMutex;
std::string g_firstDamage;

bool IsDamage(int rc)
{
    int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR;
}

// The path with its folder resolved to the folder's real path, the file's
// own name kept.
std::string ResolvedFolder(const std::string &path)
{
    std::filesystem::path given(path);
    std::error_code ec;
    auto folder = std::filesystem::canonical(given.has_parent_path() ? given.parent_path() : ".", ec);
    return ec ? path : (folder / given.filename()).string();
}

}  // namespace

std::string FirstDamage()
{
    std::lock_guard<std::mutex> guard(g_damageMutex);
    return g_firstDamage;
}

void Database::NoteFailure(int rc)
{
    if (!IsDamage(rc))
        return;
    std::lock_guard<std::mutex> guard(g_damageMutex);
    if (g_firstDamage.empty())
        g_firstDamage = std::filesystem::path(path_).filename().string() + ": " + sqlite3_errstr(rc);
}

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
    if (rc != SQLITE_DONE) {
        failed_ = true;
        db_->NoteFailure(rc);
    }
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

std::unique_ptr<Database> Database::Open(const std::string &givenPath, Create create, std::string *error)
{
    // SQLite's NOFOLLOW refuses a database whose path holds a link anywhere,
    // so the folder's own path is resolved first; the database and its
    // companion files must not be links themselves.
    std::string path = ResolvedFolder(givenPath);
    for (const auto &name : Companions(path)) {
        struct stat info;
        if (lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            if (error)
                *error = name + ": is a symbolic link";
            return nullptr;
        }
    }
    sqlite3 *db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW |
                (create == Create::Yes ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::unique_ptr<Database> result(new Database(db, path));
    // The log stays when the last connection closes: a short process
    // neither deletes and recreates it nor syncs a checkpoint on its way
    // out (see ~Database). After a checkpoint the log is cut back to what
    // is in use, so that its size tells what the next opener reads.
    int keep = 1;
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    // In WAL mode, NORMAL syncs only at checkpoints: a killed process or a
    // power cut never corrupts the database; a power cut may lose the last
    // transactions.
    if (!result->Exec("PRAGMA synchronous=NORMAL") || !result->Exec("PRAGMA foreign_keys=ON") ||
        !result->Exec("PRAGMA journal_size_limit=0")) {
        if (error)
            *error = "cannot prepare " + path + ": " + sqlite3_errmsg(db);
        return nullptr;
    }
    // The page is made with the database; every process of the machine
    // counts on the same one, so one that is missing or damaged is an error
    // rather than a new page of this process alone.
    if (!result->shared_.Map(path + "-changes", create == Create::Yes)) {
        if (error)
            *error = "cannot map " + path + "-changes: not a page of " + std::to_string(SharedPage::kBytes) + " bytes";
        return nullptr;
    }
    return result;
}

std::vector<std::string> Database::Companions(const std::string &path)
{
    return {path, path + "-wal", path + "-shm", path + "-journal", path + "-changes"};
}

Database::~Database()
{
    // SQLite checkpoints when the last connection closes, if allowed to.
    struct stat log {};
    if (stat((path_ + "-wal").c_str(), &log) == 0 && log.st_size > kLogBytesAtClose)
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    for (auto &entry : cache_)
        sqlite3_finalize(entry.second);
    for (sqlite3_stmt *stmt : {begin_, beginWrite_, commit_, rollback_})
        sqlite3_finalize(stmt);
    for (auto &depth : savepoints_) {
        for (sqlite3_stmt *stmt : depth)
            sqlite3_finalize(stmt);
    }
    sqlite3_close(db_);
}

bool Database::Exec(const char *sql)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        NoteFailure(sqlite3_extended_errcode(db_));
    return rc == SQLITE_OK;
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
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        NoteFailure(sqlite3_extended_errcode(db_));
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

int Database::SchemaVersion()
{
    auto stmt = Prepare("PRAGMA user_version");
    return stmt.Step() ? static_cast<int>(stmt.Int(0)) : -1;
}

bool Database::SetSchemaVersion(int version)
{
    // PRAGMA takes no parameters.
    return Exec(("PRAGMA user_version=" + std::to_string(version)).c_str());
}

bool Database::LimitLog()
{
    auto stmt = Prepare("PRAGMA page_size");
    if (!stmt.Step() || stmt.Int(0) <= 0)
        return false;
    return Exec(("PRAGMA wal_autocheckpoint=" + std::to_string(kLogBytes / stmt.Int(0))).c_str());
}

bool Database::EnsureSchema(int version, const std::function<bool()> &setUp)
{
    if (SchemaVersion() >= version)
        return LimitLog();
    // Page size and journal mode are the file's own and cannot change in a
    // transaction; the page size only takes on a file that has no table yet.
    // Small pages keep the log small: every commit writes whole pages to it,
    // and the checkpoint that syncs the log costs what the log holds.
    if (!Exec("PRAGMA page_size=1024") || !Exec("PRAGMA journal_mode=WAL"))
        return false;
    Transaction tx(*this, Transaction::Mode::Write);
    if (!tx.ok())
        return false;
    // Another process may have done it while this one waited for the lock.
    if (SchemaVersion() < version && !(setUp() && SetSchemaVersion(version)))
        return false;
    return tx.Commit() && LimitLog();
}

bool Database::RunControl(sqlite3_stmt **slot, const char *sql)
{
    if (!*slot && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, slot, nullptr) != SQLITE_OK)
        return false;
    int rc = sqlite3_step(*slot);
    sqlite3_reset(*slot);
    if (rc != SQLITE_DONE)
        NoteFailure(rc);
    return rc == SQLITE_DONE;
}

// which: 0 starts the savepoint of this depth, 1 releases it, 2 undoes it.
bool Database::Savepoint(int depth, int which)
{
    if (savepoints_.size() < static_cast<size_t>(depth))
        savepoints_.resize(depth, std::vector<sqlite3_stmt *>(3, nullptr));
    static const char *const kVerbs[] = {"SAVEPOINT sp", "RELEASE sp", "ROLLBACK TO sp"};
    std::string sql = kVerbs[which] + std::to_string(depth);
    return RunControl(&savepoints_[depth - 1][which], sql.c_str());
}

Transaction::Transaction(Database &db, Mode mode) : lock_(db.mutex()), db_(db)
{
    if (db_.depth_ == 0) {
        outermost_ = true;
        ok_ = db_.RunControl(mode == Mode::Write ? &db_.beginWrite_ : &db_.begin_,
                             mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
        changesAtBegin_ = sqlite3_total_changes64(db_.db_);
    } else {
        depth_ = db_.depth_;
        ok_ = db_.Savepoint(depth_, 0);
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
    if (outermost_)
        return CommitOutermost();
    return db_.Savepoint(depth_, 1);
}

// Other processes learn of a change through the shared generation, marked
// around the commit while this connection still holds the write lock.
bool Transaction::CommitOutermost()
{
    uint64_t mark = 0;
    if (sqlite3_txn_state(db_.db_, "main") == SQLITE_TXN_WRITE && sqlite3_total_changes64(db_.db_) != changesAtBegin_)
        mark = db_.shared_.BeginChange();
    bool committed = db_.RunControl(&db_.commit_, "COMMIT");
    if (!committed)
        db_.RunControl(&db_.rollback_, "ROLLBACK");
    db_.shared_.EndChange(mark);
    return committed;
}

Transaction::~Transaction()
{
    if (done_)
        return;
    --db_.depth_;
    if (outermost_) {
        db_.RunControl(&db_.rollback_, "ROLLBACK");
    } else {
        db_.Savepoint(depth_, 2);
        db_.Savepoint(depth_, 1);
    }
}

}  // namespace win9x::store
