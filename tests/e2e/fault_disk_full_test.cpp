// A full disk while an image is written: the sorter runs under a file-size limit, so every
// write past the limit fails as it would on a full disk. The run goes on, says "fwrite()
// error", leaves no partial image behind and loses no byte of any input.
#include "fault_fixture.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace fault_e2e;
using tree = std::map<std::string, bytes>;

TEST_F(FaultTest, ANormalisedImageThatDoesNotFitLeavesTheOriginalInPlace)
{
    std::string games = dir("games");
    bytes input = raw_sides({solo}); // 65500 bytes; the normalised image needs 65516
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", input));
    run_fault f;
    f.file_size_limit = 30000;
    run_result r = vormlin({"-v", "games"}, work, f);
    EXPECT_EQ(3, r.status) << "killed by a signal?"; // the image could not be sorted
    EXPECT_EQ("Vormlin: fwrite() error\nVORMLIN: Done!\n\n1 file was left where it was:\n"
              "games/solo.fds: games/solo.fds could not be written; left unchanged\n",
              r.err);
    EXPECT_NE(std::string::npos,
              r.out.find("games/solo.fds could not be written; left unchanged"))
        << r.out;
    EXPECT_EQ((tree{{"solo.fds", input}}), snapshot_tree(games));
}

TEST_F(FaultTest, ATemporaryImageThatDoesNotFitIsRemovedAndTheOriginalStaysInBak)
{
    std::string games = dir("games");
    bytes input = raw_sides({solo, pair2, quad}); // two surplus sides: 131000 bytes
    ASSERT_TRUE(write_file_bytes(games + "/three.fds", input));
    run_fault f;
    f.file_size_limit = 100000;
    run_result r = vormlin({"-v", "games"}, work, f);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Vormlin: fwrite() error\nVORMLIN: Done!\n", r.err);
    EXPECT_NE(std::string::npos,
              r.out.find("2 surplus side(s) could not be written to tmp0000.fds"))
        << r.out;
    EXPECT_FALSE(file_exists(work + "/tmp0000.fds"));
    EXPECT_EQ((tree{{"bak/three.fds", input}, {"ren/Solo.fds", with_header(raw_sides({solo}), 1)}}),
              snapshot_tree(games));
}

// A "tmp" file is rewritten in place, without a backup: its bytes must survive a write that
// fails, whether the split-off sides or the normalised image do not fit.
TEST_F(FaultTest, ATmpImageRewrittenInPlaceSurvivesAFullDisk)
{
    struct fill_case {
        const char *label;
        bytes input;
        long limit;
    } cases[] = {
        {"split fails", raw_sides({solo, pair2, quad}), 100000},
        {"image fails", raw_sides({solo}), 30000},
        {"unknown image fails", raw_sides({side_of(999)}), 30000},
    };
    for (const fill_case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string games = dir(std::string("games-") + c.label);
        ASSERT_TRUE(write_file_bytes(games + "/tmpgame.fds", c.input));
        run_fault f;
        f.file_size_limit = c.limit;
        run_result r = vormlin({"-v", games}, work, f);
        EXPECT_EQ(3, r.status);
        EXPECT_NE(std::string::npos, r.err.find("Vormlin: fwrite() error\n")) << r.err;
        EXPECT_NE(std::string::npos, r.out.find("left unchanged")) << r.out;
        EXPECT_EQ((tree{{"tmpgame.fds", c.input}}), snapshot_tree(games));
        EXPECT_FALSE(file_exists(work + "/tmp0000.fds"));
    }
}

TEST_F(FaultTest, TheDumperReportsToAFullOutputWithoutDying)
{
    std::string games = dir("games");
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", gen_image_of({solo}, true)));
    std::string out = work + "/report.txt";
    // quindle's output goes to a file that may hold 10 bytes: its writes fail, it goes on.
    std::vector<std::string> argv = {
        "/bin/sh", "-c", std::string("exec \"$0\" -x solo.fds solo.fds > ") + out, QUINDLE_PATH};
    run_fault f;
    f.file_size_limit = 10;
    run_result r = run_program_faulted(argv, games, f);
    EXPECT_EQ(0, r.status) << "killed by a signal?";
    EXPECT_EQ(10u, read_file_bytes(out).size());
}

} // namespace
