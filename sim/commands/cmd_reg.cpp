// ovlsim reg export|import: the machine's registry as REGEDIT4 text.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "commands/commands.h"
#include "regedit/registry_io.h"

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

int Import(Context &context, const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    std::string error;
    auto file = regfile::Parse(content.str(), &error);
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
    std::printf("imported %zu keys and %zu values from %s\n", file->keys.size(), values, path.c_str());
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
    CLI::App *importer = reg->add_subcommand("import", "merge a REGEDIT4 file (all or nothing)");
    importer->add_option("FILE", *file, "the file to merge")->required();
    importer->callback([file, &context, status] { *status = Import(context, *file); });
}

}  // namespace ovlsim
