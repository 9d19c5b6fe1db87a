// The collections the crash tests sort, and how a crashed run is finished and judged: between
// them the sorter rewrites, splits, converts, renames in place and moves into every
// subdirectory.
#pragma once

#include "vormlin_fixture.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fault_e2e {

using namespace vormlin_e2e;

// Files (path relative to the current directory of the run: bytes) and the arguments.
struct collection {
    const char *label;
    std::vector<std::string> args;
    std::map<std::string, bytes> files;
};

inline bytes text_bytes(const std::string &text)
{
    return bytes(text.begin(), text.end());
}

// Adds to out the leftovers of the program's own making: side files, temporary and journal files.
inline void add_leftovers(const tree_state &s, std::string *out)
{
    for (const std::string &p : s.paths) {
        std::string name = p.back() == '/' ? p.substr(0, p.size() - 1) : p;
        name = name.substr(name.rfind('/') + 1);
        if (name.starts_with(".vormlin") || name.ends_with(".new"))
            add_note(out, "leftover", p);
    }
}

// Between them the sorter rewrites (bak and a new file), splits surplus sides into a
// temporary image, rewrites a tmp image in place, converts a FAM and a QuickDisk image (and
// keeps another as it is), retries numbered names in bak and dupes, and moves files to bad,
// rom and parts.
inline std::vector<collection> crash_collections(const gen_side &solo, const gen_side &pair1,
                                                 const gen_side &pair2, const gen_side &quad)
{
    bytes unknown = raw_sides({side_of(999)});
    return {
        {"current_dir",
         {"-c", "."},
         {{"solo raw.fds", raw_sides({solo})},
          {"bak/solo raw.fds", text_bytes("the user's")},
          {"duo.fds", gen_image_of({quad, solo}, true)},
          {"dupes/Solo.fds", text_bytes("the user's")},
          {"tmpgame.fds", raw_sides({pair1, pair2})},
          {"pair.fam", gen_image_of({pair1, pair2}, false, 61824)},
          {"pair.qd", gen_qd_of({pair1, pair2})},
          {"unknown.fds", unknown},
          {"junk.fds", text_bytes("no disk side")},
          {"cart.fds", {0x02, 0x00, 0x0D, 0x7F}}}},
        {"subdirectory",
         {"games"},
         {{"games/Solo.fds", gen_image_of({solo}, true)},
          {"games/ren/Solo.fds", text_bytes("the user's")},
          {"games/three.fds", raw_sides({pair1, pair2, quad})},
          {"games/tmpside.fds", raw_sides({pair2})},
          {"games/unk.fds", with_header(unknown, 1)},
          {"games/short.fds", bytes(100, 0x33)},
          {"tmp0000.fds", text_bytes("the user's")}}},
        {"headerless",
         {"-H", "-u", "."},
         {{"later.fds", gen_image_of({pair2, pair1}, true)},
          {"Quad.fds", raw_sides({quad})},
          {"quad2.fds", gen_image_of({quad}, true)},
          {"solo.fam", gen_image_of({solo}, false, 61849)},
          {"solo.qd", gen_qd_of({solo})}}},
    };
}

// A fresh copy at to of the work directory (the catalogue) with the collection's files; to,
// or "" on failure.
inline std::string copy_collection(const std::string &work, const collection &c,
                                   const std::string &to)
{
    remove_tree(to);
    if (!copy_tree(work, to))
        return "";
    for (const auto &[path, data] : c.files) {
        std::filesystem::create_directories(std::filesystem::path(to + "/" + path).parent_path());
        if (!write_file_bytes(to + "/" + path, data))
            return "";
    }
    return to;
}

// Runs the sorter once more over dir: what differs from the reference tree, or "".
inline std::string finish_and_compare(const std::string &dir, const collection &c,
                                      const tree_state &want)
{
    run_result rerun = vormlin(c.args, dir);
    tree_state got = state_of(dir, true);
    std::string out = tree_difference(want, got);
    add_leftovers(got, &out);
    if (rerun.status != 0)
        add_note(&out, "rerun status", std::to_string(rerun.status) + ": " + rerun.err);
    return out;
}

} // namespace fault_e2e
