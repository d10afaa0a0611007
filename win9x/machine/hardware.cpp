// Simulated USB printers: their state, the bytes they received, and the
// control seam that the machine tool and the tests use to change them.
#include "machine/hardware.h"

#include <type_traits>

#include "machine/machine.h"
#include "machine/process_identity.h"
#include "machine/received_file.h"

namespace win9x::layer {

namespace {

constexpr const char *kPrinterColumns =
    "instance, serial, attached, online, error, paper, device_id, refuse_writes, fail_control_in, fail_open, received";

machine::Printer ReadPrinterRow(store::Statement &stmt)
{
    machine::Printer p;
    p.instanceId = stmt.Text(0);
    p.serial = stmt.Text(1);
    p.attached = stmt.Int(2) != 0;
    p.online = stmt.Int(3) != 0;
    p.error = stmt.Int(4) != 0;
    p.paper = stmt.Int(5);
    p.deviceId = stmt.Text(6);
    p.refuseWrites = stmt.Int(7) != 0;
    p.failControlIn = static_cast<uint32_t>(stmt.Int(8));
    p.failOpen = stmt.Int(9) != 0;
    p.received = static_cast<uint64_t>(stmt.Int(10));
    return p;
}

// Open handles of processes that still run.
uint32_t CountLiveOpens(store::Database &db, const std::string &instanceId)
{
    auto stmt = db.Prepare("SELECT pid, start FROM device_opens WHERE instance = ?1");
    stmt.Bind(1, instanceId);
    uint32_t live = 0;
    while (stmt.Step()) {
        if (IsAlive(ProcessIdentity{stmt.Int(0), stmt.Int(1)}))
            ++live;
    }
    return live;
}

std::vector<machine::Printer> Query(const std::string &where, const std::string &argument)
{
    std::vector<machine::Printer> printers;
    auto m = CurrentMachine();
    if (!m)
        return printers;
    store::Transaction tx(*m->state, store::Transaction::Mode::Read);
    std::string sql = std::string("SELECT ") + kPrinterColumns + " FROM printers " + where + " ORDER BY rowid";
    // Not cached: the text is built here, so prepare a fresh statement.
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m->state->handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return printers;
    store::Statement stmt(*m->state, raw, false);
    if (!argument.empty())
        stmt.Bind(1, argument);
    while (stmt.Step())
        printers.push_back(ReadPrinterRow(stmt));
    for (auto &p : printers)
        p.opens = CountLiveOpens(*m->state, p.instanceId);
    return printers;
}

}  // namespace

namespace {

// The printer's row and the committed length of its received bytes.
bool ReceivedState(store::Database &db, const std::string &instanceId, int64_t *row, int64_t *length)
{
    auto stmt = db.Prepare("SELECT rowid, received FROM printers WHERE instance = ?1");
    stmt.Bind(1, instanceId);
    if (!stmt.Step())
        return false;
    *row = stmt.Int(0);
    *length = stmt.Int(1);
    return true;
}

bool SetReceivedLength(store::Database &db, int64_t row, int64_t length)
{
    auto update = db.Prepare("UPDATE printers SET received = ?2 WHERE rowid = ?1");
    update.Bind(1, row).Bind(2, length);
    return update.Run();
}

// Each printer's bytes from printer_data into its file.
bool MovePrintersBytes(store::Database &db)
{
    auto printers = db.Prepare("SELECT rowid, instance FROM printers");
    while (printers.Step()) {
        std::string bytes;
        auto chunks = db.Prepare("SELECT data FROM printer_data WHERE instance = ?1 ORDER BY id");
        chunks.Bind(1, printers.Text(1));
        while (chunks.Step()) {
            auto chunk = chunks.Blob(0);
            bytes.append(chunk.begin(), chunk.end());
        }
        int64_t row = printers.Int(0);
        if (chunks.failed() || !received::Replace(received::PathFor(db.path(), row), bytes) ||
            !SetReceivedLength(db, row, static_cast<int64_t>(bytes.size())))
            return false;
    }
    return !printers.failed();
}

// A machine made before the bytes moved out kept them in printer_data.
bool MoveReceivedIntoFiles(store::Database &db)
{
    {
        auto table = db.Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'printer_data'");
        if (!table.Step())
            return !table.failed();
    }
    // Statements still reading would keep the table from being dropped.
    if (!MovePrintersBytes(db))
        return false;
    return db.Exec("DROP TABLE printer_data");
}

}  // namespace

bool CreateHardwareTables(store::Database &db)
{
    return db.Exec("CREATE TABLE IF NOT EXISTS printers("
                   "  instance TEXT PRIMARY KEY COLLATE NOCASE, serial TEXT NOT NULL,"
                   "  attached INTEGER NOT NULL DEFAULT 0, online INTEGER NOT NULL DEFAULT 1,"
                   "  error INTEGER NOT NULL DEFAULT 0, paper INTEGER NOT NULL DEFAULT -1,"
                   "  device_id TEXT NOT NULL DEFAULT '', refuse_writes INTEGER NOT NULL DEFAULT 0,"
                   "  fail_control_in INTEGER NOT NULL DEFAULT 0, fail_open INTEGER NOT NULL DEFAULT 0,"
                   "  received INTEGER NOT NULL DEFAULT 0)") &&
           db.Exec("CREATE TABLE IF NOT EXISTS device_opens("
                   "  id INTEGER PRIMARY KEY AUTOINCREMENT, instance TEXT NOT NULL COLLATE NOCASE,"
                   "  pid INTEGER NOT NULL, start INTEGER NOT NULL, access INTEGER NOT NULL, share INTEGER NOT NULL)") &&
           MoveReceivedIntoFiles(db);
}

std::optional<machine::Printer> LoadPrinter(store::Database &db, const std::string &instanceId)
{
    auto stmt = db.Prepare("SELECT instance, serial, attached, online, error, paper, device_id, refuse_writes,"
                           " fail_control_in, fail_open, received FROM printers WHERE instance = ?1");
    stmt.Bind(1, instanceId);
    if (!stmt.Step())
        return std::nullopt;
    return ReadPrinterRow(stmt);
}

bool IsAttached(const std::string &instanceId)
{
    auto m = CurrentMachine();
    if (!m)
        return false;
    store::Transaction tx(*m->state, store::Transaction::Mode::Read);
    auto printer = LoadPrinter(*m->state, instanceId);
    return printer && printer->attached;
}

bool RecordReceived(store::Database &db, const std::string &instanceId, const void *data, size_t size,
                    int64_t paperLeft)
{
    int64_t row = 0, length = 0;
    if (!ReceivedState(db, instanceId, &row, &length) ||
        !received::Append(received::PathFor(db.path(), row), &length, data, size))
        return false;
    auto update = db.Prepare("UPDATE printers SET received = ?2, paper = ?3 WHERE rowid = ?1");
    update.Bind(1, row).Bind(2, length).Bind(3, paperLeft);
    return update.Run();
}

bool CutUnacknowledgedBytes(store::Database &db, const std::string &instanceId)
{
    int64_t row = 0, length = 0, committed = 0;
    if (!ReceivedState(db, instanceId, &row, &length))
        return false;
    committed = length;
    if (!received::Cut(received::PathFor(db.path(), row), &length))
        return false;
    return length == committed || SetReceivedLength(db, row, length);
}

bool CountControlRequest(store::Database &db, const machine::Printer &printer)
{
    if (printer.failControlIn == 0)
        return false;
    auto update = db.Prepare("UPDATE printers SET fail_control_in = ?2 WHERE instance = ?1");
    update.Bind(1, printer.instanceId).Bind(2, static_cast<int64_t>(printer.failControlIn - 1));
    update.Run();
    return printer.failControlIn == 1;
}

}  // namespace win9x::layer

namespace win9x::machine {

bool AddPrinter(const std::string &instanceId, const std::string &serial, const std::string &deviceId)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return false;
    store::Transaction tx(*m->state, store::Transaction::Mode::Write);
    auto stmt = m->state->Prepare("INSERT OR IGNORE INTO printers(instance, serial, device_id) VALUES (?1, ?2, ?3)");
    stmt.Bind(1, instanceId).Bind(2, serial).Bind(3, deviceId);
    if (!tx.ok() || !stmt.Run() || !tx.Commit())
        return false;
    m->state->shared().Notify();
    return true;
}

std::optional<Printer> FindPrinterBySerial(const std::string &serial)
{
    auto found = layer::Query("WHERE serial = ?1", serial);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::optional<Printer> FindPrinter(const std::string &instanceId)
{
    auto found = layer::Query("WHERE instance = ?1", instanceId);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<Printer> Printers()
{
    return layer::Query("", "");
}

bool UpdatePrinter(const Printer &p)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return false;
    store::Transaction tx(*m->state, store::Transaction::Mode::Write);
    auto stmt = m->state->Prepare("UPDATE printers SET attached = ?2, online = ?3, error = ?4, paper = ?5,"
                                  " device_id = ?6, refuse_writes = ?7, fail_control_in = ?8, fail_open = ?9"
                                  " WHERE instance = ?1");
    stmt.Bind(1, p.instanceId)
        .Bind(2, p.attached)
        .Bind(3, p.online)
        .Bind(4, p.error)
        .Bind(5, p.paper)
        .Bind(6, p.deviceId)
        .Bind(7, p.refuseWrites)
        .Bind(8, static_cast<int64_t>(p.failControlIn))
        .Bind(9, p.failOpen);
    if (!tx.ok() || !stmt.Run() || m->state->Changes() != 1 || !tx.Commit())
        return false;
    m->state->shared().Notify();
    return true;
}

namespace {

// Binds a setting the change names, or NULL for one that stays.
template <class T>
void BindSetting(store::Statement &stmt, int index, const std::optional<T> &setting)
{
    if (!setting)
        stmt.BindNull(index);
    else if constexpr (std::is_same_v<T, std::string>)
        stmt.Bind(index, std::string_view(*setting));
    else
        stmt.Bind(index, static_cast<int64_t>(*setting));
}

}  // namespace

bool ChangePrinter(const std::string &instanceId, const PrinterChange &change)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return false;
    store::Transaction tx(*m->state, store::Transaction::Mode::Write);
    // A NULL parameter keeps the column as it is in the row being updated.
    auto stmt = m->state->Prepare(
        "UPDATE printers SET attached = COALESCE(?2, attached), online = COALESCE(?3, online),"
        " error = COALESCE(?4, error), paper = COALESCE(?5, paper), device_id = COALESCE(?6, device_id),"
        " refuse_writes = COALESCE(?7, refuse_writes), fail_control_in = COALESCE(?8, fail_control_in),"
        " fail_open = COALESCE(?9, fail_open) WHERE instance = ?1");
    stmt.Bind(1, instanceId);
    BindSetting(stmt, 2, change.attached);
    BindSetting(stmt, 3, change.online);
    BindSetting(stmt, 4, change.error);
    BindSetting(stmt, 5, change.paper);
    BindSetting(stmt, 6, change.deviceId);
    BindSetting(stmt, 7, change.refuseWrites);
    BindSetting(stmt, 8, change.failControlIn);
    BindSetting(stmt, 9, change.failOpen);
    if (!tx.ok() || !stmt.Run() || m->state->Changes() != 1 || !tx.Commit())
        return false;
    m->state->shared().Notify();
    return true;
}

uint32_t PrinterChanges()
{
    auto m = layer::CurrentMachine();
    return m ? m->state->shared().Notices() : 0;
}

bool WaitForPrinterChange(uint32_t seen, unsigned timeoutMs)
{
    auto m = layer::CurrentMachine();
    return m && m->state->shared().WaitForNotice(seen, timeoutMs);
}

// Reading and clearing hold the write lock: a writer of the file waits, and
// the committed length stays the file's while it is read.
std::string ReceivedBytes(const std::string &instanceId)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return {};
    store::Transaction tx(*m->state, store::Transaction::Mode::Write);
    int64_t row = 0, length = 0;
    if (!tx.ok() || !layer::ReceivedState(*m->state, instanceId, &row, &length))
        return {};
    return layer::received::Read(layer::received::PathFor(m->state->path(), row), length);
}

std::string ReceivedFileDamage(const std::string &instanceId)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return {};
    store::Transaction tx(*m->state, store::Transaction::Mode::Read);
    int64_t row = 0, length = 0;
    if (!tx.ok() || !layer::ReceivedState(*m->state, instanceId, &row, &length))
        return {};
    return layer::received::Shortfall(layer::received::PathFor(m->state->path(), row), length);
}

bool ClearReceived(const std::string &instanceId)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return false;
    store::Transaction tx(*m->state, store::Transaction::Mode::Write);
    int64_t row = 0, length = 0;
    if (!tx.ok() || !layer::ReceivedState(*m->state, instanceId, &row, &length))
        return false;
    // The file first: a crash before the commit leaves it shorter than the
    // committed length, which the next write or open takes as it is.
    length = 0;
    return layer::received::Cut(layer::received::PathFor(m->state->path(), row), &length) &&
           layer::SetReceivedLength(*m->state, row, 0) && tx.Commit();
}

uint8_t PrinterStatus(const Printer &printer)
{
    uint8_t status = 0;
    if (printer.paper == 0)
        status |= 0x20;
    if (printer.online)
        status |= 0x10;
    if (!printer.error)
        status |= 0x08;
    return status;
}

}  // namespace win9x::machine
