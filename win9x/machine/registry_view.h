// What one registry call sees of registry.db. A write call works in a write
// transaction from the start. A read call first asks the process's cache,
// which is valid as long as no process has committed a change since it was
// filled, and opens a read transaction only when it needs the store: a read
// that nothing changed costs no system call at all.
//
// When the store turns out to have changed after the cache already answered
// part of a call, the call must run again from the store alone (Restart),
// so that no answer mixes two states of the registry.
#pragma once

#include <mutex>
#include <optional>
#include <string_view>

#include "machine/registry_cache.h"
#include "machine/registry_store.h"
#include "machine/store.h"

namespace win9x::registry {

class View {
public:
    enum class Mode { Read, Write };
    View(store::Database &db, Cache &cache, Mode mode);
    View(const View &) = delete;
    View &operator=(const View &) = delete;

    // False when the write transaction could not start.
    bool ok() const { return ok_; }

    Lookup KeyExists(KeyId key);
    Lookup FindChild(KeyId parent, std::string_view name, KeyId *child);
    // *value points into the cache or the view; valid until the next lookup.
    Lookup GetValue(KeyId key, std::string_view name, const Value **value);
    // RegQueryInfoKeyA's counts; Missing when the key is gone.
    Lookup Info(KeyId key, KeyInfo *info);
    // The child at `index`: from the cached list of children, else from the
    // store, continuing the enumeration from *at when it can.
    Lookup ChildNameAt(KeyId parent, uint32_t index, EnumPosition *at, std::string *name);
    // The store itself, inside the call's transaction; null when that could
    // not start.
    store::Database *Store();

    // True (once) when the call has to run again from the store alone.
    bool Restart();
    // Ends the call: commits when asked to (a read always may), else undoes
    // a write. False when a commit failed.
    bool Finish(bool commit);

private:
    bool BeginStore();
    // Makes the read transaction take its snapshot now.
    bool FixSnapshot();

    store::Database &db_;
    Cache &cache_;
    std::unique_lock<std::recursive_mutex> lock_;
    std::optional<store::Transaction> tx_;
    bool ok_ = true;
    bool useCache_ = false;
    bool answeredFromCache_ = false;
    bool restart_ = false;
    uint64_t generation_ = 0;
    Value value_;  // a value read from the store when it is not remembered
};

// A test's seam: `seam` runs in every read call that goes to the store,
// once its read transaction has begun and the generation has been compared,
// before anything of the call is read from the store; null for none.
void SetSnapshotSeam(void (*seam)());

}  // namespace win9x::registry
