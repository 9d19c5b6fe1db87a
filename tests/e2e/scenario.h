// Shared pieces of the sorter's random scenario tests: a seeded generator (every run the same),
// random input files with where the sorting rules put them, the random option flags, and the
// number of scenarios to run.
#pragma once

#include "vormlin_fixture.h"

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

// Where an input's own bytes must end, by how it was generated and the options.
// bak_or_ren, bak_or_stays: rewritten (the original to bak) when the header disagrees with
// option -H, else placed as it is (or, unidentified, left as it is).
enum destination { to_bak, to_ren, to_parts, to_bad, to_rom, stays, bak_or_ren, bak_or_stays };

struct input {
    bytes content;
    destination dest;   // without option -c
    destination dest_c; // with option -c (FAM and other layouts are then converted)
    bool header = false;
};

// One input file of a random kind: every path through reading, rewriting, splitting and
// placing.
input random_input(rng &r, const known_set &k);

// Each of -s, -u, -H and -c with an even chance, in that order.
std::vector<std::string> random_flags(rng &r);

// FDS_PROPERTY_SCENARIOS (default 300) sorter runs, as scenarios of runs_per_scenario runs.
int scenario_count(int runs_per_scenario);

} // namespace vormlin_e2e
