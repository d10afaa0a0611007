// Choosing the front end that drives this process's dialogs, and loading
// the terminal front end's library when it is the one.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "display/frontend_render.h"
#include "display/frontends.h"

namespace win9x::ui {

namespace {

std::mutex g_driverMutex;
std::shared_ptr<machine::DialogDriver> g_driver;

// OVLSIM_FRONTEND=terminal | script:FILE | script:- ; without it, the
// terminal when standard input is one, else a script on standard input.
// Any other choice stops the program rather than guess. A script also
// writes its plain transcript to OVLSIM_TRANSCRIPT=FILE when it is set.
std::shared_ptr<machine::DialogDriver> DefaultDriver()
{
    const char *choice = std::getenv("OVLSIM_FRONTEND");
    std::string text = choice ? choice : "";
    if (text == "terminal" || (text.empty() && isatty(STDIN_FILENO)))
        return MakeTerminalDriver();
    const char *transcript = std::getenv("OVLSIM_TRANSCRIPT");
    std::string transcriptPath = transcript ? transcript : "";
    if (text.empty())
        return MakeScriptDriver("-", transcriptPath);
    if (text.rfind("script:", 0) == 0)
        return MakeScriptDriver(text.substr(7), transcriptPath);
    std::fflush(stdout);
    std::fprintf(stderr, "%s: OVLSIM_FRONTEND=%s is neither terminal nor script:FILE\n", ProgramName().c_str(),
                 text.c_str());
    std::exit(2);
}

}  // namespace

// The terminal front end lies in libwin9x_terminal.so beside this library;
// curses comes with it. Without it the program stops, as it does on a
// terminal curses cannot drive, rather than read a script nobody wrote.
std::shared_ptr<machine::DialogDriver> MakeTerminalDriver()
{
    std::string path = "libwin9x_terminal.so";
    Dl_info self{};
    if (dladdr(reinterpret_cast<void *>(&MakeTerminalDriver), &self) && self.dli_fname)
        path = (std::filesystem::path(self.dli_fname).parent_path() / path).string();
    // Loaded for good: curses ends at the process's exit.
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Factory = machine::DialogDriver *(*)();
    auto make = library ? reinterpret_cast<Factory>(dlsym(library, "win9x_MakeTerminalDriver")) : nullptr;
    if (!make) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: the terminal front end cannot be loaded (%s); use ovlsim usbcheck --script FILE\n",
                     ProgramName().c_str(), dlerror());
        std::exit(2);
    }
    return std::shared_ptr<machine::DialogDriver>(make());
}

std::shared_ptr<machine::DialogDriver> CurrentDriver()
{
    std::lock_guard<std::mutex> guard(g_driverMutex);
    if (!g_driver)
        g_driver = DefaultDriver();
    return g_driver;
}

}  // namespace win9x::ui

namespace win9x::machine {

void SetDialogDriver(std::shared_ptr<DialogDriver> driver)
{
    std::lock_guard<std::mutex> guard(ui::g_driverMutex);
    ui::g_driver = std::move(driver);
}

}  // namespace win9x::machine
