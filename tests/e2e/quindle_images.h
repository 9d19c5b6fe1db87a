// Images with known file contents and a scratch directory in which to run the dumper.
#pragma once

#include "fdsgen.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline gen_file text_file(std::uint8_t number, const std::string &name, const std::string &data,
                          std::uint8_t kind = 0)
{
    gen_file f;
    f.number = number;
    f.id = number;
    f.name = name;
    f.kind = kind;
    f.data.assign(data.begin(), data.end());
    return f;
}

// Game TEST: "abc" as a program, "123456789" as character data (CRCs 352441C2, CBF43926).
inline gen_side abc_side(std::uint8_t side_number = 0)
{
    gen_side s;
    s.side_number = side_number;
    s.files = {text_file(0, "KYODAKU-", "abc", 0), text_file(1, "CHARS", "123456789", 1)};
    return s;
}

inline bytes image_of(const std::vector<gen_side> &sides, bool fwnes_header = false)
{
    gen_image image;
    image.sides = sides;
    image.fwnes_header = fwnes_header;
    return gen_image_bytes(image);
}

// The header text of abc_side at -i and -x.
inline const std::string abc_header = "TEST (V 1.00) MFR: 01 Nintendo               Permit: "
                                      "61/02/21 (1986) Created: 61/02/21 (1986)";

struct QuindleTest : ::testing::Test {
    std::string dir;

    void SetUp() override
    {
        dir = make_scratch_dir("quindle");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { remove_tree(dir); }

    void put(const std::string &name, const bytes &data)
    {
        ASSERT_TRUE(gen_write_file(dir + "/" + name, data)) << name;
    }

    // The dumper's standard output, run in the scratch directory; it must end well and
    // quietly whatever it reports.
    std::string quindle(std::vector<std::string> args)
    {
        args.insert(args.begin(), QUINDLE_PATH);
        run_result r = run_program(args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        return r.out;
    }
};
