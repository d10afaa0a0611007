// The stored files of a machine, looked over. A write-ahead log is read as
// SQLite's recovery reads it: a 32-byte header, then frames of a 24-byte
// header and one page, each carrying the log's salts and a checksum that
// runs on from the frame before. Recovery keeps the frames up to the last
// commit before the first frame that fails; a frame cut short or garbled
// means that everything from it on is dropped.
#include "machine/store_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "machine/beneath.h"
#include "machine/store.h"
#include "win9x/machine.h"

namespace win9x::layer::check {

namespace {

constexpr size_t kLogHeader = 32;
constexpr size_t kFrameHeader = 24;
constexpr uint32_t kLogMagic = 0x377f0682;  // | 1: checksums of big-endian words
constexpr int kMostIntegrityLines = 20;

uint32_t BigEndian(const uint8_t *p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t Word(const uint8_t *p, bool bigEndian)
{
    return bigEndian ? BigEndian(p) : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// The log's running checksum over `size` bytes (a multiple of 8).
void RunChecksum(const uint8_t *data, size_t size, bool bigEndian, uint32_t sum[2])
{
    for (size_t i = 0; i + 8 <= size; i += 8) {
        sum[0] += Word(data + i, bigEndian) + sum[1];
        sum[1] += Word(data + i + 4, bigEndian) + sum[0];
    }
}

std::string Name(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

std::vector<uint8_t> ReadWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> LogDamage(const std::string &path)
{
    std::vector<uint8_t> log = ReadWhole(path);
    if (log.empty())
        return {};
    std::string name = Name(path);
    if (log.size() < kLogHeader || (BigEndian(log.data()) & ~1u) != kLogMagic)
        return {name + ": its header is damaged; SQLite ignores the whole log and every commit in it"};
    bool bigEndian = (BigEndian(log.data()) & 1u) != 0;
    uint32_t pageSize = BigEndian(log.data() + 8);
    pageSize = pageSize == 1 ? 65536 : pageSize;
    uint32_t sum[2] = {0, 0};
    RunChecksum(log.data(), 24, bigEndian, sum);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) || sum[0] != BigEndian(log.data() + 24) ||
        sum[1] != BigEndian(log.data() + 28))
        return {name + ": its header is damaged; SQLite ignores the whole log and every commit in it"};
    const size_t frameSize = kFrameHeader + pageSize;
    size_t frames = 0, committed = 0, offset = kLogHeader;
    for (; offset + frameSize <= log.size(); offset += frameSize, ++frames) {
        const uint8_t *frame = log.data() + offset;
        // A frame of other salts is left from before the log started over:
        // SQLite ends the log there as it should.
        if (std::memcmp(frame + 8, log.data() + 16, 8) != 0)
            return {};
        RunChecksum(frame, 8, bigEndian, sum);
        RunChecksum(frame + kFrameHeader, pageSize, bigEndian, sum);
        if (sum[0] != BigEndian(frame + 16) || sum[1] != BigEndian(frame + 20))
            break;
        if (BigEndian(frame + 4) != 0)
            committed = frames + 1;
    }
    if (offset == log.size())
        return {};
    std::string what = offset + frameSize > log.size() ? "is cut short inside frame " : "is garbled at frame ";
    std::string lost = committed ? "SQLite keeps the commits of frames 1 to " + std::to_string(committed) +
                                       " and drops every frame after them, with the commits they held"
                                 : "SQLite drops every frame of it, with the commits they held";
    return {name + " " + what + std::to_string(frames + 1) + ": " + lost};
}

std::vector<std::string> PageDamage(const std::string &path)
{
    struct stat info {};
    std::string name = Name(path);
    if (lstat(path.c_str(), &info) != 0)
        return {name + " is missing"};
    if (!S_ISREG(info.st_mode))
        return {name + " is not a regular file"};
    if (static_cast<size_t>(info.st_size) != store::SharedPage::kBytes)
        return {name + " holds " + std::to_string(info.st_size) + " bytes, not one page of " +
                std::to_string(store::SharedPage::kBytes)};
    return {};
}

std::vector<std::string> DatabaseDamage(const std::string &path)
{
    std::string name = Name(path);
    std::string error;
    auto db = store::Database::Open(path, store::Database::Create::No, &error);
    if (!db)
        return {name + ": " + error};
    std::vector<std::string> found;
    std::lock_guard<std::recursive_mutex> guard(db->mutex());
    sqlite3_stmt *stmt = nullptr;
    std::string sql = "PRAGMA integrity_check(" + std::to_string(kMostIntegrityLines) + ")";
    int rc = sqlite3_prepare_v2(db->handle(), sql.c_str(), -1, &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char *line = sqlite3_column_text(stmt, 0);
        std::string text = line ? reinterpret_cast<const char *>(line) : "";
        // A problem may come over several lines: each is one line here.
        for (size_t start = 0; text != "ok" && start < text.size();) {
            size_t end = std::min(text.find('\n', start), text.size());
            if (end > start)
                found.push_back(name + ": " + text.substr(start, end - start));
            start = end + 1;
        }
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE)
        found.push_back(name + ": cannot be checked: " + sqlite3_errmsg(db->handle()));
    sqlite3_finalize(stmt);
    if (static_cast<int>(found.size()) >= kMostIntegrityLines)
        found.push_back(name + ": (the check stops after " + std::to_string(kMostIntegrityLines) + " problems)");
    return found;
}

}  // namespace win9x::layer::check

namespace win9x::machine {

std::vector<std::string> CheckStoredFiles(const std::string &dir, bool *opened)
{
    if (opened)
        *opened = false;
    namespace check = layer::check;
    std::vector<std::string> found;
    auto add = [&found](std::vector<std::string> more) { found.insert(found.end(), more.begin(), more.end()); };
    // A link is never followed, not even to read: the machine is refused
    // whole, naming it, before any of its files is looked at.
    std::string link = layer::beneath::FindLink(dir);
    if (!link.empty()) {
        found.push_back(dir + "/" + link + ": is a symbolic link");
        return found;
    }
    // Opening a database makes a missing shared page afresh and may rewrite
    // its log: both are looked at first.
    for (const char *db : {"registry.db", "machine.db"}) {
        std::string path = dir + "/" + db;
        add(check::PageDamage(path + "-changes"));
        add(check::LogDamage(path + "-wal"));
    }
    // A database is opened with its page: one that is damaged keeps both
    // databases and the machine from opening, and is the problem to mend.
    bool pageDamaged = std::any_of(found.begin(), found.end(), [](const std::string &problem) {
        return problem.find("-changes") != std::string::npos;
    });
    if (pageDamaged)
        return found;
    for (const char *db : {"registry.db", "machine.db"})
        add(check::DatabaseDamage(dir + "/" + db));
    std::string error;
    if (!Open(dir, &error)) {
        found.push_back(error);
        return found;
    }
    if (opened)
        *opened = true;
    for (const auto &printer : Printers()) {
        std::string damage = ReceivedFileDamage(printer.instanceId);
        if (!damage.empty())
            found.push_back("printer " + printer.serial + ": " + damage);
    }
    return found;
}

}  // namespace win9x::machine
