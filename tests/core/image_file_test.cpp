// Reading an image file whole: exact contents, and each kind of path that cannot be read.
#include "fdsgen.h"
#include "image_file.h"
#include "quick_disk.h"
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

// A QuickDisk image reads as the .fds sides of the same disk, whatever its checksums say;
// the blocks whose checksum does not match are told by side and block.
TEST(QuickDiskTest, SidesReadAsTheirFdsSidesAndBadChecksumsAreTold)
{
    gen_side one = gen_make_side("QDSK", 0, 3, 7), two = gen_make_side("QDSK", 1, 2, 8);
    two.undeclared.push_back(gen_make_file(9, "HIDDEN", 300, 9));
    gen_file long_header = gen_make_file(1, "LONG", 10, 10);
    long_header.size_override = 0xFFFF; // its data block cannot fit in the side
    gen_side cut = gen_make_side("QDSK", 0, 0, 11);
    cut.files.push_back(long_header);
    const bytes qd = gen_qd_of({one, two});
    const std::size_t second = 65536, info_sum = 56, first_header_sum = 56 + 2 + 2 + 2 + 16;
    auto poked = [&](std::size_t at, std::uint8_t value) {
        bytes b = qd;
        b[at] = value;
        return b;
    };
    auto joined = [](std::vector<bytes> parts) {
        bytes out;
        for (const bytes &p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const bytes fds = joined({gen_side_bytes(one), gen_side_bytes(two)});
    bytes zeroed_info = qd;
    zeroed_info[info_sum] = zeroed_info[info_sum + 1] = 0;
    bytes short_qd(qd.begin(), qd.begin() + second + 58 + 4 + 18);
    bytes two_cut = gen_side_bytes(two);
    std::fill(two_cut.begin() + 58 + 16, two_cut.end(), 0); // up to the first file's header
    bytes not_a_side = qd;
    not_a_side[second] = 0x00;
    bytes cut_fds = gen_side_bytes(cut);
    std::fill(cut_fds.begin() + 58 + 16, cut_fds.end(), 0);
    const struct {
        const char *label;
        bytes qd, fds;
        std::vector<qd_bad_block> bad;
    } cases[] = {
        {"whole sides, a file behind the declared ones", qd, fds, {}},
        {"a file header's checksum",
         poked(second + first_header_sum,
               static_cast<std::uint8_t>(qd[second + first_header_sum] ^ 1)),
         fds,
         {{2, 3}}},
        {"an info block's checksum left at zero", zeroed_info, fds, {}},
        {"an info block's checksum",
         poked(info_sum, static_cast<std::uint8_t>(qd[info_sum] ^ 0x80)),
         fds,
         {{1, 1}}},
        {"a short last side", short_qd, joined({gen_side_bytes(one), two_cut}), {}},
        {"a side without an info block",
         not_a_side,
         joined({gen_side_bytes(one), bytes(65500, 0)}),
         {}},
        {"a file larger than its side", gen_qd_of({cut}), cut_fds, {}},
        {"no bytes", {}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        image_buffer out;
        std::vector<qd_bad_block> bad;
        ASSERT_TRUE(qd_to_fds(c.qd.data(), c.qd.size(), &out, &bad));
        EXPECT_EQ(c.fds, bytes(out.begin(), out.end()));
        EXPECT_EQ(c.bad, bad);
    }
    // The checksum itself, against the generator's bit-by-bit reading of the format.
    for (const bytes &block : {bytes{}, bytes{0x01}, gen_make_file(0, "X", 777, 5).data}) {
        EXPECT_EQ(gen_qd_checksum(block), qd_checksum(block.data(), block.size()));
    }
}

} // namespace
