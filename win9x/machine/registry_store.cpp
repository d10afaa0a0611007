// SQL behind the registry. Names compare without regard to ASCII case and
// keep the case they were created with; keys and values enumerate in the
// order they were created, as the Windows 9x registry file keeps them.
#include "machine/registry_store.h"

namespace win9x::registry {

namespace {

// Version 2 added the value order index and the deletion count that lets
// an enumeration continue where it stood.
constexpr int kSchemaVersion = 2;

}  // namespace

bool CreateSchema(store::Database &db)
{
    return db.EnsureSchema(kSchemaVersion, [&db] {
        return db.Exec("CREATE TABLE IF NOT EXISTS reg_keys("
                       "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       "  parent INTEGER REFERENCES reg_keys(id),"
                       "  name TEXT NOT NULL)") &&
               db.Exec("CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_by_parent ON reg_keys(parent, name COLLATE NOCASE)") &&
               db.Exec("CREATE INDEX IF NOT EXISTS reg_keys_in_order ON reg_keys(parent, id)") &&
               db.Exec("CREATE TABLE IF NOT EXISTS reg_values("
                       "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       "  key INTEGER NOT NULL REFERENCES reg_keys(id),"
                       "  name TEXT NOT NULL,"
                       "  type INTEGER NOT NULL,"
                       "  data BLOB NOT NULL)") &&
               db.Exec("CREATE UNIQUE INDEX IF NOT EXISTS reg_values_by_key ON reg_values(key, name COLLATE NOCASE)") &&
               db.Exec("CREATE INDEX IF NOT EXISTS reg_values_in_order ON reg_values(key, id)") &&
               db.Exec("CREATE TABLE IF NOT EXISTS reg_deletions(id INTEGER PRIMARY KEY CHECK (id = 1),"
                       "  count INTEGER NOT NULL)") &&
               db.Exec("INSERT OR IGNORE INTO reg_deletions(id, count) VALUES (1, 0)") &&
               db.Exec("INSERT OR IGNORE INTO reg_keys(id, parent, name) VALUES"
                       " (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_USERS')");
    });
}

// Found when a row came, Missing when the statement ran to its end without
// one, Failed when it could not run.
static Lookup Outcome(const store::Statement &stmt, bool found)
{
    if (found)
        return Lookup::Found;
    return stmt.failed() ? Lookup::Failed : Lookup::Missing;
}

Lookup KeyExists(store::Database &db, KeyId key)
{
    auto stmt = db.Prepare("SELECT 1 FROM reg_keys WHERE id = ?1");
    stmt.Bind(1, key);
    return Outcome(stmt, stmt.Step());
}

Lookup FindChild(store::Database &db, KeyId parent, std::string_view name, KeyId *child)
{
    auto stmt = db.Prepare("SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2 COLLATE NOCASE");
    stmt.Bind(1, parent).Bind(2, name);
    bool found = stmt.Step();
    if (found)
        *child = stmt.Int(0);
    return Outcome(stmt, found);
}

bool LastKeyId(store::Database &db, KeyId *last)
{
    auto stmt = db.Prepare("SELECT coalesce(max(id), 0) FROM reg_keys");
    if (!stmt.Step())
        return false;
    *last = stmt.Int(0);
    return true;
}

KeyId CreateChild(store::Database &db, KeyId parent, std::string_view name)
{
    auto stmt = db.Prepare("INSERT INTO reg_keys(parent, name) VALUES (?1, ?2)");
    stmt.Bind(1, parent).Bind(2, name);
    return stmt.Run() ? db.LastInsertId() : 0;
}

namespace {

bool Deletions(store::Database &db, int64_t *count)
{
    auto stmt = db.Prepare("SELECT count FROM reg_deletions WHERE id = 1");
    if (!stmt.Step())
        return false;
    *count = stmt.Int(0);
    return true;
}

bool CountDeletion(store::Database &db)
{
    return db.Prepare("UPDATE reg_deletions SET count = count + 1 WHERE id = 1").Run();
}

// Steps `next` (rows after ?2 in order) when the position allows, else
// `nth` (the row at offset ?2); both take the owner as ?1 and give the
// row's id first. Notes where the enumeration stands; *used is the
// statement that ran.
Lookup StepAt(store::Database &db, store::Statement &next, store::Statement &nth, int64_t owner, uint32_t index,
              EnumPosition *at, store::Statement **used)
{
    int64_t deletions = 0;
    if (!Deletions(db, &deletions))
        return Lookup::Failed;
    bool follows = at->row != 0 && at->deletions == deletions && index == at->index + 1;
    store::Statement &stmt = follows ? next : nth;
    stmt.Bind(1, owner).Bind(2, follows ? at->row : static_cast<int64_t>(index));
    *used = &stmt;
    bool found = stmt.Step();
    *at = found ? EnumPosition{index, stmt.Int(0), deletions} : EnumPosition{};
    return Outcome(stmt, found);
}

}  // namespace

Lookup ChildNameAt(store::Database &db, KeyId parent, uint32_t index, EnumPosition *at, std::string *name)
{
    auto next = db.Prepare("SELECT id, name FROM reg_keys WHERE parent = ?1 AND id > ?2 ORDER BY id LIMIT 1");
    auto nth = db.Prepare("SELECT id, name FROM reg_keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    store::Statement *used = nullptr;
    Lookup found = StepAt(db, next, nth, parent, index, at, &used);
    if (found == Lookup::Found)
        *name = used->Text(1);
    return found;
}

bool Children(store::Database &db, KeyId parent, std::vector<Child> *children)
{
    auto stmt = db.Prepare("SELECT id, name FROM reg_keys WHERE parent = ?1 ORDER BY id");
    stmt.Bind(1, parent);
    children->clear();
    while (stmt.Step())
        children->push_back(Child{stmt.Int(0), stmt.Text(1)});
    return !stmt.failed();
}

// A value row's name, type and data, from column `first` on.
static Value ReadValueRow(store::Statement &stmt, int first = 0)
{
    Value value;
    value.name = stmt.Text(first);
    value.type = static_cast<uint32_t>(stmt.Int(first + 1));
    value.data = stmt.Blob(first + 2);
    return value;
}

Lookup GetValue(store::Database &db, KeyId key, std::string_view name, Value *value)
{
    auto stmt = db.Prepare("SELECT name, type, data FROM reg_values WHERE key = ?1 AND name = ?2 COLLATE NOCASE");
    stmt.Bind(1, key).Bind(2, name);
    bool found = stmt.Step();
    if (found)
        *value = ReadValueRow(stmt);
    return Outcome(stmt, found);
}

Lookup ValueAt(store::Database &db, KeyId key, uint32_t index, EnumPosition *at, Value *value)
{
    auto next = db.Prepare("SELECT id, name, type, data FROM reg_values WHERE key = ?1 AND id > ?2 ORDER BY id LIMIT 1");
    auto nth = db.Prepare("SELECT id, name, type, data FROM reg_values WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    store::Statement *used = nullptr;
    Lookup found = StepAt(db, next, nth, key, index, at, &used);
    if (found == Lookup::Found)
        *value = ReadValueRow(*used, 1);
    return found;
}

Lookup SetValue(store::Database &db, KeyId key, std::string_view name, uint32_t type, const uint8_t *data,
                size_t size)
{
    // An existing value keeps its place in the enumeration order.
    {
        auto update =
            db.Prepare("UPDATE reg_values SET type = ?3, data = ?4 WHERE key = ?1 AND name = ?2 COLLATE NOCASE");
        update.Bind(1, key).Bind(2, name).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size);
        if (!update.Run())
            return Lookup::Failed;
        if (db.Changes() > 0)
            return Lookup::Found;
    }
    // Only a new value needs to know that its key is still there.
    Lookup exists = KeyExists(db, key);
    if (exists != Lookup::Found)
        return exists;
    auto insert = db.Prepare("INSERT INTO reg_values(key, name, type, data) VALUES (?1, ?2, ?3, ?4)");
    insert.Bind(1, key).Bind(2, name).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size);
    return insert.Run() ? Lookup::Found : Lookup::Failed;
}

Lookup DeleteValue(store::Database &db, KeyId key, std::string_view name)
{
    auto stmt = db.Prepare("DELETE FROM reg_values WHERE key = ?1 AND name = ?2 COLLATE NOCASE");
    stmt.Bind(1, key).Bind(2, name);
    if (!stmt.Run())
        return Lookup::Failed;
    if (db.Changes() == 0)
        return Lookup::Missing;
    return CountDeletion(db) ? Lookup::Found : Lookup::Failed;
}

std::optional<KeyInfo> Info(store::Database &db, KeyId key, bool *failed)
{
    // One statement: no row when the key is gone.
    auto stmt = db.Prepare(
        "SELECT (SELECT count(*) FROM reg_keys WHERE parent = k.id),"
        " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM reg_keys WHERE parent = k.id),"
        " (SELECT count(*) FROM reg_values WHERE key = k.id),"
        " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM reg_values WHERE key = k.id),"
        " (SELECT coalesce(max(length(data)), 0) FROM reg_values WHERE key = k.id)"
        " FROM reg_keys k WHERE k.id = ?1");
    stmt.Bind(1, key);
    *failed = false;
    if (!stmt.Step()) {
        *failed = stmt.failed();
        return std::nullopt;
    }
    KeyInfo info;
    info.subkeys = static_cast<uint32_t>(stmt.Int(0));
    info.maxSubkeyName = static_cast<uint32_t>(stmt.Int(1));
    info.values = static_cast<uint32_t>(stmt.Int(2));
    info.maxValueName = static_cast<uint32_t>(stmt.Int(3));
    info.maxValueData = static_cast<uint32_t>(stmt.Int(4));
    return info;
}

bool DeleteTree(store::Database &db, KeyId key)
{
    auto values = db.Prepare("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                             "  SELECT k.id FROM reg_keys k JOIN tree t ON k.parent = t.id)"
                             " DELETE FROM reg_values WHERE key IN tree");
    values.Bind(1, key);
    if (!values.Run())
        return false;
    // Children go before their parents so that no row points at a deleted key.
    auto keys = db.Prepare("WITH RECURSIVE tree(id, depth) AS (SELECT ?1, 0 UNION ALL"
                           "  SELECT k.id, t.depth + 1 FROM reg_keys k JOIN tree t ON k.parent = t.id)"
                           " SELECT id FROM tree ORDER BY depth DESC");
    keys.Bind(1, key);
    std::vector<KeyId> doomed;
    while (keys.Step())
        doomed.push_back(keys.Int(0));
    if (keys.failed())
        return false;
    for (KeyId id : doomed) {
        auto del = db.Prepare("DELETE FROM reg_keys WHERE id = ?1");
        del.Bind(1, id);
        if (!del.Run())
            return false;
    }
    return CountDeletion(db);
}

std::optional<std::pair<std::string, KeyId>> NameAndParent(store::Database &db, KeyId key)
{
    auto stmt = db.Prepare("SELECT name, coalesce(parent, 0) FROM reg_keys WHERE id = ?1");
    stmt.Bind(1, key);
    if (stmt.Step())
        return std::make_pair(stmt.Text(0), stmt.Int(1));
    return std::nullopt;
}

}  // namespace win9x::registry
