// The fault tests' fixture: a scratch directory with the known images every fault test sorts,
// and the setup that makes file permissions bind (faults are run_fault, test_support.h).
#pragma once

#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
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

// A whole tree as the tests compare it: every entry's path and every plain file's bytes.
struct tree_state {
    std::set<std::string> paths;
    std::map<std::string, bytes> files;
};

// The tree below root; miss.txt (rewritten by every run) is left out when asked.
inline tree_state state_of(const std::string &root, bool without_report = false)
{
    tree_state s{list_tree(root), snapshot_tree(root)};
    if (without_report) {
        s.paths.erase("miss.txt");
        s.files.erase("miss.txt");
    }
    return s;
}

inline void add_note(std::string *out, const char *what, const std::string &path)
{
    *out += (out->empty() ? "" : ", ") + std::string(what) + " " + path;
}

// How got differs from want, e.g. "extra bak/a.fds, missing ren/A.fds"; "" when alike.
inline std::string tree_difference(const tree_state &want, const tree_state &got)
{
    std::string out;
    for (const std::string &p : got.paths) {
        if (want.paths.count(p) == 0)
            add_note(&out, "extra", p);
    }
    for (const std::string &p : want.paths) {
        if (got.paths.count(p) == 0)
            add_note(&out, "missing", p);
    }
    for (const auto &[p, data] : want.files) {
        auto it = got.files.find(p);
        if (it != got.files.end() && it->second != data)
            add_note(&out, "changed", p);
    }
    return out;
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
