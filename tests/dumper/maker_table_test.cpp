// Maker table: its shape and the lookup of named, shared and unknown codes.
#include "maker_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MakerTable, HasFiftySixRowsInStrictlyAscendingCodeOrder)
{
    ASSERT_EQ(sizeof maker_table / sizeof maker_table[0], 56u);
    EXPECT_EQ(maker_table[0].code, 0x01);
    EXPECT_EQ(maker_table[55].code, 0xEB);
    for (std::size_t k = 1; k < 56; k++)
        EXPECT_LT(maker_table[k - 1].code, maker_table[k].code) << "row " << k;
}

struct maker_case {
    unsigned code;
    const char *name;
};

TEST(MakerName, GivesTheNameOfEachCode)
{
    const maker_case cases[] = {
        {0x01, "Nintendo"},
        {0x28, "Kemco"},
        {0xC2, "Kemco"},
        {0xA4, "Konami"},
        {0xCA, "Konami"},
        {0xB2, "BANDAI / BanDai America"},
        {0x0B, "Storm (Sales Curve)"},
        {0x21, "Tokai Engeneering"},
        {0xBB, "Sunsoft Sekaibunka-sha"},
        {0x23, "Loriciel / Micro World"},
        {0xEB, "Atlus"},
        {0x00, "Unknown"},
        {0x02, "Unknown"},
        {0xFF, "Unknown"},
        {0x27, "Unknown"},
        {0xEC, "Unknown"},
    };
    for (const maker_case &c : cases)
        EXPECT_STREQ(maker_name(static_cast<std::uint8_t>(c.code)), c.name) << std::hex << c.code;
}

TEST(MakerName, UnknownCodesAreExactlyThoseWithoutARow)
{
    int unknown = 0;
    for (unsigned code = 0; code < 256; code++) {
        if (std::string(maker_name(static_cast<std::uint8_t>(code))) == "Unknown")
            unknown++;
    }
    EXPECT_EQ(unknown, 256 - 56);
}

} // namespace
