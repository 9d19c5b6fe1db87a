// Whole-program benchmark: times quindle '*' and a full vormlin run over generated collections
// against cat of the same files (the cost of just reading them), warm cache, with peak memory;
// and vormlin against the plain loop (plainloop.cpp) doing the same file work.
// usage: progbench --quindle PATH --vormlin PATH --plainloop PATH --work DIR [--images N,N...]
//                  [--repeat N] [--out FILE]
//        progbench ... --wine WINE --win-engine EXE --win-plainloop EXE [--rewrite-images N,...]
// With --wine only the sorters are timed, the Linux and the Windows ones side by side, on the
// mixed collections of --images and on collections whose images all need a rewrite.
#include "bulk_collection.h"
#include "work_plan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct settings {
    std::string quindle, vormlin, plainloop, work, out;
    std::string wine, win_engine, win_plainloop; // the Windows side, under Wine
    std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<int> images{1000, 10000}, rewrite_images;
    int repeat = 5;
};

struct timing {
    double seconds = 0; // median of the runs, wall clock
    double cpu = 0;     // median of the runs, user and system time of the process
    long peak_kib = 0;  // largest peak resident set of the runs
};

struct row {
    int images = 0, catalogue = 0;
    timing cat, floor, quindle, vormlin, plain;
    long largest_kib = 0;
    std::string placed; // where vormlin put the files, from the first run
};

double now_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "progbench: %s\n", what.c_str());
    std::exit(1);
}

void child_exec(const std::vector<std::string> &args, const std::string &cwd, const char *out)
{
    int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null_fd = open("/dev/null", O_WRONLY);
    if (fd < 0 || null_fd < 0 || chdir(cwd.c_str()) != 0)
        _exit(126);
    dup2(fd, 1);
    dup2(null_fd, 2);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

double cpu_seconds(const rusage &u)
{
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct sample {
    double seconds = 0, cpu = 0;
    long peak_kib = 0;
};

// Runs args in cwd with standard output to out: wall time, processor time and peak memory of
// the child. Exit status 0, or also_ok when given, counts as success.
sample run_once(const std::vector<std::string> &args, const std::string &cwd, const char *out,
                int also_ok = 0)
{
    double start = now_seconds();
    pid_t pid = fork();
    if (pid < 0)
        fail("cannot fork");
    if (pid == 0)
        child_exec(args, cwd, out);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        fail("lost a child");
    sample got{now_seconds() - start, cpu_seconds(usage), usage.ru_maxrss};
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != also_ok))
        fail("failed: " + args[0] + " in " + cwd);
    return got;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

timing summarise(const std::vector<sample> &runs)
{
    std::vector<double> wall, cpu;
    timing t;
    for (const sample &r : runs) {
        wall.push_back(r.seconds);
        cpu.push_back(r.cpu);
        t.peak_kib = std::max(t.peak_kib, r.peak_kib);
    }
    t.seconds = median(wall);
    t.cpu = median(cpu);
    return t;
}

std::vector<std::string> sorted_files(const std::string &dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry &e : fs::directory_iterator(dir))
        if (e.is_regular_file())
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The numeric field at index (from 0) of a semicolon-separated line; 0 when absent.
int field_number(const std::string &line, int index)
{
    std::size_t at = 0;
    for (int k = 0; k < index; k++) {
        at = line.find(';', at);
        if (at == std::string::npos)
            return 0;
        at++;
    }
    return std::atoi(line.c_str() + at);
}

// The first whole images of the catalogue that fit in max lines (a line's fifth field is the
// side count of its image).
std::string catalogue_head(const std::string &full, int max)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t nl; (nl = full.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(full.substr(at, nl + 1 - at));
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < lines.size();) {
        int sides = std::max(field_number(lines[i], 4), 1);
        if (used + sides > max)
            break;
        for (int k = 0; k < sides && i < lines.size(); k++, i++, used++)
            out += lines[i];
    }
    return out;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        fail("cannot write " + path);
}

int count_lines(const std::string &text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::string describe_placement(const std::string &run_dir)
{
    std::string text;
    for (const char *sub : {"ren", "dupes", "parts", "bad", "rom", "bak"}) {
        std::size_t n = 0;
        if (fs::is_directory(run_dir + "/" + sub))
            n = static_cast<std::size_t>(std::distance(fs::directory_iterator(run_dir + "/" + sub),
                                                       fs::directory_iterator()));
        text += std::string(sub) + " " + std::to_string(n) + ", ";
    }
    return text + "left " + std::to_string(sorted_files(run_dir).size() - 2); // less cat., miss
}

// Moves a finished tree out of the way. Trees are removed only when a collection's runs are
// over: a file system slows down creating files right after many were removed (ext4 passes
// over recently freed inodes), which would make every timed run pay for the one before it.
void set_aside(const std::string &set_dir, const std::string &tree)
{
    static int spent = 0;
    if (!fs::exists(tree))
        return;
    fs::create_directories(set_dir + "/spent");
    fs::rename(tree, set_dir + "/spent/" + std::to_string(spent++));
}

void remove_spent(const std::string &set_dir)
{
    fs::remove_all(set_dir + "/spent");
}

// A fresh copy of the collection with the catalogue, written out to disk before timing.
void prepare_run_dir(const std::string &set_dir, const std::string &run_dir)
{
    set_aside(set_dir, run_dir);
    fs::copy(set_dir + "/collection", run_dir, fs::copy_options::recursive);
    fs::copy_file(set_dir + "/ingredients.dat", run_dir + "/ingredients.dat");
    sync();
}

long largest_file_kib(const std::string &dir)
{
    std::uintmax_t largest = 0;
    for (const fs::directory_entry &e : fs::directory_iterator(dir))
        largest = std::max(largest, e.file_size());
    return static_cast<long>((largest + 1023) / 1024);
}

} // namespace

namespace {

// The files a sort starts from: the collection's and the catalogue.
std::vector<std::string> input_paths(const std::string &set_dir)
{
    std::vector<std::string> paths;
    for (const std::string &name : sorted_files(set_dir + "/collection"))
        paths.push_back(set_dir + "/collection/" + name);
    paths.push_back(set_dir + "/ingredients.dat");
    return paths;
}

// Runs check in a child process, so that the memory it takes (every input and output read
// whole) does not count in the peak memory of the programs that progbench starts later; a
// failure ends progbench with the child's message.
void in_child(const std::function<bool(std::string *)> &check)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        fail("cannot fork");
    if (pid == 0) {
        std::string error;
        if (check(&error))
            _exit(0);
        std::fprintf(stderr, "progbench: %s\n", error.c_str());
        _exit(1);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::exit(1);
}

struct pair_runs {
    std::vector<sample> sorter, plain;
    std::string placed; // where the sorter put the files, from the first run
};

// Run k of a sorter and then of its plain loop, each on a fresh copy of the collection. The
// first run of the sorter gives the plan (its tree against the inputs); the first run of the
// plain loop must leave the same tree. plain is the plain loop's command without the plan.
void run_pair(const std::string &set_dir, const std::string &tag,
              const std::vector<std::string> &sorter, std::vector<std::string> plain, int k,
              pair_runs *out)
{
    const std::string run_dir = set_dir + "/run", ref = set_dir + "/sorted-" + tag,
                      plan = set_dir + "/plan-" + tag + ".txt";
    prepare_run_dir(set_dir, run_dir);
    // 3: files left where they were, which a large collection has (more copies of a game than
    // dupes has numbered names for).
    out->sorter.push_back(run_once(sorter, run_dir, "/dev/null", 3));
    if (k == 0) {
        out->placed = describe_placement(run_dir);
        set_aside(set_dir, ref);
        fs::rename(run_dir, ref);
        in_child([&](std::string *why) {
            if (write_work_plan(input_paths(set_dir), ref, plan, why))
                return true;
            *why = "no plan from " + sorter[sorter.size() - 2] + ": " + *why;
            return false;
        });
    }
    prepare_run_dir(set_dir, run_dir);
    plain.push_back(plan);
    out->plain.push_back(run_once(plain, run_dir, "/dev/null"));
    if (k == 0) {
        in_child([&](std::string *why) {
            if (same_tree(ref, run_dir, why))
                return true;
            *why = "the plain loop did not do what " + sorter[sorter.size() - 2] + " did: " + *why;
            return false;
        });
        set_aside(set_dir, ref);
    }
    set_aside(set_dir, run_dir);
}

row measure(const settings &s, const std::string &set_dir, int images, const std::string &catalogue)
{
    row r;
    r.images = images;
    r.catalogue = count_lines(catalogue);
    write_file(set_dir + "/ingredients.dat", catalogue);
    const std::string collection = set_dir + "/collection";
    std::vector<std::string> cat_args{"cat", "--"}, read_args{s.self, "--read"};
    for (const std::string &name : sorted_files(collection)) {
        cat_args.push_back(name);
        read_args.push_back(name);
    }
    r.largest_kib = largest_file_kib(collection);
    int reps = images >= 10000 ? std::min(s.repeat, 3) : s.repeat;
    std::vector<sample> cat_runs, floor_runs, quindle_runs;
    pair_runs vormlin;
    run_once(cat_args, collection, "/dev/null"); // warms the cache
    for (int k = 0; k < reps; k++) {
        cat_runs.push_back(run_once(cat_args, collection, "/dev/null"));
        floor_runs.push_back(run_once(read_args, collection, "/dev/null"));
        quindle_runs.push_back(run_once({s.quindle, "*"}, collection, "/dev/null"));
        run_pair(set_dir, "linux", {s.vormlin, "."}, {s.plainloop}, k, &vormlin);
    }
    r.cat = summarise(cat_runs);
    r.floor = summarise(floor_runs);
    r.quindle = summarise(quindle_runs);
    remove_spent(set_dir);
    r.vormlin = summarise(vormlin.sorter);
    r.plain = summarise(vormlin.plain);
    r.placed = vormlin.placed;
    return r;
}

struct wine_row {
    std::string collection;
    int images = 0;
    timing vormlin, plain, engine, win_plain;
};

// The Linux vormlin and the Windows engine under Wine, each against its plain loop, on fresh
// copies of one collection in turn.
wine_row measure_wine(const settings &s, const std::string &set_dir, const std::string &label,
                      int images, const std::string &catalogue)
{
    write_file(set_dir + "/ingredients.dat", catalogue);
    pair_runs linux_runs, windows_runs;
    for (int k = 0; k < s.repeat; k++) {
        run_pair(set_dir, "linux", {s.vormlin, "."}, {s.plainloop}, k, &linux_runs);
        run_pair(set_dir, "windows", {s.wine, s.win_engine, "."}, {s.wine, s.win_plainloop}, k,
                 &windows_runs);
    }
    remove_spent(set_dir);
    return {label,
            images,
            summarise(linux_runs.sorter),
            summarise(linux_runs.plain),
            summarise(windows_runs.sorter),
            summarise(windows_runs.plain)};
}

// Generates the collection of a size and its full catalogue (quindle over the known games).
std::string prepare_set(const settings &s, const std::string &set_dir, int images,
                        bulk_mix mix = bulk_mixed)
{
    fs::remove_all(set_dir);
    std::string error;
    std::fprintf(stderr, "progbench: generating %d images in %s\n", images, set_dir.c_str());
    if (!write_bulk_collection(set_dir, images, 1, &error, mix))
        fail(error);
    std::string catalogue_path = set_dir + "/catalogue-full.dat";
    run_once({s.quindle, "*"}, set_dir + "/known", catalogue_path.c_str());
    std::string catalogue = read_file(catalogue_path);
    if (count_lines(catalogue) != bulk_catalogue_lines)
        fail("unexpected catalogue size");
    return catalogue;
}

std::string format_tables(const std::vector<row> &rows)
{
    std::string text;
    char line[512];
    text +=
        "| images | catalogue lines | cat (s) | read floor (s) | quindle '*' (s) | quindle / cat "
        "| quindle / floor | vormlin (s) | vormlin / cat | vormlin / floor | plain loop (s) "
        "| vormlin / plain loop |\n"
        "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const row &r : rows) {
        std::snprintf(line, sizeof line,
                      "| %d | %d | %.3f | %.3f | %.3f | %.2f | %.2f | %.3f | %.2f | %.2f | %.3f "
                      "| %.2f |\n",
                      r.images, r.catalogue, r.cat.seconds, r.floor.seconds, r.quindle.seconds,
                      r.quindle.seconds / r.cat.seconds, r.quindle.seconds / r.floor.seconds,
                      r.vormlin.seconds, r.vormlin.seconds / r.cat.seconds,
                      r.vormlin.seconds / r.floor.seconds, r.plain.seconds,
                      r.vormlin.seconds / r.plain.seconds);
        text += line;
    }
    text += "\nPeak memory (KiB, resident):\n\n| images | catalogue lines | largest image | cat "
            "| read floor | quindle '*' | vormlin |\n|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const row &r : rows) {
        std::snprintf(line, sizeof line, "| %d | %d | %ld | %ld | %ld | %ld | %ld |\n", r.images,
                      r.catalogue, r.largest_kib, r.cat.peak_kib, r.floor.peak_kib,
                      r.quindle.peak_kib, r.vormlin.peak_kib);
        text += line;
    }
    text += "\nTime per image (microseconds; wall clock, and CPU = user + system time of the "
            "program):\n\n| images | catalogue lines | cat | read floor | quindle '*' | vormlin "
            "| quindle CPU | vormlin CPU |\n|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const row &r : rows) {
        double n = r.images;
        std::snprintf(line, sizeof line, "| %d | %d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f |\n",
                      r.images, r.catalogue, 1e6 * r.cat.seconds / n, 1e6 * r.floor.seconds / n,
                      1e6 * r.quindle.seconds / n, 1e6 * r.vormlin.seconds / n,
                      1e6 * r.quindle.cpu / n, 1e6 * r.vormlin.cpu / n);
        text += line;
    }
    text += "\nWhere vormlin put the files (first run):\n\n";
    for (const row &r : rows)
        text += "- " + std::to_string(r.images) + " images, catalogue of " +
                std::to_string(r.catalogue) + ": " + r.placed + "\n";
    return text;
}

std::string format_wine_table(const std::vector<wine_row> &rows)
{
    std::string text =
        "| collection | images | vormlin (s) | plain loop (s) | vormlin / plain loop "
        "| Windows engine (s) | Windows plain loop (s) | engine / plain loop "
        "| engine / vormlin |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    char line[512];
    for (const wine_row &r : rows) {
        std::snprintf(line, sizeof line,
                      "| %s | %d | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.2f |\n",
                      r.collection.c_str(), r.images, r.vormlin.seconds, r.plain.seconds,
                      r.vormlin.seconds / r.plain.seconds, r.engine.seconds, r.win_plain.seconds,
                      r.engine.seconds / r.win_plain.seconds, r.engine.seconds / r.vormlin.seconds);
        text += line;
    }
    return text;
}

std::vector<int> parse_sizes(const std::string &text)
{
    std::vector<int> sizes;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t comma = std::min(text.find(',', at), text.size());
        int n = std::atoi(text.substr(at, comma - at).c_str());
        if (n <= 0)
            fail("bad image count in " + text);
        sizes.push_back(n);
        at = comma + 1;
    }
    return sizes;
}

settings parse_settings(int argc, char **argv)
{
    settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i], value = argv[i + 1];
        if (name == "--quindle")
            s.quindle = fs::absolute(value).string();
        else if (name == "--vormlin")
            s.vormlin = fs::absolute(value).string();
        else if (name == "--plainloop")
            s.plainloop = fs::absolute(value).string();
        else if (name == "--wine")
            s.wine = value;
        else if (name == "--win-engine")
            s.win_engine = fs::absolute(value).string();
        else if (name == "--win-plainloop")
            s.win_plainloop = fs::absolute(value).string();
        else if (name == "--rewrite-images")
            s.rewrite_images = parse_sizes(value);
        else if (name == "--work")
            s.work = fs::absolute(value).string();
        else if (name == "--out")
            s.out = value;
        else if (name == "--images")
            s.images = parse_sizes(value);
        else if (name == "--repeat")
            s.repeat = std::max(1, std::atoi(value.c_str()));
        else
            fail("unknown option " + name);
    }
    if (s.quindle.empty() || s.vormlin.empty() || s.plainloop.empty() || s.work.empty() ||
        (!s.wine.empty() && (s.win_engine.empty() || s.win_plainloop.empty())))
        fail("usage: progbench --quindle PATH --vormlin PATH --plainloop PATH --work DIR "
             "[--images N,N...] [--repeat N] [--out FILE] [--wine WINE --win-engine EXE "
             "--win-plainloop EXE [--rewrite-images N,N...]]");
    return s;
}

// The floor under any program that looks at every byte: each file read whole into one buffer
// that is reused, nothing else. Runs as "progbench --read FILE...".
int read_files(int argc, char **argv)
{
    std::vector<char> buf(1 << 20);
    for (int i = 2; i < argc; i++) {
        int fd = open(argv[i], O_RDONLY);
        if (fd < 0)
            return 1;
        while (read(fd, buf.data(), buf.size()) > 0) {
        }
        close(fd);
    }
    return 0;
}

void print_report(const settings &s, const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    if (!s.out.empty())
        write_file(s.out, text);
}

// The sorters only, with the full catalogue: the mixed collections, then the rewritten ones.
int run_wine(const settings &s)
{
    std::vector<wine_row> rows;
    for (bulk_mix mix : {bulk_mixed, bulk_all_rewritten}) {
        const char *label = mix == bulk_mixed ? "mixed" : "all rewritten";
        for (int images : mix == bulk_mixed ? s.images : s.rewrite_images) {
            std::string set_dir = s.work + "/" + (mix == bulk_mixed ? "mixed-" : "rewritten-") +
                                  std::to_string(images);
            std::string catalogue = prepare_set(s, set_dir, images, mix);
            std::fprintf(stderr, "progbench: %d images (%s), Linux and Wine\n", images, label);
            rows.push_back(measure_wine(s, set_dir, label, images, catalogue));
        }
    }
    print_report(s, format_wine_table(rows));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--read") == 0)
        return read_files(argc, argv);
    settings s = parse_settings(argc, argv);
    if (!s.wine.empty())
        return run_wine(s);
    std::vector<row> rows;
    for (int images : s.images) {
        std::string set_dir = s.work + "/" + std::to_string(images);
        std::string catalogue = prepare_set(s, set_dir, images);
        for (int lines : {bulk_catalogue_lines, 10}) {
            std::fprintf(stderr, "progbench: %d images, catalogue of %d lines\n", images, lines);
            rows.push_back(measure(s, set_dir, images, catalogue_head(catalogue, lines)));
        }
    }
    print_report(s, format_tables(rows));
    return 0;
}
