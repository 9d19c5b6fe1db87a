// The plain loop: the file work of one sort done the plainest way, as the floor that progbench
// holds vormlin against. It replays a plan (progbench derives it from the tree vormlin left)
// in the current directory and makes the whole batch durable once, at the end.
// usage: plainloop PLAN
// Plan lines, fields separated by tabs, paths relative to the current directory with "/":
//   d DIR             make a directory
//   r NAME            read the file whole into the buffer (every input once)
//   w N               start new file N, under the hidden name .plainloop-N
//   c OFFSET LENGTH   append bytes of the buffer
//   z LENGTH          append zeros
//   l HEX             append these bytes
//   e                 write the new file out under its hidden name
//   m FROM TO         rename a file (an input, or .plainloop-N into place)
// POSIX: a new file is written and closed, renames are rename(), and one syncfs() at the end
// makes the batch durable. Win32: a new file's handle stays open (shared for delete, so that
// it can be renamed while open) and FlushFileBuffers flushes each once at the end, before it
// is closed; renames are MoveFileExW without flags, which never replaces.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using byte_buffer = std::vector<unsigned char>;

#ifdef _WIN32

std::vector<HANDLE> written_files;

std::wstring wide(const std::string &path)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, w.data(), n);
    return w;
}

// Reads the file into buf, which grows as needed and is reused; *used is its size.
bool read_whole(const std::string &path, byte_buffer *buf, std::size_t *used)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::size_t size = 0;
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (buf->size() - size < 65536)
            buf->resize(buf->size() + (1 << 20));
        ok = ReadFile(h, buf->data() + size, static_cast<DWORD>(buf->size() - size), &got,
                      nullptr) != 0;
        if (!ok || got == 0)
            break;
        size += got;
    }
    CloseHandle(h);
    *used = size;
    return ok;
}

bool write_new(const std::string &path, const byte_buffer &data)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    written_files.push_back(h);
    DWORD put = 0;
    return data.empty() ||
           (WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) != 0 &&
            put == data.size());
}

bool rename_file(const std::string &from, const std::string &to)
{
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != 0;
}

bool make_dir(const std::string &path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) != 0;
}

bool sync_all()
{
    bool ok = true;
    for (HANDLE h : written_files) {
        ok = FlushFileBuffers(h) != 0 && ok;
        CloseHandle(h);
    }
    return ok;
}

#else

// Reads the file into buf, which grows as needed and is reused; *used is its size.
bool read_whole(const std::string &path, byte_buffer *buf, std::size_t *used)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    std::size_t size = 0;
    ssize_t got = 0;
    for (;;) {
        if (buf->size() - size < 65536)
            buf->resize(buf->size() + (1 << 20));
        got = read(fd, buf->data() + size, buf->size() - size);
        if (got <= 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    *used = size;
    return got == 0;
}

bool write_new(const std::string &path, const byte_buffer &data)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    bool ok =
        data.empty() || write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    return close(fd) == 0 && ok;
}

bool rename_file(const std::string &from, const std::string &to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool make_dir(const std::string &path)
{
    return mkdir(path.c_str(), 0755) == 0;
}

bool sync_all()
{
    int fd = open(".", O_RDONLY | O_DIRECTORY);
    bool ok = fd >= 0 && syncfs(fd) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

#endif

// The tab-separated fields of a line.
std::vector<std::string> fields_of(const std::string &line)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
        fields.push_back(line.substr(at, tab - at));
    fields.push_back(line.substr(at));
    return fields;
}

bool append_hex(const std::string &hex, byte_buffer *out)
{
    if (hex.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out->push_back(
            static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

struct replay {
    byte_buffer input, output;
    std::size_t input_size = 0;
    std::string hidden;
};

bool step(replay *r, const std::vector<std::string> &f)
{
    const std::string &op = f[0];
    if (op == "d" && f.size() == 2)
        return make_dir(f[1]);
    if (op == "r" && f.size() == 2)
        return read_whole(f[1], &r->input, &r->input_size);
    if (op == "w" && f.size() == 2) {
        r->hidden = ".plainloop-" + f[1];
        r->output.clear();
        return true;
    }
    if (op == "c" && f.size() == 3) {
        std::size_t offset = std::strtoul(f[1].c_str(), nullptr, 10);
        std::size_t length = std::strtoul(f[2].c_str(), nullptr, 10);
        if (offset > r->input_size || length > r->input_size - offset)
            return false;
        r->output.insert(r->output.end(), r->input.begin() + static_cast<long>(offset),
                         r->input.begin() + static_cast<long>(offset + length));
        return true;
    }
    if (op == "z" && f.size() == 2) {
        r->output.resize(r->output.size() + std::strtoul(f[1].c_str(), nullptr, 10), 0);
        return true;
    }
    if (op == "l" && f.size() == 2)
        return append_hex(f[1], &r->output);
    if (op == "e" && f.size() == 1)
        return write_new(r->hidden, r->output);
    if (op == "m" && f.size() == 3)
        return rename_file(f[1], f[2]);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: plainloop PLAN\n");
        return 2;
    }
    replay r;
    std::size_t plan_size = 0;
    if (!read_whole(argv[1], &r.input, &plan_size)) {
        std::fprintf(stderr, "plainloop: cannot read %s\n", argv[1]);
        return 2;
    }
    std::string plan(reinterpret_cast<const char *>(r.input.data()), plan_size);
    int number = 0;
    for (std::size_t at = 0, nl; (nl = plan.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = plan.substr(at, nl - at);
        number++;
        if (!step(&r, fields_of(line))) {
            std::fprintf(stderr, "plainloop: line %d failed: %s\n", number, line.c_str());
            return 1;
        }
    }
    if (!sync_all()) {
        std::fprintf(stderr, "plainloop: sync failed\n");
        return 1;
    }
    return 0;
}
