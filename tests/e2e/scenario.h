// Shared pieces of the sorter's random scenario tests: a seeded generator (every run the same),
// the random option flags, and the number of scenarios to run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vormlin_e2e {

struct rng {
    std::uint32_t state;
    std::uint32_t next();
    std::size_t below(std::size_t n) { return next() % n; }
};

// Each of -s, -u, -H and -c with an even chance, in that order.
std::vector<std::string> random_flags(rng &r);

// FDS_PROPERTY_SCENARIOS (default 300) sorter runs, as scenarios of runs_per_scenario runs.
int scenario_count(int runs_per_scenario);

} // namespace vormlin_e2e
