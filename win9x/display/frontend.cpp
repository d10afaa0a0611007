// Choosing the front end that drives this process's dialogs.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
// Any other choice stops the program rather than guess.
std::shared_ptr<machine::DialogDriver> DefaultDriver()
{
    const char *choice = std::getenv("OVLSIM_FRONTEND");
    std::string text = choice ? choice : "";
    if (text == "terminal" || (text.empty() && isatty(STDIN_FILENO)))
        return MakeTerminalDriver();
    if (text.empty())
        return MakeScriptDriver("-");
    if (text.rfind("script:", 0) == 0)
        return MakeScriptDriver(text.substr(7));
    std::fflush(stdout);
    std::fprintf(stderr, "%s: OVLSIM_FRONTEND=%s is neither terminal nor script:FILE\n", ProgramName().c_str(),
                 text.c_str());
    std::exit(2);
}

}  // namespace

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
