// The recording table and the replay of a recording onto a copy of the run's tree.
#include "recording_fs.h"

#include "catalogue_fixture.h"
#include "options.h"
#include "split.h"
#include "ui_stub.h"
#include "vfs.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

fs_recording *recording = nullptr;
int created_files = 0;

// Whether this call, on path, is the one that fails; counts it.
bool fails(fs_op_kind kind, const std::string &path)
{
    const fs_recording &r = *recording;
    if (r.fail_at == 0 || kind != r.fail_kind || path.find(r.fail_path) == std::string::npos)
        return false;
    int n = ++recording->calls;
    return n == r.fail_at || (n > r.fail_at && (kind == op_write || kind == op_sync));
}

void record(fs_op op)
{
    recording->ops.push_back(std::move(op));
}

struct recorded_file {
    vfs_file base;
    vfs_file *real;
    int number;
    std::string path; // where it was created
};

recorded_file *as_recorded(vfs_file *f)
{
    return reinterpret_cast<recorded_file *>(f);
}

std::size_t file_read(vfs_file *f, void *buf, std::size_t size)
{
    return vfs_read(as_recorded(f)->real, buf, size);
}

bool file_write(vfs_file *f, const void *data, std::size_t size)
{
    if (fails(op_write, as_recorded(f)->path) || !vfs_write(as_recorded(f)->real, data, size))
        return false;
    record({op_write, "", "", as_recorded(f)->number,
            std::string(static_cast<const char *>(data), size)});
    return true;
}

int file_flush(vfs_file *f)
{
    return vfs_flush(as_recorded(f)->real);
}

int file_sync(vfs_file *f)
{
    if (fails(op_sync, as_recorded(f)->path) || vfs_sync(as_recorded(f)->real) != 0)
        return -1;
    record({op_sync, "", "", as_recorded(f)->number, ""});
    return 0;
}

long long file_length(vfs_file *f)
{
    return vfs_length(as_recorded(f)->real);
}

int file_rewind(vfs_file *f)
{
    if (fails(op_rewind, as_recorded(f)->path) || vfs_rewind(as_recorded(f)->real) != 0)
        return -1;
    record({op_rewind, as_recorded(f)->path, "", as_recorded(f)->number, ""});
    return 0;
}

int file_close(vfs_file *f)
{
    int result = vfs_close(as_recorded(f)->real);
    delete as_recorded(f);
    return result;
}

const vfs_file_methods recorded_methods = {
    .read = file_read,
    .write = file_write,
    .flush = file_flush,
    .sync = file_sync,
    .length = file_length,
    .rewind = file_rewind,
    .close = file_close,
};

int make_dir(const char *path)
{
    if (fails(op_make_dir, path) || vfs_real.make_dir(path) != 0)
        return -1;
    record({op_make_dir, path, "", -1, ""});
    return 0;
}

int move_noreplace(const char *from, const char *to)
{
    if (fails(op_move, to) || vfs_real.move_noreplace(from, to) != 0)
        return -1;
    record({op_move, from, to, -1, ""});
    return 0;
}

int replace_file(const char *from, const char *to)
{
    if (fails(op_replace, to) || vfs_real.replace_file(from, to) != 0)
        return -1;
    record({op_replace, from, to, -1, ""});
    return 0;
}

vfs_file *create_new(const char *path)
{
    vfs_file *real = fails(op_create, path) ? nullptr : vfs_real.create_new(path);
    if (real == nullptr)
        return nullptr;
    int number = created_files++;
    record({op_create, path, "", number, ""});
    return &(new recorded_file{{&recorded_methods}, real, number, path})->base;
}

int remove_own_file(const char *path)
{
    if (fails(op_remove, path) || vfs_real.remove_own_file(path) != 0)
        return -1;
    record({op_remove, path, "", -1, ""});
    return 0;
}

int sync_together(vfs_file *const *files, std::size_t count)
{
    std::vector<vfs_file *> real;
    bool fault = false;
    for (std::size_t i = 0; i < count; i++) {
        real.push_back(as_recorded(files[i])->real);
        fault = fails(op_sync, as_recorded(files[i])->path) || fault;
    }
    if (fault || vfs_real.sync_together(real.data(), real.size()) != 0)
        return -1;
    for (std::size_t i = 0; i < count; i++)
        record({op_sync, "", "", as_recorded(files[i])->number, ""});
    return 0;
}

const vfs_ops recording_table = {
    .find_first = vfs_real.find_first,
    .find_next = vfs_real.find_next,
    .find_close = vfs_real.find_close,
    .entry_exists = vfs_real.entry_exists,
    .entry_state = vfs_real.entry_state,
    .make_dir = make_dir,
    .move_noreplace = move_noreplace,
    .replace_file = replace_file,
    .create_new = create_new,
    .open_for_reading = vfs_real.open_for_reading,
    .remove_own_file = remove_own_file,
    .sync_together = sync_together,
    .lock_dir = vfs_real.lock_dir,
};

// The bytes that survive a crash at upto of what each created file held from its creation
// (or the operation that started it anew) at index i on: all written, or up to its last sync.
// A file started anew keeps the first byte it held (it is cut to one byte) until the first
// write covers it.
std::map<std::size_t, std::string> surviving_bytes(const fs_recording &r, std::size_t upto,
                                                   crash_kind crash)
{
    std::map<int, std::size_t> begun; // each file's latest creation or rewind
    std::map<std::size_t, std::string> written, synced;
    std::map<std::size_t, bool> covered; // the kept byte is written over
    for (std::size_t i = 0; i < upto; i++) {
        const fs_op &op = r.ops[i];
        if (op.kind == op_rewind) {
            std::size_t before = begun[op.file];
            written[i] = written[before].substr(0, 1);
            synced[i] = synced[before].substr(0, 1);
        }
        if (op.kind == op_create || op.kind == op_rewind)
            begun[op.file] = i;
        else if (op.kind == op_write && !op.data.empty()) {
            std::size_t at = begun[op.file];
            written[at] = (covered[at] ? written[at] : "") + op.data;
            covered[at] = true;
        } else if (op.kind == op_sync)
            synced[begun[op.file]] = written[begun[op.file]];
    }
    return crash == crash_kill ? written : synced;
}

bool write_bytes(const std::filesystem::path &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

} // namespace

void recording_begin(fs_recording *r)
{
    recording = r;
    created_files = 0;
    vfs = &recording_table;
}

void recording_end()
{
    vfs = &vfs_real;
    recording = nullptr;
}

// The run the command line's arguments ask for: its options, and its last argument as the
// directory.
static run_request request_of(const std::vector<std::string> &args)
{
    run_request request{opt_scan, args.empty() ? std::string(".") : args.back()};
    for (const std::string &a : args) {
        if (a == "-c")
            request.options |= opt_convert_fam;
        else if (a == "-H")
            request.options |= opt_no_fwnes_header;
        else if (a == "-u")
            request.options |= opt_zero_unused;
    }
    return request;
}

run_summary sort_recorded(const std::vector<std::string> &args, const std::string &dir,
                          fs_recording *r)
{
    run_summary summary;
    char previous[PATH_MAX];
    if (getcwd(previous, sizeof previous) == nullptr || chdir(dir.c_str()) != 0) {
        summary.ending = run_refused;
        return summary;
    }
    reset_catalogue_for_tests();
    auto between_files = ui_stub.between_files; // the test's, kept
    ui_stub_reset();
    ui_stub.between_files = between_files;
    temp_counter = 0; // as in a fresh process
    recording_begin(r);
    summary = run(request_of(args));
    recording_end();
    reset_catalogue_for_tests();
    if (chdir(previous) != 0)
        summary.ending = run_refused;
    return summary;
}

bool replay(const fs_recording &r, std::size_t upto, crash_kind crash, const std::string &root)
{
    namespace fs = std::filesystem;
    std::map<std::size_t, std::string> contents = surviving_bytes(r, upto, crash);
    std::map<int, std::string> where; // each created file's name now
    std::error_code error;
    for (std::size_t i = 0; i < upto && !error; i++) {
        const fs_op &op = r.ops[i];
        fs::path path = fs::path(root) / op.path, to = fs::path(root) / op.to;
        if (fs::path(op.path).is_absolute() || fs::path(op.to).is_absolute())
            return false;
        switch (op.kind) {
        case op_make_dir:
            fs::create_directory(path, error);
            break;
        case op_move:
        case op_replace:
            fs::rename(path, to, error);
            for (auto &[file, name] : where) {
                if (name == op.path)
                    name = op.to;
            }
            break;
        case op_create:
            where[op.file] = op.path;
            if (fs::exists(path) || !write_bytes(path, contents[i]))
                return false;
            break;
        case op_rewind:
            if (!write_bytes(fs::path(root) / where[op.file], contents[i]))
                return false;
            break;
        case op_remove:
            fs::remove(path, error);
            break;
        case op_write:
        case op_sync:
            break;
        }
    }
    return !error;
}
