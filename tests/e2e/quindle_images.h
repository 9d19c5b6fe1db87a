// A scratch directory in which to run the dumper on images with known file contents.
#pragma once

#include "fdsgen.h"
#include "test_images.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    // quietly (on stderr, warnings excepted) whatever it reports.
    std::string quindle(std::vector<std::string> args, const std::string &warnings = "")
    {
        args.insert(args.begin(), QUINDLE_PATH);
        run_result r = run_program(args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, warnings);
        return r.out;
    }
};
