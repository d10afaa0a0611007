// The attributes of files on drive C:, kept in machine.db's file_attributes
// table because the host cannot keep them (a process running as root writes
// to a file whatever its permission bits say), and the machine's locks.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "machine/drive.h"

#include "machine/beneath.h"

namespace win9x::layer {

std::optional<DWORD> StoredAttributes(Machine &m, const std::string &relative, DWORD fallback)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Read);
    if (!tx.ok())
        return std::nullopt;
    auto stmt = m.state->Prepare("SELECT attributes FROM file_attributes WHERE path = ?1");
    stmt.Bind(1, relative);
    if (stmt.Step())
        return static_cast<DWORD>(stmt.Int(0)) & kStoredAttributeMask;
    if (stmt.failed())
        return std::nullopt;
    return fallback;
}

bool StoreAttributes(Machine &m, const std::string &relative, DWORD attributes, DWORD fallback)
{
    attributes &= kStoredAttributeMask;
    if (attributes == fallback)
        return ForgetAttributes(m, relative);
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    // The path is the primary key without regard to case: replacing the row
    // also drops an entry stored under another casing of the same path.
    auto stmt = m.state->Prepare("INSERT OR REPLACE INTO file_attributes(path, attributes) VALUES (?1, ?2)");
    stmt.Bind(1, relative).Bind(2, static_cast<int64_t>(attributes));
    return tx.ok() && stmt.Run() && tx.Commit();
}

bool ForgetAttributes(Machine &m, const std::string &relative)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    auto stmt = m.state->Prepare("DELETE FROM file_attributes WHERE path = ?1");
    stmt.Bind(1, relative);
    return tx.ok() && stmt.Run() && tx.Commit();
}

std::string LockFolder(const Machine &m)
{
    beneath::MakeFolders(m.dir, "locks");  // a machine made before the folder existed
    return "locks";
}

MachineLock::MachineLock(const Machine &m, const char *name)
{
    fd_ = beneath::Open(m.dir, LockFolder(m) + "/" + name, O_RDWR | O_CREAT);
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd_);
            fd_ = -1;
        }
    }
}

MachineLock::~MachineLock()
{
    if (fd_ >= 0)
        close(fd_);  // closing the description releases the lock
}

}  // namespace win9x::layer
