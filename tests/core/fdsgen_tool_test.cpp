// The fdsgen command that other tests and the demo rely on: the images it writes, its refusal
// to overwrite, its usage errors, and a deterministic sample collection.
#include "crc.h"
#include "fdsgen.h"
#include "signature.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FdsgenToolTest : ::testing::Test {
    std::string root;
    void SetUp() override
    {
        root = make_scratch_dir("fdsgen");
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override { remove_tree(root); }

    run_result gen(std::vector<std::string> args) const
    {
        args.insert(args.begin(), FDSGEN_PATH);
        return run_program(args, root);
    }
};

const char sorter_pattern[] = "\x01*NINTENDO-HVC*";

long first_side(const bytes &data)
{
    const std::uint8_t *hit =
        find_signature(data.data(), sorter_pattern, data.data() + data.size());
    return hit == nullptr ? -1 : static_cast<long>(hit - data.data());
}

TEST_F(FdsgenToolTest, ImageOptionsShapeTheFile)
{
    ASSERT_EQ(gen({"image", "--sides", "2", "--header", "--game", "ABCD", "two.fds"}).status, 0);
    bytes two = read_file_bytes(root + "/two.fds");
    ASSERT_EQ(two.size(), 16u + 2 * 65500);
    EXPECT_EQ(bytes(two.begin(), two.begin() + 5), (bytes{0x46, 0x44, 0x53, 0x1A, 2}));
    ASSERT_EQ(first_side(two), 16);
    EXPECT_EQ(count_sides(two.data() + 16, two.data() + two.size()), 2);
    EXPECT_EQ(std::string(two.begin() + 16 + 16, two.begin() + 16 + 20), "ABCD");

    ASSERT_EQ(gen({"image", "--fam", "--files=5", "--no-info", "fam.fam"}).status, 0);
    bytes fam = read_file_bytes(root + "/fam.fam");
    ASSERT_EQ(fam.size(), 61824u + 65500);
    ASSERT_EQ(first_side(fam), 61824);
    EXPECT_EQ(fam[61824 + 57], 5);
    EXPECT_EQ(fam[61824 + 34], 0);

    ASSERT_EQ(
        gen({"image", "--header-count", "7", "--poke", "16=0x02", "--truncate", "100", "cut.fds"})
            .status,
        0);
    bytes cut = read_file_bytes(root + "/cut.fds");
    ASSERT_EQ(cut.size(), 100u);
    EXPECT_EQ(cut[4], 7);
    EXPECT_EQ(cut[16], 0x02);
    EXPECT_EQ(first_side(cut), -1);

    ASSERT_EQ(gen({"image", "--qd", "--sides", "2", "--files", "1", "two.qd"}).status, 0);
    bytes qd = read_file_bytes(root + "/two.qd");
    ASSERT_EQ(qd.size(), 2u * 65536);
    EXPECT_EQ(qd[65536], 0x01);          // the second side begins with its info block
    EXPECT_EQ(qd[56 + 2], 0x02);         // the file amount block behind the info block's checksum
    EXPECT_EQ(qd[56 + 2 + 2 + 2], 0x03); // and the first file header behind its checksum
}

TEST_F(FdsgenToolTest, SeedsGiveDifferentFilesAndTheSameSeedTheSameBytes)
{
    ASSERT_EQ(gen({"image", "--seed", "3", "a.fds"}).status, 0);
    ASSERT_EQ(gen({"image", "--seed", "3", "b.fds"}).status, 0);
    ASSERT_EQ(gen({"image", "--seed", "4", "c.fds"}).status, 0);
    EXPECT_EQ(read_file_bytes(root + "/a.fds"), read_file_bytes(root + "/b.fds"));
    EXPECT_NE(read_file_bytes(root + "/a.fds"), read_file_bytes(root + "/c.fds"));
}

TEST_F(FdsgenToolTest, AnExistingFileIsNeverOverwritten)
{
    ASSERT_TRUE(write_file_text(root + "/taken.fds", "mine"));
    run_result r = gen({"image", "taken.fds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("taken.fds"), std::string::npos);
    EXPECT_EQ(read_file_text(root + "/taken.fds"), "mine");
}

TEST_F(FdsgenToolTest, UsageErrorsExitWithTwoAndWriteNothing)
{
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"image"},
        {"image", "--sides", "256", "x.fds"},
        {"image", "--sides", "-1", "x.fds"},
        {"image", "--maker", "0x1G", "x.fds"},
        {"image", "--game", "TOOLONG", "x.fds"},
        {"image", "--poke", "5", "x.fds"},
        {"image", "--poke", "70000=1", "x.fds"},
        {"image", "--truncate", "70000", "x.fds"},
        {"image", "--files", "200", "x.fds"},
        {"image", "--bogus", "x.fds"},
        {"image", "--qd", "--header", "x.qd"},
        {"image", "--qd", "--fam", "x.qd"},
        {"image", "x.fds", "y.fds"},
        {"image", "--seed"},
        {"sample"},
    };
    for (const auto &args : wrong) {
        run_result r = gen(args);
        std::string line;
        for (const std::string &a : args)
            line += a + " ";
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_FALSE(r.err.empty()) << line;
    }
    EXPECT_EQ(snapshot_tree(root).size(), 0u);
    EXPECT_EQ(gen({"image", "--help"}).status, 0);
}

TEST_F(FdsgenToolTest, TheSampleCollectionIsTheSameEveryTime)
{
    run_result r = gen({"sample", "one"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(gen({"sample", "two"}).status, 0);
    auto one = snapshot_tree(root + "/one");
    EXPECT_EQ(one, snapshot_tree(root + "/two"));
    EXPECT_EQ(gen({"sample", "one"}).status, 1) << "a second run into the same place";
    EXPECT_EQ(snapshot_tree(root + "/one"), one);

    EXPECT_EQ(one.at("collection/pebble golf.fds").size(), 65500u);
    EXPECT_EQ(first_side(one.at("collection/harbor patrol.fam")), 61824);
    EXPECT_EQ(one.at("collection/tidewater saga.qd").size(), 2u * 65536);
    EXPECT_EQ(first_side(one.at("collection/scratched disk.fds")), -1);
    EXPECT_EQ(bytes(one.at("collection/cartridge dump.fds").begin(),
                    one.at("collection/cartridge dump.fds").begin() + 3),
              (bytes{0x02, 0x00, 0x0D}));
    EXPECT_EQ(one.at("collection/moon quest.fds"), one.at("known/Moon Quest (Japan).fds"));
    EXPECT_EQ(one.at("collection/tidewater saga.fds"), one.at("known/Tidewater Saga (Japan).fds"));
}

TEST_F(FdsgenToolTest, TheSampleTagNamesTheChangedLastFile)
{
    run_result r = gen({"sample", "s"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto tree = snapshot_tree(root + "/s");
    const bytes &known = tree.at("known/Clockwork Garden (Japan).fds");
    const bytes &changed = tree.at("collection/clockwork garden.fds");
    ASSERT_EQ(known.size(), changed.size());
    // Walk the six files of the side to the last one's data.
    std::size_t at = 16 + 58;
    for (int i = 0; i < 5; i++)
        at += 17 + (known[at + 13] | (known[at + 14] << 8));
    std::size_t size = known[at + 13] | (known[at + 14] << 8);
    std::size_t data = at + 17;
    for (std::size_t i = 0; i < known.size(); i++) {
        if (i < data || i >= data + size) {
            ASSERT_EQ(known[i], changed[i]) << "offset " << i;
        }
    }
    crc_build_table();
    char tag[32];
    std::snprintf(tag, sizeof tag, "[1-%08x]",
                  static_cast<unsigned>(crc_of_bytes(changed.data() + data, size)));
    EXPECT_NE(r.out.find(tag), std::string::npos) << r.out;
    EXPECT_NE(known, changed);
}

} // namespace
