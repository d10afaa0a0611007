// Faults that tests arm for their own process: the nth allocation, or the
// nth call of a named API, fails.
#include <map>
#include <mutex>

#include "machine/api.h"

namespace {

struct CallFault {
    unsigned remaining;
    DWORD error;
};

std::mutex g_faultMutex;
unsigned g_allocationsUntilFailure = 0;
std::map<std::string, CallFault> g_callFaults;

}  // namespace

namespace win9x::layer {

bool AllocationShouldFail()
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    if (g_allocationsUntilFailure == 0)
        return false;
    return --g_allocationsUntilFailure == 0;
}

DWORD InjectedFailure(const char *api)
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    if (g_callFaults.empty())
        return 0;
    auto found = g_callFaults.find(api);
    if (found == g_callFaults.end())
        return 0;
    if (--found->second.remaining > 0)
        return 0;
    DWORD error = found->second.error;
    g_callFaults.erase(found);
    return error;
}

}  // namespace win9x::layer

namespace win9x::machine {

void FailNthAllocation(unsigned nth)
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    g_allocationsUntilFailure = nth;
}

void FailNthCall(const std::string &api, unsigned nth, DWORD error)
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    if (nth == 0)
        g_callFaults.erase(api);
    else
        g_callFaults[api] = CallFault{nth, error};
}

void ClearFaults()
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    g_allocationsUntilFailure = 0;
    g_callFaults.clear();
}

bool AllocationFaultPending()
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    return g_allocationsUntilFailure != 0;
}

bool CallFaultPending(const std::string &api)
{
    std::lock_guard<std::mutex> guard(g_faultMutex);
    return g_callFaults.count(api) != 0;
}

}  // namespace win9x::machine
