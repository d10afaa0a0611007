// What a process remembers of its machine's registry between calls: which
// keys exist, which child a name finds, and values. Everything in it was
// read at one generation of registry.db (store::SharedPage); as soon as any
// process commits a change, the generation moves on and the whole cache is
// dropped at the start of the next call. Names are remembered folded to
// lower case, as the store compares them (ASCII only).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "machine/registry_store.h"

namespace win9x::registry {

class Cache {
public:
    // Keeps the entries when they were read at `generation`, else drops them
    // and starts remembering for it.
    void Adopt(uint64_t generation);
    void Clear();

    // Each Find answers true with what was remembered, or false when nothing is.
    bool FindKey(KeyId key, Lookup *found) const;
    void PutKey(KeyId key, Lookup found);
    bool FindChild(KeyId parent, std::string_view name, Lookup *found, KeyId *child) const;
    void PutChild(KeyId parent, std::string_view name, Lookup found, KeyId child);
    // *value points into the cache until the next change to it.
    bool FindValue(KeyId key, std::string_view name, Lookup *found, const Value **value) const;
    void PutValue(KeyId key, std::string_view name, Lookup found, const Value &value);

private:
    struct Entry {
        Lookup found = Lookup::Missing;
        KeyId id = 0;
        Value value;
    };

    static std::string Slot(char kind, KeyId id, std::string_view name);
    const Entry *Find(const std::string &slot) const;
    void Put(std::string slot, Entry entry);

    uint64_t generation_ = 1;  // odd: never a generation anything was read at
    std::unordered_map<std::string, Entry> entries_;
    size_t bytes_ = 0;
};

}  // namespace win9x::registry
