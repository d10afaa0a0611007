// The registry cache of one process: a flat map from (kind, key row, folded
// name) to what the store answered.
#include "machine/registry_cache.h"

#include <cstring>

#include "machine/text.h"

namespace win9x::registry {

namespace {

// A registry that is read far more widely than any program here does is
// simply forgotten and read again.
constexpr size_t kMaxBytes = 16u << 20;
constexpr size_t kEntryOverhead = 96;

}  // namespace

void Cache::Adopt(uint64_t generation)
{
    if (generation == generation_)
        return;
    Clear();
    generation_ = generation;
}

void Cache::Clear()
{
    entries_.clear();
    children_.clear();
    bytes_ = 0;
    generation_ = 1;
}

// Counts what an entry takes; a cache that would grow past its bound is
// emptied first (it still remembers for the same generation).
void Cache::Account(size_t size)
{
    if (bytes_ + size > kMaxBytes) {
        uint64_t generation = generation_;
        Clear();
        generation_ = generation;
    }
    bytes_ += size;
}

std::string Cache::Slot(char kind, KeyId id, std::string_view name)
{
    std::string slot(1 + sizeof id, kind);
    std::memcpy(slot.data() + 1, &id, sizeof id);
    slot += layer::ToLower(name);
    return slot;
}

const Cache::Entry *Cache::Find(const std::string &slot) const
{
    auto found = entries_.find(slot);
    return found == entries_.end() ? nullptr : &found->second;
}

void Cache::Put(std::string slot, Entry entry)
{
    // Only answers the store gave are kept; a failed read is asked again.
    if (entry.found == Lookup::Failed || generation_ % 2 == 1)
        return;
    Account(slot.size() + entry.value.name.size() + entry.value.data.size() + kEntryOverhead);
    entries_.insert_or_assign(std::move(slot), std::move(entry));
}

bool Cache::FindKey(KeyId key, Lookup *found) const
{
    const Entry *entry = Find(Slot('k', key, {}));
    if (entry)
        *found = entry->found;
    return entry != nullptr;
}

void Cache::PutKey(KeyId key, Lookup found)
{
    Put(Slot('k', key, {}), Entry{found, key, {}, {}});
}

bool Cache::FindChild(KeyId parent, std::string_view name, Lookup *found, KeyId *child) const
{
    const Entry *entry = Find(Slot('c', parent, name));
    if (!entry)
        return false;
    *found = entry->found;
    *child = entry->id;
    return true;
}

void Cache::PutChild(KeyId parent, std::string_view name, Lookup found, KeyId child)
{
    Put(Slot('c', parent, name), Entry{found, child, {}, {}});
    // A child that was found is a key that exists.
    if (found == Lookup::Found)
        PutKey(child, Lookup::Found);
}

bool Cache::FindValue(KeyId key, std::string_view name, Lookup *found, const Value **value) const
{
    const Entry *entry = Find(Slot('v', key, name));
    if (!entry)
        return false;
    *found = entry->found;
    *value = &entry->value;
    return true;
}

void Cache::PutValue(KeyId key, std::string_view name, Lookup found, const Value &value)
{
    Put(Slot('v', key, name), Entry{found, key, found == Lookup::Found ? value : Value{}, {}});
}

bool Cache::FindInfo(KeyId key, Lookup *found, KeyInfo *info) const
{
    const Entry *entry = Find(Slot('i', key, {}));
    if (!entry)
        return false;
    *found = entry->found;
    *info = entry->info;
    return true;
}

void Cache::PutInfo(KeyId key, Lookup found, const KeyInfo &info)
{
    Put(Slot('i', key, {}), Entry{found, key, {}, info});
}

const std::vector<Child> *Cache::FindChildren(KeyId parent) const
{
    auto found = children_.find(parent);
    return found == children_.end() ? nullptr : &found->second;
}

const std::vector<Child> &Cache::PutChildren(KeyId parent, std::vector<Child> children)
{
    size_t size = kEntryOverhead;
    for (const auto &child : children)
        size += child.name.size() + kEntryOverhead / 2;
    Account(size);
    return children_[parent] = std::move(children);
}

}  // namespace win9x::registry
