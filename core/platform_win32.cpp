// Win32 side of the platform layer: the ANSI file-system calls the programs were designed
// around. Paths longer than MAX_PATH fail cleanly instead of being cut.
#include "platform.h"

#include "wildcard.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

const char plat_line_end[] = "\r\n";
const char plat_sep = '\\';

struct plat_search {
    HANDLE handle;
    std::string pattern;
};

static bool fits_max_path(const char *path)
{
    return path != nullptr && std::strlen(path) < MAX_PATH;
}

// FindFirstFileA also matches 8.3 short names ("*.fds" finds "game.fdsx" through GAME~1.FDS)
// and its "?" may match nothing at the end of a name. Checking the long name against the
// pattern again keeps the search exactly as the header promises, the same as on POSIX.
static bool take_entry(const plat_search *s, const WIN32_FIND_DATAA &found, plat_entry *entry)
{
    std::size_t length = strnlen(found.cFileName, sizeof found.cFileName);
    if (length >= plat_name_max || !wildcard_match(s->pattern.c_str(), found.cFileName))
        return false;
    std::memcpy(entry->name, found.cFileName, length);
    entry->name[length] = '\0';
    entry->plain_file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

static bool next_match(plat_search *s, plat_entry *entry)
{
    WIN32_FIND_DATAA found;
    while (FindNextFileA(s->handle, &found)) {
        if (take_entry(s, found, entry))
            return true;
    }
    return false;
}

plat_search *plat_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    if (pattern == nullptr)
        return nullptr;
    std::string query = dir == nullptr ? std::string() : std::string(dir);
    query += pattern;
    if (query.size() >= MAX_PATH)
        return nullptr;
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(query.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto *s = new plat_search{handle, pattern};
    if (take_entry(s, found, entry) || next_match(s, entry))
        return s;
    plat_find_close(s);
    return nullptr;
}

bool plat_find_next(plat_search *search, plat_entry *entry)
{
    return search != nullptr && next_match(search, entry);
}

void plat_find_close(plat_search *search)
{
    if (search == nullptr)
        return;
    FindClose(search->handle);
    delete search;
}

bool plat_entry_exists(const char *path)
{
    return fits_max_path(path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

plat_entry_state plat_entry_state_of(const char *path)
{
    plat_entry_state state;
    DWORD attributes = fits_max_path(path) ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return state;
    state.exists = true;
    state.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.plain_file = !state.directory;
    state.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return state;
}

int plat_current_dir(char *buf, std::size_t size)
{
    if (buf == nullptr || size == 0)
        return -1;
    DWORD room = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD length = GetCurrentDirectoryA(room, buf);
    // A result of size or more is the room the text would need: nothing was stored then.
    if (length == 0 || length >= room) {
        buf[0] = '\0';
        return -1;
    }
    return 0;
}

int plat_make_dir(const char *path)
{
    return fits_max_path(path) && CreateDirectoryA(path, nullptr) ? 0 : -1;
}

// MoveFileEx without MOVEFILE_REPLACE_EXISTING refuses an existing target by itself, as
// MoveFileA does: no replacing, no race. Write-through: the move is on disk when it returns.
int plat_move_noreplace(const char *from, const char *to)
{
    return fits_max_path(from) && fits_max_path(to) && MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
}

std::FILE *plat_create_new(const char *path)
{
    if (!fits_max_path(path))
        return nullptr;
    HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileA(path);
        return nullptr;
    }
    std::FILE *f = _fdopen(fd, "wb");
    if (f == nullptr) {
        _close(fd); // closes the handle too
        DeleteFileA(path);
    }
    return f;
}

// Only files on a disk are read: a directory fails the attribute test, and a device name
// such as CON or a pipe opens but is no disk file, so it is closed again unread.
std::FILE *plat_open_for_reading(const char *path)
{
    if (!fits_max_path(path))
        return nullptr;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return nullptr;
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr)
        return nullptr;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

int plat_remove_own_file(const char *path)
{
    return fits_max_path(path) && DeleteFileA(path) ? 0 : -1;
}

// Nothing to prepare: a write beyond a limit fails with an error here, it sends no signal.
void plat_init()
{
}

// MoveFileEx replaces the target in one step when asked to; MoveFileA alone would refuse.
int plat_replace_file(const char *from, const char *to)
{
    if (!fits_max_path(from) || !fits_max_path(to))
        return -1;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int plat_sync_file(std::FILE *f)
{
    if (std::fflush(f) != 0)
        return -1;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) ? 0 : -1;
}

bool plat_is_absolute(const char *path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || (path[0] == '\\' && path[1] == '\\');
}

std::string plat_legacy_to_utf8(std::string_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
    if (units <= 0 ||
        MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units) != units)
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

bool plat_is_plain_name(const char *name)
{
    return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           std::strpbrk(name, "\\/:") == nullptr;
}

struct plat_lock {
    HANDLE mutex;
};

// A named mutex per directory: the name is the directory's full path, upper-cased (Windows
// names compare without case) and with its separators made legal in a mutex name. The
// system destroys the mutex with the last handle, so a killed run holds nothing.
plat_lock_result plat_lock_dir(const char *dir, plat_lock **out, std::string *why)
{
    char full[MAX_PATH];
    const char *path = dir == nullptr || dir[0] == '\0' ? "." : dir;
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    DWORD attributes =
        length > 0 && length < sizeof full ? GetFileAttributesA(full) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (why != nullptr)
            *why = attributes == INVALID_FILE_ATTRIBUTES ? "it cannot be found" : "not a directory";
        return lock_unavailable;
    }
    std::string name = "Local\\vormlin-sort:";
    for (const char *c = full; *c != '\0'; c++)
        name += *c == '\\' || *c == '/'
                    ? '|'
                    : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    while (name.back() == '|')
        name.pop_back();
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        if (why != nullptr)
            *why = "no lock could be made for it";
        return lock_unavailable;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return lock_busy;
    }
    *out = new plat_lock{mutex};
    return lock_taken;
}

void plat_unlock_dir(plat_lock *lock)
{
    if (lock == nullptr)
        return;
    CloseHandle(lock->mutex);
    delete lock;
}

bool plat_same_dir(const char *a, const char *b)
{
    char full_a[MAX_PATH], full_b[MAX_PATH];
    DWORD la = GetFullPathNameA(a[0] == '\0' ? "." : a, sizeof full_a, full_a, nullptr);
    DWORD lb = GetFullPathNameA(b[0] == '\0' ? "." : b, sizeof full_b, full_b, nullptr);
    if (la == 0 || la >= sizeof full_a || lb == 0 || lb >= sizeof full_b)
        return false;
    for (DWORD n = la; n > 3 && full_a[n - 1] == '\\'; n--)
        full_a[n - 1] = '\0';
    for (DWORD n = lb; n > 3 && full_b[n - 1] == '\\'; n--)
        full_b[n - 1] = '\0';
    return lstrcmpiA(full_a, full_b) == 0;
}
