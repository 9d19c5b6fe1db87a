// process_image on whole files: where each kind of image ends, what is rewritten, split and
// backed up, and that no write failure loses the original.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "crc.h"
#include "fdsgen.h"
#include "options.h"
#include "process.h"
#include "run.h"
#include "split.h"
#include "subdir_move.h"
#include "test_images.h"
#include "test_support.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

using tree = std::map<std::string, bytes>;

gen_side make_side(std::uint32_t seed, int files = 3)
{
    gen_side s = gen_make_side("TEST", 0, files, seed);
    s.filler = 0xEE; // visible when the unused space is cleared
    return s;
}

bytes side_bytes(const gen_side &s)
{
    return gen_side_bytes(s);
}

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(cwd.dir.empty());
        reset_catalogue_for_tests();
        ui_stub_reset();
        crc_build_table();
        temp_counter = 0;
        subdir_moves_forget();
    }
    void TearDown() override { reset_catalogue_for_tests(); }

    tree files() const { return snapshot_tree(cwd.dir); }

    // For the next case of a table: an empty catalogue and an empty current directory.
    void start_afresh()
    {
        reset_catalogue_for_tests();
        ui_stub_reset();
        temp_counter = 0;
        subdir_moves_forget();
        for (const auto &e : std::filesystem::directory_iterator(cwd.dir))
            std::filesystem::remove_all(e.path());
    }

    scratch_cwd cwd{"process"};
    gen_side one = make_side(11);
    gen_side two = make_side(22);
};

TEST_F(ProcessTest, FilesWithoutADiskSideGoToBadOrRom)
{
    const bytes whole = side_bytes(one); // without its block code it has no side
    struct sideless_case {
        const char *name;
        bytes content;
        unsigned outcome;
        const char *landed;
    } cases[] = {
        {"empty.fds", {}, 0x20, "bad/empty.fds"},
        {"short.fds", {0x02, 0x00}, 0x20, "bad/short.fds"},
        {"cart.fds", {0x02, 0x00, 0x0D, 0x55}, 0x40, "rom/cart.fds"},
        {"nosig.fds", bytes(70000, 0x01), 0x20, "bad/nosig.fds"},
        {"nocode.fds", bytes(whole.begin() + 1, whole.end()), 0x20, "bad/nocode.fds"},
    };
    for (const sideless_case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file_bytes(c.name, c.content));
        EXPECT_EQ(c.outcome, process_image(c.name, nullptr, 0x02));
        EXPECT_EQ(c.content, read_file_bytes(c.landed));
        EXPECT_FALSE(file_exists(c.name));
    }
    ASSERT_TRUE(write_file_bytes("empty.fds", {}));
    EXPECT_EQ(0x20u, process_image("empty.fds", nullptr, 0x02));
    EXPECT_TRUE(file_exists("bad/empty.fd0"));
}

TEST_F(ProcessTest, UnreadableOrOverlongPathsLeaveEverythingAlone)
{
    EXPECT_EQ(4u, process_image("missing.fds", nullptr, 0x02));
    std::string dir(250, 'd');
    EXPECT_EQ(4u, process_image("longname.fds", (dir + "/").c_str(), 0x02));
    EXPECT_TRUE(files().empty());
    ASSERT_EQ(2u, ui_stub.files.size());
    EXPECT_EQ(4u, ui_stub.files[0].outcome);
}

TEST_F(ProcessTest, ACorrectHeaderedImageIsMovedUnchanged)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes image = gen_image_of({one}, true);
    ASSERT_TRUE(write_file_bytes("Game.fds", image));
    EXPECT_EQ(0u, process_image("Game.fds", nullptr, 0x02));
    EXPECT_EQ((tree{{"ren/Title.fds", image}}), files());
    EXPECT_EQ(1, catalogue[1].found);
}

struct rewrite_case {
    const char *what;
    bool header_in;
    unsigned options;
    bool header_out;
};

TEST_F(ProcessTest, HeaderMismatchWithTheOptionIsRewrittenAndBackedUp)
{
    const rewrite_case cases[] = {
        {"headered, no-header option", true, 0x12, false},
        {"bare, header wanted", false, 0x02, true},
    };
    for (const rewrite_case &c : cases) {
        SCOPED_TRACE(c.what);
        start_afresh();
        add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
        bytes original = gen_image_of({one}, c.header_in);
        ASSERT_TRUE(write_file_bytes("Game.fds", original));
        EXPECT_EQ(0x200u, process_image("Game.fds", nullptr, c.options));
        bytes expected = c.header_out ? with_header(side_bytes(one), 1) : side_bytes(one);
        EXPECT_EQ((tree{{"bak/Game.fds", original}, {"ren/Title.fds", expected}}), files());
    }
}

TEST_F(ProcessTest, AWrongHeaderSideCountIsAReasonEvenWhenTheSizeIsRight)
{
    bytes original = gen_image_of({one}, true);
    original[4] = 0xFF; // reads as -1
    ASSERT_TRUE(write_file_bytes("Game.fds", original));
    EXPECT_EQ(0x100u, process_image("Game.fds", nullptr, 0x02));
    EXPECT_EQ((tree{{"bak/Game.fds", original}, {"Game.fds", with_header(side_bytes(one), 1)}}),
              files());
}

// An image of sides one and two: the second is split off into a temporary image, and where
// the first lands depends on the catalogue.
TEST_F(ProcessTest, SurplusSidesAreSplitIntoATemporaryImage)
{
    struct entry {
        const char *name;
        int index, count;
        const gen_side *side;
    };
    const struct split_case {
        const char *label;
        std::vector<entry> entries;
        bool header;
        unsigned outcome;
        std::string landed; // where side one lands, with a header
        int found;          // catalogue[1].found afterwards; -1: not checked
    } cases[] = {
        {"a known first side", {{"Title.fds", 1, 1, &one}}, false, 0x600, "ren/Title.fds", -1},
        {"a first side that is a later side: parts",
         {{"Title.fds", 1, 2, &two}, {"Title (2o2).fds", 2, 2, &one}},
         true,
         0xC00,
         "parts/Title (2o2).fds",
         0},
        {"a side count below one keeps one side",
         {{"Broken.fds", 1, 0, &one}},
         true,
         0x600,
         "parts/Broken.fds",
         -1},
    };
    for (const split_case &c : cases) {
        SCOPED_TRACE(c.label);
        start_afresh();
        for (const entry &e : c.entries)
            add_catalogue_entry(e.name, e.index, e.count, crcs_of(*e.side));
        bytes original = gen_image_of({one, two}, c.header);
        ASSERT_TRUE(write_file_bytes("Game.fds", original));
        EXPECT_EQ(c.outcome, process_image("Game.fds", nullptr, 0x02));
        EXPECT_EQ((tree{{"bak/Game.fds", original},
                        {c.landed, with_header(side_bytes(one), 1)},
                        {"tmp0000.fds", side_bytes(two)}}),
                  files());
        if (c.found >= 0) {
            EXPECT_EQ(c.found, catalogue[1].found);
        }
    }
}

TEST_F(ProcessTest, AShortLastSideIsPaddedWithZeros)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes original = gen_image_of({one, two}, false);
    gen_truncate(&original, 65500 + 3000);
    ASSERT_TRUE(write_file_bytes("Game.fds", original));
    EXPECT_EQ(0x600u, process_image("Game.fds", nullptr, 0x12));
    const bytes whole = side_bytes(two);
    bytes second(whole.begin(), whole.begin() + 3000);
    second.resize(65500, 0);
    EXPECT_EQ(second, read_file_bytes("tmp0000.fds"));
    EXPECT_EQ(side_bytes(one), read_file_bytes("ren/Title.fds"));
}

TEST_F(ProcessTest, AnImageHoldingOnlySomeOfItsSidesGoesToPartsUnchanged)
{
    add_catalogue_entry("Title.fds", 1, 2, crcs_of(one));
    add_catalogue_entry("Title (2o2).fds", 2, 2, crcs_of(two));
    bytes original = gen_image_of({one}, true);
    ASSERT_TRUE(write_file_bytes("Game.fds", original));
    EXPECT_EQ(0u, process_image("Game.fds", nullptr, 0x02));
    EXPECT_EQ((tree{{"parts/Title.fds", original}}), files());
    EXPECT_EQ(0, catalogue[1].found); // a part is no find: the game stays in miss.txt
}

TEST_F(ProcessTest, DifferingFilesTagTheNameInSideOrder)
{
    gen_side a = make_side(31, 4), b = make_side(32, 3);
    std::vector<std::uint32_t> ca = crcs_of(a), cb = crcs_of(b);
    ca[3] = 0x0BADF00D; // the last of four files is not compared by the search
    cb[1] = 0x12345678;
    add_catalogue_entry("Title.fds", 1, 2, ca);
    add_catalogue_entry("Title (2o2).fds", 2, 2, cb);
    bytes original = gen_image_of({a, b}, true);
    ASSERT_TRUE(write_file_bytes("Game.fds", original));
    EXPECT_EQ(0u, process_image("Game.fds", nullptr, 0x02));
    char name[96];
    std::snprintf(name, sizeof name, "ren/Title [1-%08x] [2-%08x].fds", gen_crc32(a.files[3].data),
                  gen_crc32(b.files[1].data));
    EXPECT_EQ((tree{{name, original}}), files());
    EXPECT_EQ(0u, catalogue[1].mismatch_crc);
    EXPECT_EQ(0u, catalogue[2].mismatch_crc);
}

// a.fds needs a new header, so its turn reads b.fds and c.fds ahead; their last files differ
// from the catalogue's in two ways, and each image takes its own tag.
TEST_F(ProcessTest, ImagesReadAheadOfTheirTurnKeepTheirOwnTags)
{
    gen_side listed = make_side(33, 4), b = listed, c = listed;
    b.files[3].data[0] ^= 1;
    c.files[3].data[0] ^= 2;
    add_catalogue_entry("One.fds", 1, 1, crcs_of(one));
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(listed));
    std::filesystem::create_directory("games");
    ASSERT_TRUE(write_file_bytes("games/a.fds", side_bytes(one)));
    ASSERT_TRUE(write_file_bytes("games/b.fds", gen_image_of({b}, true)));
    ASSERT_TRUE(write_file_bytes("games/c.fds", gen_image_of({c}, true)));
    ASSERT_EQ(run_done, run(run_request{opt_scan, "games"}).ending);
    for (const gen_side *side : {&b, &c}) {
        char name[96];
        std::snprintf(name, sizeof name, "games/ren/Title [1-%08x].fds",
                      gen_crc32(side->files[3].data));
        EXPECT_EQ(gen_image_of({*side}, true), read_file_bytes(name)) << name;
    }
}

TEST_F(ProcessTest, ATakenCatalogueNameSendsTheImageToDupesNumbered)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes image = gen_image_of({one}, true);
    for (const char *name : {"A.fds", "B.fds", "C.fds"})
        ASSERT_TRUE(write_file_bytes(name, image));
    ASSERT_TRUE(write_file_text("ren", "a plain file"));
    for (const char *name : {"A.fds", "B.fds", "C.fds"})
        process_image(name, nullptr, 0x02);
    EXPECT_EQ((tree{{"ren", bytes{'a', ' ', 'p', 'l', 'a', 'i', 'n', ' ', 'f', 'i', 'l', 'e'}},
                    {"dupes/Title.fds", image},
                    {"dupes/Title.fd0", image},
                    {"dupes/Title.fd1", image}}),
              files());
    EXPECT_EQ(3, catalogue[1].found);
}

TEST_F(ProcessTest, FamLayoutConversionGate)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes fam = gen_image_of({one}, false, 61824);
    ASSERT_TRUE(write_file_bytes("Game.fam", fam));
    EXPECT_EQ(0u, process_image("Game.fam", nullptr, 0x02));
    EXPECT_EQ(fam, read_file_bytes("ren/Title.fam"));

    ASSERT_TRUE(write_file_bytes("Other.fam", fam));
    EXPECT_EQ(0x200u, process_image("Other.fam", nullptr, 0x22));
    EXPECT_EQ(fam, read_file_bytes("bak/Other.fam"));
    EXPECT_EQ(with_header(side_bytes(one), 1), read_file_bytes("ren/Title.fds"));

    // Padded to a whole number of sides behind a header's worth of bytes: no reason at all,
    // so the layout counts as standard and the name keeps its own extension.
    bytes padded = fam;
    padded.resize(16 + 2 * 65500, 0);
    ASSERT_TRUE(write_file_bytes("Third.fam", padded));
    EXPECT_EQ(0u, process_image("Third.fam", nullptr, 0x02));
    EXPECT_EQ(padded, read_file_bytes("dupes/Title.fds"));
}

// A QuickDisk image is identified by its files like the .fds image of its disk: kept as it is
// under its catalogue name with its own extension, or with conversion rewritten as a
// normalised .fds image; a bad checksum is told, and a catalogue name of a QuickDisk file
// never names a .fds image.
TEST_F(ProcessTest, AQuickDiskImageIsSortedAsTheFdsImageOfItsDisk)
{
    gen_side zeros = one;
    zeros.filler = 0; // a QuickDisk side holds zeros behind its blocks
    add_catalogue_entry("Title.qd", 1, 1, crcs_of(zeros));
    bytes qd = gen_qd_of({zeros});
    qd[56] ^= 1; // the info block's checksum
    ASSERT_TRUE(write_file_bytes("Game.qd", qd));
    file_outcome kept;
    EXPECT_EQ(0u, process_image("Game.qd", nullptr, opt_scan, &kept));
    EXPECT_EQ("bad checksum in side 1, block 1; identified; moved to ./ren/Title.qd", kept.what);
    EXPECT_EQ(qd, read_file_bytes("ren/Title.qd"));

    ASSERT_TRUE(write_file_bytes("Other.qd", qd));
    for (unsigned options :
         {opt_scan | opt_convert_fam, opt_scan | opt_convert_fam | opt_no_fwnes_header}) {
        EXPECT_EQ(0x200u, process_image("Other.qd", nullptr, options));
        EXPECT_EQ(qd, read_file_bytes("bak/Other.qd"));
        bytes side = side_bytes(zeros);
        EXPECT_EQ((options & opt_no_fwnes_header) != 0 ? side : with_header(side, 1),
                  read_file_bytes((options & opt_no_fwnes_header) != 0 ? "dupes/Title.fds"
                                                                       : "ren/Title.fds"));
        ASSERT_TRUE(std::filesystem::remove("bak/Other.qd"));
        ASSERT_TRUE(write_file_bytes("Other.qd", qd));
    }

    // A side that belongs to another image is split off as usual.
    gen_side second = two;
    second.filler = 0;
    bytes surplus = gen_qd_of({zeros, second});
    ASSERT_TRUE(write_file_bytes("Two.qd", surplus));
    EXPECT_EQ(0x600u, process_image("Two.qd", nullptr, opt_scan | opt_convert_fam));
    EXPECT_EQ(surplus, read_file_bytes("bak/Two.qd"));
    EXPECT_EQ(with_header(side_bytes(zeros), 1), read_file_bytes("dupes/Title.fd0"));
    EXPECT_EQ(side_bytes(second), read_file_bytes("tmp0000.fds"));
}

TEST_F(ProcessTest, AConvertedFamNeverTouchesAnotherFileOfItsNewName)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes fam = gen_image_of({one}, false, 61849);
    bytes other = gen_image_of({two}, true);
    ASSERT_TRUE(write_file_bytes("Game.fam", fam));
    ASSERT_TRUE(write_file_bytes("Game.fds", other));
    unsigned outcome = process_image("Game.fam", nullptr, 0x22);
    EXPECT_NE(0u, outcome & 0x1000);
    EXPECT_EQ((tree{{"Game.fam", fam}, {"Game.fds", other}}), files());
}

TEST_F(ProcessTest, TmpNamesAreRewrittenInPlaceWithoutBackup)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    ASSERT_TRUE(write_file_bytes("tmpgame.fds", gen_image_of({one, two}, false)));
    ASSERT_TRUE(write_file_bytes("TMPother.fds", gen_image_of({two}, false)));
    EXPECT_EQ(0x400u, process_image("tmpgame.fds", nullptr, 0x02));
    EXPECT_EQ(0x200u, process_image("TMPother.fds", nullptr, 0x02)); // the prefix is case-sensitive
    EXPECT_EQ((tree{{"ren/Title.fds", with_header(side_bytes(one), 1)},
                    {"tmp0000.fds", side_bytes(two)},
                    {"bak/TMPother.fds", gen_image_of({two}, false)},
                    {"TMPother.fds", with_header(side_bytes(two), 1)}}),
              files());
}

TEST_F(ProcessTest, ABackupThatCannotBeMadeLeavesTheFileUnchanged)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes original = gen_image_of({one}, false);
    ASSERT_TRUE(write_file_bytes("Game.fds", original));
    ASSERT_TRUE(write_file_text("bak", "x"));
    EXPECT_EQ(0x200u, process_image("Game.fds", nullptr, 0x02));
    EXPECT_EQ((tree{{"Game.fds", original}, {"bak", bytes{'x'}}}), files());
}

TEST_F(ProcessTest, ClearedUnusedSpaceReachesTheDiskOnlyWithARewrite)
{
    add_catalogue_entry("Title.fds", 1, 1, crcs_of(one));
    bytes headered = gen_image_of({one}, true);
    ASSERT_TRUE(write_file_bytes("Kept.fds", headered));
    ASSERT_TRUE(write_file_bytes("Bare.fds", gen_image_of({one}, false)));
    process_image("Kept.fds", nullptr, 0x0A);
    process_image("Bare.fds", nullptr, 0x0A);
    EXPECT_EQ(headered, read_file_bytes("ren/Title.fds"));
    bytes cleared = read_file_bytes("dupes/Title.fds");
    ASSERT_EQ(16u + 65500u, cleared.size());
    EXPECT_EQ(0, cleared.back());
    EXPECT_EQ(std::vector<std::uint8_t>(cleared.begin() + 16, cleared.begin() + 100),
              std::vector<std::uint8_t>(headered.begin() + 16, headered.begin() + 100));
}

} // namespace
