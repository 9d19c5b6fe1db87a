// Runs the side report on images written into a scratch directory and returns its text.
#pragma once

#include "crc.h"
#include "fdsgen.h"
#include "platform.h"
#include "settings.h"
#include "side_report.h"
#include "test_images.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

struct ReportTest : ::testing::Test {
    std::string dir; // ends in the separator

    void SetUp() override
    {
        crc_build_table();
        info_level = 0;
        crc_output = true;
        std::string scratch = make_scratch_dir("dumper");
        ASSERT_FALSE(scratch.empty());
        dir = scratch + plat_sep;
    }
    void TearDown() override
    {
        remove_tree(dir);
        info_level = 0;
        crc_output = true;
    }

    // The report's text on file name in dir.
    std::string report_file(const std::string &name, const std::string &in_dir)
    {
        std::FILE *out = std::tmpfile();
        EXPECT_NE(out, nullptr);
        if (out == nullptr)
            return "";
        side_report_to(out, name.c_str(), in_dir.empty() ? nullptr : in_dir.c_str());
        std::rewind(out);
        std::string text;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, out)) > 0)
            text.append(buf, n);
        std::fclose(out);
        return text;
    }

    std::string report(const bytes &image, const std::string &name = "game.fds")
    {
        EXPECT_TRUE(gen_write_file(dir + name, image));
        return report_file(name, dir);
    }
};
