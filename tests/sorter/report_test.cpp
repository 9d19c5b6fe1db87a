// The missing-games report: which entries count as missing, the closing line, and the
// games-window call that touches no file.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "report.h"
#include "test_support.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SideTag, IsAnOTwoAndAParenthesisFourCharactersAfterTheLastOpening)
{
    struct {
        const char *name;
        bool tagged;
    } cases[] = {
        {"Game (2o2).fds", true}, {"Game (1o2).fds", true},    {"Game (Japan) (2o3).fds", true},
        {"(xoy)", true},          {"Game (Japan).fds", false}, {"Game (2o2) (Japan).fds", false},
        {"Game.fds", false},      {"Game (", false},           {"Game (1o2", false},
        {"Game (ao).x", false},   {"Game (2O2).fds", false},   {"Game (12o2).fds", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(has_side_tag(c.name), c.tagged) << c.name;
}

struct MissingReport : ::testing::Test {
    void SetUp() override
    {
        ui_stub_reset();
        reset_catalogue_for_tests();
        ASSERT_FALSE(cwd.dir.empty());
    }
    void TearDown() override { reset_catalogue_for_tests(); }

    static std::string written()
    {
        write_missing_report(0);
        return read_file_text("miss.txt");
    }
    static void add_games(int count)
    {
        for (int i = 0; i < count; i++)
            add_catalogue_entry("Game " + std::to_string(i) + ".fds", 1, 1, {0x1000u});
    }

    scratch_cwd cwd{"report"};
};

TEST_F(MissingReport, EmptyOrUnloadedCatalogueGivesOnlyTheClosingLine)
{
    EXPECT_EQ(written(), "\nYou miss only 0 games!\n");
    row_count = 1;
    EXPECT_EQ(written(), "\nYou miss only 0 games!\n");
}

TEST_F(MissingReport, NineMissingTakeTheFirstFormAndTenTheSecond)
{
    add_games(9);
    std::string nine;
    for (int i = 0; i < 9; i++)
        nine += "Game " + std::to_string(i) + ".fds\n";
    EXPECT_EQ(written(), nine + "\nYou miss only 9 games!\n");

    add_games(1);
    std::string text = written();
    EXPECT_EQ(text, nine + "Game 0.fds\n\nYou miss 10 games.  Keep looking...\n");
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(MissingReport, ListsOnlyListedUnfoundFirstSidesInCatalogueOrder)
{
    add_catalogue_entry("Found.fds", 1, 1, {1u});
    catalogue[1].found = 1;
    add_catalogue_entry("Unlisted.fds", 1, 1, {2u}, 0);
    add_catalogue_entry("Disk (1o2).fds", 1, 2, {3u});
    add_catalogue_entry("Disk (2o2).fds", 2, 2, {4u});
    add_catalogue_entry("Zeta (Japan).fds", 1, 1, {5u});
    add_catalogue_entry("Alpha.fds", 1, 1, {6u}, 200 - 256);
    EXPECT_EQ(written(), "Zeta (Japan).fds\nAlpha.fds\n\nYou miss only 2 games!\n");
}

TEST_F(MissingReport, ReplacesAnEarlierReport)
{
    ASSERT_TRUE(write_file_text("miss.txt", std::string(500, 'x')));
    add_games(1);
    EXPECT_EQ(written(), "Game 0.fds\n\nYou miss only 1 games!\n");
}

TEST_F(MissingReport, GamesWindowCallOnlyShowsAMessage)
{
    ASSERT_TRUE(write_file_text("miss.txt", "earlier report\n"));
    add_games(3);
    write_missing_report(1);
    EXPECT_EQ(read_file_text("miss.txt"), "earlier report\n");
    ASSERT_EQ(ui_stub.messages.size(), 1u);
    EXPECT_EQ(ui_stub.messages[0].text, "This is supposed to show a window with available "
                                        "games.\nFor now, run this in an empty dir and read "
                                        "miss.txt");
    EXPECT_EQ(ui_stub.messages[0].caption, "Not Implemented");
    EXPECT_FALSE(ui_stub.messages[0].owned);
}

TEST_F(MissingReport, GamesWindowCallCreatesNoFile)
{
    write_missing_report(1);
    EXPECT_FALSE(file_exists("miss.txt"));
}

} // namespace
