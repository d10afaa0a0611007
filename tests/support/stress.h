// What the stress tests share: how many rounds to run, and a random source
// whose seed a failure shows.
#pragma once

#include <cstdlib>
#include <random>

namespace ovltest {

// OVL_STRESS_ROUNDS, else 100.
inline int StressRounds()
{
    const char *rounds = std::getenv("OVL_STRESS_ROUNDS");
    int n = rounds ? std::atoi(rounds) : 0;
    return n > 0 ? n : 100;
}

// A seed for a run: OVL_STRESS_SEED to repeat one, else a new one.
inline unsigned StressSeed()
{
    const char *seed = std::getenv("OVL_STRESS_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : std::random_device()();
}

}  // namespace ovltest
