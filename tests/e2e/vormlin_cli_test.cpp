// The sorter's command line end to end: a directory of image variants sorted by the real
// program, its output streams, exit statuses and options.
#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using namespace vormlin_e2e;
using tree = std::map<std::string, bytes>;

std::string without_cr(std::string text)
{
    std::erase(text, '\r');
    return text;
}

class VormlinCli : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(work.empty());
        ASSERT_TRUE(write_catalogue(
            work, {{"Alpha.fds", {alpha}}, {"Beta.fds", {beta1, beta2}}, {"Gamma.fds", {gamma}}}));
    }
    void TearDown() override { remove_tree(work); }

    std::string dir(const std::string &name)
    {
        std::filesystem::create_directory(work + "/" + name);
        return work + "/" + name;
    }

    std::string work = make_scratch_dir("vormlin");
    gen_side alpha = side_of(101), beta1 = side_of(102, 4), beta2 = side_of(103),
             gamma = side_of(104);
};

TEST_F(VormlinCli, SortsADirectoryOfVariants)
{
    std::string games = dir("games");
    bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    tree input = {
        {"alpha.fds", raw_sides({alpha})},
        {"alpha copy.fds", gen_image_of({alpha}, true)},
        {"beta.fam", gen_image_of({beta1, beta2}, false, 61824)},
        {"beta side1.fds", gen_image_of({beta1}, true)},
        {"junk.fds", junk},
        {"unknown.fds", gen_image_of({side_of(999)}, true)},
    };
    for (const auto &[name, content] : input)
        ASSERT_TRUE(write_file_bytes(games + "/" + name, content));
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("5!\n", r.out);
    EXPECT_EQ("VORMLIN: Done!\n", r.err);
    tree expected = {
        {"ren/Alpha.fds", input["alpha copy.fds"]},
        {"bak/alpha.fds", input["alpha.fds"]},
        {"dupes/Alpha.fds", with_header(raw_sides({alpha}), 1)},
        {"ren/Beta.fam", input["beta.fam"]},
        {"parts/Beta.fds", input["beta side1.fds"]},
        {"bad/junk.fds", junk},
        {"unknown.fds", input["unknown.fds"]},
    };
    EXPECT_EQ(expected, snapshot_tree(games));
    EXPECT_EQ("Gamma.fds\n\nYou miss only 1 games!\n",
              without_cr(read_file_text(work + "/miss.txt")));
}

TEST_F(VormlinCli, OptionsAreCheckBoxes)
{
    bytes fam = gen_image_of({beta1, beta2}, false, 61849);
    bytes headered = gen_image_of({alpha}, true);
    for (const char *name : {"plain", "save", "convert"}) {
        std::string d = dir(name);
        ASSERT_TRUE(write_file_bytes(d + "/beta.fam", fam));
        ASSERT_TRUE(write_file_bytes(d + "/alpha.fds", headered));
    }
    EXPECT_EQ(0, vormlin({"plain"}, work).status);
    EXPECT_EQ(0, vormlin({"--zero-save-game", "save/"}, work).status);
    EXPECT_EQ(snapshot_tree(work + "/plain"), snapshot_tree(work + "/save"));
    run_result r = vormlin({"-cH", "--zero-unused-space", "convert"}, work);
    EXPECT_EQ(0, r.status);
    bytes cleared_alpha = raw_sides({alpha});
    bytes cleared_beta = raw_sides({beta1, beta2});
    tree converted = snapshot_tree(work + "/convert");
    ASSERT_EQ(4u, converted.size());
    EXPECT_EQ(fam, converted["bak/beta.fam"]);
    EXPECT_EQ(headered, converted["bak/alpha.fds"]);
    EXPECT_EQ(65500u, converted["ren/Alpha.fds"].size());
    EXPECT_EQ(0, converted["ren/Alpha.fds"].back()); // the 0xA5 filler was cleared
    EXPECT_EQ(2u * 65500u, converted["ren/Beta.fds"].size());
    EXPECT_EQ(bytes(cleared_beta.begin(), cleared_beta.begin() + 200),
              bytes(converted["ren/Beta.fds"].begin(), converted["ren/Beta.fds"].begin() + 200));
}

TEST_F(VormlinCli, EachDirectoryIsOneRunAndFoundGamesAddUp)
{
    std::string one = dir("one"), two = dir("two");
    ASSERT_TRUE(write_file_bytes(one + "/a.fds", gen_image_of({alpha}, true)));
    ASSERT_TRUE(write_file_bytes(two + "/g.fds", gen_image_of({gamma}, true)));
    run_result r = vormlin({"one", two + "/"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("5!\n5!\n", r.out);
    EXPECT_EQ("VORMLIN: Done!\nVORMLIN: Done!\n", r.err);
    EXPECT_TRUE(file_exists(one + "/ren/Alpha.fds"));
    EXPECT_TRUE(file_exists(two + "/ren/Gamma.fds"));
    EXPECT_EQ("Beta.fds\n\nYou miss only 1 games!\n",
              without_cr(read_file_text(work + "/miss.txt")));
}

TEST_F(VormlinCli, AMissingCatalogueStopsEachRunWithStatusOne)
{
    std::string games = dir("games");
    ASSERT_TRUE(write_file_bytes(games + "/a.fds", gen_image_of({alpha}, true)));
    std::filesystem::remove(work + "/ingredients.dat");
    run_result r = vormlin({"games", "games"}, work);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("VORMLIN: Error getting ingredients.\nVORMLIN: Error getting ingredients.\n", r.err);
    EXPECT_TRUE(file_exists(games + "/a.fds"));
    EXPECT_FALSE(file_exists(work + "/miss.txt"));
}

TEST_F(VormlinCli, UsageAndUsageErrors)
{
    run_result help = vormlin({"--help"}, work);
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("Usage: vormlin [OPTION...] [DIRECTORY...]\n"));
    EXPECT_EQ("", help.err);
    for (const char *asked : {"--version", "-V"}) {
        run_result version = vormlin({asked, "games"}, work); // prints, sorts nothing
        EXPECT_EQ(0, version.status);
        EXPECT_EQ("vormlin " FDS_VERSION "\n", version.out);
    }
    for (const char *bad : {"-x", "--bogus", "-sq"}) {
        SCOPED_TRACE(bad);
        run_result r = vormlin({bad, "games"}, work);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(0u, r.err.find(std::string("vormlin: unknown option '") + bad + "'\nUsage:"));
    }
    run_result too_long = vormlin({std::string(255, 'd')}, work);
    EXPECT_EQ(2, too_long.status);
    EXPECT_FALSE(file_exists(work + "/miss.txt"));
}

TEST_F(VormlinCli, ASplitOffSideIsIdentifiedInTheSameRunWhenScanningTheCurrentDirectory)
{
    ASSERT_TRUE(write_file_bytes(work + "/Game.fds", raw_sides({alpha, gamma})));
    run_result r = vormlin({"-v"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("VORMLIN: Done!\n", r.err);
    EXPECT_EQ(0u, r.out.find("5!\n./Game.fds: "));
    EXPECT_NE(
        std::string::npos,
        r.out.find("\n./tmp0000.fds: normalised for size as ./tmp0000.fds; identified; moved to "
                   "./ren/Gamma.fds\n"));
    tree result = snapshot_tree(work);
    result.erase("ingredients.dat");
    result.erase("miss.txt");
    EXPECT_EQ((tree{{"bak/Game.fds", raw_sides({alpha, gamma})},
                    {"ren/Alpha.fds", with_header(raw_sides({alpha}), 1)},
                    {"ren/Gamma.fds", with_header(raw_sides({gamma}), 1)}}),
              result);
}

} // namespace
