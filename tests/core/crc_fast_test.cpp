// The fast CRC paths against the byte-wise reference: random data of every length up to past
// a thousand bytes at every alignment, continued registers, start indexes, large buffers.
#include "crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace {

struct CrcFastTest : ::testing::Test {
    void SetUp() override { crc_build_table(); }
};

// Deterministic random bytes (xorshift), so a failure repeats.
std::vector<std::uint8_t> random_bytes(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> out(size);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (std::uint8_t &b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 11);
    }
    return out;
}

using crc_path = std::uint32_t (*)(const std::uint8_t *, std::size_t, std::size_t, std::uint32_t);

struct named_path {
    const char *name;
    crc_path fn;
};

const named_path fast_paths[] = {
    {"crc_of_bytes", crc_of_bytes},
    {"crc_of_bytes_sliced", crc_of_bytes_sliced},
};

TEST_F(CrcFastTest, EveryLengthAndAlignmentAgreesWithTheReference)
{
    const std::size_t max_length = 1100;
    std::vector<std::uint8_t> data = random_bytes(max_length + 16, 4242);
    for (const named_path &path : fast_paths) {
        for (std::size_t align = 0; align < 16; align++) {
            for (std::size_t len = 0; len <= max_length; len++) {
                std::uint32_t want = crc_of_bytes_bytewise(data.data() + align, len);
                ASSERT_EQ(path.fn(data.data() + align, len, 0, 0), want)
                    << path.name << " length " << len << " alignment " << align;
            }
        }
    }
}

TEST_F(CrcFastTest, StartIndexAndContinuedRegisterAgreeWithTheReference)
{
    std::vector<std::uint8_t> data = random_bytes(700, 99);
    const std::uint32_t registers[] = {0x00000001u, 0x12345678u, 0xFFFFFFFFu, 0x80000000u};
    for (const named_path &path : fast_paths) {
        for (std::uint32_t reg : registers) {
            for (std::size_t start : {std::size_t{0}, std::size_t{1}, std::size_t{7},
                                      std::size_t{64}, std::size_t{129}}) {
                std::size_t len = data.size() - start;
                EXPECT_EQ(path.fn(data.data(), len, start, reg),
                          crc_of_bytes_bytewise(data.data(), len, start, reg))
                    << path.name << " start " << start << " register " << reg;
            }
        }
    }
}

TEST_F(CrcFastTest, SplittingTheInputAnywhereGivesTheWholeCrc)
{
    std::vector<std::uint8_t> data = random_bytes(300, 7);
    std::uint32_t whole = crc_of_bytes_bytewise(data.data(), data.size());
    for (std::size_t cut = 0; cut <= data.size(); cut++) {
        // The register after the first part is the complement of its CRC; 0 would mean the
        // preset, so a part whose CRC is all ones cannot be continued this way (none here).
        std::uint32_t reg = ~crc_of_bytes(data.data(), cut);
        ASSERT_NE(reg, 0u);
        ASSERT_EQ(crc_of_bytes(data.data(), data.size() - cut, cut, reg), whole) << "cut " << cut;
    }
}

TEST_F(CrcFastTest, LargeBuffersAgreeWithTheReference)
{
    const std::size_t sizes[] = {65500, 65536, 131000 + 16, (1u << 20) + 13};
    for (std::size_t size : sizes) {
        std::vector<std::uint8_t> data = random_bytes(size, static_cast<std::uint32_t>(size));
        std::uint32_t want = crc_of_bytes_bytewise(data.data(), size);
        EXPECT_EQ(crc_of_bytes(data.data(), size), want) << "size " << size;
        EXPECT_EQ(crc_of_bytes_sliced(data.data(), size), want) << "size " << size;
    }
}

TEST_F(CrcFastTest, KnownValuesHoldOnEveryPath)
{
    // "123456789" ten times: long enough for the folding path.
    std::vector<std::uint8_t> digits;
    for (int k = 0; k < 10; k++)
        for (char c : std::string_view("123456789"))
            digits.push_back(static_cast<std::uint8_t>(c));
    std::vector<std::uint8_t> zeros(4096, 0);
    for (const named_path &path : fast_paths) {
        EXPECT_EQ(path.fn(digits.data(), 9, 0, 0), 0xCBF43926u) << path.name;
        EXPECT_EQ(path.fn(digits.data(), 90, 0, 0), 0xDF68476Au) << path.name;
        EXPECT_EQ(path.fn(zeros.data(), 4096, 0, 0), 0xC71C0011u) << path.name;
    }
}

} // namespace
