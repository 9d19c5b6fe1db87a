// Identification of images against hand-made catalogues: the search's tolerances, the
// verification of every side, clearing of unused space and damaged or truncated data.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "crc.h"
#include "fdsgen.h"
#include "identify.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr unsigned zero_unused = 0x08;

std::vector<std::uint32_t> first(const std::vector<std::uint32_t> &v, std::size_t n)
{
    return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size()))};
}

int identify(bytes *image, unsigned options = 0)
{
    return identify_image(image->data(), image->data() + image->size(), options);
}

int search(const bytes &image)
{
    return match_first_side(image.data(), image.data() + image.size());
}

// Where the data of a side's declared files ends, counted from the side's start.
std::size_t files_end(const gen_side &side)
{
    std::size_t off = 58;
    for (const gen_file &f : side.files)
        off += 17 + f.data.size();
    return off;
}

gen_side side_with(int count, std::uint32_t seed)
{
    gen_side s = gen_make_side("TEST", 0, count, seed);
    s.filler = 0xEE;
    return s;
}

struct Identify : ::testing::Test {
    void SetUp() override
    {
        crc_build_table();
        reset_catalogue_for_tests();
    }
    void TearDown() override { reset_catalogue_for_tests(); }
};

TEST_F(Identify, FileCountsMayDifferByOneButNeverByTwo)
{
    gen_side all = side_with(7, 11);
    std::vector<std::uint32_t> all_crcs = crcs_of(all);
    for (int n = 1; n <= 5; n++) {
        for (int c = std::max(1, n - 2); c <= n + 2; c++) {
            reset_catalogue_for_tests();
            int entry = add_catalogue_entry("Game.fds", 1, 1, first(all_crcs, std::size_t(c)));
            gen_side s = all;
            s.files.resize(std::size_t(n));
            bytes image = gen_image_of({s});
            bool near = n - c <= 1 && c - n <= 1;
            EXPECT_EQ(search(image), near ? entry : 0) << n << " files against " << c;
            EXPECT_EQ(identify(&image), near ? entry : 0) << n << " files against " << c;
            // A side file beyond the catalogue's list is the side's differing file.
            std::uint32_t expected_slot = n == c + 1 ? all_crcs[std::size_t(n - 1)] : 0u;
            EXPECT_EQ(catalogue[entry].mismatch_crc, near ? expected_slot : 0u) << n << " vs " << c;
        }
    }
}

TEST_F(Identify, ADifferingFileIsFoundOnlyWhereTheSearchDoesNotLook)
{
    // Up to three files all are compared; from four on the last one is left to verification.
    for (int m = 1; m <= 5; m++) {
        for (int changed = 0; changed < m; changed++) {
            reset_catalogue_for_tests();
            gen_side s = side_with(m, 21);
            int entry = add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
            s.files[std::size_t(changed)].data[0] ^= 0x5A;
            bytes image = gen_image_of({s});
            bool found = m >= 4 && changed == m - 1;
            EXPECT_EQ(identify(&image), found ? entry : 0) << m << " files, file " << changed;
            std::uint32_t changed_crc = gen_crc32(s.files[std::size_t(changed)].data);
            EXPECT_EQ(catalogue[entry].mismatch_crc, found ? changed_crc : 0u);
        }
    }
}

TEST_F(Identify, FiveFilesAgainstFourAllowOnlyTheFifthToDiffer)
{
    gen_side s = side_with(5, 31);
    std::vector<std::uint32_t> c = crcs_of(s);
    int entry = add_catalogue_entry("Game.fds", 1, 1, first(c, 4));
    bytes image = gen_image_of({s});
    EXPECT_EQ(identify(&image), entry);
    EXPECT_EQ(catalogue[entry].mismatch_crc, c[4]);

    s.files[3].data[5] ^= 1; // not compared by the search, but a second difference
    bytes changed = gen_image_of({s});
    EXPECT_EQ(search(changed), entry);
    EXPECT_EQ(identify(&changed), 0);
}

TEST_F(Identify, FourFilesAgainstFiveIgnoreTheCataloguesFifth)
{
    gen_side s = side_with(4, 41);
    std::vector<std::uint32_t> c = crcs_of(s);
    c.push_back(0x12345678u);
    int entry = add_catalogue_entry("Game.fds", 1, 1, c);
    catalogue[entry].mismatch_crc = 0xFFFFu;
    bytes image = gen_image_of({s});
    EXPECT_EQ(identify(&image), entry);
    EXPECT_EQ(catalogue[entry].mismatch_crc, 0u);
}

TEST_F(Identify, CatalogueZeroIsAWildcardOnlyAfterTheFirstPlace)
{
    gen_side s = side_with(3, 51);
    std::vector<std::uint32_t> c = crcs_of(s);
    bytes image = gen_image_of({s});

    add_catalogue_entry("First zero.fds", 1, 1, {0u, c[1], c[2]});
    EXPECT_EQ(search(image), 0);

    int second_zero = add_catalogue_entry("Second zero.fds", 1, 1, {c[0], 0u, c[2]});
    EXPECT_EQ(search(image), second_zero);
    // The verification takes the 0 literally: the second file is the differing one.
    EXPECT_EQ(identify(&image), second_zero);
    EXPECT_EQ(catalogue[second_zero].mismatch_crc, c[1]);

    reset_catalogue_for_tests();
    add_catalogue_entry("Two zeros.fds", 1, 1, {c[0], 0u, 0u});
    EXPECT_EQ(search(image), 1);
    EXPECT_EQ(identify(&image), 0);
}

TEST_F(Identify, TheFirstOfTwoMatchingEntriesWins)
{
    gen_side s = side_with(2, 61);
    bytes image = gen_image_of({s});
    add_catalogue_entry("Other.fds", 1, 1, crcs_of(side_with(2, 62)));
    int earlier = add_catalogue_entry("Earlier.fds", 1, 1, crcs_of(s));
    add_catalogue_entry("Later.fds", 1, 1, crcs_of(s));
    EXPECT_EQ(identify(&image), earlier);
}

TEST_F(Identify, EmptyDifferingFileLeavesTheSlotAtZeroButStillCounts)
{
    gen_side s = side_with(4, 71);
    s.files[3].data.clear(); // CRC 0
    std::vector<std::uint32_t> c = crcs_of(s);
    ASSERT_EQ(c[3], 0u);
    bytes image = gen_image_of({s});
    int entry = add_catalogue_entry("Game.fds", 1, 1, {c[0], c[1], c[2], 0xABCDEF01u});
    catalogue[entry].mismatch_crc = 0x99u;
    EXPECT_EQ(identify(&image), entry);
    EXPECT_EQ(catalogue[entry].mismatch_crc, 0u);

    // A fifth file beyond the list differs too: with the empty file that makes two.
    s.files.push_back(gen_make_file(4, "FIFTH", 100, 72));
    bytes five = gen_image_of({s});
    EXPECT_EQ(search(five), entry);
    EXPECT_EQ(identify(&five), 0);
    catalogue[entry].crcs[3] = 0u;
    EXPECT_EQ(identify(&five), entry);
    EXPECT_EQ(catalogue[entry].mismatch_crc, gen_crc32(s.files[4].data));
}

TEST_F(Identify, FirstSideFileRunningPastItsSideIsFoundButFailsVerification)
{
    gen_side s = side_with(0, 81);
    s.files.push_back(gen_make_file(0, "BIG", 65500 - 58 - 17 + 10, 82));
    bytes image = gen_image_of({s});
    image.resize(65500 * 2, 0);
    int entry = add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
    EXPECT_EQ(search(image), entry);
    EXPECT_EQ(identify(&image), 0);

    catalogue[entry].side_index = 2; // a later side is returned without verification
    EXPECT_EQ(identify(&image), entry);
}

TEST_F(Identify, DamagedFirstHeaderGivesAListOfZeros)
{
    gen_side s = side_with(2, 91);
    s.files[0].header_code = 7;
    bytes image = gen_image_of({s});
    add_catalogue_entry("Real.fds", 1, 1, crcs_of(s));
    EXPECT_EQ(search(image), 0);
    int zeros = add_catalogue_entry("Zeros.fds", 1, 1, {0u, 0u});
    EXPECT_EQ(search(image), zeros);
}

struct TwoSides : Identify {
    void SetUp() override
    {
        Identify::SetUp();
        a = side_with(3, 101);
        b = side_with(3, 102);
        first_entry = add_catalogue_entry("Game.fds", 1, 2, crcs_of(a));
        add_catalogue_entry("Game (2o2).fds", 2, 2, crcs_of(b));
    }
    gen_side a, b;
    int first_entry = 0;
};

TEST_F(TwoSides, BothSidesAreVerified)
{
    bytes image = gen_image_of({a, b});
    EXPECT_EQ(identify(&image), first_entry);

    gen_side broken = b;
    broken.files[0].data[0] ^= 1;
    broken.files[2].data[0] ^= 1;
    bytes bad = gen_image_of({a, broken});
    EXPECT_EQ(identify(&bad), 0);

    gen_side one_off = b;
    one_off.files[1].data[0] ^= 1;
    bytes tagged = gen_image_of({a, one_off});
    EXPECT_EQ(identify(&tagged), first_entry);
    EXPECT_EQ(catalogue[first_entry + 1].mismatch_crc, gen_crc32(one_off.files[1].data));
}

TEST_F(TwoSides, OnlyTheFirstSidePresentIsVerifiedAlone)
{
    catalogue[first_entry + 1].mismatch_crc = 0x4242u;
    bytes image = gen_image_of({a});
    EXPECT_EQ(identify(&image), first_entry);
    EXPECT_EQ(catalogue[first_entry + 1].mismatch_crc, 0x4242u);
}

TEST_F(TwoSides, LaterSideEntryIsReturnedUnverifiedAndUncleared)
{
    catalogue[first_entry + 1].mismatch_crc = 0x4242u;
    bytes image = gen_image_of({b});
    bytes before = image;
    EXPECT_EQ(identify(&image, zero_unused), first_entry + 1);
    EXPECT_EQ(image, before);
    EXPECT_EQ(catalogue[first_entry + 1].mismatch_crc, 0x4242u);
}

TEST_F(TwoSides, SideCountReachingPastTheLastEntryIsNotIdentified)
{
    catalogue[first_entry].side_count = 3; // the entry for side 3 was never loaded
    bytes whole = gen_image_of({a, b, side_with(3, 105)});
    EXPECT_EQ(identify(&whole), 0);
    // Without data for the missing side no entry past the last is needed.
    bytes two = gen_image_of({a, b});
    EXPECT_EQ(identify(&two), first_entry);
}

TEST_F(TwoSides, SideCountOfZeroOrBelowReturnsTheEntryWithoutVerifying)
{
    gen_side one_off = a;
    one_off.files[2].data[0] ^= 1;
    one_off.files[1].data[0] ^= 1;
    catalogue[first_entry].crcs[1] = 0; // let the search pass over the changed files
    catalogue[first_entry].crcs[2] = 0;
    for (int count : {0, -1}) {
        catalogue[first_entry].side_count = static_cast<std::int8_t>(count);
        bytes image = gen_image_of({one_off});
        bytes before = image;
        EXPECT_EQ(identify(&image, zero_unused), first_entry) << count;
        EXPECT_EQ(image, before);
    }
}

TEST_F(Identify, ZeroUnusedClearsFromTheEndOfTheFilesToTheEndOfTheSide)
{
    gen_side s = side_with(2, 111);
    add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
    bytes image = gen_image_of({s});
    bytes kept = image;
    ASSERT_EQ(identify(&kept), 1);
    EXPECT_EQ(kept, image);

    ASSERT_EQ(identify(&image, zero_unused), 1);
    std::size_t end = files_end(s);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + long(end), kept.begin()));
    EXPECT_TRUE(
        std::all_of(image.begin() + long(end), image.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST_F(Identify, ZeroUnusedSkipsUndeclaredFilesButNotABrokenHeader)
{
    gen_side s = side_with(2, 121);
    s.undeclared.push_back(gen_make_file(2, "HIDDEN", 300, 122));
    add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
    std::size_t hidden_end = files_end(s) + 17 + 300;

    bytes image = gen_image_of({s});
    bytes original = image;
    ASSERT_EQ(identify(&image, zero_unused), 1);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + long(hidden_end), original.begin()));
    EXPECT_TRUE(std::all_of(image.begin() + long(hidden_end), image.end(),
                            [](std::uint8_t v) { return v == 0; }));

    s.undeclared[0].data_code = 9; // the 3 stays, everything behind it is unused
    image = gen_image_of({s});
    original = image;
    ASSERT_EQ(identify(&image, zero_unused), 1);
    std::size_t header = files_end(s);
    EXPECT_EQ(image[header], 3);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + long(header) + 1, original.begin()));
    EXPECT_TRUE(std::all_of(image.begin() + long(header) + 1, image.end(),
                            [](std::uint8_t v) { return v == 0; }));
}

TEST_F(Identify, UndeclaredFileRunningPastTheSideEndLeavesNothingToClear)
{
    gen_side s = side_with(1, 131);
    gen_file hidden = gen_make_file(1, "HIDDEN", 10, 132);
    hidden.size_override = 65000;
    s.undeclared.push_back(hidden);
    add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
    bytes image = gen_image_of({s});
    bytes original = image;
    EXPECT_EQ(identify(&image, zero_unused), 1);
    EXPECT_EQ(image, original);
}

TEST_F(Identify, VerificationRefusesEntriesThatWereNeverLoaded)
{
    gen_side s = side_with(1, 141);
    add_catalogue_entry("Game.fds", 1, 1, crcs_of(s));
    bytes image = gen_image_of({s});
    std::uint8_t *end = image.data() + image.size();
    EXPECT_EQ(verify_side(image.data(), end, 1, 0), 0);
    EXPECT_EQ(verify_side(image.data(), end, 2, 0), -1);
    EXPECT_EQ(verify_side(image.data(), end, 0, 0), -1);
}

TEST_F(TwoSides, EveryTruncationIsHandledWithinTheData)
{
    bytes whole = gen_image_of({a, b});
    ASSERT_EQ(whole.size(), 131000u);
    std::size_t end_a = files_end(a);
    std::size_t end_b = 65500 + files_end(b);
    std::vector<std::size_t> lengths;
    for (std::size_t centre :
         {std::size_t(0), std::size_t(58), std::size_t(75), end_a, std::size_t(65500),
          std::size_t(65500 + 58), end_b, std::size_t(131000)}) {
        for (std::size_t len = centre >= 40 ? centre - 40 : 0; len <= centre + 40; len++)
            if (len <= whole.size())
                lengths.push_back(len);
    }
    for (std::size_t len : lengths) {
        // An exactly sized copy, so that any read past the end is caught by the sanitizer.
        bytes prefix(whole.begin(), whole.begin() + long(len));
        bool complete_first = len >= end_a && len <= 65500;
        bool complete_both = len >= end_b;
        int expected = complete_first || complete_both ? first_entry : 0;
        EXPECT_EQ(identify(&prefix, zero_unused), expected) << "length " << len;
    }
}

} // namespace
