// ovlsim reg export|import: the machine's registry as REGEDIT4 text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands/commands.h"
#include "regedit/registry_io.h"
#include "world/shown_text.h"

namespace ovlsim {

namespace {

int Export(Context &context, const std::string &key)
{
    if (!OpenMachine(context))
        return 1;
    std::string text = std::string(regfile::kSignature) + "\n\n";
    std::string error;
    if (!(key.empty() ? ExportAll(&text, &error) : ExportKey(key, &text, &error)))
        return Fail(error);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// The largest file reg import reads. A whole Windows 98 registry exported
// as REGEDIT4 text is a few MiB; the import holds the file and what it
// parses in memory, so a bound far above any export keeps a mistaken
// argument (a disk image, a log) from taking the memory of the host.
constexpr off_t kMaxImportBytes = off_t{64} << 20;

// Reads from `fd` until its end or `limit` bytes; false (errno set) on a
// read error.
bool ReadUpTo(int fd, size_t limit, std::string *content)
{
    content->resize(limit);
    size_t have = 0;
    while (have < limit) {
        ssize_t got = read(fd, content->data() + have, limit - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        have += static_cast<size_t>(got);
    }
    content->resize(have);
    return true;
}

// Reads a REGEDIT4 file whole: a regular file of at most kMaxImportBytes.
// Opened without blocking, so that a FIFO nobody writes to is refused, not
// waited on; the size is checked on the opened file and bounds the read.
bool ReadRegFile(const std::string &path, std::string *content, std::string *error)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        *error = "cannot read " + Shown(path) + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = Shown(path) + " is not a regular file; reg import takes a REGEDIT4 file";
    } else if (info.st_size > kMaxImportBytes) {
        *error = Shown(path) + " is " + std::to_string(info.st_size) + " bytes; reg import takes files of at most " +
                 std::to_string(kMaxImportBytes >> 20) + " MiB";
    } else if (!ReadUpTo(fd, static_cast<size_t>(info.st_size) + 1, content)) {
        *error = "cannot read " + Shown(path) + ": " + std::strerror(errno);
    } else if (content->size() > static_cast<size_t>(info.st_size)) {
        *error = Shown(path) + " grew while it was read";  // one byte more than its size said
    }
    close(fd);
    return error->empty();
}

int Import(Context &context, const std::string &path)
{
    std::string content, error;
    if (!ReadRegFile(path, &content, &error))
        return Fail(error);
    auto file = regfile::Parse(content, &error);
    if (!file)
        return Fail(path + ":" + error + "; nothing was imported");
    if (!OpenMachine(context))
        return 1;
    if (!ImportFile(*file, &error)) {
        // An entry's refusal begins with its line number: FILE:LINE: reason.
        bool atLine = !error.empty() && error[0] >= '0' && error[0] <= '9';
        return Fail(path + (atLine ? ":" : ": ") + error + "; nothing was imported");
    }
    size_t values = 0;
    for (const auto &key : file->keys)
        values += key.values.size();
    std::printf("imported %zu keys and %zu values from %s\n", file->keys.size(), values,
                EscapeControls(path).c_str());
    return 0;
}

}  // namespace

void AddRegCommand(CLI::App &app, Context &context, int *status)
{
    CLI::App *reg = app.add_subcommand("reg", "the machine's registry as REGEDIT4 text");
    reg->require_subcommand(1);
    auto key = std::make_shared<std::string>();
    CLI::App *exporter = reg->add_subcommand("export", "print a key and everything below it (default: all)");
    exporter->add_option("KEY", *key, "for example 'HKEY_LOCAL_MACHINE\\Software\\Microsoft'");
    exporter->callback([key, &context, status] { *status = Export(context, *key); });
    auto file = std::make_shared<std::string>();
    CLI::App *importer =
        reg->add_subcommand("import", "merge a REGEDIT4 file of at most 64 MiB (all or nothing)");
    importer->add_option("FILE", *file, "the file to merge")->required();
    importer->callback([file, &context, status] { *status = Import(context, *file); });
}

}  // namespace ovlsim
