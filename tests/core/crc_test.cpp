// CRC-32: the check values of the standard and agreement with an independent bit-wise CRC.
#include "crc.h"
#include "fdsgen.h"

#include <gtest/gtest.h>

namespace {

struct CrcTest : ::testing::Test {
    void SetUp() override { crc_build_table(); }
};

TEST_F(CrcTest, TableEntriesFollowTheReflectedPolynomial)
{
    EXPECT_EQ(crc_table[0], 0x00000000u);
    EXPECT_EQ(crc_table[1], 0x77073096u);
    EXPECT_EQ(crc_table[128], 0xEDB88320u);
    EXPECT_EQ(crc_table[255], 0x2D02EF8Du);
}

TEST_F(CrcTest, CheckValueOfTheDigitsIsTheStandardOne)
{
    const char *digits = "123456789";
    EXPECT_EQ(crc_of_bytes(reinterpret_cast<const std::uint8_t *>(digits), 9), 0xCBF43926u);
}

TEST_F(CrcTest, EmptyInputGivesZero)
{
    std::uint8_t none = 0;
    EXPECT_EQ(crc_of_bytes(&none, 0), 0u);
}

TEST_F(CrcTest, StartIndexSkipsLeadingBytes)
{
    const char *text = "xx123456789";
    EXPECT_EQ(crc_of_bytes(reinterpret_cast<const std::uint8_t *>(text), 9, 2), 0xCBF43926u);
}

TEST_F(CrcTest, AgreesWithBitwiseCrcOnEveryLengthUpTo300)
{
    gen_file f = gen_make_file(0, "X", 300, 77);
    for (std::size_t len = 0; len <= f.data.size(); len++) {
        bytes part(f.data.begin(), f.data.begin() + static_cast<std::ptrdiff_t>(len));
        ASSERT_EQ(crc_of_bytes(part.data(), len), gen_crc32(part)) << "length " << len;
    }
}

TEST_F(CrcTest, RebuildingTheTableChangesNothing)
{
    std::uint32_t before = crc_table[0x5A];
    crc_build_table();
    EXPECT_EQ(crc_table[0x5A], before);
}

} // namespace
