// The preview's file system: while it is in use, nothing on disk changes, and every search,
// existence test and read sees the planned changes, whatever the path's spelling.
#include "image_file.h"
#include "preview.h"
#include "test_support.h"
#include "vfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using names = std::vector<std::string>;

struct PlanTest : ::testing::Test {
    std::string root;

    void SetUp() override
    {
        root = make_scratch_dir("plan");
        ASSERT_FALSE(root.empty());
        ASSERT_TRUE(write_file_text(root + "/b.fds", "real b"));
        ASSERT_TRUE(write_file_text(root + "/d.fds", "real d"));
        before = snapshot_tree(root);
        ASSERT_EQ(0, preview_begin());
    }
    void TearDown() override
    {
        preview_end();
        remove_tree(root);
    }

    std::string at(const std::string &name) const { return root + "/" + name; }
    std::string read(const std::string &path) const
    {
        image_buffer image;
        if (read_image_file(path.c_str(), &image) != read_ok)
            return "<unreadable>";
        return std::string(image.begin(), image.end());
    }
    void create(const std::string &path, const std::string &text) const
    {
        vfs_file *f = vfs->create_new(path.c_str());
        ASSERT_NE(f, nullptr) << path;
        vfs_write(f, text);
        ASSERT_EQ(0, vfs_close(f));
    }

    std::map<std::string, bytes> before;
};

names search_all(const std::string &dir)
{
    names out;
    plat_entry e{};
    void *s = vfs->find_first(dir.c_str(), "*.fds", &e);
    for (bool more = s != nullptr; more; more = vfs->find_next(s, &e))
        out.push_back(e.name);
    vfs->find_close(s);
    return out;
}

TEST_F(PlanTest, PlannedChangesAreSeenButNeverMade)
{
    create(at("c.fds"), "planned c");
    EXPECT_EQ("planned c", read(root + "/./c.fds"));
    ASSERT_EQ(0, vfs->make_dir(at("ren").c_str()));
    EXPECT_NE(0, vfs->make_dir((root + "/./ren/").c_str())); // the same directory
    ASSERT_EQ(0, vfs->move_noreplace(at("b.fds").c_str(), at("ren/B.fds").c_str()));
    EXPECT_EQ("real b", read(at("ren/B.fds")));
    EXPECT_FALSE(vfs->entry_exists(at("b.fds").c_str()));
    EXPECT_EQ("<unreadable>", read(at("b.fds")));
    EXPECT_NE(0, vfs->move_noreplace(at("c.fds").c_str(), at("ren/B.fds").c_str()));
    EXPECT_NE(0, vfs->move_noreplace(at("c.fds").c_str(), at("none/c.fds").c_str()));
    EXPECT_EQ((names{"c.fds", "d.fds"}), search_all(root + "/"));
    EXPECT_EQ((names{"B.fds"}), search_all(at("ren/")));
    EXPECT_EQ(0, vfs->remove_own_file(at("c.fds").c_str()));
    EXPECT_EQ((names{"d.fds"}), search_all(root));
    EXPECT_EQ(before, snapshot_tree(root));
    preview_end();
    EXPECT_TRUE(vfs->entry_exists(at("b.fds").c_str()));
    EXPECT_FALSE(vfs->entry_exists(at("ren").c_str()));
}

TEST_F(PlanTest, AFileCreatedDuringASearchJoinsItWhenItSortsLater)
{
    plat_entry e{};
    void *s = vfs->find_first(root.c_str(), "*.fds", &e);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ("b.fds", e.name);
    create(at("a.fds"), "passed already");
    create(at("c.fds"), "still ahead");
    ASSERT_EQ(0, vfs->move_noreplace(at("d.fds").c_str(), at("e.fds").c_str()));
    names rest;
    while (vfs->find_next(s, &e))
        rest.push_back(e.name);
    vfs->find_close(s);
    EXPECT_EQ((names{"c.fds", "e.fds"}), rest);
    EXPECT_EQ(before, snapshot_tree(root));
}

TEST_F(PlanTest, AFileThatReplacesAnEarlierOneIsKeptForTheCaller)
{
    ASSERT_TRUE(write_file_text(at("miss.txt"), "old"));
    for (const char *text : {"first\n", "second\n"}) {
        vfs_file *f = vfs->create_new(at(".new").c_str());
        ASSERT_NE(f, nullptr);
        vfs_write(f, std::string(text));
        vfs_close(f);
        ASSERT_EQ(0, vfs->replace_file(at(".new").c_str(), at("miss.txt").c_str()));
        std::string planned;
        ASSERT_TRUE(preview_bytes((root + "/./miss.txt").c_str(), &planned));
        EXPECT_EQ(text, planned);
    }
    EXPECT_EQ("old", read_file_text(at("miss.txt")));
    std::string none;
    EXPECT_FALSE(preview_bytes(at("d.fds").c_str(), &none));
    ASSERT_EQ(0, vfs->make_dir(at("sub.txt").c_str()));
    vfs_close(vfs->create_new(at(".new").c_str()));
    EXPECT_NE(0, vfs->replace_file(at(".new").c_str(), at("sub.txt").c_str()));
}

} // namespace
