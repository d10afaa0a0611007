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

bool CreateSchema(store::Database &db);
Lookup KeyExists(store::Database &db, KeyId key);
Lookup FindChild(store::Database &db, KeyId parent, std::string_view name, KeyId *child);
// The highest key row so far; rows above it are made later.
bool LastKeyId(store::Database &db, KeyId *last);
// Creates the child (its name kept as given); 0 on failure.
KeyId CreateChild(store::Database &db, KeyId parent, std::string_view name);
Lookup ChildNameAt(store::Database &db, KeyId parent, uint32_t index, std::string *name);
Lookup GetValue(store::Database &db, KeyId key, std::string_view name, Value *value);
Lookup ValueAt(store::Database &db, KeyId key, uint32_t index, Value *value);
bool SetValue(store::Database &db, KeyId key, std::string_view name, uint32_t type, const uint8_t *data, size_t size);
// False when there was no such value (or on an error, with *failed set).
bool DeleteValue(store::Database &db, KeyId key, std::string_view name, bool *failed);
std::optional<KeyInfo> Info(store::Database &db, KeyId key);
// Deletes the key, its values and every key below it.
bool DeleteTree(store::Database &db, KeyId key);
// The name and parent of a key, for walking a path back to its root.
std::optional<std::pair<std::string, KeyId>> NameAndParent(store::Database &db, KeyId key);

}  // namespace win9x::registry
