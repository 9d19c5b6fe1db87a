// Random sorting scenarios (seeded, so every run is the same): random catalogue images, damaged
// files and obstacles, random options, one or two runs. Whatever the sorter does, every input
// file's bytes survive in the directory the sorting rules name for its kind, no file that was
// there before changes, and nothing outside the scanned and current directories changes.
// FDS_PROPERTY_SCENARIOS sets the number of scenarios (default 300).
#include "scenario.h"
#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace {

using namespace vormlin_e2e;
using tree = std::map<std::string, bytes>;

const char *const input_names[] = {"a.fds",    "B.FDS",   "c.fam",    "Game.fds",
                                   "game.FAM", "x y.fds", "solo.fds", "Solo.fam"};
// Files that stand in the scanned directory before the run: plain files in place of a
// subdirectory, and names that the sorter's moves will find taken.
const char *const obstacles[] = {"ren",           "bak", "dupes", "ren/Solo.fds", "dupes/Solo.fds",
                                 "parts/Pair.fds"};

// How many files of the tree hold exactly data.
std::ptrdiff_t copies_of(const tree &t, const bytes &data)
{
    return std::count_if(t.begin(), t.end(), [&](const auto &e) { return e.second == data; });
}

struct scenario {
    std::string work, scan;              // scan is work itself or work/scan
    std::map<std::string, input> inputs; // by name in scan
    tree before;                         // files there before the run, inputs excepted
    std::set<std::string> blocked;       // subdirectory names taken by plain files
    bool no_header = false, convert = false;
};

void write_scenario(rng &r, const known_set &k, scenario *s)
{
    int count = 1 + static_cast<int>(r.below(6));
    for (int i = 0; i < count; i++)
        s->inputs[input_names[r.below(std::size(input_names))]] = random_input(r, k);
    for (int i = static_cast<int>(r.below(3)); i > 0; i--) {
        std::string name = obstacles[r.below(std::size(obstacles))];
        std::string parent = std::filesystem::path(name).parent_path().string();
        std::string path = s->scan + "/" + name;
        if (file_exists(path) || s->blocked.count(parent) != 0)
            continue;
        if (!parent.empty())
            std::filesystem::create_directories(s->scan + "/" + parent);
        if (parent.empty())
            s->blocked.insert(name);
        s->before[path] = gen_image_of({k.solo}, true);
    }
    if (s->scan != s->work && r.below(2) == 0)
        s->before[s->work + "/tmp0000.fds"] = gen_image_of({k.pair2}, false);
    for (const auto &[path, data] : s->before)
        ASSERT_TRUE(write_file_bytes(path, data)) << path;
    for (const auto &[name, in] : s->inputs)
        ASSERT_TRUE(write_file_bytes(s->scan + "/" + name, in.content)) << name;
}

std::vector<std::string> random_options(rng &r, scenario *s)
{
    std::vector<std::string> out = random_flags(r);
    for (const std::string &o : out) {
        s->no_header = s->no_header || o == "-H";
        s->convert = s->convert || o == "-c";
    }
    return out;
}

// The top-level directories of the scan ("" for the scan directory itself) in which the
// input's own bytes may lie afterwards, by the sorting rules.
std::set<std::string> allowed_places(const input &in, const scenario &s)
{
    destination d = s.convert ? in.dest_c : in.dest;
    bool rewrite = in.header == s.no_header;
    if (d == bak_or_ren)
        d = rewrite ? to_bak : to_ren;
    if (d == bak_or_stays)
        d = rewrite ? to_bak : stays;
    switch (d) {
    case to_bak:
        // A plain file named bak stops the backup: the file stays unchanged.
        return {s.blocked.count("bak") != 0 ? "" : "bak"};
    case to_ren: {
        std::set<std::string> out = {"dupes"};
        if (s.blocked.count("ren") == 0)
            out.insert("ren");
        if (s.blocked.count("dupes") != 0)
            out.insert("");
        return out;
    }
    case to_parts:
        return {"parts"};
    case to_bad:
        return {"bad"};
    case to_rom:
        return {"rom"};
    default:
        return {""};
    }
}

// The top-level directory (relative to the scan) of each file of the tree that holds data.
std::set<std::string> places_of(const tree &after, const scenario &s, const bytes &data)
{
    std::string prefix = s.scan == s.work ? "" : "scan/";
    std::set<std::string> out;
    for (const auto &[rel, content] : after) {
        if (content != data || rel.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string in_scan = rel.substr(prefix.size());
        std::size_t slash = in_scan.find('/');
        out.insert(slash == std::string::npos ? "" : in_scan.substr(0, slash));
    }
    return out;
}

void check_scenario(const scenario &s, const tree &after)
{
    for (const auto &[name, in] : s.inputs) {
        std::set<std::string> allowed = allowed_places(in, s);
        std::set<std::string> found = places_of(after, s, in.content);
        bool in_place = false;
        for (const std::string &place : found)
            in_place = in_place || allowed.count(place) != 0;
        EXPECT_TRUE(in_place) << name << " is not where the rules put it (expected in '"
                              << *allowed.begin() << "', found in " << found.size() << " places)";
    }
    // Inputs with the same bytes need as many copies left.
    for (const auto &entry : s.inputs) {
        const bytes &data = entry.second.content;
        auto given = std::count_if(s.inputs.begin(), s.inputs.end(),
                                   [&](const auto &e) { return e.second.content == data; });
        EXPECT_GE(copies_of(after, data), given) << entry.first << ": an input's bytes were lost";
    }
    for (const auto &[path, data] : s.before) {
        std::string rel = path.substr(s.work.size() + 1);
        auto it = after.find(rel);
        EXPECT_TRUE(it != after.end() && it->second == data) << rel << " changed or vanished";
    }
}

TEST(VormlinProperty, EveryInputSurvivesWhereTheRulesPutItAndNothingElseChanges)
{
    known_set k = known_games(201);
    std::string root = make_scratch_dir("vormlin-prop");
    std::string outside = root + "/outside";
    std::filesystem::create_directories(outside + "/ren");
    ASSERT_TRUE(write_file_bytes(outside + "/neighbour.fds", gen_image_of({k.solo}, false)));
    ASSERT_TRUE(write_file_bytes(outside + "/ren/Solo.fds", gen_image_of({k.solo}, true)));
    tree outside_before = snapshot_tree(outside);
    rng r{12345};
    for (int n = 0, count = scenario_count(1); n < count; n++) {
        SCOPED_TRACE("scenario " + std::to_string(n));
        scenario s;
        s.work = root + "/work" + std::to_string(n);
        bool scan_cwd = r.below(3) == 0;
        s.scan = scan_cwd ? s.work : s.work + "/scan";
        std::filesystem::create_directories(s.scan);
        ASSERT_TRUE(write_known_catalogue(s.work, k));
        write_scenario(r, k, &s);
        std::vector<std::string> args = random_options(r, &s);
        if (!scan_cwd)
            args.emplace_back("scan");
        int runs = r.below(3) == 0 ? 2 : 1;
        for (int run = 0; run < runs; run++) {
            run_result result = vormlin(args, s.work);
            // 3: a file could not be sorted (an obstacle stood in its way)
            EXPECT_TRUE(result.status == 0 || result.status == 3) << result.err;
        }
        check_scenario(s, snapshot_tree(s.work));
        EXPECT_EQ(outside_before, snapshot_tree(outside));
        remove_tree(s.work);
    }
    remove_tree(root);
}

} // namespace
