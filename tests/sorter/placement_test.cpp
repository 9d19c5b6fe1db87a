// Moving files into subdirectories (numbered retry, extension rule, refusals) and naming
// temporary images.
#include "catalogue_fixture.h"
#include "split.h"
#include "subdir_move.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

bool make_dir(const char *path)
{
    std::error_code failed;
    return std::filesystem::create_directory(path, failed) && !failed;
}

const bytes payload_a = {'A', 1, 2, 3};
const bytes payload_b = {'B', 9, 8};

class PlacementTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(cwd.dir.empty());
        subdir_moves_forget(); // each test is a sort of its own
    }
    scratch_cwd cwd{"placement"};
};

// A sort remembers the subdirectories it has seen; one taken away meanwhile is made again.
TEST_F(PlacementTest, ASubdirectoryTakenAwayDuringASortIsMadeAgain)
{
    ASSERT_TRUE(write_file_text("a.fds", "a"));
    ASSERT_EQ(0, move_to_subdir("a.fds", "ren", nullptr, 0));
    std::filesystem::rename("ren", "elsewhere");
    ASSERT_TRUE(write_file_text("b.fds", "b"));
    EXPECT_EQ(0, move_to_subdir("b.fds", "ren", nullptr, 0));
    EXPECT_EQ("b", read_file_text("ren/b.fds"));
    EXPECT_EQ("a", read_file_text("elsewhere/a.fds"));
}

TEST_F(PlacementTest, NumberedMoveReplacesTheLastCharacterUntilAFreeNameIsFound)
{
    ASSERT_TRUE(write_file_text("taken.fds", "first"));
    ASSERT_EQ(0, move_to_subdir("taken.fds", "bak", nullptr, move_numbered));
    for (int i = 0; i < 10; i++) {
        ASSERT_TRUE(write_file_text("taken.fds", "copy" + std::to_string(i)));
        char landed[256];
        ASSERT_EQ(0, move_to_subdir_landed("taken.fds", "bak", nullptr, move_numbered, landed,
                                           sizeof landed));
        EXPECT_EQ("./bak/taken.fd" + std::to_string(i), std::string(landed));
    }
    // bak/taken.fds and taken.fd0 .. taken.fd9 are all taken: the file stays.
    ASSERT_TRUE(write_file_text("taken.fds", "eleventh"));
    EXPECT_NE(0, move_to_subdir("taken.fds", "bak", nullptr, move_numbered));
    EXPECT_EQ("eleventh", read_file_text("taken.fds"));
    EXPECT_EQ("first", read_file_text("bak/taken.fds"));
    EXPECT_EQ("copy9", read_file_text("bak/taken.fd9"));
}

TEST_F(PlacementTest, UnnumberedMoveOntoATakenNameFailsAndKeepsBothFiles)
{
    ASSERT_TRUE(write_file_bytes("Game.fds", payload_a));
    ASSERT_EQ(0, move_to_subdir("Game.fds", "ren", "Title.fds", 0));
    ASSERT_TRUE(write_file_bytes("Game.fds", payload_b));
    EXPECT_NE(0, move_to_subdir("Game.fds", "ren", "Title.fds", 0));
    EXPECT_EQ(payload_a, read_file_bytes("ren/Title.fds"));
    EXPECT_EQ(payload_b, read_file_bytes("Game.fds"));
    EXPECT_FALSE(file_exists("ren/Title.fd0"));
}

struct extension_case {
    const char *source;
    const char *new_name;
    bool keep_ext;
    const char *expected; // path below the current directory
};

TEST_F(PlacementTest, KeepExtensionRule)
{
    const extension_case cases[] = {
        {"Game.FAM", "Title.fds", true, "ren/Title.FAM"},
        {"Game.FDS", "Title.fds", true, "ren/Title.fds"}, // differ only in case
        {"Game.fam", "Title.fds", false, "ren/Title.fds"},
        {"Game.fam", "Plain", true, "ren/Plain"},                     // no "." in the target name
        {"dot.dir/Game", "Title.fds", true, "dot.dir/ren/Title.fds"}, // "." only in a dir
        {"x.a.fam", "Other.b.fds", true, "ren/Other.b.fam"},
    };
    ASSERT_TRUE(make_dir("dot.dir"));
    for (const extension_case &c : cases) {
        SCOPED_TRACE(c.source);
        ASSERT_TRUE(write_file_bytes(c.source, payload_a));
        char landed[256];
        ASSERT_EQ(0,
                  move_to_subdir_landed(c.source, "ren", c.new_name,
                                        (c.keep_ext ? move_keep_ext : 0u), landed, sizeof landed));
        EXPECT_EQ(payload_a, read_file_bytes(c.expected));
        EXPECT_FALSE(file_exists(c.source));
        remove_tree(c.expected);
        subdir_moves_forget(); // the next case is a sort of its own
    }
}

TEST_F(PlacementTest, APlainFileNamedLikeTheSubdirectoryCountsAsExistingAndTheMoveFails)
{
    ASSERT_TRUE(write_file_text("ren", "not a directory"));
    ASSERT_TRUE(write_file_bytes("Game.fds", payload_a));
    EXPECT_NE(0, move_to_subdir("Game.fds", "ren", "Title.fds", 0));
    EXPECT_EQ("not a directory", read_file_text("ren"));
    EXPECT_EQ(0, move_to_subdir("Game.fds", "dupes", "Title.fds", move_numbered));
    EXPECT_EQ(payload_a, read_file_bytes("dupes/Title.fds"));
}

TEST_F(PlacementTest, PathsWithADirectoryMoveIntoASubdirectoryBesideTheFile)
{
    ASSERT_TRUE(make_dir("games"));
    ASSERT_TRUE(write_file_bytes("games/Game.fds", payload_a));
    EXPECT_EQ(0, move_to_subdir("games/Game.fds", "bad", nullptr, move_numbered));
    EXPECT_EQ(payload_a, read_file_bytes("games/bad/Game.fds"));
    EXPECT_FALSE(file_exists("bad"));
}

TEST_F(PlacementTest, NamesThatWouldLeaveTheSubdirectoryOrOverrunAreRefused)
{
    ASSERT_TRUE(write_file_bytes("Game.fds", payload_a));
    const std::string refused[] = {
        "../Title.fds", "sub/Title.fds", "..", ".", "", std::string(250, 'n') + ".fds"};
    for (const std::string &name : refused) {
        SCOPED_TRACE(name);
        EXPECT_NE(0, move_to_subdir("Game.fds", "ren", name.c_str(), move_numbered));
        EXPECT_EQ(payload_a, read_file_bytes("Game.fds"));
    }
    // A target of exactly 255 characters still fits: "./ren/" and 249 more.
    std::string longest = std::string(245, 'n') + ".fds";
    EXPECT_EQ(0, move_to_subdir("Game.fds", "ren", longest.c_str(), 0));
    EXPECT_EQ(payload_a, read_file_bytes("ren/" + longest));
}

TEST_F(PlacementTest, ASourcePathOf260CharactersIsRefused)
{
    std::string path = "./" + std::string(254, 'p') + ".fds"; // 260 characters
    EXPECT_NE(0, move_to_subdir(path.c_str(), "bad", nullptr, move_numbered));
    EXPECT_FALSE(file_exists("bad"));
}

// The temporary name chosen next, taken by a file at once as a published image would take it.
std::string take_temp_name()
{
    char name[32];
    if (!choose_temp_name(name, sizeof name))
        return "(none)";
    return write_file_bytes(name, {}) ? name : "(not written)";
}

TEST_F(PlacementTest, TemporaryImagesAreNumberedFromZeroAndSkipTakenNames)
{
    temp_counter = 0;
    ASSERT_TRUE(write_file_bytes("tmp0001.fds", payload_a));
    ASSERT_TRUE(make_dir("tmp0002.fds"));
    EXPECT_EQ("tmp0000.fds", take_temp_name());
    EXPECT_EQ("tmp0003.fds", take_temp_name());
    EXPECT_EQ("tmp0004.fds", take_temp_name());
    EXPECT_EQ(payload_a, read_file_bytes("tmp0001.fds"));
}

TEST_F(PlacementTest, TemporaryNameCounterRules)
{
    ASSERT_TRUE(write_file_bytes("tmp9998.fds", payload_a));
    ASSERT_TRUE(write_file_bytes("tmp0001.fds", payload_a));
    temp_counter = 9998; // tmp9998 taken: tmp9999 is never tried
    EXPECT_EQ("(none)", take_temp_name());
    EXPECT_EQ(10000, temp_counter);
    EXPECT_FALSE(file_exists("tmp9999.fds"));
    EXPECT_EQ("tmp10000.fds", take_temp_name());
    EXPECT_EQ("tmp0002.fds", take_temp_name()); // 10001 wraps to 1
    temp_counter = -5;
    EXPECT_EQ("tmp0003.fds", take_temp_name());
    EXPECT_EQ(payload_a, read_file_bytes("tmp9998.fds"));
}

} // namespace
