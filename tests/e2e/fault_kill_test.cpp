// A sort killed at any file-system call, then run again, ends exactly as one uninterrupted
// sort; two sorts started together end as one; a locked directory is refused at once; a
// directory argument that is none is refused before anything is written; a file left failed
// makes the exit status 3.
// The kill points come from strace: each call that changes the file system or publishes data
// is in turn the one at which the sorter gets SIGKILL, before the call takes effect.
// FDS_KILL_STRIDE=k takes every k-th kill point and 1/k of the race trials (the sanitizer
// stage sets it); FDS_RECOVERY_KILLS sets how many kills land in each recovery.
#include "crash_collections.h"
#include "fault_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace fault_e2e;

// The C library opens files through openat; a bare open is the sanitizer runtime reading
// /proc/self/maps, as often as the memory it maps makes it, which differs from run to run.
const char *const traced_calls[] = {"openat",   "creat",     "write",     "writev",    "pwrite64",
                                    "close",    "fsync",     "fdatasync", "syncfs",    "rename",
                                    "renameat", "renameat2", "link",      "linkat",    "unlink",
                                    "unlinkat", "mkdir",     "mkdirat",   "ftruncate", "flock"};

constexpr int killed_status = 128 + SIGKILL;
constexpr int refused_status = 4;

// How many kills the recovery sweep spreads over each recovery (FDS_RECOVERY_KILLS: a number,
// or "all").
constexpr std::size_t all_points = 1000000;
std::size_t recovery_kills()
{
    const char *text = std::getenv("FDS_RECOVERY_KILLS");
    if (text != nullptr && std::string(text) == "all")
        return all_points;
    int k = text != nullptr ? std::atoi(text) : 0;
    return k > 0 ? static_cast<std::size_t>(k) : 6;
}

int kill_stride()
{
    const char *text = std::getenv("FDS_KILL_STRIDE");
    int k = text != nullptr ? std::atoi(text) : 0;
    return k > 0 ? k : 1;
}

// strace and its quiet options; LeakSanitizer cannot work under a tracer, so traced runs of a
// sanitizer build leave the leak check to the untraced ones.
std::vector<std::string> strace_argv(const std::string &strace, const std::string &log)
{
    const char *asan = std::getenv("ASAN_OPTIONS");
    std::string options = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
    return {strace, "-qq", "-o", log, "-E", "ASAN_OPTIONS=" + options};
}

// strace's path when it is installed and may trace here; "" otherwise.
std::string usable_strace()
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = dir + "/strace";
        if (access(candidate.c_str(), X_OK) != 0)
            continue;
        std::vector<std::string> argv = strace_argv(candidate, "/dev/null");
        argv.insert(argv.end(), {VORMLIN_PATH, "-h"});
        return run_program(argv, "/").status == 0 ? candidate : "";
    }
    return "";
}

class KillTest : public FaultTest {
  protected:
    void TearDown() override
    {
        remove_tree(trials);
        FaultTest::TearDown();
    }

    std::vector<collection> collections() { return crash_collections(solo, pair1, pair2, quad); }

    // A fresh copy of the collection with the catalogue, ready to sort; "" on failure.
    std::string fresh_copy(const collection &c, const std::string &name)
    {
        return copy_collection(work, c, trials + "/" + name);
    }

    // The tree one uninterrupted run leaves in a fresh copy of c; false when that run failed.
    bool reference_tree(const collection &c, tree_state *want)
    {
        std::string ref = fresh_copy(c, "reference");
        if (ref.empty() || vormlin(c.args, ref).status != 0)
            return false;
        *want = state_of(ref, true);
        return true;
    }

    // What a sweep over c compares with and kills at: the tree of one uninterrupted run, and
    // how often a traced run makes each call. False when either run failed.
    bool prepare_sweep(const std::string &strace, const collection &c, tree_state *want,
                       std::map<std::string, int> *counts);

    std::string trials = make_scratch_dir("kill");
};

// The failure text of a sweep: how many of its trials failed, and the first few.
std::string sweep_failures(int failed, int total, const char *trials, const std::string &detail)
{
    return std::to_string(failed) + " of " + std::to_string(total) + " " + trials +
           " differ from one run:" + detail + (failed > 12 ? "\n  ..." : "");
}

// A traced call as strace logged it: the call's name and the whole line.
struct traced_call {
    std::string name, line;
};

// Runs the sorter over dir under strace, tracing every call of traced_calls; the calls it
// made, in order, or false when the run failed.
bool traced_run(const std::string &strace, const std::string &dir,
                const std::vector<std::string> &args, const std::string &log,
                std::vector<traced_call> *calls)
{
    std::string set = "trace=";
    for (const char *call : traced_calls)
        set += std::string(set.back() == '=' ? "?" : ",?") + call;
    std::vector<std::string> argv = strace_argv(strace, log);
    argv.insert(argv.end(), {"-e", set});
    for (const std::string &a : vormlin_argv(args))
        argv.push_back(a);
    if (run_program(argv, dir).status != 0)
        return false;
    std::istringstream lines(read_file_text(log));
    for (std::string line; std::getline(lines, line);) {
        std::size_t paren = line.find('(');
        if (paren != std::string::npos && paren > 0 && std::isalpha(line[0]) != 0)
            calls->push_back({line.substr(0, paren), line});
    }
    return true;
}

// How many times a run of the collection makes each traced call.
std::map<std::string, int> count_calls(const std::string &strace, const std::string &dir,
                                       const std::vector<std::string> &args, const std::string &log)
{
    std::vector<traced_call> calls;
    std::map<std::string, int> counts;
    if (traced_run(strace, dir, args, log, &calls)) {
        for (const traced_call &c : calls)
            counts[c.name]++;
    }
    return counts;
}

bool KillTest::prepare_sweep(const std::string &strace, const collection &c, tree_state *want,
                             std::map<std::string, int> *counts)
{
    if (!reference_tree(c, want))
        return false;
    *counts = count_calls(strace, fresh_copy(c, "counted"), c.args, trials + "/log");
    return !counts->empty();
}

// One point of a run: the n-th call of its kind (strace counts each kind apart).
struct kill_point {
    std::string call;
    int n;
};

std::string point_name(const kill_point &p)
{
    return p.call + "#" + std::to_string(p.n);
}

// Runs the sorter over dir and kills it just as it makes the call of point; its exit status.
int run_killed_at(const std::string &strace, const std::string &dir,
                  const std::vector<std::string> &args, const kill_point &point,
                  const std::string &log = "/dev/null")
{
    // strace injects only into calls it traces, and counts them per call (when=n).
    std::vector<std::string> argv = strace_argv(strace, log);
    argv.insert(argv.end(),
                {"-e", "trace=" + point.call, "-e",
                 "inject=" + point.call + ":signal=KILL:when=" + std::to_string(point.n)});
    for (const std::string &a : vormlin_argv(args))
        argv.push_back(a);
    return run_program(argv, dir).status;
}

// How many calls named call the traced run logged.
int calls_in_log(const std::string &log, const std::string &call)
{
    std::istringstream lines(read_file_text(log));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.starts_with(call + "(") ? 1 : 0;
    return count;
}

// What went wrong at one kill point, or "" when the rerun gave the reference tree.
std::string check_kill_point(const std::string &strace, const std::string &dir, const collection &c,
                             const kill_point &point, const tree_state &want)
{
    std::string log = dir + ".calls";
    int status = run_killed_at(strace, dir, c.args, point, log);
    // A sanitizer runtime closes files of its own, more in one run than in another: a run that
    // ended before its n-th such call was one uninterrupted run.
    if (status != killed_status && (status != 0 || calls_in_log(log, point.call) >= point.n))
        return "not killed (status " + std::to_string(status) + ")";
    return finish_and_compare(dir, c, want);
}

// Every stride-th point of a run that makes the counted calls, counting on from *point.
std::vector<kill_point> every_stride_th(const std::map<std::string, int> &counts, int stride,
                                        int *point)
{
    std::vector<kill_point> points;
    for (const auto &[call, count] : counts) {
        for (int n = 1; n <= count; n++) {
            if ((*point)++ % stride == 0)
                points.push_back({call, n});
        }
    }
    return points;
}

// Whether a journal of any slot stands in dir or below it.
bool holds_a_journal(const std::string &dir)
{
    for (const std::string &p : list_tree(dir)) {
        if (p.starts_with(".vormlin-journal") || p.find("/.vormlin-journal") != std::string::npos)
            return true;
    }
    return false;
}

// The calls, in order, that a run over dir makes in its recovery: after it has taken its
// locks and before the sort first lists a directory (recovery's own listings come before
// it looks at a name of ours). The run is made for real; dir is spent.
std::vector<kill_point> recovery_calls(const std::string &strace, const std::string &dir,
                                       const std::vector<std::string> &args, const std::string &log)
{
    std::vector<traced_call> traced;
    std::vector<kill_point> calls;
    if (!traced_run(strace, dir, args, log, &traced))
        return calls;
    std::map<std::string, int> seen;
    std::size_t locked = 0;
    for (const traced_call &c : traced) {
        calls.push_back({c.name, ++seen[c.name]});
        if (c.name == "flock")
            locked = calls.size();
    }
    std::size_t listed = locked;
    bool looked = false;
    while (listed < calls.size() &&
           !(looked && traced[listed].name == "openat" &&
             traced[listed].line.find("O_DIRECTORY") != std::string::npos)) {
        looked = looked || traced[listed].line.find(".vormlin-") != std::string::npos;
        listed++;
    }
    return std::vector<kill_point>(calls.begin() + static_cast<std::ptrdiff_t>(locked),
                                   calls.begin() + static_cast<std::ptrdiff_t>(listed));
}

// Up to count points spread over calls, the last one always among them.
std::vector<kill_point> spread(const std::vector<kill_point> &calls, std::size_t count)
{
    std::vector<kill_point> picked;
    for (std::size_t i = 1; i <= count && !calls.empty(); i++) {
        std::size_t at = calls.size() * i / count;
        if (at > 0 && (picked.empty() || point_name(picked.back()) != point_name(calls[at - 1])))
            picked.push_back(calls[at - 1]);
    }
    return picked;
}

TEST_F(KillTest, AKillAtAnyCallThenOneRunEndsAsOneUninterruptedRun)
{
    std::string strace = usable_strace();
    if (strace.empty())
        GTEST_SKIP() << "strace is missing or may not trace here";
    int stride = kill_stride(), point = 0;
    for (const collection &c : collections()) {
        SCOPED_TRACE(c.label);
        auto start = std::chrono::steady_clock::now();
        tree_state want;
        std::map<std::string, int> counts;
        ASSERT_TRUE(prepare_sweep(strace, c, &want, &counts));
        int points = 0, failed = 0;
        std::string detail, calls;
        for (const auto &[call, count] : counts)
            calls += " " + call + " " + std::to_string(count);
        for (const kill_point &p : every_stride_th(counts, stride, &point)) {
            points++;
            std::string dir = fresh_copy(c, "trial");
            ASSERT_FALSE(dir.empty());
            std::string problem = check_kill_point(strace, dir, c, p, want);
            if (!problem.empty() && failed++ < 12)
                detail += "\n  " + point_name(p) + ": " + problem;
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("[ kill     ] %s: %d kill points, %d failed, %.1f s (calls:%s)\n", c.label,
                    points, failed, took.count(), calls.c_str());
        EXPECT_EQ(0, failed) << sweep_failures(failed, points, "kill points", detail);
    }
}

TEST_F(KillTest, KillsDuringRecoveryAnyNumberOfTimesThenOneRunEndAsOneUninterruptedRun)
{
    std::string strace = usable_strace();
    if (strace.empty())
        GTEST_SKIP() << "strace is missing or may not trace here";
    // Every third first kill (times the stride) that leaves a journal; in the recovery that
    // follows, kills spread over its calls, its last among them. Each is made twice in a row,
    // then one run ends it. FDS_RECOVERY_KILLS=all kills at every first point and every call
    // of each recovery (some minutes).
    std::size_t recovery_points = recovery_kills();
    int stride = (recovery_points == all_points ? 1 : 3) * kill_stride(), point = 0, trials_run = 0,
        failed = 0;
    std::string detail;
    for (const collection &c : collections()) {
        SCOPED_TRACE(c.label);
        auto start = std::chrono::steady_clock::now();
        tree_state want;
        std::map<std::string, int> counts;
        ASSERT_TRUE(prepare_sweep(strace, c, &want, &counts));
        int journals = 0, collection_trials = 0;
        for (const kill_point &first : every_stride_th(counts, stride, &point)) {
            std::string killed = fresh_copy(c, "killed");
            ASSERT_EQ(killed_status, run_killed_at(strace, killed, c.args, first));
            if (!holds_a_journal(killed))
                continue;
            journals++;
            std::string traced = trials + "/traced";
            remove_tree(traced);
            ASSERT_TRUE(copy_tree(killed, traced));
            std::vector<kill_point> recovery =
                recovery_calls(strace, traced, c.args, trials + "/log");
            EXPECT_FALSE(recovery.empty()) << point_name(first) << ": no recovery seen";
            for (const kill_point &second : spread(recovery, recovery_points)) {
                std::string dir = trials + "/twice";
                remove_tree(dir);
                ASSERT_TRUE(copy_tree(killed, dir));
                trials_run++;
                collection_trials++;
                int status = run_killed_at(strace, dir, c.args, second);
                std::string problem = status != killed_status ? "recovery not killed" : "";
                run_killed_at(strace, dir, c.args, second); // again, if it gets that far
                if (problem.empty())
                    problem = finish_and_compare(dir, c, want);
                if (!problem.empty() && failed++ < 12)
                    detail +=
                        "\n  " + point_name(first) + " then " + point_name(second) + ": " + problem;
            }
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("[ kill     ] %s: %d first kills left a journal, %d kills in recovery, "
                    "%.1f s\n",
                    c.label, journals, collection_trials, took.count());
    }
    EXPECT_GT(trials_run, 0);
    EXPECT_EQ(0, failed) << sweep_failures(failed, trials_run, "double kills", detail);
}

TEST_F(KillTest, AKilledFolderCopiedElsewhereRecoversOnlyItsOwnCopy)
{
    std::string strace = usable_strace();
    if (strace.empty())
        GTEST_SKIP() << "strace is missing or may not trace here";
    const collection c = collections()[1]; // games/, sorted from the directory above it
    collection both = c;
    for (const auto &[path, data] : c.files) {
        if (path.starts_with("games/"))
            both.files["games-copy/" + path.substr(6)] = data;
    }
    // The reference: the copy sorted, then the original, each uninterrupted.
    std::string ref = fresh_copy(both, "reference");
    ASSERT_EQ(0, vormlin({"games-copy"}, ref).status);
    ASSERT_EQ(0, vormlin({"games"}, ref).status);
    tree_state want = state_of(ref, true);
    std::map<std::string, int> counts =
        count_calls(strace, fresh_copy(c, "counted"), c.args, trials + "/log");
    int copies = 0;
    for (int n = 1; n <= counts["renameat2"]; n++) {
        SCOPED_TRACE("renameat2#" + std::to_string(n));
        std::string dir = fresh_copy(c, "trial");
        ASSERT_EQ(killed_status, run_killed_at(strace, dir, c.args, {"renameat2", n}));
        // A temporary image the killed run already split off lies outside the folder: the
        // copy cannot have its own, and both sorted leave one where the reference has two.
        if (!holds_a_journal(dir + "/games") || file_exists(dir + "/tmp0001.fds"))
            continue;
        copies++;
        ASSERT_TRUE(copy_tree(dir + "/games", dir + "/games-copy"));
        tree_state original = state_of(dir + "/games");
        EXPECT_EQ(0, vormlin({"games-copy"}, dir).status);
        EXPECT_EQ("", tree_difference(original, state_of(dir + "/games")));
        EXPECT_EQ(0, vormlin({"games"}, dir).status);
        tree_state got = state_of(dir, true);
        std::string problem = tree_difference(want, got);
        add_leftovers(got, &problem);
        EXPECT_EQ("", problem);
    }
    EXPECT_GT(copies, 0);
}

TEST_F(KillTest, TwoSortsAtOnceEndAsOneSort)
{
    std::vector<collection> all = collections();
    std::vector<tree_state> want;
    for (const collection &c : all) {
        std::string ref = fresh_copy(c, "reference");
        ASSERT_EQ(0, vormlin(c.args, ref).status);
        ASSERT_EQ(0, vormlin(c.args, ref).status);
        want.push_back(state_of(ref, true));
    }
    int trials_count = std::max(3, 25 / kill_stride());
    for (int t = 0; t < trials_count; t++) {
        const collection &c = all[static_cast<std::size_t>(t) % all.size()];
        SCOPED_TRACE(std::string(c.label) + " trial " + std::to_string(t));
        std::string dir = fresh_copy(c, "race");
        ASSERT_FALSE(dir.empty());
        started_program a = start_program(vormlin_argv(c.args), dir);
        started_program b = start_program(vormlin_argv(c.args), dir);
        run_result ra = wait_program(&a), rb = wait_program(&b);
        std::string refusal = "VORMLIN: Another sort is running in " + c.args.back() + ".\n";
        for (const run_result &r : {ra, rb}) {
            EXPECT_TRUE(r.status == 0 || r.status == refused_status) << r.status << r.err;
            if (r.status == refused_status) {
                EXPECT_NE(std::string::npos, r.err.find(refusal)) << r.err;
            }
        }
        EXPECT_FALSE(ra.status == refused_status && rb.status == refused_status);
        EXPECT_EQ(0, vormlin(c.args, dir).status);
        tree_state got = state_of(dir, true);
        std::string problem = tree_difference(want[static_cast<std::size_t>(t) % all.size()], got);
        add_leftovers(got, &problem);
        EXPECT_EQ("", problem);
    }
}

// A child that takes the lock on path and keeps it until killed; its pid, or -1.
pid_t lock_in_child(const std::string &path)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "l", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    pollfd p = {ready[0], POLLIN, 0};
    char c = 0;
    bool locked = pid > 0 && poll(&p, 1, 10000) == 1 && read(ready[0], &c, 1) == 1;
    close(ready[0]);
    if (!locked && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return locked ? pid : -1;
}

TEST_F(KillTest, ALockedDirectoryIsRefusedAtOnceAndSortedOnceFree)
{
    struct lock_case {
        const char *label;
        bool on_current_dir; // else on the directory to sort
        bool by_child;       // held by a child that is then killed, else by this process
    } cases[] = {{"sorted", false, false}, {"current", true, false}, {"child", false, true}};
    for (const lock_case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string name = std::string("games-") + c.label, games = dir(name);
        ASSERT_TRUE(write_file_bytes(games + "/solo.fds", raw_sides({solo})));
        std::string locked = c.on_current_dir ? work : games;
        pid_t holder = c.by_child ? lock_in_child(locked) : -1;
        int fd = c.by_child ? -1 : open(locked.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_TRUE(c.by_child ? holder > 0 : flock(fd, LOCK_EX) == 0);
        tree_state before = state_of(work);
        auto start = std::chrono::steady_clock::now();
        run_result r = vormlin({"-v", name}, work, {}, 30);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(refused_status, r.status);
        EXPECT_LT(took.count(), 10.0);
        // The message names the directory that is busy: the current one by its full path.
        std::string busy = c.on_current_dir ? std::filesystem::canonical(work).string() : name;
        EXPECT_EQ("VORMLIN: Another sort is running in " + busy + ".\n", r.err);
        EXPECT_EQ("", tree_difference(before, state_of(work)));
        if (c.by_child) {
            kill(holder, SIGKILL);
            waitpid(holder, nullptr, 0);
        } else {
            close(fd);
        }
        EXPECT_EQ(0, vormlin({"-v", name}, work).status);
        EXPECT_TRUE(file_exists(games + "/ren/Solo.fds"));
    }
}

TEST_F(FaultTest, ADirectoryArgumentThatIsNoDirectoryIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(write_file_bytes(work + "/plain.fds", gen_image_of({solo}, true)));
    for (const char *arg : {"/no/such/dir", "plain.fds"}) {
        SCOPED_TRACE(arg);
        tree_state before = state_of(work);
        run_result r = vormlin({arg}, work, {}, 30);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_TRUE(r.err.ends_with('\n') && std::count(r.err.begin(), r.err.end(), '\n') == 1)
            << r.err;
        EXPECT_NE(std::string::npos, r.err.find(arg)) << r.err;
        EXPECT_EQ("", tree_difference(before, state_of(work)));
    }
}

TEST_F(FaultTest, ARunWithAFileLeftFailedExitsThreeAfterDone)
{
    std::string games = dir("games");
    ASSERT_TRUE(write_file_text(games + "/ren", "in the way"));
    ASSERT_TRUE(write_file_text(games + "/dupes", "in the way"));
    bytes image = gen_image_of({solo}, true);
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", image));
    run_result r = vormlin({"-v", "games"}, work, {}, 30);
    EXPECT_EQ(3, r.status);
    EXPECT_TRUE(r.err.ends_with("VORMLIN: Done!\n\n1 file was left where it was:\n"
                                "games/solo.fds: identified as Solo.fds; could not be moved\n"))
        << r.err;
    EXPECT_NE(std::string::npos, r.out.find("solo.fds: identified as Solo.fds; could not be moved"))
        << r.out;
    EXPECT_EQ(image, read_file_bytes(games + "/solo.fds"));
}

} // namespace
