// The sorter's dry run: on random scenarios (seeded) a preview changes nothing at all, and a
// real run with the same options then does exactly what the preview said, line by line,
// including the miss.txt it writes. Also the per-run summary line.
// Each scenario runs the sorter twice; FDS_PROPERTY_SCENARIOS / 2 scenarios run (default 150).
#include "scenario.h"
#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

using namespace vormlin_e2e;
namespace fs = std::filesystem;

const char *const input_names[] = {"a.fds",    "B.FDS",    "c.fam",       "Game.fds",
                                   "game.FAM", "x y.fds",  "solo.fds",    "Solo.fam",
                                   "zz.fds",   "tmp7.fds", "tmp0001.fds", "pair.fam"};
// Entries that stand in the way: plain files in place of a subdirectory, names that moves
// find taken (so that numbered retries and dupes follow), and a directory named like an image.
const char *const obstacles[] = {"ren",          "bak",          "dupes",          "parts",
                                 "ren/Solo.fds", "ren/Pair.fds", "dupes/Solo.fds", "dupes/Solo.fd0",
                                 "bak/a.fds",    "bak/a.fd0",    "parts/Pair.fds", "dir.fds/x"};

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

const std::regex summary_pattern(
    R"(summary: \d+ identified, \d+ duplicates, \d+ partial, \d+ unidentified, \d+ bad, \d+ rom, )"
    R"(\d+ failed, \d+ rewritten, \d+ split in \d+\.\d\d s)");

// A real run's lines as the preview must have predicted them: the summary's time dropped.
std::string without_time(const std::string &line)
{
    if (!std::regex_match(line, summary_pattern))
        return line;
    return line.substr(0, line.rfind(" in "));
}

struct preview {
    std::vector<std::string> lines;   // the prefix removed, summary times dropped
    std::vector<std::string> reports; // each miss.txt the preview says it would write
};

// Splits a preview's output into what would be printed and the miss.txt texts.
preview read_preview(const std::string &out)
{
    preview p;
    const std::string prefix = "dry run: ";
    std::vector<std::string> all = lines_of(out);
    for (std::size_t i = 0; i < all.size(); i++) {
        std::string line = all[i];
        if (line == prefix + "miss.txt would read:") {
            std::string text;
            while (++i < all.size()) {
                text += all[i] + "\n";
                if (all[i].rfind("You miss ", 0) == 0)
                    break;
            }
            p.reports.push_back(text);
            continue;
        }
        if (line.rfind(prefix, 0) == 0)
            line = line.substr(prefix.size());
        p.lines.push_back(without_time(line));
    }
    return p;
}

// What the scenarios reached, so that a generator that stopped covering a path is noticed.
struct coverage {
    int numbered = 0, dupes = 0, split = 0, temp_same_scan = 0, failed = 0, later_side = 0;
    void add(const std::vector<std::string> &lines)
    {
        static const std::regex numbered_name(
            R"(moved to [^;]*\.f[a-zA-Z][0-9]$|in [^;]*\.f[a-zA-Z][0-9]\))");
        std::set<std::string> temps;
        auto has = [](const std::string &line, const char *text) {
            return line.find(text) != std::string::npos ? 1 : 0;
        };
        for (const std::string &line : lines) {
            numbered += std::regex_search(line, numbered_name) ? 1 : 0;
            dupes += has(line, "/dupes/");
            failed += has(line, "could not be moved") + has(line, "backup into bak failed");
            later_side += has(line, "later side first");
            std::size_t at = line.find("split off into ");
            if (at != std::string::npos) {
                split++;
                temps.insert("./" + line.substr(at + 15, 11) + ":");
            }
            temp_same_scan += temps.count(line.substr(0, 14)) != 0 ? 1 : 0;
        }
    }
};

struct scenario {
    std::string work, scan;
    std::vector<std::string> args;
};

void write_scenario(rng &r, const known_set &k, const scenario &s)
{
    for (int i = static_cast<int>(r.below(4)); i > 0; i--) {
        std::string path = s.scan + "/" + obstacles[r.below(std::size(obstacles))];
        fs::path parent = fs::path(path).parent_path();
        if (fs::exists(path) || (fs::exists(parent) && !fs::is_directory(parent)))
            continue;
        fs::create_directories(parent);
        ASSERT_TRUE(write_file_bytes(path, gen_image_of({k.solo}, true))) << path;
    }
    if (r.below(3) == 0) {
        ASSERT_TRUE(write_file_bytes(s.work + "/tmp0000.fds", gen_image_of({k.pair2}, false)));
    }
    for (int i = 1 + static_cast<int>(r.below(6)); i > 0; i--) {
        std::string path = s.scan + "/" + input_names[r.below(std::size(input_names))];
        ASSERT_TRUE(write_file_bytes(path, random_input(r, k).content)) << path;
    }
}

std::vector<std::string> random_args(rng &r, bool scan_cwd)
{
    std::vector<std::string> out = random_flags(r);
    // Later runs of one call see what earlier ones did: the temporary images in the current
    // directory, the images placed in ren (a directory the preview has only planned).
    static const std::vector<std::vector<std::string>> cwd_dirs = {
        {}, {"."}, {"./", "."}, {".", "ren"}};
    static const std::vector<std::vector<std::string>> sub_dirs = {
        {"scan"}, {"scan", "."}, {"scan/", "scan"}, {"scan", "scan/ren/"}};
    const auto &dirs = (scan_cwd ? cwd_dirs : sub_dirs)[r.below(4)];
    out.insert(out.end(), dirs.begin(), dirs.end());
    return out;
}

// Runs the preview and then the real run of one scenario and compares them.
void preview_then_run(const scenario &s, coverage *seen)
{
    std::vector<std::string> preview_args = {"-n", "-v"};
    preview_args.insert(preview_args.end(), s.args.begin(), s.args.end());
    std::vector<std::string> real_args = {"-v"};
    real_args.insert(real_args.end(), s.args.begin(), s.args.end());

    tree_state before = state_of(s.work);
    run_result planned = vormlin(preview_args, s.work);
    EXPECT_EQ("", tree_difference(before, state_of(s.work))) << "the preview changed the directory";
    run_result done = vormlin(real_args, s.work);
    EXPECT_EQ(done.status, planned.status);
    EXPECT_EQ(done.err, planned.err);

    preview p = read_preview(planned.out);
    std::vector<std::string> real_lines;
    for (const std::string &line : lines_of(done.out))
        real_lines.push_back(without_time(line));
    EXPECT_EQ(real_lines, p.lines) << "preview:\n" << planned.out << "\nreal run:\n" << done.out;
    ASSERT_FALSE(p.reports.empty());
    EXPECT_EQ(read_file_text(s.work + "/miss.txt"), p.reports.back());
    seen->add(real_lines);
}

TEST(VormlinDryRun, APreviewChangesNothingAndTheRealRunDoesWhatItSaid)
{
    known_set k = known_games(201);
    std::string root = make_scratch_dir("vormlin-dry");
    ASSERT_TRUE(write_known_catalogue(root, k));
    std::string catalogue = read_file_text(root + "/ingredients.dat");
    coverage seen;
    rng r{4242};
    for (int n = 0, count = scenario_count(2); n < count; n++) {
        SCOPED_TRACE("scenario " + std::to_string(n));
        scenario s;
        s.work = root + "/work" + std::to_string(n);
        bool scan_cwd = r.below(2) == 0;
        s.scan = scan_cwd ? s.work : s.work + "/scan";
        fs::create_directories(s.scan);
        ASSERT_TRUE(write_file_text(s.work + "/ingredients.dat", catalogue));
        write_scenario(r, k, s);
        s.args = random_args(r, scan_cwd);
        preview_then_run(s, &seen);
        remove_tree(s.work);
        if (HasFailure())
            break;
    }
    EXPECT_GT(seen.numbered, 0);
    EXPECT_GT(seen.dupes, 0);
    EXPECT_GT(seen.split, 0);
    EXPECT_GT(seen.temp_same_scan, 0);
    EXPECT_GT(seen.failed, 0);
    EXPECT_GT(seen.later_side, 0);
    remove_tree(root);
}

// One file per outcome, in the current directory: the split-off side is sorted by the same
// scan, and a third copy of Solo finds ren, dupes and every numbered name taken.
class VormlinSummary : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(write_catalogue(work, {{"Solo.fds", {k.solo}},
                                           {"Pair.fds", {k.pair1, k.pair2}},
                                           {"Quad.fds", {k.quad}},
                                           {"Zeta.fds", {side_of(888)}}}));
        fs::create_directories(work + "/dupes");
        for (char digit = '0'; digit <= '9'; digit++)
            ASSERT_TRUE(write_file_bytes(work + "/dupes/Solo.fd" + digit, {0x01}));
        std::map<std::string, bytes> files = {
            {"a.fds", gen_image_of({k.solo}, true)},
            {"b.fds", gen_image_of({k.solo}, true)},
            {"c.fds", gen_image_of({k.pair1}, true)},
            {"d.fds", gen_image_of({side_of(777)}, true)},
            {"e.fds", {'j', 'u', 'n', 'k'}},
            {"f.fds", {0x02, 0x00, 0x0D, 0x00}},
            {"g.fds", gen_image_of({k.pair1, k.pair2, k.quad}, false)},
            {"h.fds", gen_image_of({k.solo}, true)},
        };
        for (const auto &[name, content] : files)
            ASSERT_TRUE(write_file_bytes(work + "/" + name, content));
    }
    void TearDown() override { remove_tree(work); }

    known_set k = known_games(201);
    std::string work = make_scratch_dir("vormlin-summary");
};

const std::regex expected_summary(
    "summary: 3 identified, 1 duplicates, 1 partial, 1 unidentified, 1 bad, 1 rom, 1 failed, "
    "2 rewritten, 1 split in \\d+\\.\\d\\d s");

TEST_F(VormlinSummary, APreviewAndTheRunEndWithTheSameCounts)
{
    tree_state before = state_of(work);
    run_result planned = vormlin({"-nv"}, work);
    EXPECT_EQ(3, planned.status); // one file failed
    EXPECT_EQ("", tree_difference(before, state_of(work)));
    std::vector<std::string> planned_lines = lines_of(planned.out);
    ASSERT_FALSE(planned_lines.empty());
    EXPECT_EQ(0u, planned_lines.back().find("dry run: summary: "));
    EXPECT_TRUE(std::regex_match(planned_lines.back().substr(9), expected_summary))
        << planned_lines.back();

    run_result done = vormlin({"--verbose"}, work);
    EXPECT_EQ(3, done.status);
    std::vector<std::string> lines = lines_of(done.out);
    ASSERT_EQ(11u, lines.size()) << done.out; // the label, nine files, the summary
    EXPECT_TRUE(std::regex_match(lines.back(), expected_summary)) << lines.back();
    EXPECT_EQ("./tmp0000.fds: normalised for size as ./tmp0000.fds; identified; moved to "
              "./ren/Quad.fds",
              lines[9]);
    EXPECT_EQ("./h.fds: identified as Solo.fds; could not be moved", lines[8]);
}

TEST_F(VormlinSummary, APreviewWithoutVerbosePrintsEachFileAndTheReportButNoSummary)
{
    tree_state before = state_of(work);
    run_result planned = vormlin({"--dry-run"}, work);
    EXPECT_EQ(3, planned.status);
    EXPECT_EQ("VORMLIN: Done!\n\n1 file was left where it was:\n"
              "./h.fds: identified as Solo.fds; could not be moved\n",
              planned.err);
    EXPECT_EQ("", tree_difference(before, state_of(work)));
    std::vector<std::string> lines = lines_of(planned.out);
    ASSERT_EQ(14u, lines.size()) << planned.out; // label, nine files, heading, three lines
    EXPECT_EQ("dry run: ./g.fds: normalised for size (original in ./bak/g.fds); 1 surplus "
              "side(s) split off into tmp0000.fds; identified; moved to ./ren/Pair.fds",
              lines[7]);
    EXPECT_EQ((std::vector<std::string>{"dry run: miss.txt would read:", "Zeta.fds", "",
                                        "You miss only 1 games!"}),
              std::vector<std::string>(lines.begin() + 10, lines.end()));
    EXPECT_FALSE(file_exists(work + "/miss.txt"));
}

TEST(VormlinDryRunHelp, TheHelpNamesTheDryRunAndTheSummary)
{
    run_result help = vormlin({"--help"}, fs::temp_directory_path().string());
    EXPECT_NE(std::string::npos, help.out.find("  -n, --dry-run "));
    EXPECT_NE(std::string::npos, help.out.find("summary"));
}

} // namespace
