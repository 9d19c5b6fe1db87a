// Awkward image files end to end: pipes, links, unreadable files, odd and over-long names,
// every numbered name taken, every temporary name taken. Each run ends with "Done!", every
// file keeps its bytes, and nothing outside the scanned tree changes.
#include "fault_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

using namespace fault_e2e;
using tree = std::map<std::string, bytes>;

TEST_F(FaultTest, PipesAndDanglingLinksAreSkippedAndLinksAreMovedNotFollowed)
{
    std::string games = dir("games"), elsewhere = dir("elsewhere");
    ASSERT_EQ(0, mkfifo((games + "/pipe.fds").c_str(), 0644));
    ASSERT_EQ(0, symlink("nowhere.fds", (games + "/dangling.fds").c_str()));
    bytes target = raw_sides({solo});
    ASSERT_TRUE(write_file_bytes(elsewhere + "/target.fds", target));
    ASSERT_EQ(0, symlink((elsewhere + "/target.fds").c_str(), (games + "/link.fds").c_str()));
    run_result r = vormlin({"-v", "games"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("VORMLIN: Done!\n", r.err); // the pipe was never opened: no hang
    EXPECT_EQ((tree{{"target.fds", target}}), snapshot_tree(elsewhere));
    struct stat st;
    EXPECT_EQ(0, lstat((games + "/pipe.fds").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(0, lstat((games + "/dangling.fds").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // The link itself went to bak; the normalised copy of what it showed went to ren.
    EXPECT_EQ(0, lstat((games + "/bak/link.fds").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(with_header(target, 1), read_file_bytes(games + "/ren/Solo.fds"));
}

// The report is written only as a new plain file: never through a link, never into a pipe.
TEST_F(FaultTest, AMissTxtThatIsNoPlainFileIsNeitherFollowedNorWaitedFor)
{
    std::string elsewhere = dir("elsewhere");
    ASSERT_TRUE(write_file_text(elsewhere + "/notes.txt", "keep"));
    const bool fifo_cases[] = {false, true};
    for (bool fifo : fifo_cases) {
        SCOPED_TRACE(fifo ? "fifo" : "link");
        std::string cwd = dir(fifo ? "fifo" : "link"), games = cwd + "/games";
        std::filesystem::copy_file(work + "/ingredients.dat", cwd + "/ingredients.dat");
        std::filesystem::create_directory(games);
        ASSERT_TRUE(write_file_bytes(games + "/solo.fds", gen_image_of({solo}, true)));
        std::string report = cwd + "/miss.txt";
        ASSERT_EQ(0, fifo ? mkfifo(report.c_str(), 0644)
                          : symlink((elsewhere + "/notes.txt").c_str(), report.c_str()));
        run_result r = vormlin({"games"}, cwd, {}, 10);
        EXPECT_EQ(3, r.status);
        EXPECT_NE(std::string::npos,
                  r.err.find("VORMLIN: miss.txt was not written: it is not a regular file.\n"))
            << r.err;
        struct stat st;
        EXPECT_EQ(0, lstat(report.c_str(), &st));
        EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
        EXPECT_EQ((tree{{"notes.txt", {'k', 'e', 'e', 'p'}}}), snapshot_tree(elsewhere));
        EXPECT_EQ((tree{{"ren/Solo.fds", gen_image_of({solo}, true)}}), snapshot_tree(games));
    }
}

// Side files of older versions are the user's now: never removed, never written.
TEST_F(FaultTest, AUsersFileNamedLikeASideFileIsNeverTouched)
{
    std::string games = dir("games");
    const bytes mine = {'m', 'i', 'n', 'e'};
    ASSERT_TRUE(write_file_bytes(games + "/tmp0000.fds", raw_sides({solo}))); // rewritten in place
    ASSERT_TRUE(write_file_bytes(games + "/tmp0000.fds.new", mine));
    ASSERT_TRUE(write_file_bytes(games + "/two.fds", raw_sides({quad, solo}))); // split off
    ASSERT_TRUE(write_file_bytes(work + "/tmp0000.fds.new", mine));
    vormlin({"games"}, work);
    EXPECT_EQ(mine, read_file_bytes(games + "/tmp0000.fds.new"));
    EXPECT_EQ(mine, read_file_bytes(work + "/tmp0000.fds.new"));
}

TEST_F(FaultTest, AnUnreadableImageIsLeftInPlace)
{
    run_fault f;
    if (!make_permissions_bind(&f))
        GTEST_SKIP() << "root without a 'nobody' user to switch to";
    std::string games = dir("games");
    ASSERT_TRUE(write_file_bytes(games + "/locked.fds", gen_image_of({solo}, true)));
    ASSERT_TRUE(write_file_bytes(games + "/open.fds", gen_image_of({quad}, true)));
    ASSERT_EQ(0, chmod((games + "/locked.fds").c_str(), 0));
    ASSERT_EQ(0, chmod(work.c_str(), 0777));
    ASSERT_EQ(0, chmod(games.c_str(), 0777));
    run_result r = vormlin({"-v", "games"}, work, f);
    EXPECT_EQ(3, r.status);
    EXPECT_NE(std::string::npos, r.out.find("games/locked.fds: not readable; left in place"))
        << r.out;
    EXPECT_TRUE(file_exists(games + "/locked.fds"));
    EXPECT_TRUE(file_exists(games + "/ren/Quad.fds"));
    chmod((games + "/locked.fds").c_str(), 0644);
    EXPECT_EQ(gen_image_of({solo}, true), read_file_bytes(games + "/locked.fds"));
}

TEST_F(FaultTest, NamesWithBlanksSemicolonsAndOtherBytesAreHandledLikeAnyOther)
{
    std::string games = dir("games");
    const std::string odd[] = {"a b.fds", "semi;colon.fds", "caf\xC3\xA9.fds", "raw\xFF\x01.fds",
                               "-v.fds"};
    bytes unknown = raw_sides({side_of(999)});
    for (const std::string &name : odd)
        ASSERT_TRUE(write_file_bytes(games + "/" + name, unknown));
    ASSERT_TRUE(write_file_bytes(games + "/;.fds", gen_image_of({solo}, true)));
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ(0, r.status);
    tree expected = {{"ren/Solo.fds", gen_image_of({solo}, true)}};
    for (const std::string &name : odd) {
        expected["bak/" + name] = unknown;
        expected[name] = with_header(unknown, 1);
    }
    EXPECT_EQ(expected, snapshot_tree(games));
}

TEST_F(FaultTest, NamesAndPathsLongerThan255CharactersFailCleanly)
{
    std::string games = dir("games");
    std::string long_name = std::string(248, 'n') + ".fds"; // games/bak/ + it passes 255
    std::string longest = std::string(251, 'm') + ".fds";   // games/ + it passes 259
    ASSERT_TRUE(write_file_bytes(games + "/" + long_name, raw_sides({solo})));
    ASSERT_TRUE(write_file_bytes(games + "/" + longest, gen_image_of({quad}, true)));
    run_result r = vormlin({"-v", "games"}, work);
    EXPECT_EQ(3, r.status);
    EXPECT_EQ((tree{{long_name, raw_sides({solo})}, {longest, gen_image_of({quad}, true)}}),
              snapshot_tree(games));
    EXPECT_NE(std::string::npos,
              r.out.find(long_name + ": backup into bak failed; left unchanged"));
    EXPECT_NE(std::string::npos,
              r.out.find(longest + ": its path is longer than 259 bytes; left in place"));
    // A directory path the dialog's field could not hold is refused before anything is done.
    std::filesystem::remove(work + "/miss.txt");
    run_result refused = vormlin({std::string(255, 'd')}, work);
    EXPECT_EQ(2, refused.status);
    EXPECT_FALSE(file_exists(work + "/miss.txt"));
}

TEST_F(FaultTest, EveryNumberedNameTakenLeavesTheFileWhereItWas)
{
    struct taken_case {
        const char *subdir;
        const char *name; // the name the move wants there
        bytes input;
    } cases[] = {
        {"bak", "in.fds", raw_sides({solo})},
        {"dupes", "Solo.fds", gen_image_of({solo}, true)},
        {"parts", "Pair (2o2).fds", gen_image_of({pair2}, true)},
    };
    for (const taken_case &c : cases) {
        SCOPED_TRACE(c.subdir);
        std::string games = dir(std::string("games-") + c.subdir);
        ASSERT_TRUE(write_file_bytes(games + "/in.fds", c.input));
        std::string base = games + "/" + c.subdir + "/" + c.name;
        dir(std::string("games-") + c.subdir + "/" + c.subdir);
        if (std::string(c.subdir) == "dupes") {
            dir(std::string("games-") + c.subdir + "/ren");
            ASSERT_TRUE(write_file_text(games + "/ren/Solo.fds", "taken"));
        }
        ASSERT_TRUE(write_file_text(base, "taken"));
        for (char digit = '0'; digit <= '9'; digit++) {
            std::string numbered = base;
            numbered.back() = digit;
            ASSERT_TRUE(write_file_text(numbered, std::string("taken ") + digit));
        }
        tree before = snapshot_tree(games);
        run_result r = vormlin({"-v", games}, work);
        EXPECT_EQ(3, r.status);
        EXPECT_EQ(before, snapshot_tree(games));
        EXPECT_NE(std::string::npos, r.out.find("in.fds: ")) << r.out;
    }
}

TEST_F(FaultTest, EveryTemporaryNameTakenKeepsTheSurplusSidesInBak)
{
    std::string games = dir("games");
    for (int n = 0; n <= 9998; n++) {
        char name[32];
        std::snprintf(name, sizeof name, "/tmp%04d.fds", n);
        std::FILE *f = std::fopen((work + name).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fclose(f);
    }
    bytes input = raw_sides({solo, quad});
    ASSERT_TRUE(write_file_bytes(games + "/two.fds", input));
    run_result r = vormlin({"-v", "games"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Vormlin: Cannot open temp file\nVORMLIN: Done!\n", r.err);
    EXPECT_NE(std::string::npos, r.out.find("no temporary image for 1 surplus side(s)")) << r.out;
    EXPECT_EQ((tree{{"bak/two.fds", input}, {"ren/Solo.fds", with_header(raw_sides({solo}), 1)}}),
              snapshot_tree(games));
    EXPECT_FALSE(file_exists(work + "/tmp9999.fds"));
}

} // namespace
