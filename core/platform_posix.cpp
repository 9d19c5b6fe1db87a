// POSIX side of the platform layer. Where POSIX and Windows disagree, the Windows behaviour
// that the programs were designed for is reproduced here and the spot says so.
#include "platform.h"

#include "listing.h"
#include "path.h"
#include "wildcard.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

const char plat_line_end[] = "\n";
const char plat_sep = '/';

void plat_init()
{
    // A write past RLIMIT_FSIZE would otherwise end the process with SIGXFSZ, leaving a
    // half-written image and no chance to put the original back; ignored, it fails with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> plat_arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void plat_write_text(std::FILE *stream, const char *text, std::size_t size)
{
    std::fwrite(text, 1, size, stream);
}

struct plat_search {
    std::string dir;
    std::string pattern;
    dev_t dev;
    ino_t ino;
    name_listing listing; // the matches
    plat_search *later;   // the next open search, in a short chain
};

// Open searches, so that files this program adds to a directory being listed join the listing
// as they would on Windows, without listing the directory again.
static plat_search *open_searches = nullptr;

// The identities of the directories that files appeared in while searches were open, each
// looked up once: a sort moves thousands of files into the same few directories. Forgotten
// whenever a search starts.
struct directory_identity {
    std::string dir;
    dev_t dev;
    ino_t ino;
};
static std::vector<directory_identity> seen_directories;

static std::string dir_or_dot(const char *dir)
{
    return (dir == nullptr || dir[0] == '\0') ? std::string(".") : std::string(dir);
}

plat_entry_state plat_entry_state_of(const char *path)
{
    plat_entry_state state;
    struct stat st;
    if (lstat(path, &st) != 0)
        return state;
    state.exists = true;
    state.plain_file = S_ISREG(st.st_mode);
    state.directory = S_ISDIR(st.st_mode);
    state.link = S_ISLNK(st.st_mode);
    // Only a symbolic link needs a second look, at what it points to.
    if (S_ISLNK(st.st_mode) && stat(path, &st) == 0) {
        state.plain_file = S_ISREG(st.st_mode);
        state.directory = S_ISDIR(st.st_mode);
    }
    return state;
}

static bool fill_entry(plat_search *s, plat_entry *entry)
{
    name_listing &listing = s->listing;
    while (listing.next < listing.names.size()) {
        const std::string &name = listing.names[listing.next++];
        std::string path = s->dir + (s->dir.back() == '/' ? "" : "/") + name;
        plat_entry_state state = plat_entry_state_of(path.c_str());
        if (!state.exists)
            continue; // gone since the listing
        if (name.size() > entry_name_max)
            continue; // longer than any name a file system stores
        std::memcpy(entry->name, name.c_str(), name.size() + 1);
        entry->plain_file = state.plain_file;
        return true;
    }
    return false;
}

// The names of the search's directory that match its pattern, and the directory's identity.
// False when it cannot be listed.
static bool list_directory(plat_search *s)
{
    DIR *listing = opendir(s->dir.c_str());
    if (listing == nullptr)
        return false;
    struct stat st;
    if (fstat(dirfd(listing), &st) == 0) {
        s->dev = st.st_dev;
        s->ino = st.st_ino;
    }
    while (const dirent *e = readdir(listing)) {
        if (wildcard_match(s->pattern.c_str(), e->d_name))
            s->listing.names.emplace_back(e->d_name);
    }
    closedir(listing);
    return true;
}

plat_search *plat_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    seen_directories.clear();
    auto *s = new plat_search{dir_or_dot(dir), pattern, 0, 0, {}, nullptr};
    if (!list_directory(s)) {
        delete s;
        return nullptr;
    }
    listing_sort(&s->listing);
    s->later = open_searches;
    open_searches = s;
    if (!fill_entry(s, entry)) {
        plat_find_close(s);
        return nullptr;
    }
    return s;
}

bool plat_find_next(plat_search *search, plat_entry *entry)
{
    return search != nullptr && fill_entry(search, entry);
}

void plat_find_close(plat_search *search)
{
    if (search == nullptr)
        return;
    for (plat_search **link = &open_searches; *link != nullptr; link = &(*link)->later) {
        if (*link == search) {
            *link = search->later;
            break;
        }
    }
    delete search;
}

static const directory_identity *identity_of_directory(const std::string &dir)
{
    for (const directory_identity &d : seen_directories) {
        if (d.dir == dir)
            return &d;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0)
        return nullptr;
    seen_directories.push_back({dir, st.st_dev, st.st_ino});
    return &seen_directories.back();
}

static bool any_search_matches(const std::string &name)
{
    for (plat_search *s = open_searches; s != nullptr; s = s->later) {
        if (wildcard_match(s->pattern.c_str(), name.c_str()))
            return true;
    }
    return false;
}

// A file appeared at path: every open search of its directory that has not yet passed its
// name will return it.
static void note_new_entry(const char *path)
{
    std::string dir, name;
    split_path(path, &dir, &name);
    if (!any_search_matches(name))
        return;
    const directory_identity *d = identity_of_directory(dir);
    if (d == nullptr)
        return;
    for (plat_search *s = open_searches; s != nullptr; s = s->later) {
        if (s->dev == d->dev && s->ino == d->ino &&
            wildcard_match(s->pattern.c_str(), name.c_str()))
            listing_note(&s->listing, name);
    }
}

bool plat_entry_exists(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0;
}

int plat_current_dir(char *buf, std::size_t size)
{
    if (buf == nullptr || size == 0 || getcwd(buf, size) == nullptr)
        return -1;
    return 0;
}

int plat_make_dir(const char *path)
{
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

// POSIX rename() silently replaces an existing target, while the Windows rename this program
// was designed around refuses. renameat2 with RENAME_NOREPLACE refuses atomically; where the
// file system lacks it, link + unlink gives the same result (link fails on an existing name).
int plat_move_noreplace(const char *from, const char *to)
{
    long r = syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (r != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
        if (link(from, to) != 0)
            return -1;
        if (unlink(from) != 0) {
            unlink(to); // keep one name only; the source stays where it was
            return -1;
        }
        r = 0;
    }
    if (r != 0)
        return -1;
    note_new_entry(to);
    return 0;
}

int plat_replace_file(const char *from, const char *to)
{
    return rename(from, to) == 0 ? 0 : -1;
}

std::FILE *plat_create_new(const char *path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE *f = fdopen(fd, "wb");
    if (f == nullptr) {
        close(fd);
        unlink(path);
        return nullptr;
    }
    note_new_entry(path);
    return f;
}

std::FILE *plat_open_for_reading(const char *path, long long *length)
{
    // Non-blocking so that opening a FIFO cannot hang; only regular files are read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    if (length != nullptr)
        *length = st.st_size;
    // O_NONBLOCK stays: it changes nothing for a regular file, and clearing it would cost
    // two more system calls for every image.
    std::FILE *f = fdopen(fd, "rb");
    if (f == nullptr)
        close(fd);
    return f;
}

int plat_remove_own_file(const char *path)
{
    return unlink(path) == 0 ? 0 : -1;
}

int plat_sync_file(std::FILE *f)
{
    return std::fflush(f) == 0 && fsync(fileno(f)) == 0 ? 0 : -1;
}

int plat_rewind_file(std::FILE *f)
{
    return std::fflush(f) == 0 && ftruncate(fileno(f), 1) == 0 && std::fseek(f, 0, SEEK_SET) == 0
               ? 0
               : -1;
}

// Whether the streams are flushed and all on one file system.
static bool flush_on_one_device(std::FILE *const *files, std::size_t count)
{
    bool one = true;
    dev_t device = 0;
    for (std::size_t i = 0; i < count; i++) {
        struct stat st;
        if (std::fflush(files[i]) != 0 || fstat(fileno(files[i]), &st) != 0)
            return false;
        one = one && (i == 0 || st.st_dev == device);
        device = st.st_dev;
    }
    return one;
}

int plat_sync_files(std::FILE *const *files, std::size_t count)
{
    if (count == 0)
        return 0;
    if (flush_on_one_device(files, count))
        return syncfs(fileno(files[0])) == 0 ? 0 : -1;
    for (std::size_t i = 0; i < count; i++) {
        if (plat_sync_file(files[i]) != 0)
            return -1;
    }
    return 0;
}

bool plat_is_absolute(const char *path)
{
    return path[0] == '/';
}

std::string plat_legacy_to_utf8(std::string_view text)
{
    return std::string(text);
}

bool plat_is_plain_name(const char *name)
{
    return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           std::strchr(name, '/') == nullptr;
}

struct plat_lock {
    int fd;
};

// flock belongs to the open directory: the kernel drops it when the process ends. A second
// flock by this same process on another descriptor of the directory would refuse too, so a
// caller locks each directory once.
// A directory that cannot be opened for reading (mode 0333, say) cannot be locked this way.
plat_lock_result plat_lock_dir(const char *dir, plat_lock **out, std::string *why)
{
    int fd = open(dir_or_dot(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        if (fd >= 0)
            close(fd);
        if (fd >= 0 && error == EWOULDBLOCK)
            return lock_busy;
        if (why != nullptr)
            *why = std::strerror(error);
        return lock_unavailable;
    }
    *out = new plat_lock{fd};
    return lock_taken;
}

void plat_unlock_dir(plat_lock *lock)
{
    if (lock == nullptr)
        return;
    close(lock->fd);
    delete lock;
}

bool plat_same_dir(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(dir_or_dot(a).c_str(), &sa) == 0 && stat(dir_or_dot(b).c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
