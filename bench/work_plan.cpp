// Derives the plain loop's plan from a sorted tree: files whose bytes are an input's are that
// input renamed; any other file is new bytes, described as pieces of one input (found through
// its disk sides), runs of zeros and literal bytes.
#include "work_plan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

struct input_file {
    std::string name, bytes, target; // target: where it was renamed, when it was
    bool stays = false;
};

struct piece {
    char kind; // 'c' copy from the source input, 'z' zeros, 'l' literal bytes
    std::size_t offset = 0, length = 0;
    std::string literal;
};

struct new_file {
    std::string path;
    int source = -1; // the input its copied pieces come from; -1 for none
    std::vector<piece> pieces;
};

// Disk sides begin with this block; 64 bytes from there find a side among the inputs.
constexpr std::string_view side_mark("\x01*NINTENDO-HVC*", 15);
constexpr std::size_t key_size = 64;
constexpr std::size_t zero_run_min = 32;

using side_index = std::unordered_map<std::string_view, std::vector<std::pair<int, std::size_t>>>;

std::string read_all(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void list_tree(const std::string &root, std::vector<std::string> *files,
               std::vector<std::string> *dirs)
{
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_directory())
            dirs->push_back(rel);
        else
            files->push_back(rel);
    }
    std::sort(files->begin(), files->end());
    std::sort(dirs->begin(), dirs->end());
}

side_index index_sides(const std::vector<input_file> &inputs)
{
    side_index index;
    for (int i = 0; i < static_cast<int>(inputs.size()); i++) {
        std::string_view b = inputs[i].bytes;
        for (std::size_t at = b.find(side_mark); at != std::string_view::npos;
             at = b.find(side_mark, at + 1)) {
            if (b.size() - at >= key_size)
                index[b.substr(at, key_size)].push_back({i, at});
        }
    }
    return index;
}

std::size_t common_length(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size()), k = 0;
    while (k < n && a[k] == b[k])
        k++;
    return k;
}

// The longest match of out from p among the indexed sides, the preferred input tried first.
std::pair<int, std::size_t> best_copy(std::string_view out, std::size_t p,
                                      const std::vector<input_file> &inputs,
                                      const side_index &index, int prefer, std::size_t *length)
{
    *length = 0;
    auto it = index.find(out.substr(p, key_size));
    if (it == index.end())
        return {-1, 0};
    std::vector<std::pair<int, std::size_t>> candidates = it->second;
    std::stable_partition(candidates.begin(), candidates.end(),
                          [prefer](const auto &c) { return c.first == prefer; });
    std::pair<int, std::size_t> best{-1, 0};
    for (const auto &c : candidates) {
        std::string_view in = std::string_view(inputs[c.first].bytes).substr(c.second);
        std::size_t n = common_length(out.substr(p), in);
        if (n > *length) {
            *length = n;
            best = c;
        }
        if (n == out.size() - p || n == in.size())
            break; // nothing longer to find
    }
    return best;
}

new_file derive(const std::string &path, std::string_view out,
                const std::vector<input_file> &inputs, const side_index &index)
{
    new_file f{path, -1, {}};
    std::string literal;
    auto flush = [&]() {
        if (!literal.empty())
            f.pieces.push_back({'l', 0, 0, literal});
        literal.clear();
    };
    for (std::size_t p = 0; p < out.size();) {
        std::size_t n = 0;
        if (out.size() - p >= key_size && out.substr(p, side_mark.size()) == side_mark) {
            auto [in, offset] = best_copy(out, p, inputs, index, f.source, &n);
            if (n > 0 && (f.source < 0 || in == f.source)) {
                flush();
                f.source = in;
                f.pieces.push_back({'c', offset, n, {}});
                p += n;
                continue;
            }
        }
        std::size_t z = p;
        while (z < out.size() && out[z] == '\0')
            z++;
        if (z - p >= zero_run_min) {
            flush();
            f.pieces.push_back({'z', 0, z - p, {}});
            p = z;
            continue;
        }
        // Bytes of a second input are written as they are.
        std::size_t take = n > 0 ? n : 1;
        literal.append(out.substr(p, take));
        p += take;
    }
    flush();
    return f;
}

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string write_lines(const new_file &f, int number)
{
    std::string text = "w\t" + std::to_string(number) + "\n";
    for (const piece &p : f.pieces) {
        if (p.kind == 'c')
            text += "c\t" + std::to_string(p.offset) + "\t" + std::to_string(p.length) + "\n";
        else if (p.kind == 'z')
            text += "z\t" + std::to_string(p.length) + "\n";
        else
            text += "l\t" + hex(p.literal) + "\n";
    }
    return text + "e\n";
}

// Renames in an order that never puts a file on a name an input still holds (the plain
// loop's rename replaces): a rename onto such a name waits until that input has moved.
struct plan_writer {
    std::string text;
    std::set<std::string> held;                              // top-level names of inputs
    std::map<std::string, std::vector<std::string>> waiting; // name -> renames waiting for it

    void rename(const std::string &from, const std::string &to)
    {
        std::string line = "m\t" + from + "\t" + to + "\n";
        if (held.count(to) != 0) {
            waiting[to].push_back(line);
            return;
        }
        text += line;
        held.erase(from);
        auto w = waiting.find(from);
        if (w == waiting.end())
            return;
        std::vector<std::string> lines = std::move(w->second);
        waiting.erase(w);
        for (const std::string &l : lines)
            text += l;
    }
};

// Sorts the tree's files into inputs that stay, inputs renamed and new files.
bool match_outputs(const std::string &sorted_dir, const std::vector<std::string> &files,
                   std::vector<input_file> *inputs, std::vector<new_file> *made, std::string *error)
{
    std::unordered_map<std::string_view, std::vector<int>> by_bytes;
    std::map<std::string, int> by_name;
    for (int i = static_cast<int>(inputs->size()) - 1; i >= 0; i--) {
        by_bytes[(*inputs)[i].bytes].push_back(i);
        by_name[(*inputs)[i].name] = i;
    }
    side_index index = index_sides(*inputs);
    std::vector<std::pair<std::string, std::string>> rest;
    for (const std::string &path : files) {
        std::string bytes = read_all(fs::path(sorted_dir) / path);
        auto same = by_name.find(path);
        if (same != by_name.end() && (*inputs)[same->second].bytes == bytes)
            (*inputs)[same->second].stays = true;
        else
            rest.push_back({path, std::move(bytes)});
    }
    for (auto &[path, bytes] : rest) {
        std::vector<int> *same = nullptr;
        if (auto it = by_bytes.find(bytes); it != by_bytes.end())
            same = &it->second;
        while (same != nullptr && !same->empty() &&
               ((*inputs)[same->back()].stays || !(*inputs)[same->back()].target.empty()))
            same->pop_back();
        if (same != nullptr && !same->empty())
            (*inputs)[same->back()].target = path;
        else
            made->push_back(derive(path, bytes, *inputs, index));
    }
    for (const input_file &in : *inputs) {
        if (!in.stays && in.target.empty()) {
            *error = in.name + " is not in the sorted tree";
            return false;
        }
    }
    return true;
}

} // namespace

bool write_work_plan(const std::vector<std::string> &input_paths, const std::string &sorted_dir,
                     const std::string &plan_path, std::string *error)
{
    std::vector<input_file> inputs;
    for (const std::string &p : input_paths)
        inputs.push_back({fs::path(p).filename().string(), read_all(p), "", false});
    std::vector<std::string> files, dirs;
    list_tree(sorted_dir, &files, &dirs);
    std::vector<new_file> made;
    if (!match_outputs(sorted_dir, files, &inputs, &made, error))
        return false;
    plan_writer w;
    for (const std::string &d : dirs)
        w.text += "d\t" + d + "\n";
    for (const input_file &in : inputs)
        w.held.insert(in.name);
    for (int i = -1; i < static_cast<int>(inputs.size()); i++) {
        // -1: the new files that copy from no input (miss.txt) come first.
        if (i >= 0)
            w.text += "r\t" + inputs[i].name + "\n";
        for (std::size_t k = 0; k < made.size(); k++) {
            if (made[k].source == i)
                w.text += write_lines(made[k], static_cast<int>(k));
        }
        if (i >= 0 && !inputs[i].target.empty())
            w.rename(inputs[i].name, inputs[i].target);
        for (std::size_t k = 0; k < made.size(); k++) {
            if (made[k].source == i)
                w.rename(".plainloop-" + std::to_string(k), made[k].path);
        }
    }
    if (!w.waiting.empty()) {
        *error = "no order of renames frees " + w.waiting.begin()->first;
        return false;
    }
    std::ofstream out(plan_path, std::ios::binary | std::ios::trunc);
    out << w.text;
    if (!out) {
        *error = "cannot write " + plan_path;
        return false;
    }
    return true;
}

bool same_tree(const std::string &a, const std::string &b, std::string *difference)
{
    std::vector<std::string> files_a, files_b, dirs_a, dirs_b;
    list_tree(a, &files_a, &dirs_a);
    list_tree(b, &files_b, &dirs_b);
    if (files_a != files_b || dirs_a != dirs_b) {
        *difference = "the trees hold different names";
        return false;
    }
    for (const std::string &f : files_a) {
        if (read_all(fs::path(a) / f) != read_all(fs::path(b) / f)) {
            *difference = f + " differs";
            return false;
        }
    }
    return true;
}
