// The real file-system table, the stdio-backed files it and the preview open, and the
// directory walk every scan of both programs uses.
#include "vfs.h"

#include <new>
#include <vector>

namespace {

struct stream_file {
    vfs_file base;
    std::FILE *stream;
    bool durable;           // synced through the platform layer (else only flushed)
    long long known_length; // a file opened for reading only: its length when opened, or -1
};

std::FILE *stream(vfs_file *f)
{
    return reinterpret_cast<stream_file *>(f)->stream;
}

std::size_t stream_read(vfs_file *f, void *buf, std::size_t size)
{
    return std::fread(buf, 1, size, stream(f));
}

bool stream_write(vfs_file *f, const void *bytes, std::size_t size)
{
    return size == 0 || std::fwrite(bytes, 1, size, stream(f)) == size;
}

int stream_flush(vfs_file *f)
{
    return std::fflush(stream(f)) == 0 ? 0 : -1;
}

int stream_sync(vfs_file *f)
{
    auto *s = reinterpret_cast<stream_file *>(f);
    return s->durable ? plat_sync_file(s->stream) : stream_flush(f);
}

// The length, with the stream left where it was. A file opened for reading only keeps the
// length it had when opened, as a whole-file read wants: no seeking back and forth.
long long stream_length(vfs_file *f)
{
    long long known = reinterpret_cast<stream_file *>(f)->known_length;
    if (known >= 0)
        return known;
    std::FILE *s = stream(f);
    long at = std::ftell(s);
    if (at < 0 || std::fseek(s, 0, SEEK_END) != 0)
        return -1;
    long end = std::ftell(s);
    return std::fseek(s, at, SEEK_SET) == 0 ? end : -1;
}

// A memory stream starts anew by going back to its start: its size is where the last flush
// was.
int stream_rewind(vfs_file *f)
{
    auto *s = reinterpret_cast<stream_file *>(f);
    if (s->durable)
        return plat_rewind_file(s->stream);
    return std::fseek(s->stream, 0, SEEK_SET) == 0 && std::fflush(s->stream) == 0 ? 0 : -1;
}

int stream_close(vfs_file *f)
{
    auto *s = reinterpret_cast<stream_file *>(f);
    bool failed = std::ferror(s->stream) != 0;
    bool closed = std::fclose(s->stream) == 0;
    delete s;
    return closed && !failed ? 0 : -1;
}

const vfs_file_methods stream_methods = {
    .read = stream_read,
    .write = stream_write,
    .flush = stream_flush,
    .sync = stream_sync,
    .length = stream_length,
    .rewind = stream_rewind,
    .close = stream_close,
};

// A file of the table over stream; nullptr (the stream closed) when there is no memory for it.
vfs_file *new_stream_file(std::FILE *stream, bool durable, long long known_length)
{
    if (stream == nullptr)
        return nullptr;
    auto *f = new (std::nothrow) stream_file{{&stream_methods}, stream, durable, known_length};
    if (f == nullptr) {
        std::fclose(stream);
        return nullptr;
    }
    return &f->base;
}

void *real_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    return plat_find_first(dir, pattern, entry);
}

bool real_find_next(void *search, plat_entry *entry)
{
    return plat_find_next(static_cast<plat_search *>(search), entry);
}

// Adds a name vfs_walk visits to the list context points at.
void note_name(const char *name, const char *, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(name);
}

void real_find_close(void *search)
{
    plat_find_close(static_cast<plat_search *>(search));
}

vfs_file *real_create_new(const char *path)
{
    std::FILE *f = plat_create_new(path);
    vfs_file *file = vfs_stream_file(f, true);
    if (f != nullptr && file == nullptr)
        plat_remove_own_file(path);
    return file;
}

vfs_file *real_open_for_reading(const char *path)
{
    long long length = -1;
    std::FILE *f = plat_open_for_reading(path, &length);
    // Files are read whole or in large pieces, straight into the caller's buffer: a stream
    // buffer would only add a copy.
    if (f != nullptr)
        std::setvbuf(f, nullptr, _IONBF, 0);
    return new_stream_file(f, false, length);
}

int real_sync_together(vfs_file *const *files, std::size_t count)
{
    std::vector<std::FILE *> streams;
    for (std::size_t i = 0; i < count; i++)
        streams.push_back(stream(files[i]));
    return plat_sync_files(streams.data(), streams.size());
}

} // namespace

vfs_file *vfs_stream_file(std::FILE *stream, bool durable)
{
    return new_stream_file(stream, durable, -1);
}

const vfs_ops vfs_real = {
    .find_first = real_find_first,
    .find_next = real_find_next,
    .find_close = real_find_close,
    .entry_exists = plat_entry_exists,
    .entry_state = plat_entry_state_of,
    .make_dir = plat_make_dir,
    .move_noreplace = plat_move_noreplace,
    .replace_file = plat_replace_file,
    .create_new = real_create_new,
    .open_for_reading = real_open_for_reading,
    .remove_own_file = plat_remove_own_file,
    .sync_together = real_sync_together,
    .lock_dir = plat_lock_dir,
};

const vfs_ops *vfs = &vfs_real;

void vfs_walk(const char *dir, const char *pattern, vfs_visit visit, void *context)
{
    const vfs_ops *fs = vfs;
    plat_entry entry;
    void *search = fs->find_first(dir, pattern, &entry);
    if (search == nullptr)
        return;
    do {
        if (plat_entry_is_scanned(entry))
            visit(entry.name, dir, context);
    } while (fs->find_next(search, &entry));
    fs->find_close(search);
}

std::vector<std::string> vfs_names(const char *dir, const char *pattern)
{
    std::vector<std::string> names;
    vfs_walk(dir, pattern, note_name, &names);
    return names;
}
