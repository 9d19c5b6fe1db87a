// The journal's text: a header line, then one line per step, fields separated by tabs, names
// with "%", control characters and DEL written as %XX. Reading accepts exactly what writing
// produces, in the order the sorter makes its steps, and nothing else.
#include "journal.h"

#include "crc.h"
#include "name_limits.h"
#include "platform.h"
#include "vfs.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr char header_word[] = "vormlin-journal";
constexpr char format_version[] = "1";
constexpr const char *role_words[] = {"image", "temps"};
constexpr const char *step_words[] = {"move", "new", "publish", "replace"};
constexpr std::size_t change_id_digits = 16;
constexpr std::size_t read_chunk = 64 * 1024;
constexpr char temp_prefix[] = "tmp";
constexpr char fds_extension[] = ".fds";

bool needs_escape(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '%';
}

void put_escaped(std::string *out, const std::string &name)
{
    for (unsigned char c : name) {
        if (needs_escape(c)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            *out += hex;
        } else {
            *out += static_cast<char>(c);
        }
    }
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The name a field stands for; false for a bad escape, an escape the writer would not have
// made, or a NUL.
bool unescape(const std::string &field, std::string *out)
{
    out->clear();
    for (std::size_t i = 0; i < field.size(); i++) {
        auto c = static_cast<unsigned char>(field[i]);
        if (c != '%') {
            if (needs_escape(c))
                return false;
            *out += field[i];
            continue;
        }
        int high = i + 2 < field.size() ? hex_value(field[i + 1]) : -1;
        int low = i + 2 < field.size() ? hex_value(field[i + 2]) : -1;
        if (high < 0 || low < 0 || !needs_escape(static_cast<unsigned char>(high * 16 + low)) ||
            high * 16 + low == 0)
            return false;
        *out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool starts_with(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ends_with(const std::string &s, const char *suffix)
{
    std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool all_digits(const std::string &s, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; i++) {
        if (s[i] < '0' || s[i] > '9')
            return false;
    }
    return from < to;
}

// A file name of the directory itself, as the sorter may have given one.
bool is_plain_name(const std::string &name)
{
    return name.size() <= path_max && name.find('\0') == std::string::npos &&
           plat_is_plain_name(name.c_str());
}

bool is_hidden_name(const std::string &name)
{
    return name == hidden_image_name || name == hidden_split_name;
}

// An image's name: plain and not one that scans pass over.
bool is_image_name(const std::string &name)
{
    return is_plain_name(name) && name[0] != '.';
}

// "tmp%04u.fds" for a counter of at most 10000.
bool is_temp_name(const std::string &name)
{
    std::size_t digits = name.size() - (sizeof temp_prefix - 1) - (sizeof fds_extension - 1);
    return starts_with(name, temp_prefix) && ends_with(name, fds_extension) &&
           (digits == 4 || digits == 5) &&
           all_digits(name, sizeof temp_prefix - 1, sizeof temp_prefix - 1 + digits);
}

// The name a rewrite gives the image of name: its extension replaced by ".fds".
std::string fds_name_of(const std::string &name)
{
    std::size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + fds_extension;
}

// The backup of name: bak/ and the name, its last character replaced by a digit when the
// plain name was taken.
bool is_backup_of(const std::string &target, const std::string &name)
{
    std::string prefix = std::string(backup_dir_name) + "/";
    if (!starts_with(target, prefix.c_str()))
        return false;
    std::string in_bak = target.substr(prefix.size());
    if (in_bak == name)
        return true;
    return in_bak.size() == name.size() &&
           in_bak.compare(0, name.size() - 1, name, 0, name.size() - 1) == 0 &&
           in_bak.back() >= '0' && in_bak.back() <= '9';
}

// Whether the step's names have the shapes the sorter writes for its kind.
bool has_step_shape(const journal_step &s)
{
    switch (s.kind) {
    case step_move:
        return is_image_name(s.a) && is_backup_of(s.b, s.a);
    case step_new:
        return is_hidden_name(s.a) && s.b.empty();
    case step_publish:
        return s.a == hidden_split_name ? is_temp_name(s.b)
                                        : s.a == hidden_image_name && is_image_name(s.b) &&
                                              ends_with(s.b, fds_extension);
    case step_replace:
        return s.a == hidden_image_name && is_image_name(s.b) && starts_with(s.b, temp_prefix) &&
               ends_with(s.b, fds_extension);
    }
    return false;
}

std::vector<std::string> split_fields(const std::string &line)
{
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    return fields;
}

bool parse_identity(const std::string &size, const std::string &crc, file_identity *out)
{
    if (size.size() > 15 || !all_digits(size, 0, size.size()) || crc.size() != 8)
        return false;
    out->size = std::strtoull(size.c_str(), nullptr, 10);
    out->crc = 0;
    for (char c : crc) {
        int v = hex_value(c);
        if (v < 0)
            return false;
        out->crc = out->crc << 4 | static_cast<std::uint32_t>(v);
    }
    return true;
}

// One step line; false when it is none the sorter writes.
bool parse_step(const std::string &line, journal_step *out)
{
    std::vector<std::string> f = split_fields(line);
    int kind = -1;
    for (int k = step_move; k <= step_replace; k++) {
        if (f[0] == step_words[k])
            kind = k;
    }
    std::size_t want = kind == step_new ? 2 : 5;
    if (kind < 0 || f.size() != want || !unescape(f[1], &out->a))
        return false;
    out->kind = static_cast<step_kind>(kind);
    out->b.clear();
    out->identity = file_identity{};
    if (kind != step_new &&
        (!unescape(f[2], &out->b) || !parse_identity(f[3], f[4], &out->identity)))
        return false;
    return has_step_shape(*out);
}

bool parse_header(const std::string &line, journal_text *out)
{
    std::vector<std::string> f = split_fields(line);
    if (f.size() != 4 || f[0] != header_word || f[1] != format_version ||
        f[3].size() != change_id_digits)
        return false;
    for (char c : f[3]) {
        if (hex_value(c) < 0)
            return false;
    }
    for (int r = role_image; r <= role_temps; r++) {
        if (f[2] == role_words[r]) {
            out->role = static_cast<journal_role>(r);
            out->change = f[3];
            return true;
        }
    }
    return false;
}

// Whether step may follow the steps before it: each kind at most once per hidden file, a
// publish or replace only after its hidden file was made, a backup only first, and in the
// temporary images' journal only their steps. The image published after a backup bears the
// backed-up file's name with the extension ".fds"; an image replaced was never backed up.
bool fits_order(const journal_text &j, const journal_step &step)
{
    bool made = false, placed = false;
    const journal_step *backup = nullptr;
    for (const journal_step &s : j.steps) {
        if (s.kind == step_move)
            backup = &s;
        if (s.kind == step_new && s.a == step.a)
            made = true;
        if ((s.kind == step_publish || s.kind == step_replace) && s.a == step.a)
            placed = true;
    }
    if (j.role == role_temps && step.a != hidden_split_name)
        return false;
    switch (step.kind) {
    case step_move:
        return j.steps.empty();
    case step_new:
        return !made;
    case step_publish:
        return made && !placed &&
               (backup == nullptr || step.a != hidden_image_name ||
                step.b == fds_name_of(backup->a));
    case step_replace:
        return made && !placed && backup == nullptr;
    }
    return false;
}

std::string line_reason(std::size_t number, const char *what)
{
    return "line " + std::to_string(number) + " " + what;
}

} // namespace

file_identity identity_of_bytes(const std::uint8_t *bytes, std::size_t size)
{
    file_identity id;
    identity_add(&id, bytes, size);
    return id;
}

void identity_add(file_identity *id, const std::uint8_t *bytes, std::size_t size)
{
    id->crc = crc_continue(id->crc, bytes, size);
    id->size += size;
}

bool identity_of_file(const char *path, file_identity *out)
{
    vfs_file *f = vfs->open_for_reading(path);
    if (f == nullptr)
        return false;
    long long length = vfs_length(f);
    std::vector<std::uint8_t> chunk(read_chunk);
    file_identity id;
    std::size_t n;
    while ((n = vfs_read(f, chunk.data(), chunk.size())) > 0)
        identity_add(&id, chunk.data(), n);
    vfs_close(f);
    *out = id;
    return length >= 0 && id.size == static_cast<unsigned long long>(length);
}

std::string slot_name(const char *name, int slot)
{
    return slot == 0 ? std::string(name) : std::string(name) + "-" + std::to_string(slot);
}

std::string new_change_id()
{
    static unsigned long long made = 0;
    auto now = static_cast<unsigned long long>(
        std::chrono::system_clock::now().time_since_epoch().count());
    unsigned long long mixed = (now ^ (++made * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
    char id[change_id_digits + 1];
    std::snprintf(id, sizeof id, "%016llX", mixed);
    return id;
}

std::string journal_header(journal_role role, const std::string &change)
{
    return std::string(header_word) + "\t" + format_version + "\t" + role_words[role] + "\t" +
           change + "\n";
}

std::string journal_line(const journal_step &step)
{
    if (!has_step_shape(step))
        return "";
    std::string line = step_words[step.kind];
    line += '\t';
    put_escaped(&line, step.a);
    if (step.kind != step_new) {
        line += '\t';
        put_escaped(&line, step.b);
        char identity[40];
        std::snprintf(identity, sizeof identity, "\t%llu\t%08X",
                      static_cast<unsigned long long>(step.identity.size),
                      static_cast<unsigned>(step.identity.crc));
        line += identity;
    }
    return line + "\n";
}

bool journal_parse(const std::string &text, journal_text *out, std::string *why)
{
    *out = journal_text{};
    if (text.size() > journal_size_max) {
        *why = "it is larger than any journal the sorter writes";
        return false;
    }
    std::size_t number = 0;
    for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos;
         from = end + 1) {
        std::string line = text.substr(from, end - from);
        number++;
        journal_step step;
        if (line.size() > journal_line_max) {
            *why = line_reason(number, "is longer than any the sorter writes");
            return false;
        }
        if (number == 1) {
            if (!parse_header(line, out)) {
                *why = "it does not begin with the sorter's journal header";
                return false;
            }
        } else if (!parse_step(line, &step)) {
            *why = line_reason(number, "is not a step the sorter writes, or names a file "
                                       "outside its folder");
            return false;
        } else if (out->steps.size() >= journal_steps_max || !fits_order(*out, step)) {
            *why = line_reason(number, "is out of the order in which the sorter makes its steps");
            return false;
        } else {
            out->steps.push_back(step);
        }
    }
    return true;
}
