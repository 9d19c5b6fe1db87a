// Subdirectories that cannot be created: a plain file in the way of ren, bak, dupes or parts,
// and a scanned directory the sorter may not write to. Every file keeps its bytes, and the
// sorter says what it could not do. And what a sort remembers of its subdirectories.
#include "fault_fixture.h"
#include "recording_fs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

using namespace fault_e2e;
using tree = std::map<std::string, bytes>;

struct blocked_case {
    const char *label;
    std::vector<std::string> plain_files; // created as plain files before the run
    int input;                            // 0 Solo as is, 1 Solo without header, 2 Pair side 2
    const char *told;                     // what the verbose line says
    const char *lands_in;                 // where the input ends ("" for: left where it was)
};

class FaultSubdir : public FaultTest, public ::testing::WithParamInterface<blocked_case> {};

TEST_P(FaultSubdir, APlainFileInPlaceOfTheSubdirectoryStopsOnlyThatMove)
{
    const blocked_case &c = GetParam();
    std::string games = dir("games");
    bytes inputs[] = {gen_image_of({solo}, true), raw_sides({solo}), gen_image_of({pair2}, true)};
    const bytes &input = inputs[c.input];
    ASSERT_TRUE(write_file_bytes(games + "/in.fds", input));
    tree before;
    for (const std::string &name : c.plain_files) {
        std::string path = games + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(write_file_text(path, "in the way: " + name));
    }
    before = snapshot_tree(games);
    before.erase("in.fds");
    run_result r = vormlin({"-v", "games"}, work);
    bool failed = c.lands_in[0] == '\0';
    EXPECT_EQ(failed ? 3 : 0, r.status); // 3: the file could not be sorted
    // Done!, and below it the file that was left, as -v words it.
    EXPECT_EQ(failed ? "VORMLIN: Done!\n\n1 file was left where it was:\ngames/in.fds: " +
                           std::string(c.told) + "\n"
                     : "VORMLIN: Done!\n",
              r.err);
    EXPECT_NE(std::string::npos, r.out.find(c.told)) << r.out;
    tree after = snapshot_tree(games);
    for (const auto &[path, content] : before)
        EXPECT_EQ(content, after[path]) << path << " changed";
    std::string landed = std::string(c.lands_in).empty() ? "in.fds" : c.lands_in;
    EXPECT_EQ(input, after[landed]);
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles, FaultSubdir,
    ::testing::Values(
        blocked_case{
            "ren", {"ren"}, 0, "identified; moved to games/dupes/Solo.fds", "dupes/Solo.fds"},
        blocked_case{"bak", {"bak"}, 1, "backup into bak failed; left unchanged", ""},
        blocked_case{"parts", {"parts"}, 2, "part of Pair (2o2).fds; could not be moved", ""},
        blocked_case{"ren_and_dupes",
                     {"ren/Solo.fds", "dupes"},
                     0,
                     "identified as Solo.fds; could not be moved",
                     ""},
        blocked_case{"bad", {"bad"}, 0, "identified; moved to games/ren/Solo.fds", "ren/Solo.fds"}),
    [](const ::testing::TestParamInfo<blocked_case> &param) {
        return std::string(param.param.label);
    });

TEST_F(FaultTest, AScannedDirectoryWithoutWriteRightsLeavesEveryFileInPlace)
{
    run_fault f;
    if (!make_permissions_bind(&f))
        GTEST_SKIP() << "root without a 'nobody' user to switch to";
    std::string games = dir("games");
    tree input = {
        {"as-is.fds", gen_image_of({solo}, true)},
        {"headerless.fds", raw_sides({solo})},
        {"junk.fds", bytes{'j', 'u', 'n', 'k'}},
        {"side2.fds", gen_image_of({pair2}, true)},
    };
    for (const auto &[name, content] : input)
        ASSERT_TRUE(write_file_bytes(games + "/" + name, content));
    ASSERT_EQ(0, chmod(work.c_str(), 0755));
    ASSERT_EQ(0, chmod(games.c_str(), 0555));
    run_result r = vormlin({"-v", "games"}, work, f);
    chmod(games.c_str(), 0755);
    EXPECT_EQ(3, r.status) << r.err;
    EXPECT_EQ("VORMLIN: Done!\n\n4 files were left where they were:\n"
              "games/as-is.fds: identified as Solo.fds; could not be moved\n"
              "games/headerless.fds: backup into bak failed: games/.vormlin-journal could not be "
              "created; left unchanged\n"
              "games/junk.fds: no disk side; could not be moved into bad\n"
              "games/side2.fds: part of Pair (2o2).fds; could not be moved\n\n"
              "miss.txt was not written.\n",
              r.err);
    EXPECT_EQ(input, snapshot_tree(games));
    for (const char *told : {"games/as-is.fds: identified as Solo.fds; could not be moved",
                             "games/headerless.fds: backup into bak failed: "
                             "games/.vormlin-journal could not be created; left unchanged",
                             "games/junk.fds: no disk side; could not be moved into bad",
                             "games/side2.fds: part of Pair (2o2).fds; could not be moved"})
        EXPECT_NE(std::string::npos, r.out.find(told)) << told << "\n" << r.out;
}

// Copies of one game: each tries only the name it takes, since the sort remembers the names
// that the copies before it filled; a move refused once, as by a passing fault, is tried again.
TEST_F(FaultTest, EachCopyOfAGameTriesOnlyTheNameItTakes)
{
    std::string games = dir("games");
    for (const char *name : {"a.fds", "b.fds", "c.fds", "d.fds", "e.fds"})
        ASSERT_TRUE(write_file_bytes(games + "/" + name, gen_image_of({solo}, true)));
    fs_recording r;
    r.fail_kind = op_move;
    r.fail_path = "Solo.fd";
    r.fail_at = 3; // the first try of dupes/Solo.fd0
    ASSERT_EQ(run_done, sort_recorded({"games"}, work, &r).ending);
    EXPECT_EQ(6, r.calls) << "a move tried a name that a copy before it took";
    std::set<std::string> names;
    for (const auto &[name, content] : snapshot_tree(games))
        names.insert(name);
    EXPECT_EQ((std::set<std::string>{"dupes/Solo.fd0", "dupes/Solo.fd1", "dupes/Solo.fd2",
                                     "dupes/Solo.fds", "ren/Solo.fds"}),
              names);
}

} // namespace
