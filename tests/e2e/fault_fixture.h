// Running the real programs under injected faults: a file-size limit that makes writes fail
// part-way (a full disk as the program sees it), or without root's rights (so that file
// permissions bind), plus the known images every fault test sorts.
#pragma once

#include "vormlin_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fault_e2e {

using namespace vormlin_e2e;

struct fault {
    long file_size_limit = -1; // >= 0: RLIMIT_FSIZE in bytes for the program
    bool unprivileged = false; // run as "nobody" (the test must be root to ask for it)
};

// Whether the test can run a program without root's rights: as root, by switching to nobody.
inline bool can_drop_privileges()
{
    return geteuid() == 0 && getpwnam("nobody") != nullptr;
}

// Runs argv (argv[0] a path) in cwd with the fault applied in the child before exec, and
// captures its output as run_program does.
inline run_result run_faulted(const std::vector<std::string> &argv, const std::string &cwd,
                              const fault &f)
{
    run_result r;
    std::string scratch = make_scratch_dir("fault-run");
    std::string out_path = scratch + "/out", err_path = scratch + "/err";
    uid_t nobody_uid = 0;
    gid_t nobody_gid = 0;
    if (f.unprivileged) {
        const passwd *pw = getpwnam("nobody");
        if (pw == nullptr)
            return r;
        nobody_uid = pw->pw_uid;
        nobody_gid = pw->pw_gid;
    }
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (f.file_size_limit >= 0) {
            rlimit limit{static_cast<rlim_t>(f.file_size_limit),
                         static_cast<rlim_t>(f.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(126);
        }
        if (f.unprivileged && (setgid(nobody_gid) != 0 || setuid(nobody_uid) != 0))
            _exit(125);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file_text(out_path);
    r.err = read_file_text(err_path);
    remove_tree(scratch);
    return r;
}

inline run_result vormlin_faulted(const std::vector<std::string> &args, const std::string &cwd,
                                  const fault &f)
{
    std::vector<std::string> argv = {VORMLIN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_faulted(argv, cwd, f);
}

// A scratch directory with a catalogue of three known images: Solo (one side), Pair (two
// sides) and Quad (one side of four files).
class FaultTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(work.empty());
        ASSERT_TRUE(write_catalogue(
            work, {{"Solo.fds", {solo}}, {"Pair.fds", {pair1, pair2}}, {"Quad.fds", {quad}}}));
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
