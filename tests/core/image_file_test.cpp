// Reading an image file whole: exact contents, and each kind of path that cannot be read.
#include "fdsgen.h"
#include "image_file.h"
#include "test_images.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct ImageFileTest : ::testing::Test {
    std::string root;
    void SetUp() override
    {
        root = make_scratch_dir("imagefile");
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override { remove_tree(root); }
};

TEST_F(ImageFileTest, ReadsTheWholeFileExactly)
{
    bytes data =
        gen_image_of({gen_make_side("READ", 0, 4, 21), gen_make_side("READ", 1, 1, 22)}, true);
    data.push_back(0x5A); // an odd length, not a whole number of sides
    std::string path = root + "/two sides.fds";
    ASSERT_TRUE(write_file_bytes(path, data));

    image_buffer buf;
    ASSERT_EQ(read_image_file(path.c_str(), &buf), read_ok);
    ASSERT_EQ(buf.size, 16u + 2 * 65500 + 1);
    EXPECT_EQ(bytes(buf.begin(), buf.end()), data);
}

TEST_F(ImageFileTest, AnEmptyFileReadsAsZeroBytes)
{
    std::string path = root + "/empty.fds";
    ASSERT_TRUE(write_file_bytes(path, bytes()));
    image_buffer buf;
    ASSERT_EQ(read_image_file(path.c_str(), &buf), read_ok);
    EXPECT_EQ(buf.size, 0u);
    EXPECT_EQ(buf.begin(), buf.end());
}

TEST_F(ImageFileTest, PathsThatAreNoPlainFileFailToOpenAndLeaveNoBytes)
{
    ASSERT_EQ(mkdir((root + "/dir.fds").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((root + "/pipe.fds").c_str(), 0600), 0);
    for (const char *name : {"/missing.fds", "/dir.fds", "/pipe.fds"}) {
        image_buffer buf;
        buf.bytes.reset(new std::uint8_t[4]);
        buf.size = 4; // whatever the buffer held before is dropped
        EXPECT_EQ(read_image_file((root + name).c_str(), &buf), read_open_failed) << name;
        EXPECT_EQ(buf.size, 0u) << name;
        EXPECT_EQ(buf.bytes, nullptr) << name;
    }
}

} // namespace
