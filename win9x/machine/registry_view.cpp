// One registry call's view: the cache while it is valid, the store inside
// one transaction when it is not or when the cache does not know.
#include "machine/registry_view.h"

#include <atomic>

namespace win9x::registry {

using store::Transaction;

namespace {

std::atomic<void (*)()> g_snapshotSeam{nullptr};

}  // namespace

void SetSnapshotSeam(void (*seam)())
{
    g_snapshotSeam.store(seam);
}

View::View(store::Database &db, Cache &cache, Mode mode) : db_(db), cache_(cache), lock_(db.mutex())
{
    if (mode == Mode::Write) {
        tx_.emplace(db_, Transaction::Mode::Write);
        ok_ = tx_->ok();
        return;
    }
    // Inside a batch its own uncommitted work counts, which no cache holds.
    if (db_.InTransaction())
        return;
    generation_ = db_.Generation();
    if (generation_ % 2 == 0) {
        cache_.Adopt(generation_);
        useCache_ = true;
    }
}

bool View::BeginStore()
{
    if (tx_)
        return tx_->ok();
    tx_.emplace(db_, Transaction::Mode::Read);
    // SQLite takes a read transaction's snapshot at its first read, not at
    // BEGIN: one read fixes it before the generation is compared, so that a
    // generation that has not moved vouches for the very state the store
    // part of the call reads.
    if (!tx_->ok() || !FixSnapshot())
        return false;
    // A change committed since the call began: what the cache answered
    // already belongs to the older state.
    if (useCache_ && db_.Generation() != generation_) {
        useCache_ = false;
        restart_ = answeredFromCache_;
    }
    if (auto seam = g_snapshotSeam.load())
        seam();
    return true;
}

bool View::FixSnapshot()
{
    auto stmt = db_.Prepare("SELECT 1 FROM sqlite_master LIMIT 1");
    stmt.Step();
    return !stmt.failed();
}

Lookup View::KeyExists(KeyId key)
{
    Lookup found = Lookup::Missing;
    if (useCache_ && cache_.FindKey(key, &found)) {
        answeredFromCache_ = true;
        return found;
    }
    if (!BeginStore())
        return Lookup::Failed;
    found = registry::KeyExists(db_, key);
    if (useCache_)
        cache_.PutKey(key, found);
    return found;
}

Lookup View::FindChild(KeyId parent, std::string_view name, KeyId *child)
{
    Lookup found = Lookup::Missing;
    if (useCache_ && cache_.FindChild(parent, name, &found, child)) {
        answeredFromCache_ = true;
        return found;
    }
    if (!BeginStore())
        return Lookup::Failed;
    found = registry::FindChild(db_, parent, name, child);
    if (useCache_)
        cache_.PutChild(parent, name, found, *child);
    return found;
}

Lookup View::GetValue(KeyId key, std::string_view name, const Value **value)
{
    Lookup found = Lookup::Missing;
    if (useCache_ && cache_.FindValue(key, name, &found, value)) {
        answeredFromCache_ = true;
        return found;
    }
    if (!BeginStore())
        return Lookup::Failed;
    found = registry::GetValue(db_, key, name, &value_);
    if (useCache_)
        cache_.PutValue(key, name, found, value_);
    *value = &value_;
    return found;
}

Lookup View::Info(KeyId key, KeyInfo *info)
{
    Lookup found = Lookup::Missing;
    if (useCache_ && cache_.FindInfo(key, &found, info)) {
        answeredFromCache_ = true;
        return found;
    }
    if (!BeginStore())
        return Lookup::Failed;
    bool failed = false;
    auto read = registry::Info(db_, key, &failed);
    found = read ? Lookup::Found : failed ? Lookup::Failed : Lookup::Missing;
    if (read)
        *info = *read;
    if (useCache_)
        cache_.PutInfo(key, found, *info);
    return found;
}

Lookup View::ChildNameAt(KeyId parent, uint32_t index, EnumPosition *at, std::string *name)
{
    const std::vector<Child> *children = useCache_ ? cache_.FindChildren(parent) : nullptr;
    if (children)
        answeredFromCache_ = true;
    if (!children) {
        if (!BeginStore())
            return Lookup::Failed;
        if (!useCache_)
            return registry::ChildNameAt(db_, parent, index, at, name);
        // Read once, the list answers every index while nothing changes.
        std::vector<Child> read;
        if (!registry::Children(db_, parent, &read))
            return Lookup::Failed;
        children = &cache_.PutChildren(parent, std::move(read));
    }
    if (index >= children->size())
        return Lookup::Missing;
    *name = (*children)[index].name;
    return Lookup::Found;
}

store::Database *View::Store()
{
    return BeginStore() ? &db_ : nullptr;
}

bool View::Restart()
{
    if (!restart_)
        return false;
    restart_ = false;
    answeredFromCache_ = false;
    return true;
}

bool View::Finish(bool commit)
{
    bool committed = true;
    if (tx_) {
        if (commit && tx_->ok())
            committed = tx_->Commit();
        tx_.reset();  // what was not committed is undone
        // What the store answered went into the cache as read at the call's
        // generation; a change committed meanwhile makes that untrue.
        if (useCache_ && db_.Generation() != generation_)
            cache_.Clear();
    }
    return committed;
}

}  // namespace win9x::registry
