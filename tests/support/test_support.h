// Helpers for tests: scratch directories, whole files, running the real programs, and
// snapshots of directory trees.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using bytes = std::vector<std::uint8_t>;

// A fresh empty directory under the system's temporary directory; removed by remove_tree.
std::string make_scratch_dir(const std::string &tag);
void remove_tree(const std::string &path);

bytes read_file_bytes(const std::string &path);
std::string read_file_text(const std::string &path);
bool write_file_bytes(const std::string &path, const bytes &data);
bool write_file_text(const std::string &path, const std::string &text);
bool file_exists(const std::string &path);

struct run_result {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with the arguments in cwd, no standard input, and captures its output.
// A program still running after timeout_seconds is killed and reported with status -1.
run_result run_program(const std::vector<std::string> &argv, const std::string &cwd,
                       int timeout_seconds = 60);

// Every plain file below root, by its path relative to root ("sub/name"), with its bytes.
std::map<std::string, bytes> snapshot_tree(const std::string &root);
