// The fault tests' fixture: a scratch directory with the known images every fault test sorts,
// and the setup that makes file permissions bind (faults are run_fault, test_support.h).
#pragma once

#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fault_e2e {

using namespace vormlin_e2e;

// Sets up f so that file permissions bind on the program: nothing to do for an ordinary user,
// as root by running as nobody. False when root has no one to switch to.
inline bool make_permissions_bind(run_fault *f)
{
    if (geteuid() != 0)
        return true;
    if (!can_drop_privileges())
        return false;
    f->unprivileged = true;
    return true;
}

// A scratch directory with a catalogue of three known images: Solo (one side), Pair (two
// sides) and Quad (one side of four files).
class FaultTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(work.empty());
        ASSERT_TRUE(write_known_catalogue(work, {solo, pair1, pair2, quad}));
    }
    void TearDown() override { remove_tree(work); }

    // A fresh subdirectory of the work directory.
    std::string dir(const std::string &name)
    {
        std::string path = work + "/" + name;
        mkdir(path.c_str(), 0777);
        return path;
    }

    std::string work = make_scratch_dir("fault");
    gen_side solo = side_of(401), pair1 = side_of(402, 4), pair2 = side_of(403),
             quad = side_of(404, 4);
};

} // namespace fault_e2e
