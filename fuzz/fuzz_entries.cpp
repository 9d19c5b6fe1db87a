// The fuzzed entry points: the dumper's report on an image in memory, the catalogue loader,
// identification against a known catalogue, and the sorter's whole per-file step in a scratch
// directory, with the checks that make a wrong result (not only a crash) a finding.
#include "fuzz_entries.h"

#include "catalogue.h"
#include "crc.h"
#include "disk_layout.h"
#include "fuzz_seed_set.h"
#include "identify.h"
#include "journal.h"
#include "options.h"
#include "process.h"
#include "recovery.h"
#include "settings.h"
#include "side_report.h"
#include "signature.h"
#include "split.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string problem;

// Which text the catalogue in memory was loaded from.
enum loaded_catalogue { catalogue_none, catalogue_known, catalogue_fuzzed };
loaded_catalogue loaded = catalogue_none;

int fail(const std::string &what)
{
    problem = what;
    return 1;
}

// A scratch directory for the whole process, removed at exit.
const std::string &work_dir()
{
    static std::string dir;
    if (dir.empty()) {
        const char *base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/fdsfuzz-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr)
            std::abort();
        dir = buf.data();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(dir, ec);
        });
        crc_build_table();
    }
    return dir;
}

bool write_whole(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bytes read_whole(const fs::path &path)
{
    bytes out;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return out;
    std::uint8_t buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

// Loads text as ingredients.dat from a fresh directory, as a first run would.
int load_catalogue_text(const std::uint8_t *data, std::size_t size, const std::string &dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!write_whole(dir + "/ingredients.dat", data, size) || chdir(dir.c_str()) != 0)
        std::abort();
    release_catalogue();
    row_count = 0;
    return load_catalogue();
}

// The catalogue that the dumper writes for the known images.
void use_known_catalogue()
{
    if (loaded == catalogue_known)
        return;
    std::string text = fuzz_known_catalogue();
    load_catalogue_text(reinterpret_cast<const std::uint8_t *>(text.data()), text.size(),
                        work_dir() + "/known");
    if (row_count < 2)
        std::abort();
    loaded = catalogue_known;
}

void clear_mismatch_slots()
{
    for (cat_entry &e : catalogue)
        e.mismatch_crc = 0;
}

// Exactly size bytes on the heap, so that any read behind them is caught.
std::unique_ptr<std::uint8_t[]> exact_copy(const std::uint8_t *data, std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    if (size > 0)
        std::memcpy(copy.get(), data, size);
    return copy;
}

const char *const report_names[] = {
    "disk.qd", "noext", "a.b.c (2o2).FAM",
    "a-name-of-three-hundred-characters-"
    "..................................................................................."
    "..................................................................................."
    "................................................................................end.fds"};

} // namespace

const char *fuzz_last_problem()
{
    return problem.c_str();
}

int fuzz_side_report(const std::uint8_t *data, std::size_t size)
{
    work_dir();
    if (size == 0)
        return 0;
    std::uint8_t choice = data[0];
    info_level = choice % 3;
    crc_output = (choice & 0x04) == 0;
    const char *name = report_names[(choice >> 3) & 3];
    const char *dir = (choice & 0x20) != 0 ? "some dir/" : nullptr;
    auto image = exact_copy(data + 1, size - 1);
    char *text = nullptr;
    std::size_t length = 0;
    std::FILE *out =
        (choice & 0x40) != 0 ? open_memstream(&text, &length) : std::fopen("/dev/null", "w");
    if (out == nullptr)
        std::abort();
    side_report_bytes(out, name, dir, image.get(), size - 1);
    std::fclose(out);
    std::free(text);
    info_level = info_catalogue;
    crc_output = true;
    return 0;
}

int fuzz_catalogue(const std::uint8_t *data, std::size_t size)
{
    loaded = catalogue_fuzzed;
    int result = load_catalogue_text(data, size, work_dir() + "/fuzzed");
    if (row_count == 0) {
        // A file count without a CRC list leaves it unloaded after complete records, and
        // undecodable text before any.
        return result >= 0 && result < catalogue_capacity - 1 ? 0 : fail("bad unloaded result");
    }
    if (result != row_count || row_count < 1 || row_count > catalogue_capacity)
        return fail("row count out of range");
    for (int i = 1; i < row_count; i++) {
        const cat_entry &e = catalogue[i];
        if (e.file_count < 0 || e.crcs.size() != static_cast<std::size_t>(e.file_count))
            return fail("entry " + std::to_string(i) + ": CRC list and file count disagree");
        if (std::memchr(e.name, 0, sizeof e.name) == nullptr ||
            std::memchr(e.game_code, 0, sizeof e.game_code) == nullptr)
            return fail("entry " + std::to_string(i) + ": text not terminated");
    }
    return 0;
}

int fuzz_identify(const std::uint8_t *data, std::size_t size)
{
    use_known_catalogue();
    clear_mismatch_slots();
    if (size == 0)
        return 0;
    unsigned options = opt_scan | (data[0] & (opt_zero_unused | opt_no_fwnes_header));
    auto image = exact_copy(data + 1, size - 1);
    std::uint8_t *end = image.get() + (size - 1);
    auto *first =
        const_cast<std::uint8_t *>(find_signature(image.get(), fds::signature_with_code, end));
    if (first == nullptr)
        return 0;
    int sides = count_sides(first, end);
    if (sides < 0 || static_cast<std::size_t>(sides) > (size - 1) / fds::side_size + 1)
        return fail("side count beyond the data");
    int entry = identify_image(first, end, options);
    if (entry < 0 || entry >= row_count)
        return fail("identified entry out of range");
    return 0;
}

namespace {

const char *const process_names[] = {
    "a.fds",
    "B.FAM",
    "tmp5.qd",
    "x y;z.fds",
    "\xC3\xA9t\xC3\xA9 \xFF.fds",
    "noext",
    "tmp0000.fds",
    "long-name-of-more-than-two-hundred-characters-"
    "..................................................................................."
    "....................................................................end.fds"};

struct obstacle {
    std::string path;
    bytes content;
};

std::vector<obstacle> place_obstacles(std::uint8_t choice, const std::string &scan,
                                      const std::string &name)
{
    std::vector<obstacle> made;
    auto add = [&](const std::string &path) {
        std::string text = "obstacle " + path;
        made.push_back({path, bytes(text.begin(), text.end())});
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        write_whole(path, made.back().content.data(), made.back().content.size());
    };
    const char *const plain_files[] = {"ren", "bak", "dupes", "parts"};
    for (int k = 0; k < 4; k++) {
        if ((choice & (2 << k)) != 0)
            add(scan + plain_files[k]);
    }
    if ((choice & 0x20) != 0 && (choice & 0x04) == 0) {
        add(scan + "bak/" + name);
        std::string numbered = scan + "bak/" + name;
        for (char digit = '0'; digit <= '9'; digit++) {
            numbered.back() = digit;
            add(numbered);
        }
    }
    if ((choice & 0x40) != 0 && (choice & 0x02) == 0) {
        for (const auto &known : fuzz_known_images())
            add(scan + "ren/" + known.first);
    }
    if ((choice & 0x80) != 0)
        add(scan + "B.fds");
    return made;
}

bool tree_holds(const std::string &root, const bytes &content)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && it->file_size(ec) == content.size() &&
            read_whole(it->path()) == content)
            return true;
    }
    return false;
}

std::size_t count_files(const std::string &root)
{
    std::size_t n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        n += it->is_regular_file(ec) ? 1 : 0;
    return n;
}

} // namespace

int fuzz_process(const std::uint8_t *data, std::size_t size)
{
    use_known_catalogue();
    clear_mismatch_slots();
    if (size < 2)
        return 0;
    std::uint8_t choice = data[0];
    unsigned options = opt_scan;
    if ((choice & 1) != 0)
        options |= opt_zero_unused;
    if ((choice & 2) != 0)
        options |= opt_no_fwnes_header;
    if ((choice & 4) != 0)
        options |= opt_convert_fam;
    if ((choice & 8) != 0)
        options |= opt_zero_save_game;
    std::string name = process_names[(choice >> 4) & 7];
    std::string run = work_dir() + "/run";
    std::error_code ec;
    fs::remove_all(run, ec);
    fs::create_directories(run + "/scan", ec);
    if (chdir(run.c_str()) != 0)
        std::abort();
    bool in_scan = (data[1] & 1) != 0;
    std::string scan = in_scan ? "scan/" : "";
    std::vector<obstacle> obstacles = place_obstacles(data[1], scan, name);
    bytes input(data + 2, data + size);
    if (!write_whole(scan + name, input.data(), input.size()))
        std::abort();
    temp_counter = 0;
    process_image(name.c_str(), in_scan ? scan.c_str() : nullptr, options);
    for (const obstacle &o : obstacles) {
        if (read_whole(o.path) != o.content)
            return fail(o.path + " changed or vanished");
    }
    // A "tmp" image is rewritten in place by design; every other input survives whole.
    bool in_place = name.compare(0, 3, "tmp") == 0;
    if (!in_place && !tree_holds(run, input))
        return fail(name + ": its bytes are lost");
    if (in_place && !tree_holds(run, input) && count_files(run) <= obstacles.size())
        return fail(name + ": neither kept nor rewritten");
    return 0;
}

// The files a recovery is fuzzed among: bit k + 1 of the choice byte places file k (the first
// stands always). The scanned directory is scan/, the current one the run directory.
const fuzz_recovery_file fuzz_recovery_files[] = {
    {"scan/bak/Game.fds", "the original, moved into bak"},
    {"scan/Game.fds", "the normalised image, published"},
    {"scan/.vormlin-image", "a normalised image, half written"},
    {"tmp0001.fds", "surplus sides, published"},
    {".vormlin-split", "surplus sides, half written"},
    {"scan/Quad.fds", "an image of the user's"},
    {"tmpgame.fds", "a tmp image of the user's"},
};
const std::size_t fuzz_recovery_file_count = std::size(fuzz_recovery_files);

namespace {

// Every plain file below root by path, with its bytes.
std::map<std::string, bytes> files_below(const std::string &root)
{
    std::map<std::string, bytes> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            files[fs::relative(it->path(), root, ec).string()] = read_whole(it->path());
    }
    return files;
}

bool bytes_anywhere(const std::map<std::string, bytes> &files, const bytes &data)
{
    for (const auto &[path, content] : files) {
        if (content == data)
            return true;
    }
    return false;
}

// Whether an accepted journal says the sorter published (or replaced with) these bytes.
bool journal_published(const journal_text &j, const bytes &data)
{
    file_identity id = identity_of_bytes(data.data(), data.size());
    for (const journal_step &s : j.steps) {
        if ((s.kind == step_publish || s.kind == step_replace) && s.identity == id)
            return true;
    }
    return false;
}

bool same_steps(const journal_text &a, const journal_text &b)
{
    if (a.role != b.role || a.change != b.change || a.steps.size() != b.steps.size())
        return false;
    for (std::size_t i = 0; i < a.steps.size(); i++) {
        const journal_step &x = a.steps[i], &y = b.steps[i];
        if (x.kind != y.kind || x.a != y.a || x.b != y.b || !(x.identity == y.identity))
            return false;
    }
    return true;
}

// What an accepted journal reads as once written anew; empty on a failure.
std::string rewritten(const journal_text &j)
{
    std::string text = journal_header(j.role, j.change);
    for (const journal_step &s : j.steps)
        text += journal_line(s);
    return text;
}

} // namespace

int fuzz_recovery(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::string root = work_dir() + "/recovery";
    std::string run = root + "/run", outside = root + "/outside";
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(run + "/scan/bak", ec);
    fs::create_directories(outside, ec);
    std::string sentinel = "a file outside both directories";
    bytes journal(data + 1, data + size);
    std::string in = (data[0] & 1) != 0 ? "scan/" : "";
    if (!write_whole(outside + "/sentinel", reinterpret_cast<const std::uint8_t *>(sentinel.data()),
                     sentinel.size()) ||
        !write_whole(run + "/" + in + journal_file_name, journal.data(), journal.size()))
        std::abort();
    for (std::size_t k = 0; k < fuzz_recovery_file_count; k++) {
        const fuzz_recovery_file &f = fuzz_recovery_files[k];
        if ((k == 0 || (data[0] >> (k + 1) & 1) != 0) &&
            !write_whole(run + "/" + f.path, reinterpret_cast<const std::uint8_t *>(f.text),
                         std::strlen(f.text)))
            std::abort();
    }
    std::map<std::string, bytes> before = files_below(run), outside_before = files_below(outside);
    if (chdir(run.c_str()) != 0)
        std::abort();
    recover_interrupted("scan/");

    journal_text parsed, again;
    std::string why, text(journal.begin(), journal.end());
    bool accepted = journal_parse(text, &parsed, &why);
    // A journal cut before the end of its header holds nothing to write anew.
    bool whole = accepted && !parsed.change.empty();
    if (whole && (!journal_parse(rewritten(parsed), &again, &why) || !same_steps(parsed, again)))
        return fail("an accepted journal does not read back as written");
    if (files_below(outside) != outside_before)
        return fail("a file outside the sorted directories changed");
    std::map<std::string, bytes> after = files_below(run);
    for (const auto &[path, content] : before) {
        bool hidden = fs::path(path).filename().string()[0] == '.';
        if (!bytes_anywhere(after, content) && !hidden &&
            !(accepted && journal_published(parsed, content)))
            return fail(path + ": its bytes are gone, and no journal step published them");
    }
    if (!accepted && !bytes_anywhere(after, journal))
        return fail("a refused journal is gone");
    return 0;
}
