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
#include <vector>

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
    // RegQueryInfoKeyA's counts; Missing for a key that is gone.
    bool FindInfo(KeyId key, Lookup *found, KeyInfo *info) const;
    void PutInfo(KeyId key, Lookup found, const KeyInfo &info);
    // A key's children in creation order, for enumerations by index; the
    // list stays valid until the cache changes.
    const std::vector<Child> *FindChildren(KeyId parent) const;
    const std::vector<Child> &PutChildren(KeyId parent, std::vector<Child> children);

private:
    struct Entry {
        Lookup found = Lookup::Missing;
        KeyId id = 0;
        Value value;
        KeyInfo info;
    };

    static std::string Slot(char kind, KeyId id, std::string_view name);
    const Entry *Find(const std::string &slot) const;
    void Put(std::string slot, Entry entry);

    void Account(size_t size);

    uint64_t generation_ = 1;  // odd: never a generation anything was read at
    std::unordered_map<std::string, Entry> entries_;
    std::unordered_map<KeyId, std::vector<Child>> children_;
    size_t bytes_ = 0;
};

}  // namespace win9x::registry
