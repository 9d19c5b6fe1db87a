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

static input same_either_way(bytes content, destination dest, bool header = false)
{
    return {std::move(content), dest, dest, header};
}

input random_input(rng &r, const known_set &k)
{
    gen_side unknown = side_of(300 + r.next() % 5);
    gen_side quad_changed = k.quad;
    quad_changed.files[3].data[0] ^= 0x41;
    bool h = r.below(2) == 0;
    switch (r.below(12)) {
    case 0:
        return same_either_way(gen_image_of({k.solo}, h), bak_or_ren, h);
    case 1:
        return same_either_way(gen_image_of({k.pair1, k.pair2}, h), bak_or_ren, h);
    case 2: // first side is a later side: rewritten, then split
        return same_either_way(gen_image_of({k.pair2, k.pair1}, true), to_bak);
    case 3: // FAM layout, one side of two: converted with -c, else a part
        return {gen_image_of({k.pair1}, h, r.below(2) == 0 ? 61824 : 61849), to_parts, to_bak};
    case 4: // surplus sides behind a known one
        return same_either_way(gen_image_of({k.solo, k.quad, unknown}, false), to_bak);
    case 5:
        return same_either_way(gen_image_of({unknown}, h), bak_or_stays, h);
    case 6:
        return same_either_way({0x02, 0x00, 0x0D, 0x7F}, to_rom);
    case 7:
        return same_either_way(bytes(r.below(300), static_cast<std::uint8_t>(r.next())), to_bad);
    case 8: { // one differing file, a surplus side; FAM layout when prefixed
        bool fam = r.below(2) != 0;
        return {gen_image_of({quad_changed, k.solo}, true, fam ? 61824 : 0), fam ? to_ren : to_bak,
                to_bak};
    }
    case 9: { // a header whose side count may be wrong
        bytes b = gen_image_of({k.pair1, k.pair2}, true);
        b[4] = static_cast<std::uint8_t>(r.next());
        return same_either_way(b, b[4] == 2 ? bak_or_ren : to_bak, true);
    }
    case 10: { // a second side cut short: the header's count is wrong either way
        bytes b = gen_image_of({k.solo, unknown}, true);
        gen_truncate(&b, 16 + 65500 + r.below(65500));
        return same_either_way(b, to_bak);
    }
    default: {
        bool other = r.below(2) != 0;
        bytes b = gen_image_of({k.quad}, false, other ? 100 : 0);
        return other ? input{b, to_ren, to_bak} : same_either_way(b, bak_or_ren);
    }
    }
}

int scenario_count(int runs_per_scenario)
{
    const char *text = std::getenv("FDS_PROPERTY_SCENARIOS");
    int n = text != nullptr ? std::atoi(text) : 0;
    return (n > 0 ? n : 300) / runs_per_scenario;
}

} // namespace vormlin_e2e
