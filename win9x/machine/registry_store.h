// The registry's tables: keys with their parent, values in creation order.
// Every function runs inside the caller's transaction on registry.db.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/store.h"

namespace win9x::registry {

using KeyId = int64_t;

// Root keys, created with the database.
inline constexpr KeyId kLocalMachineId = 1;
inline constexpr KeyId kCurrentUserId = 2;
inline constexpr KeyId kUsersId = 3;

struct Value {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Child {
    KeyId id = 0;
    std::string name;
};

struct KeyInfo {
    uint32_t subkeys = 0;
    uint32_t maxSubkeyName = 0;  // characters
    uint32_t values = 0;
    uint32_t maxValueName = 0;  // characters
    uint32_t maxValueData = 0;  // bytes
};

// What a lookup found: the row, no such row, or a database that could not
// be read (so that a failed read is never mistaken for a missing name).
enum class Lookup { Found, Missing, Failed };

// Where an enumeration by index stands: the row at `index` was `row`. The
// next index continues after that row, as long as no key or value has been
// deleted since (`deletions`); rows made later always come last.
struct EnumPosition {
    uint32_t index = 0;
    int64_t row = 0;  // 0: nothing remembered
    int64_t deletions = 0;
};

// Creates the tables, or brings an older file's up to date.
bool CreateSchema(store::Database &db);
Lookup KeyExists(store::Database &db, KeyId key);
Lookup FindChild(store::Database &db, KeyId parent, std::string_view name, KeyId *child);
// The highest key row so far; rows above it are made later.
bool LastKeyId(store::Database &db, KeyId *last);
// Creates the child (its name kept as given); 0 on failure.
KeyId CreateChild(store::Database &db, KeyId parent, std::string_view name);
// The child at `index` in creation order, continuing from *at when it can.
Lookup ChildNameAt(store::Database &db, KeyId parent, uint32_t index, EnumPosition *at, std::string *name);
// Every child in creation order.
bool Children(store::Database &db, KeyId parent, std::vector<Child> *children);
Lookup GetValue(store::Database &db, KeyId key, std::string_view name, Value *value);
Lookup ValueAt(store::Database &db, KeyId key, uint32_t index, EnumPosition *at, Value *value);
// Replaces an existing value (which keeps its place) or adds one; Missing
// when the key is gone.
Lookup SetValue(store::Database &db, KeyId key, std::string_view name, uint32_t type, const uint8_t *data,
                size_t size);
// Found when the value was deleted, Missing when there was none.
Lookup DeleteValue(store::Database &db, KeyId key, std::string_view name);
// Counts and longest names and data below the key; nullopt when the key is
// gone, *failed set when the store could not be read.
std::optional<KeyInfo> Info(store::Database &db, KeyId key, bool *failed);
// Deletes the key, its values and every key below it.
bool DeleteTree(store::Database &db, KeyId key);
// The name and parent of a key, for walking a path back to its root.
std::optional<std::pair<std::string, KeyId>> NameAndParent(store::Database &db, KeyId key);

}  // namespace win9x::registry
