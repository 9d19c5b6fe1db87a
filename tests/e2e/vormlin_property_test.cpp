// Random sorting scenarios (seeded, so every run is the same): whatever the sorter does, every
// input file's bytes survive somewhere below the working directory, and nothing outside the
// scanned and current directories changes.
#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace
{

using namespace vormlin_e2e;
using tree = std::map<std::string, bytes>;

struct rng {
    std::uint32_t state;
    std::uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    std::size_t below(std::size_t n) { return next() % n; }
};

struct known_set {
    gen_side solo = side_of(201), pair1 = side_of(202, 4), pair2 = side_of(203),
             quad = side_of(204, 4);
};

// One input file of a random kind.
bytes random_content(rng &r, const known_set &k)
{
    gen_side unknown = side_of(300 + r.next() % 5);
    gen_side quad_changed = k.quad;
    quad_changed.files[3].data[0] ^= 0x41;
    bytes b;
    switch (r.below(12)) {
    case 0:
        b = image_of({k.solo}, r.below(2) == 0);
        break;
    case 1:
        b = image_of({k.pair1, k.pair2}, r.below(2) == 0);
        break;
    case 2:
        b = image_of({k.pair2, k.pair1}, true);
        break;
    case 3:
        b = image_of({k.pair1}, r.below(2) == 0, r.below(2) == 0 ? 61824 : 61849);
        break;
    case 4:
        b = image_of({k.solo, k.quad, unknown}, false);
        break;
    case 5:
        b = image_of({unknown}, r.below(2) == 0);
        break;
    case 6:
        b = {0x02, 0x00, 0x0D, 0x7F};
        break;
    case 7:
        b = bytes(r.below(300), static_cast<std::uint8_t>(r.next()));
        break;
    case 8:
        b = image_of({quad_changed, k.solo}, true, r.below(2) == 0 ? 0 : 61824);
        break;
    case 9:
        b = image_of({k.pair1, k.pair2}, true);
        b[4] = static_cast<std::uint8_t>(r.next());
        break;
    case 10:
        b = image_of({k.solo, unknown}, true);
        gen_truncate(&b, 16 + 65500 + r.below(65500));
        break;
    default:
        b = image_of({k.quad}, false, r.below(2) == 0 ? 0 : 100);
        break;
    }
    return b;
}

const char *const input_names[] = {"a.fds",    "B.FDS",   "c.fam",    "Game.fds",
                                   "game.FAM", "x y.fds", "solo.fds", "Solo.fam"};
const char *const obstacles[] = {
    "ren", "bak", "dupes", "ren/Solo.fds", "dupes/Solo.fds", "parts/Pair.fds", "a.fds", "c.fds"};

std::multiset<bytes> contents(const tree &t)
{
    std::multiset<bytes> out;
    for (const auto &entry : t)
        out.insert(entry.second);
    return out;
}

void write_scenario(rng &r, const known_set &k, const std::string &scan, const std::string &cwd,
                    tree *inputs)
{
    int count = 1 + static_cast<int>(r.below(6));
    for (int i = 0; i < count; i++) {
        std::string name = input_names[r.below(std::size(input_names))];
        (*inputs)[scan + "/" + name] = random_content(r, k);
    }
    for (int i = static_cast<int>(r.below(3)); i > 0; i--) {
        std::string path = scan + "/" + obstacles[r.below(std::size(obstacles))];
        std::string parent = std::filesystem::path(path).parent_path().string();
        if (file_exists(path) || inputs->count(path) != 0 || inputs->count(parent) != 0) continue;
        std::filesystem::create_directories(parent);
        (*inputs)[path] = image_of({k.solo}, true);
    }
    if (scan != cwd && r.below(2) == 0)
        (*inputs)[cwd + "/tmp0000.fds"] = image_of({k.pair2}, false);
    for (const auto &[path, data] : *inputs)
        ASSERT_TRUE(write_file_bytes(path, data)) << path;
}

std::vector<std::string> random_options(rng &r)
{
    std::vector<std::string> out;
    for (const char *o : {"-s", "-u", "-H", "-c"}) {
        if (r.below(2) == 0) out.emplace_back(o);
    }
    return out;
}

TEST(VormlinProperty, NoInputIsEverLostAndNothingOutsideChanges)
{
    known_set k;
    std::string root = make_scratch_dir("vormlin-prop");
    std::string outside = root + "/outside";
    std::filesystem::create_directories(outside + "/ren");
    ASSERT_TRUE(write_file_bytes(outside + "/neighbour.fds", image_of({k.solo}, false)));
    ASSERT_TRUE(write_file_bytes(outside + "/ren/Solo.fds", image_of({k.solo}, true)));
    tree outside_before = snapshot_tree(outside);
    rng r{12345};
    for (int scenario = 0; scenario < 100; scenario++) {
        SCOPED_TRACE("scenario " + std::to_string(scenario));
        std::string work = root + "/work" + std::to_string(scenario);
        bool scan_cwd = r.below(3) == 0;
        std::string scan = scan_cwd ? work : work + "/scan";
        std::filesystem::create_directories(scan);
        ASSERT_TRUE(write_catalogue(
            work,
            {{"Solo.fds", {k.solo}}, {"Pair.fds", {k.pair1, k.pair2}}, {"Quad.fds", {k.quad}}}));
        tree inputs;
        write_scenario(r, k, scan, work, &inputs);
        std::vector<std::string> args = random_options(r);
        if (!scan_cwd) args.emplace_back("scan");
        run_result result = vormlin(args, work);
        EXPECT_EQ(0, result.status) << result.err;
        std::multiset<bytes> after = contents(snapshot_tree(work));
        for (const auto &[path, data] : inputs)
            EXPECT_GT(after.count(data), 0u) << path << " lost";
        EXPECT_EQ(outside_before, snapshot_tree(outside));
        remove_tree(work);
    }
    remove_tree(root);
}

} // namespace
