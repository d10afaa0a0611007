#include "machine/files_in_use.h"

#include <vector>

namespace win9x::layer {

int64_t RecordFileUse(Machine &m, const std::string &relative, const ProcessIdentity &user)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    auto insert = m.state->Prepare("INSERT INTO files_in_use(path, pid, start) VALUES (?1, ?2, ?3)");
    insert.Bind(1, relative).Bind(2, user.pid).Bind(3, user.start);
    if (!tx.ok() || !insert.Run())
        return 0;
    int64_t id = m.state->LastInsertId();
    return tx.Commit() ? id : 0;
}

void ForgetFileUse(Machine &m, int64_t id)
{
    if (id == 0)
        return;
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    auto del = m.state->Prepare("DELETE FROM files_in_use WHERE id = ?1");
    del.Bind(1, id);
    if (tx.ok() && del.Run())
        tx.Commit();
}

bool IsFileInUse(Machine &m, const std::string &relative)
{
    auto uses = m.state->Prepare("SELECT id, pid, start FROM files_in_use WHERE path = ?1");
    uses.Bind(1, relative);
    std::vector<int64_t> dead;
    bool inUse = false;
    while (uses.Step()) {
        if (IsAlive(ProcessIdentity{uses.Int(1), uses.Int(2)}))
            inUse = true;
        else
            dead.push_back(uses.Int(0));
    }
    for (int64_t id : dead) {
        auto del = m.state->Prepare("DELETE FROM files_in_use WHERE id = ?1");
        del.Bind(1, id);
        del.Run();
    }
    return inUse;
}

}  // namespace win9x::layer
