// SQL behind the registry. Names compare without regard to ASCII case and
// keep the case they were created with; keys and values enumerate in the
// order they were created, as the Windows 9x registry file keeps them.
#include "machine/registry_store.h"

namespace win9x::registry {

bool CreateSchema(store::Database &db)
{
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
           db.Exec("INSERT OR IGNORE INTO reg_keys(id, parent, name) VALUES"
                   " (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_USERS')");
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

Lookup ChildNameAt(store::Database &db, KeyId parent, uint32_t index, std::string *name)
{
    auto stmt = db.Prepare("SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    stmt.Bind(1, parent).Bind(2, static_cast<int64_t>(index));
    bool found = stmt.Step();
    if (found)
        *name = stmt.Text(0);
    return Outcome(stmt, found);
}

static Value ReadValueRow(store::Statement &stmt)
{
    Value value;
    value.name = stmt.Text(0);
    value.type = static_cast<uint32_t>(stmt.Int(1));
    value.data = stmt.Blob(2);
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

Lookup ValueAt(store::Database &db, KeyId key, uint32_t index, Value *value)
{
    auto stmt = db.Prepare("SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    stmt.Bind(1, key).Bind(2, static_cast<int64_t>(index));
    bool found = stmt.Step();
    if (found)
        *value = ReadValueRow(stmt);
    return Outcome(stmt, found);
}

bool SetValue(store::Database &db, KeyId key, std::string_view name, uint32_t type, const uint8_t *data, size_t size)
{
    // An existing value keeps its place in the enumeration order.
    auto update = db.Prepare("UPDATE reg_values SET type = ?3, data = ?4 WHERE key = ?1 AND name = ?2 COLLATE NOCASE");
    update.Bind(1, key).Bind(2, name).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size);
    if (!update.Run())
        return false;
    if (db.Changes() > 0)
        return true;
    auto insert = db.Prepare("INSERT INTO reg_values(key, name, type, data) VALUES (?1, ?2, ?3, ?4)");
    insert.Bind(1, key).Bind(2, name).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size);
    return insert.Run();
}

bool DeleteValue(store::Database &db, KeyId key, std::string_view name, bool *failed)
{
    auto stmt = db.Prepare("DELETE FROM reg_values WHERE key = ?1 AND name = ?2 COLLATE NOCASE");
    stmt.Bind(1, key).Bind(2, name);
    *failed = !stmt.Run();
    return !*failed && db.Changes() > 0;
}

std::optional<KeyInfo> Info(store::Database &db, KeyId key)
{
    KeyInfo info;
    auto keys =
        db.Prepare("SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) FROM reg_keys WHERE parent = ?1");
    keys.Bind(1, key);
    if (!keys.Step())
        return std::nullopt;
    info.subkeys = static_cast<uint32_t>(keys.Int(0));
    info.maxSubkeyName = static_cast<uint32_t>(keys.Int(1));
    auto values = db.Prepare("SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
                             " coalesce(max(length(data)), 0) FROM reg_values WHERE key = ?1");
    values.Bind(1, key);
    if (!values.Step())
        return std::nullopt;
    info.values = static_cast<uint32_t>(values.Int(0));
    info.maxValueName = static_cast<uint32_t>(values.Int(1));
    info.maxValueData = static_cast<uint32_t>(values.Int(2));
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
    return true;
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
