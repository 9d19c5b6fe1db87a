// Win32 side of the platform layer: every file-system call is a wide ("W") call, the UTF-8
// paths of the programs converted to UTF-16 right before it and names converted back right
// after, so that every name Windows can store works whatever the system's code page. Paths
// longer than MAX_PATH fail cleanly instead of being cut.
#include "platform.h"

#include "platform_win32.h"
#include "wildcard.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

const char plat_line_end[] = "\r\n";
const char plat_sep = '\\';

// Text of a code page as UTF-16; flags as MultiByteToWideChar takes them (MB_ERR_INVALID_CHARS:
// fail on a bad byte rather than put U+FFFD in its place).
static bool to_wide(UINT code_page, DWORD flags, std::string_view text, std::wstring *out)
{
    out->clear();
    if (text.empty())
        return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX))
        return false;
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
    if (units <= 0)
        return false;
    out->resize(static_cast<std::size_t>(units));
    return MultiByteToWideChar(code_page, flags, text.data(), length, out->data(), units) == units;
}

bool utf8_to_wide(std::string_view text, std::wstring *out)
{
    return to_wide(CP_UTF8, MB_ERR_INVALID_CHARS, text, out);
}

std::string wide_to_utf8(std::wstring_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();
    int units = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

// The C runtime's own split of the wide command line, with the rules that split argv; msvcrt
// has it, so the programs need no further DLL for it. No wildcard is expanded.
struct runtime_startup_info {
    int new_mode;
};
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int expand_wildcards,
                              runtime_startup_info *info);

std::vector<std::string> plat_arguments(int argc, char **argv)
{
    int count = 0;
    wchar_t **wide = nullptr, **environment = nullptr;
    runtime_startup_info info = {0};
    if (__wgetmainargs(&count, &wide, &environment, 0, &info) < 0 || wide == nullptr ||
        count != argc)
        return std::vector<std::string>(argv, argv + argc); // as the C runtime split them
    std::vector<std::string> args;
    for (int i = 0; i < count; i++)
        args.push_back(wide_to_utf8(wide[i]));
    return args;
}

// A console window shows wide characters whatever its code page; text that is not valid
// UTF-8 shows its bad bytes as U+FFFD there.
void plat_write_text(std::FILE *stream, const char *text, std::size_t size)
{
    HANDLE console = stream == stdout   ? GetStdHandle(STD_OUTPUT_HANDLE)
                     : stream == stderr ? GetStdHandle(STD_ERROR_HANDLE)
                                        : INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode) || size > INT_MAX) {
        std::fwrite(text, 1, size, stream);
        return;
    }
    std::fflush(stream);
    std::wstring wide;
    DWORD written = 0;
    if (to_wide(CP_UTF8, 0, std::string_view(text, size), &wide))
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

namespace {

// A path for a wide call: valid UTF-8 that fits MAX_PATH; false otherwise.
bool wide_path(const char *path, std::wstring *out)
{
    return path != nullptr && utf8_to_wide(path, out) && out->size() < MAX_PATH;
}

// The full path of path (empty for the current directory), without final separators
// (a root keeps its own).
bool full_path(const char *path, std::wstring *out)
{
    std::wstring wide;
    if (!wide_path(path == nullptr || path[0] == '\0' ? "." : path, &wide))
        return false;
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    while (length > 3 && full[length - 1] == L'\\')
        length--;
    out->assign(full, length);
    return true;
}

DWORD attributes_of(const char *path)
{
    std::wstring wide;
    return wide_path(path, &wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
}

} // namespace

struct plat_search {
    HANDLE handle;
    std::string pattern;
};

// FindFirstFileW also matches 8.3 short names ("*.fds" finds "game.fdsx" through GAME~1.FDS)
// and its "?" may match nothing at the end of a name. Checking the long name against the
// pattern again keeps the search exactly as the header promises, the same as on POSIX.
static bool take_entry(const plat_search *s, const WIN32_FIND_DATAW &found, plat_entry *entry)
{
    std::string name = wide_to_utf8(std::wstring_view(
        found.cFileName, wcsnlen(found.cFileName, sizeof found.cFileName / sizeof(wchar_t))));
    if (name.empty() || name.size() > entry_name_max ||
        !wildcard_match(s->pattern.c_str(), name.c_str()))
        return false;
    std::memcpy(entry->name, name.c_str(), name.size() + 1);
    entry->plain_file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

static bool next_match(plat_search *s, plat_entry *entry)
{
    WIN32_FIND_DATAW found;
    while (FindNextFileW(s->handle, &found)) {
        if (take_entry(s, found, entry))
            return true;
    }
    return false;
}

plat_search *plat_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    std::wstring query;
    if (pattern == nullptr ||
        !wide_path((std::string(dir != nullptr ? dir : "") + pattern).c_str(), &query))
        return nullptr;
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(query.c_str(), &found);
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
    return attributes_of(path) != INVALID_FILE_ATTRIBUTES;
}

plat_entry_state plat_entry_state_of(const char *path)
{
    plat_entry_state state;
    DWORD attributes = attributes_of(path);
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
    buf[0] = '\0';
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring wide(needed, L'\0');
    DWORD length = needed > 0 ? GetCurrentDirectoryW(needed, wide.data()) : 0;
    if (length == 0 || length >= needed)
        return -1;
    std::string text = wide_to_utf8(std::wstring_view(wide.data(), length));
    if (text.size() >= size)
        return -1;
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return 0;
}

int plat_make_dir(const char *path)
{
    std::wstring wide;
    return wide_path(path, &wide) && CreateDirectoryW(wide.c_str(), nullptr) ? 0 : -1;
}

// MoveFileEx without MOVEFILE_REPLACE_EXISTING refuses an existing target by itself, as
// MoveFileA does: no replacing, no race. Write-through: the move is on disk when it returns.
// NTFS logs a rename and would keep it whole without the flag; a FAT or exFAT drive with
// write caching on does not, and a move of an original into bak writes two directories, which
// its cache may put on disk in either order. Write-through writes them in the order made, so
// a power cut cannot leave the original in neither. (POSIX has no such flag: a rename on the
// journalled file systems it runs on is whole without it.)
int plat_move_noreplace(const char *from, const char *to)
{
    std::wstring wide_from, wide_to;
    return wide_path(from, &wide_from) && wide_path(to, &wide_to) &&
                   MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
}

std::FILE *plat_create_new(const char *path)
{
    std::wstring wide;
    if (!wide_path(path, &wide))
        return nullptr;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileW(wide.c_str());
        return nullptr;
    }
    std::FILE *f = _fdopen(fd, "wb");
    if (f == nullptr) {
        _close(fd); // closes the handle too
        DeleteFileW(wide.c_str());
    }
    return f;
}

// Only files on a disk are read: a directory does not open (a plain open of one needs
// FILE_FLAG_BACKUP_SEMANTICS), and a device name such as CON or a pipe opens but is no disk
// file, so it is closed again unread.
std::FILE *plat_open_for_reading(const char *path, long long *length)
{
    std::wstring wide;
    if (!wide_path(path, &wide))
        return nullptr;
    std::FILE *f = _wfopen(wide.c_str(), L"rb");
    if (f == nullptr)
        return nullptr;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    LARGE_INTEGER size{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        (length != nullptr && !GetFileSizeEx(handle, &size))) {
        std::fclose(f);
        return nullptr;
    }
    if (length != nullptr)
        *length = size.QuadPart;
    return f;
}

int plat_remove_own_file(const char *path)
{
    std::wstring wide;
    return wide_path(path, &wide) && DeleteFileW(wide.c_str()) ? 0 : -1;
}

void plat_init()
{
}

// MoveFileEx replaces the target in one step when asked to; MoveFileA alone would refuse.
// Write-through as at plat_move_noreplace.
int plat_replace_file(const char *from, const char *to)
{
    std::wstring wide_from, wide_to;
    return wide_path(from, &wide_from) && wide_path(to, &wide_to) &&
                   MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
}

int plat_sync_file(std::FILE *f)
{
    if (std::fflush(f) != 0)
        return -1;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) ? 0 : -1;
}

int plat_rewind_file(std::FILE *f)
{
    return std::fflush(f) == 0 && _chsize(_fileno(f), 1) == 0 && std::fseek(f, 0, SEEK_SET) == 0
               ? 0
               : -1;
}

// Windows has no call that syncs a volume for an ordinary user: each file is flushed.
int plat_sync_files(std::FILE *const *files, std::size_t count)
{
    for (std::size_t i = 0; i < count; i++) {
        if (plat_sync_file(files[i]) != 0)
            return -1;
    }
    return 0;
}

bool plat_is_absolute(const char *path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || (path[0] == '\\' && path[1] == '\\');
}

std::string plat_legacy_to_utf8(std::string_view text)
{
    std::wstring wide;
    return to_wide(CP_ACP, 0, text, &wide) ? wide_to_utf8(wide) : std::string();
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
    std::wstring full;
    DWORD attributes =
        full_path(dir, &full) ? GetFileAttributesW(full.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (why != nullptr)
            *why = attributes == INVALID_FILE_ATTRIBUTES ? "it cannot be found" : "not a directory";
        return lock_unavailable;
    }
    std::wstring upper(full.size(), L'\0');
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.data(), static_cast<int>(full.size()),
                 upper.data(), static_cast<int>(upper.size()));
    std::wstring name = L"Local\\vormlin-sort:";
    for (wchar_t c : upper)
        name += c == L'\\' || c == L'/' ? L'|' : c;
    while (name.back() == L'|')
        name.pop_back();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
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
    std::wstring full_a, full_b;
    return full_path(a, &full_a) && full_path(b, &full_b) &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, full_a.c_str(),
                          static_cast<int>(full_a.size()), full_b.c_str(),
                          static_cast<int>(full_b.size())) == CSTR_EQUAL;
}
