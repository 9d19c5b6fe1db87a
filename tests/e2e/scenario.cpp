// The seeded generator and settings of the random scenario tests.
#include "scenario.h"

#include <cstdlib>

namespace vormlin_e2e {

std::uint32_t rng::next()
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

std::vector<std::string> random_flags(rng &r)
{
    std::vector<std::string> out;
    for (const char *o : {"-s", "-u", "-H", "-c"}) {
        if (r.below(2) == 0)
            out.emplace_back(o);
    }
    return out;
}

int scenario_count(int runs_per_scenario)
{
    const char *text = std::getenv("FDS_PROPERTY_SCENARIOS");
    int n = text != nullptr ? std::atoi(text) : 0;
    return (n > 0 ? n : 300) / runs_per_scenario;
}

} // namespace vormlin_e2e
