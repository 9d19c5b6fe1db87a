// Shared pieces of the sorter's end-to-end tests: generated sides, catalogue files made by the
// real dumper (or written by hand when it is not built), and running the real sorter.
#pragma once

#include "fdsgen.h"
#include "test_images.h"
#include "test_support.h"

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vormlin_e2e {

inline gen_side side_of(std::uint32_t seed, int files = 3)
{
    gen_side s = gen_make_side("VRML", 0, files, seed);
    s.filler = 0xA5;
    return s;
}

inline bytes raw_sides(const std::vector<gen_side> &sides)
{
    return gen_image_of(sides, false);
}

// The catalogue line of one side, as the dumper writes it.
inline std::string catalogue_line(const gen_side &s, int index, int count, const std::string &name)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "VRML;1;%d;%d;%d;%02zu", s.side_number, index, count,
                  s.files.size());
    std::string line = buf;
    for (const gen_file &f : s.files) {
        std::snprintf(buf, sizeof buf, ";%08X", gen_crc32(f.data));
        line += buf;
    }
    std::string shown = name;
    if (index > 1) {
        std::size_t dot = name.rfind('.');
        shown = name.substr(0, dot) + " (" + std::to_string(index) + "o" + std::to_string(count) +
                ")" + name.substr(dot);
    }
    return line + ";" + shown + "\n";
}

// Writes ingredients.dat into work for these known images (name and sides): through the real
// dumper run over a directory of them, or by hand when the dumper is not built.
inline bool write_catalogue(const std::string &work,
                            const std::vector<std::pair<std::string, std::vector<gen_side>>> &known)
{
    std::string text;
    std::string quindle = QUINDLE_PATH;
    std::string dir = make_scratch_dir("known");
    for (const auto &k : known) {
        if (!write_file_bytes(dir + "/" + k.first, gen_image_of(k.second, true)))
            return false;
        for (std::size_t i = 0; i < k.second.size(); i++)
            text += catalogue_line(k.second[i], static_cast<int>(i + 1),
                                   static_cast<int>(k.second.size()), k.first);
    }
    if (!quindle.empty()) {
        run_result r = run_program({quindle, "*"}, dir);
        if (r.status != 0)
            return false;
        text = r.out;
    }
    remove_tree(dir);
    return write_file_text(work + "/ingredients.dat", text);
}

// Three known games: Solo (one side), Pair (two sides) and Quad (one side of four files).
struct known_set {
    gen_side solo, pair1, pair2, quad;
};

// The known games generated from seed and the next three seeds.
inline known_set known_games(std::uint32_t seed)
{
    return {side_of(seed), side_of(seed + 1, 4), side_of(seed + 2), side_of(seed + 3, 4)};
}

inline bool write_known_catalogue(const std::string &work, const known_set &k)
{
    return write_catalogue(
        work, {{"Solo.fds", {k.solo}}, {"Pair.fds", {k.pair1, k.pair2}}, {"Quad.fds", {k.quad}}});
}

inline std::vector<std::string> vormlin_argv(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {VORMLIN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

inline run_result vormlin(const std::vector<std::string> &args, const std::string &cwd,
                          const run_fault &fault = {}, int timeout_seconds = 60)
{
    return run_program_faulted(vormlin_argv(args), cwd, fault, timeout_seconds);
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

} // namespace vormlin_e2e
