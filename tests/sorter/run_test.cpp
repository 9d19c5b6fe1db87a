// The run driver: options from the check boxes, the directory scans and their order, and the
// messages that end a run.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "run.h"
#include "test_support.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(cwd.dir.empty());
        reset_catalogue_for_tests();
        ui_stub_reset();
        visited.clear();
    }
    void TearDown() override { reset_catalogue_for_tests(); }

    scratch_cwd cwd{"run"};
    static std::vector<std::string> visited;
    static unsigned record(const char *name, const char *dir, unsigned options)
    {
        visited.push_back(std::string(dir) + name + "/" + std::to_string(options));
        return 0;
    }
};
std::vector<std::string> RunTest::visited;

TEST_F(RunTest, OptionsWordFollowsTheCheckBoxes)
{
    const struct {
        std::vector<int> checked;
        unsigned expected;
    } cases[] = {
        {{}, 0x02},           {{1001}, 0x06}, {{1002}, 0x0A},
        {{1007}, 0x12},       {{1008}, 0x22}, {{1001, 1002, 1007, 1008}, 0x3E},
        {{1003, 1006}, 0x02},
    };
    for (const auto &c : cases) {
        ui_stub.checked_ids = c.checked;
        EXPECT_EQ(c.expected, read_options());
    }
}

TEST_F(RunTest, WalkVisitsPlainFilesInNameOrderSkippingDotNamesAndDirectories)
{
    std::filesystem::create_directory("d");
    std::filesystem::create_directory("d/sub.fds");
    for (const char *name : {"d/b.fds", "d/A.FDS", "d/.hidden.fds", "d/c.fam", "d/c.txt"})
        ASSERT_TRUE(write_file_text(name, "x"));
    walk_directory("d/", record, "*.fds", 0x12);
    EXPECT_EQ((std::vector<std::string>{"d/A.FDS/18", "d/b.fds/18"}), visited);
    visited.clear();
    walk_directory("missing/", record, "*.fds", 0x02);
    EXPECT_TRUE(visited.empty());
}

TEST_F(RunTest, WithoutACatalogueTheRunStopsWithAnOwnedMessage)
{
    ui_stub.directory = "./";
    ASSERT_TRUE(write_file_text("x.fds", ""));
    EXPECT_EQ(1, run());
    ASSERT_EQ(1u, ui_stub.messages.size());
    EXPECT_TRUE(ui_stub.messages[0].owned);
    EXPECT_EQ("Error getting ingredients.", ui_stub.messages[0].text);
    EXPECT_EQ("VORMLIN", ui_stub.messages[0].caption);
    EXPECT_FALSE(file_exists("miss.txt"));
    EXPECT_TRUE(file_exists("x.fds"));
    EXPECT_TRUE(ui_stub.version_label.empty());
}

TEST_F(RunTest, ARunScansFdsBeforeFamAppendsTheSeparatorAndEndsWithDone)
{
    ASSERT_TRUE(write_file_text("ingredients.dat", ""));
    std::filesystem::create_directory("games");
    for (const char *name : {"games/a.fam", "games/b.fds", "games/c.FAM"})
        ASSERT_TRUE(write_file_text(name, "no side"));
    ui_stub.directory = "games";
    EXPECT_EQ(0, run());
    EXPECT_EQ("1!", ui_stub.version_label);
    ASSERT_EQ(3u, ui_stub.files.size());
    EXPECT_EQ("games/b.fds", ui_stub.files[0].path);
    EXPECT_EQ("games/a.fam", ui_stub.files[1].path);
    EXPECT_EQ("games/c.FAM", ui_stub.files[2].path);
    EXPECT_TRUE(file_exists("games/bad/c.FAM"));
    EXPECT_NE(std::string::npos, read_file_text("miss.txt").find("You miss only 0 games!"));
    ASSERT_EQ(1u, ui_stub.messages.size());
    EXPECT_TRUE(ui_stub.messages[0].owned);
    EXPECT_EQ("Done!", ui_stub.messages[0].text);
    EXPECT_EQ("VORMLIN", ui_stub.messages[0].caption);
}

} // namespace
