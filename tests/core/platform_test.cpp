// The POSIX platform layer in a scratch directory: moves that never replace, exclusive
// creation, reads of plain files only, and directory searches that behave like Windows'.
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using names = std::vector<std::string>;

struct PlatformTest : ::testing::Test {
    std::string root; // ends without a separator
    std::string dir;  // root with the separator, as searches want it

    void SetUp() override
    {
        root = make_scratch_dir("platform");
        ASSERT_FALSE(root.empty());
        dir = root + "/";
    }
    void TearDown() override { remove_tree(root); }

    std::string at(const std::string &name) const { return dir + name; }
    void put(const std::string &name, const std::string &text = "x") const
    {
        ASSERT_TRUE(write_file_text(at(name), text)) << name;
    }
    void create(const std::string &name) const
    {
        std::FILE *f = plat_create_new(at(name).c_str());
        ASSERT_NE(f, nullptr) << name;
        std::fclose(f);
    }
};

names search_all(const std::string &dir, const char *pattern)
{
    names out;
    plat_entry e{};
    plat_search *s = plat_find_first(dir.c_str(), pattern, &e);
    for (bool more = s != nullptr; more; more = plat_find_next(s, &e))
        out.push_back(e.name);
    plat_find_close(s);
    return out;
}

TEST_F(PlatformTest, MoveOntoAnExistingNameFailsAndBothFilesKeepTheirBytes)
{
    put("a.fds", "source");
    put("b.fds", "target");
    EXPECT_NE(plat_move_noreplace(at("a.fds").c_str(), at("b.fds").c_str()), 0);
    EXPECT_EQ(read_file_text(at("a.fds")), "source");
    EXPECT_EQ(read_file_text(at("b.fds")), "target");
}

TEST_F(PlatformTest, MoveOntoAnExistingDirectoryFails)
{
    put("a.fds", "source");
    ASSERT_EQ(plat_make_dir(at("ren").c_str()), 0);
    EXPECT_NE(plat_move_noreplace(at("a.fds").c_str(), at("ren").c_str()), 0);
    EXPECT_EQ(read_file_text(at("a.fds")), "source");
}

TEST_F(PlatformTest, MoveIntoASubdirectoryCarriesTheBytesAndFreesTheName)
{
    put("a.fds", "image");
    ASSERT_EQ(plat_make_dir(at("bak").c_str()), 0);
    EXPECT_EQ(plat_move_noreplace(at("a.fds").c_str(), at("bak/a.fds").c_str()), 0);
    EXPECT_FALSE(file_exists(at("a.fds")));
    EXPECT_EQ(read_file_text(at("bak/a.fds")), "image");
    EXPECT_NE(plat_move_noreplace(at("missing.fds").c_str(), at("new.fds").c_str()), 0);
    EXPECT_FALSE(file_exists(at("new.fds")));
}

TEST_F(PlatformTest, CreateNewRefusesAnExistingFileAndLeavesItIntact)
{
    put("a.fds", "keep me");
    EXPECT_EQ(plat_create_new(at("a.fds").c_str()), nullptr);
    EXPECT_EQ(read_file_text(at("a.fds")), "keep me");

    std::FILE *f = plat_create_new(at("b.fds").c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fwrite("new", 1, 3, f), 3u);
    ASSERT_EQ(std::fflush(f), 0);
    EXPECT_EQ(read_file_text(at("b.fds")), "new");

    // Started anew, a file keeps only its first byte until the next write covers it, and
    // then holds exactly what was written since.
    ASSERT_EQ(plat_rewind_file(f), 0);
    EXPECT_EQ(read_file_text(at("b.fds")), "n");
    EXPECT_EQ(std::fwrite("ab", 1, 2, f), 2u);
    std::fclose(f);
    EXPECT_EQ(read_file_text(at("b.fds")), "ab");
}

TEST_F(PlatformTest, OpenForReadingTakesPlainFilesOnly)
{
    put("a.fds", "abc");
    long long length = -1;
    std::FILE *f = plat_open_for_reading(at("a.fds").c_str(), &length);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(length, 3);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, 3, f), 3u);
    EXPECT_STREQ(buf, "abc");
    std::fclose(f);

    ASSERT_EQ(plat_make_dir(at("d.fds").c_str()), 0);
    EXPECT_EQ(plat_open_for_reading(at("d.fds").c_str()), nullptr);
    EXPECT_EQ(plat_open_for_reading(at("missing.fds").c_str()), nullptr);
    // Opening a FIFO without a writer would block a plain open: it must be refused at once.
    ASSERT_EQ(mkfifo(at("pipe.fds").c_str(), 0600), 0);
    EXPECT_EQ(plat_open_for_reading(at("pipe.fds").c_str()), nullptr);
}

TEST_F(PlatformTest, SearchListsMatchesInUpperCasedNameOrder)
{
    for (const char *n : {"c.fds", "_x.fds", "B.fds", "a.fds", "Z.FDS", "e.fam", "notes.txt"})
        put(n);
    ASSERT_EQ(plat_make_dir(at("sub.fds").c_str()), 0);
    EXPECT_EQ(search_all(dir, "*.fds"),
              (names{"a.fds", "B.fds", "c.fds", "sub.fds", "Z.FDS", "_x.fds"}));
    EXPECT_EQ(search_all(dir, "*.fa?"), (names{"e.fam"}));
    EXPECT_EQ(search_all(root, "*.fa?"), (names{"e.fam"})) << "directory without separator";
}

TEST_F(PlatformTest, SearchMarksDirectoriesAndLeavesDotFilesToTheCaller)
{
    put("a.fds");
    put(".hidden.fds");
    ASSERT_EQ(plat_make_dir(at("sub.fds").c_str()), 0);
    plat_entry e{};
    plat_search *s = plat_find_first(dir.c_str(), "*.fds", &e);
    ASSERT_NE(s, nullptr);
    std::vector<std::pair<std::string, bool>> seen;
    do
        seen.emplace_back(e.name, e.plain_file);
    while (plat_find_next(s, &e));
    plat_find_close(s);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{
                        {".hidden.fds", true}, {"a.fds", true}, {"sub.fds", false}}));
    // Like a Windows search, "*" reports the directory's own "." and ".." as well.
    names everything = search_all(dir, "*");
    ASSERT_GE(everything.size(), 2u);
    EXPECT_EQ(everything[0], ".");
    EXPECT_EQ(everything[1], "..");
}

TEST_F(PlatformTest, SearchWithoutMatchesOrDirectoryGivesNothing)
{
    put("a.fam");
    plat_entry e{};
    EXPECT_EQ(plat_find_first(dir.c_str(), "*.fds", &e), nullptr);
    EXPECT_EQ(plat_find_first(at("missing/").c_str(), "*", &e), nullptr);
    EXPECT_FALSE(plat_find_next(nullptr, &e));
    plat_find_close(nullptr);
}

TEST_F(PlatformTest, FilesAddedDuringASearchJoinItOnlyAfterTheLastReturnedName)
{
    for (const char *n : {"b.fds", "d.fds", "f.fds"})
        put(n);
    ASSERT_EQ(plat_make_dir(at("elsewhere").c_str()), 0);
    put("elsewhere/e.fds");
    put("elsewhere/a.fds");
    plat_entry e{};
    plat_search *s = plat_find_first(dir.c_str(), "*.fds", &e);
    ASSERT_NE(s, nullptr);
    names seen{e.name};
    create("c.fds");  // after "b": joins
    create("A0.fds"); // before: does not
    ASSERT_EQ(plat_move_noreplace(at("elsewhere/e.fds").c_str(), at("E.fds").c_str()), 0);
    ASSERT_EQ(plat_move_noreplace(at("elsewhere/a.fds").c_str(), at("a.fds").c_str()), 0);
    create("c.fam"); // not matched by the pattern
    ASSERT_EQ(std::remove(at("f.fds").c_str()), 0);
    while (plat_find_next(s, &e))
        seen.push_back(e.name);
    plat_find_close(s);
    EXPECT_EQ(seen, (names{"b.fds", "c.fds", "d.fds", "E.fds"}));
}

TEST_F(PlatformTest, AnImageRewrittenUnderItsOwnNameIsNotReturnedAgain)
{
    put("a.fds", "old");
    put("b.fds");
    ASSERT_EQ(plat_make_dir(at("bak").c_str()), 0);
    plat_entry e{};
    plat_search *s = plat_find_first(dir.c_str(), "*.fds", &e);
    ASSERT_NE(s, nullptr);
    names seen{e.name};
    // What the sorter does with a file it normalises: back it up, write it anew.
    ASSERT_EQ(plat_move_noreplace(at("a.fds").c_str(), at("bak/a.fds").c_str()), 0);
    create("a.fds");
    while (plat_find_next(s, &e))
        seen.push_back(e.name);
    plat_find_close(s);
    EXPECT_EQ(seen, (names{"a.fds", "b.fds"}));
}

TEST_F(PlatformTest, ANewFileJoinsEverySearchOfItsDirectoryHoweverThePathIsSpelled)
{
    put("a.fds");
    ASSERT_EQ(plat_make_dir(at("sub").c_str()), 0);
    plat_entry e1{};
    plat_entry e2{};
    plat_search *outer = plat_find_first(dir.c_str(), "*.fds", &e1);
    plat_search *inner = plat_find_first(dir.c_str(), "*.fd?", &e2);
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    plat_find_close(outer); // closing one search must leave the other one live
    create("sub/../m.fds");
    ASSERT_TRUE(plat_find_next(inner, &e2));
    EXPECT_STREQ(e2.name, "m.fds");
    EXPECT_FALSE(plat_find_next(inner, &e2));
    plat_find_close(inner);
}

TEST_F(PlatformTest, DirectoriesAreMadeOnceAndSeenAsEntries)
{
    EXPECT_FALSE(plat_entry_exists(at("ren").c_str()));
    EXPECT_EQ(plat_make_dir(at("ren").c_str()), 0);
    EXPECT_TRUE(plat_entry_exists(at("ren").c_str()));
    EXPECT_NE(plat_make_dir(at("ren").c_str()), 0);
    put("plain");
    EXPECT_TRUE(plat_entry_exists(at("plain").c_str()));
    EXPECT_NE(plat_make_dir(at("plain").c_str()), 0);
}

TEST(PlatformCurrentDir, RefusesABufferTooSmall)
{
    char buf[4096];
    ASSERT_EQ(plat_current_dir(buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '/');
    char tiny[2];
    EXPECT_NE(plat_current_dir(tiny, sizeof tiny), 0);
    EXPECT_NE(plat_current_dir(nullptr, 10), 0);
}

} // namespace
