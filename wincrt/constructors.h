// Runs the constructors of the module's objects with static storage, which
// the compiler lists for the start-up code to call.
#pragma once

namespace wincrt {

void RunConstructors(void);

} // namespace wincrt
