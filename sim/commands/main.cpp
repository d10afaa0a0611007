// ovlsim: creates emulated Windows 98 machines and plays the world around
// the Sorrelink deliverables on them.
#include <CLI/CLI.hpp>

#include "commands/commands.h"
#include "world/shown_text.h"

int main(int argc, char **argv)
{
    ovlsim::Context context;
    int status = 0;
    CLI::App app{"ovlsim: an emulated Windows 98 machine for the Sorrelink USB printing suite"};
    app.name("ovlsim");
    app.require_subcommand(1);
    app.fallthrough();
    // The project's one version number, as the deliverables' version resources carry it.
    app.set_version_flag("--version", OVL_VERSION, "print the version of the suite and exit");
    // An empty --machine is refused rather than taken for "not given".
    auto notEmpty = [](std::string &dir) {
        return dir.empty() ? std::string("--machine takes a directory, not an empty name") : std::string();
    };
    app.add_option("--machine", context.machineOption, "machine directory (default: $OVLSIM_MACHINE, else ./machine)")
        ->check(CLI::Validator(notEmpty, "DIR"));
    ovlsim::AddInitCommand(app, context, &status);
    ovlsim::AddRegCommand(app, context, &status);
    ovlsim::AddPlugCommands(app, context, &status);
    ovlsim::AddPrinterCommand(app, context, &status);
    ovlsim::AddSpoolerCommands(app, context, &status);
    ovlsim::AddStartupCommands(app, context, &status);
    ovlsim::AddUsbcheckCommand(app, context, &status);
    ovlsim::AddDemoCommand(app, context, &status);
    ovlsim::AddCheckCommand(app, context, &status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        // The parser's words quote the arguments it refused.
        std::string message = ovlsim::EscapeControls(e.what());
        std::fprintf(stderr, "ovlsim: %s (see 'ovlsim --help')\n", message.c_str());
        return 2;
    }
    return ovlsim::Conclude(status);
}
