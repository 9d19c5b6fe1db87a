// The run driver: the directory scans and their order, the progress it reports, a stop asked
// for between files, and the message that ends a run and says what it left undone.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "options.h"
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
    ASSERT_TRUE(write_file_text("x.fds", ""));
    run_summary r = run(run_request{opt_scan, "./"});
    EXPECT_EQ(run_no_catalogue, r.ending);
    ASSERT_EQ(1u, ui_stub.messages.size());
    EXPECT_TRUE(ui_stub.messages[0].owned);
    EXPECT_EQ("Error getting ingredients.", ui_stub.messages[0].text);
    EXPECT_EQ("VORMLIN", ui_stub.messages[0].caption);
    EXPECT_FALSE(file_exists("miss.txt"));
    EXPECT_TRUE(file_exists("x.fds"));
    EXPECT_TRUE(ui_stub.progress.empty());
}

TEST_F(RunTest, ARunScansFdsBeforeFamAppendsTheSeparatorAndEndsWithDone)
{
    ASSERT_TRUE(write_file_text("ingredients.dat", ""));
    std::filesystem::create_directory("games");
    for (const char *name : {"games/a.fam", "games/b.fds", "games/c.FAM"})
        ASSERT_TRUE(write_file_text(name, "no side"));
    run_summary r = run(run_request{opt_scan, "games"});
    EXPECT_EQ(run_done, r.ending);
    EXPECT_EQ(1, r.rows);
    EXPECT_EQ(3u, r.processed);
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
    // Once the catalogue is loaded, before the files are counted; then after every file.
    ASSERT_EQ(4u, ui_stub.progress.size());
    for (unsigned k = 0; k < 4; k++) {
        EXPECT_EQ(1, ui_stub.progress[k].rows);
        EXPECT_EQ(k, ui_stub.progress[k].done);
        EXPECT_EQ(k == 0 ? 0u : 3u, ui_stub.progress[k].total);
    }
}

TEST_F(RunTest, DoneSaysWhichFilesWereLeftAndThatMissTxtWasNotWritten)
{
    ASSERT_TRUE(write_file_text("ingredients.dat", ""));
    std::filesystem::create_directory("games");
    ASSERT_TRUE(write_file_text("games/bad", "in the way of the subdirectory"));
    for (int k = 0; k < 7; k++)
        ASSERT_TRUE(write_file_text("games/f" + std::to_string(k) + ".fds", "no side"));
    std::filesystem::create_directory("miss.txt");
    run_summary r = run(run_request{opt_scan, "games"});
    EXPECT_EQ(7u, r.failed);
    EXPECT_FALSE(r.report_written);
    ASSERT_FALSE(ui_stub.messages.empty());
    EXPECT_EQ("Done!\n\n7 files were left where they were:\n"
              "games/f0.fds: no disk side; could not be moved into bad\n"
              "games/f1.fds: no disk side; could not be moved into bad\n"
              "games/f2.fds: no disk side; could not be moved into bad\n"
              "games/f3.fds: no disk side; could not be moved into bad\n"
              "games/f4.fds: no disk side; could not be moved into bad\n"
              "\u2026 and 2 more\n\nmiss.txt was not written.",
              ui_stub.messages.back().text);
}

TEST_F(RunTest, AStopAskedForBetweenFilesEndsTheRunWithoutDoneOrReport)
{
    ASSERT_TRUE(write_file_text("ingredients.dat", ""));
    std::filesystem::create_directory("games");
    for (const char *name : {"games/a.fds", "games/b.fds", "games/c.fam"})
        ASSERT_TRUE(write_file_text(name, "no side"));
    ui_stub.stop_after = 1;
    run_summary r = run(run_request{opt_scan, "games"});
    EXPECT_EQ(run_stopped, r.ending);
    EXPECT_EQ(1u, r.processed);
    EXPECT_TRUE(file_exists("games/bad/a.fds"));
    EXPECT_TRUE(file_exists("games/b.fds"));
    EXPECT_TRUE(file_exists("games/c.fam"));
    EXPECT_FALSE(file_exists("miss.txt"));
    EXPECT_TRUE(ui_stub.messages.empty());
}

TEST_F(RunTest, ADirectoryTextTooLongIsRefusedNotCut)
{
    std::string text(255, 'd');
    run_summary r = run(run_request{opt_scan, text});
    EXPECT_EQ(run_refused, r.ending);
    ASSERT_EQ(1u, ui_stub.messages.size());
    EXPECT_EQ("The directory name is too long.", ui_stub.messages[0].text);
    // 254 bytes are taken: what stops that run is the missing catalogue.
    EXPECT_EQ(run_no_catalogue, run(run_request{opt_scan, std::string(254, 'd')}).ending);
}

} // namespace
