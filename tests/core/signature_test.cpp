// Finding the first disk side and counting the sides behind it, on intact, edited and
// truncated images.
#include "fdsgen.h"
#include "signature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const char sorter_pattern[] = "\x01*NINTENDO-HVC*";
const char dumper_pattern[] = "*NINTENDO-HVC*";

bytes text_bytes(const std::string &s)
{
    return bytes(s.begin(), s.end());
}

// A copy on the heap of exactly size bytes, so that any read past it is caught by ASan.
std::unique_ptr<std::uint8_t[]> exact_copy(const bytes &data, std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    if (size > 0)
        std::memcpy(copy.get(), data.data(), size);
    return copy;
}

// Offset of the match of pattern in data, -1 for none; searched in an exact-size buffer.
long find_in(const bytes &data, const char *pattern)
{
    auto buf = exact_copy(data, data.size());
    const std::uint8_t *hit = find_signature(buf.get(), pattern, buf.get() + data.size());
    return hit == nullptr ? -1 : static_cast<long>(hit - buf.get());
}

struct find_case {
    const char *what;
    std::string data;
    const char *pattern;
    long expected;
};

TEST(FindSignature, ReportsTheFirstWholeMatchInsideTheRange)
{
    const find_case cases[] = {
        {"match at the first byte", "*NINTENDO-HVC*rest", dumper_pattern, 0},
        {"match ending at the last byte", "xyz*NINTENDO-HVC*", dumper_pattern, 3},
        {"pattern running past the end", "xyz*NINTENDO-HV", dumper_pattern, -1},
        {"first of several", "ab*NINTENDO-HVC*cd*NINTENDO-HVC*", dumper_pattern, 2},
        {"a false start just before the match", "**NINTENDO-*NINTENDO-HVC*", dumper_pattern, 11},
        {"pattern longer than the data", "*NINTENDO", dumper_pattern, -1},
        {"data equal to the pattern", "ABC", "ABC", 0},
        {"signature without its block code", "\x02*NINTENDO-HVC*", sorter_pattern, -1},
        {"signature with its block code", "\x02\x01*NINTENDO-HVC*", sorter_pattern, 1},
        {"the text without the code is still found", "\x02*NINTENDO-HVC*", dumper_pattern, 1},
        {"one differing last byte", "*NINTENDO-HVC!", dumper_pattern, -1},
    };
    for (const find_case &c : cases)
        EXPECT_EQ(find_in(text_bytes(c.data), c.pattern), c.expected) << c.what;
}

TEST(FindSignature, EmptyRangeAndMissingArgumentsGiveNoMatch)
{
    std::uint8_t one[1] = {'*'};
    EXPECT_EQ(find_signature(one, "*", one), nullptr);
    EXPECT_EQ(find_signature(nullptr, "*", one + 1), nullptr);
    EXPECT_EQ(find_signature(one, "*", nullptr), nullptr);
    EXPECT_EQ(find_signature(one + 1, "*", one), nullptr);
    EXPECT_EQ(find_signature(one, "*", one + 1), one);
}

TEST(FindSignature, FindsTheSideBehindAHeaderAndAFamPrefix)
{
    gen_image image;
    image.sides.push_back(gen_make_side("ABCD", 0, 2, 5));
    image.fwnes_header = true;
    EXPECT_EQ(find_in(gen_image_bytes(image), sorter_pattern), 16);
    image.fwnes_header = false;
    image.prefix = 61824;
    EXPECT_EQ(find_in(gen_image_bytes(image), sorter_pattern), 61824);
    EXPECT_EQ(find_in(gen_image_bytes(image), dumper_pattern), 61825);
}

gen_image two_sides()
{
    gen_image image;
    image.sides.push_back(gen_make_side("SIDE", 0, 3, 11));
    image.sides.push_back(gen_make_side("SIDE", 1, 2, 12));
    return image;
}

int count_in(const bytes &data)
{
    auto buf = exact_copy(data, data.size());
    return count_sides(buf.get(), buf.get() + data.size());
}

struct count_case {
    const char *what;
    std::size_t offset; // byte to set, beyond the data for none
    std::uint8_t value;
    std::size_t length; // bytes kept
    int expected;
};

TEST(CountSides, FollowsFileAmountBlocksAndInfoCodes)
{
    const std::size_t all = 131000;
    const std::size_t none = 1u << 30;
    const count_case cases[] = {
        {"two intact sides", none, 0, all, 2},
        {"second side position not 0x01", 65500, 0x00, all, 1},
        {"second side position 0x03", 65500, 0x03, all, 1},
        {"first byte not 1", 0, 0x00, all, 0},
        {"first side declares no files", 57, 0x00, all, 0},
        {"first side's file amount code not 2", 56, 0x03, all, 0},
        {"second side declares no files", 65500 + 57, 0x00, all, 1},
        {"second side's file amount code missing", 65500 + 56, 0x00, all, 1},
        {"255 files declared still counts", 57, 0xFF, all, 2},
        {"short second side holding bytes 0, 56 and 57", none, 0, 65500 + 58, 2},
        {"short second side without byte 57", none, 0, 65500 + 57, 1},
        {"short second side of one byte", none, 0, 65500 + 1, 1},
        {"exactly one side", none, 0, 65500, 1},
        {"first side ending after byte 57", none, 0, 58, 1},
        {"first side ending before byte 57", none, 0, 57, 0},
    };
    for (const count_case &c : cases) {
        bytes data = gen_image_bytes(two_sides());
        gen_poke(&data, c.offset, c.value);
        gen_truncate(&data, c.length);
        EXPECT_EQ(count_in(data), c.expected) << c.what;
    }
}

TEST(CountSides, AnythingBehindTheFirstBreakIsIgnored)
{
    gen_image image = two_sides();
    image.sides.push_back(gen_make_side("SIDE", 2, 1, 13));
    bytes data = gen_image_bytes(image);
    EXPECT_EQ(count_in(data), 3);
    gen_poke(&data, 65500, 0x00); // the second side, while the third is intact
    EXPECT_EQ(count_in(data), 1);
}

TEST(CountSides, NoFirstSideOrNoEndGivesZero)
{
    std::uint8_t one[1] = {1};
    EXPECT_EQ(count_sides(nullptr, one + 1), 0);
    EXPECT_EQ(count_sides(one, nullptr), 0);
    EXPECT_EQ(count_sides(one, one), 0);
}

// The expected count for a prefix of length len of a bare image whose sides are all intact.
int expected_sides(std::size_t len, std::size_t sides)
{
    int count = 0;
    for (std::size_t s = 0; s < sides && len >= s * 65500 + 58; s++)
        count++;
    return count;
}

// Every prefix length in [from, to] of data, searched and counted in an exact-size buffer.
void sweep(const bytes &data, std::size_t header, std::size_t sides, std::size_t from,
           std::size_t to)
{
    for (std::size_t len = from; len <= to && len <= data.size(); len++) {
        auto buf = exact_copy(data, len);
        const std::uint8_t *end = buf.get() + len;
        const std::uint8_t *first = find_signature(buf.get(), sorter_pattern, end);
        bool whole_signature = len >= header + 15;
        ASSERT_EQ(first != nullptr, whole_signature) << "length " << len;
        ASSERT_EQ(find_signature(buf.get(), dumper_pattern, end) != nullptr, whole_signature)
            << "length " << len;
        if (first == nullptr)
            continue;
        ASSERT_EQ(first - buf.get(), static_cast<long>(header)) << "length " << len;
        ASSERT_EQ(count_sides(first, end), expected_sides(len - header, sides)) << "length " << len;
    }
}

void sweep_boundaries(std::size_t header)
{
    gen_image image = two_sides();
    image.fwnes_header = header > 0;
    // A third side begins behind the two, so that the sweep crosses into it as well.
    image.sides.push_back(gen_make_side("SIDE", 2, 1, 14));
    bytes data = gen_image_bytes(image);
    sweep(data, header, 3, 0, header + 60);
    sweep(data, header, 3, header + 65440, header + 65620);
    sweep(data, header, 3, header + 130990, header + 131070);
}

TEST(TruncatedImages, EveryPrefixOfABareImageIsSearchedAndCountedSafely)
{
    sweep_boundaries(0);
}

TEST(TruncatedImages, EveryPrefixOfAHeaderedImageIsSearchedAndCountedSafely)
{
    sweep_boundaries(16);
}

} // namespace
