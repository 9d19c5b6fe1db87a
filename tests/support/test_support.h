// Helpers for tests: scratch directories, whole files, running the real programs, and
// snapshots of directory trees.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
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

// UTF-16 as a file holds it: the byte-order mark, then every unit in the given byte order.
std::string utf16(std::u16string_view text, bool big_endian);

struct run_result {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with the arguments in cwd, no standard input, and captures its output.
// A program still running after timeout_seconds is killed and reported with status -1.
run_result run_program(const std::vector<std::string> &argv, const std::string &cwd,
                       int timeout_seconds = 60);

// Faults a program can be run under: a file-size limit that makes writes fail part-way (a full
// disk as the program sees it), or without root's rights (so that file permissions bind).
struct run_fault {
    bool unprivileged = false; // run as "nobody" (the test must be root to ask for it)
};

// run_program with the fault applied in the child before exec.
run_result run_program_faulted(const std::vector<std::string> &argv, const std::string &cwd,
                               const run_fault &fault, int timeout_seconds = 60);

// A program started and not yet waited for; its output goes to files in scratch.
struct started_program {
    int pid = -1;
    std::string scratch;
};

// Starts a program as run_program_faulted does, without waiting for it.
started_program start_program(const std::vector<std::string> &argv, const std::string &cwd,
                              const run_fault &fault = {});

// Waits for a started program as run_program does (killed after timeout_seconds: status -1).
run_result wait_program(started_program *p, int timeout_seconds = 60);

// Whether a program can be run without root's rights: as root, by switching to nobody.
bool can_drop_privileges();

// Every plain file below root, by its path relative to root ("sub/name"), with its bytes.
std::map<std::string, bytes> snapshot_tree(const std::string &root);

// Every entry below root, of any kind, by its relative path; directories end in "/".
std::set<std::string> list_tree(const std::string &root);

// Copies the tree at from to the new path to: directories, files and links as links.
bool copy_tree(const std::string &from, const std::string &to);
