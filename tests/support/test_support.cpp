// POSIX implementations of the test helpers.
#include "test_support.h"

#include "fdsgen.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string make_scratch_dir(const std::string &tag)
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/fdstest-" + tag + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr)
        return std::string();
    return std::string(buf.data());
}

void remove_tree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR *d = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (dirent *e = readdir(d)) {
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    names.emplace_back(e->d_name);
            }
            closedir(d);
            for (const std::string &n : names)
                remove_tree(path + "/" + n);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

bytes read_file_bytes(const std::string &path)
{
    bytes out;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return out;
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

std::string read_file_text(const std::string &path)
{
    bytes b = read_file_bytes(path);
    return std::string(b.begin(), b.end());
}

bool write_file_bytes(const std::string &path, const bytes &data)
{
    return gen_write_file(path, data);
}

bool write_file_text(const std::string &path, const std::string &text)
{
    return write_file_bytes(path, bytes(text.begin(), text.end()));
}

std::string utf16(std::u16string_view text, bool big_endian)
{
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        auto high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    }
    return out;
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// In the forked child: standard streams redirected, the user switched to nobody when given,
// then argv run.
[[noreturn]] static void exec_child(const std::vector<std::string> &argv, const std::string &cwd,
                                    const std::string &out_path, const std::string &err_path,
                                    const passwd *nobody)
{
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
        _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (nobody != nullptr && (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
        _exit(125);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// The child's exit status, or 128 + signal; a child still running after timeout_seconds is
// killed and gives -1.
static int wait_for_child(pid_t pid, int timeout_seconds)
{
    int status = 0;
    for (int waited_ms = 0; pid > 0 && waited_ms < timeout_seconds * 1000; waited_ms += 5) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(5000);
    }
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return -1;
}

started_program start_program(const std::vector<std::string> &argv, const std::string &cwd,
                              const run_fault &fault)
{
    started_program p;
    const passwd *nobody = nullptr;
    if (fault.unprivileged && (nobody = getpwnam("nobody")) == nullptr)
        return p;
    p.scratch = make_scratch_dir("run");
    p.pid = fork();
    if (p.pid == 0)
        exec_child(argv, cwd, p.scratch + "/out", p.scratch + "/err", nobody);
    return p;
}

run_result wait_program(started_program *p, int timeout_seconds)
{
    run_result r;
    if (p->scratch.empty())
        return r;
    r.status = wait_for_child(p->pid, timeout_seconds);
    r.out = read_file_text(p->scratch + "/out");
    r.err = read_file_text(p->scratch + "/err");
    remove_tree(p->scratch);
    *p = started_program{};
    return r;
}

run_result run_program_faulted(const std::vector<std::string> &argv, const std::string &cwd,
                               const run_fault &fault, int timeout_seconds)
{
    started_program p = start_program(argv, cwd, fault);
    return wait_program(&p, timeout_seconds);
}

run_result run_program(const std::vector<std::string> &argv, const std::string &cwd,
                       int timeout_seconds)
{
    return run_program_faulted(argv, cwd, run_fault{}, timeout_seconds);
}

bool can_drop_privileges()
{
    return geteuid() == 0 && getpwnam("nobody") != nullptr;
}

static void snapshot_into(const std::string &root, const std::string &rel,
                          std::map<std::string, bytes> *out)
{
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    closedir(d);
    for (const std::string &n : names) {
        std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        if (lstat((root + "/" + r).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            snapshot_into(root, r, out);
        else if (S_ISREG(st.st_mode))
            (*out)[r] = read_file_bytes(root + "/" + r);
    }
}

std::map<std::string, bytes> snapshot_tree(const std::string &root)
{
    std::map<std::string, bytes> out;
    snapshot_into(root, "", &out);
    return out;
}

static void list_into(const std::string &root, const std::string &rel, std::set<std::string> *out)
{
    DIR *d = opendir((rel.empty() ? root : root + "/" + rel).c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(rel.empty() ? e->d_name : rel + "/" + e->d_name);
    }
    closedir(d);
    for (const std::string &r : names) {
        struct stat st;
        bool dir = lstat((root + "/" + r).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out->insert(dir ? r + "/" : r);
        if (dir)
            list_into(root, r, out);
    }
}

std::set<std::string> list_tree(const std::string &root)
{
    std::set<std::string> out;
    list_into(root, "", &out);
    return out;
}

bool copy_tree(const std::string &from, const std::string &to)
{
    std::error_code ec;
    std::filesystem::copy(from, to,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          ec);
    return !ec;
}
