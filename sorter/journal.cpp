// The intent journal: one line per step, "move", "new", "publish" or "replace" and the step's
// paths, tab-separated and made absolute, so that a run started from another directory can
// still undo them. A line that a kill cut short is no step.
#include "journal.h"

#include "platform.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *step_words[] = {"move", "new", "publish", "replace"};
constexpr std::size_t directory_room = 4096;

std::FILE *journal = nullptr;
std::string journal_path;
std::vector<std::string> hidden_files; // made under this journal: removed after it

struct step_line {
    journal_step step;
    std::string a, b;
};

std::string absolute(const char *path)
{
    char cwd[directory_room];
    if (plat_is_absolute(path) || plat_current_dir(cwd, sizeof cwd) != 0)
        return path;
    return std::string(cwd) + plat_sep + path;
}

// Paths go in with "%", tabs and line ends (and every other control character) as %XX.
void put_escaped(std::string *out, const std::string &path)
{
    for (unsigned char c : path) {
        if (c < 0x20 || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            *out += hex;
        } else {
            *out += static_cast<char>(c);
        }
    }
}

std::string unescaped(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); i++) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::sscanf(text.c_str() + i + 1, "%2x", &value) == 1) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool parse_line(const std::string &line, step_line *out)
{
    std::size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos)
        return false;
    std::size_t tab2 = line.find('\t', tab1 + 1);
    std::string word = line.substr(0, tab1);
    for (int s = step_move; s <= step_replace; s++) {
        if (word == step_words[s]) {
            out->step = static_cast<journal_step>(s);
            out->a = unescaped(line.substr(tab1 + 1, tab2 - tab1 - 1));
            out->b = tab2 == std::string::npos ? std::string() : unescaped(line.substr(tab2 + 1));
            return true;
        }
    }
    return false;
}

// The complete lines of the journal at path.
std::vector<step_line> read_steps(const std::string &path)
{
    std::vector<step_line> steps;
    std::FILE *f = vfs->open_for_reading(path.c_str());
    if (f == nullptr)
        return steps;
    std::string line;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        step_line s;
        if (parse_line(line, &s))
            steps.push_back(s);
        line.clear();
    }
    std::fclose(f);
    return steps;
}

bool exists(const std::string &path)
{
    return vfs->entry_exists(path.c_str());
}

// Once the replacing image is in place the file's old bytes are gone: its rewrite stands,
// and what is left of it is sorted like any image.
bool committed(const std::vector<step_line> &steps)
{
    for (const step_line &s : steps) {
        if (s.step == step_replace && !exists(s.a))
            return true;
    }
    return false;
}

void undo(const step_line &s)
{
    switch (s.step) {
    case step_move:
        if (!exists(s.a) && exists(s.b))
            vfs->move_noreplace(s.b.c_str(), s.a.c_str());
        break;
    case step_new:
        if (exists(s.a))
            vfs->remove_own_file(s.a.c_str());
        break;
    case step_publish:
        if (!exists(s.a) && exists(s.b))
            vfs->remove_own_file(s.b.c_str());
        break;
    case step_replace:
        break;
    }
}

} // namespace

int journal_begin(const char *dir)
{
    journal_path = std::string(dir != nullptr ? dir : "") + journal_file_name;
    journal = vfs->create_new(journal_path.c_str());
    return journal != nullptr ? 0 : -1;
}

int journal_note(journal_step step, const char *a, const char *b)
{
    if (journal == nullptr)
        return -1;
    if (step == step_new)
        hidden_files.emplace_back(a);
    std::string line = step_words[step];
    line += '\t';
    put_escaped(&line, absolute(a));
    if (b != nullptr) {
        line += '\t';
        put_escaped(&line, absolute(b));
    }
    line += '\n';
    // Flushed to the system, which keeps it across a kill of this process. It is not forced
    // onto the disk: after a power cut a lost line can only leave an original in bak, while
    // the images themselves are forced to disk before they are published.
    bool written = std::fwrite(line.data(), 1, line.size(), journal) == line.size();
    return written && std::fflush(journal) == 0 ? 0 : -1;
}

void remove_leftover(const char *path)
{
    plat_entry_state state = vfs->entry_state(path);
    if (state.plain_file && !state.link)
        vfs->remove_own_file(path);
}

void journal_end()
{
    if (journal == nullptr)
        return;
    std::fclose(journal);
    journal = nullptr;
    // The journal goes first: while it stands, a hidden file that is gone means a step made.
    vfs->remove_own_file(journal_path.c_str());
    for (const std::string &path : hidden_files)
        remove_leftover(path.c_str());
    hidden_files.clear();
}

void journal_recover(const char *dir)
{
    std::string path = std::string(dir != nullptr ? dir : "") + journal_file_name;
    if (vfs->entry_state(path.c_str()).plain_file) {
        std::vector<step_line> steps = read_steps(path);
        if (!committed(steps)) {
            for (auto s = steps.rbegin(); s != steps.rend(); ++s)
                undo(*s);
        }
        vfs->remove_own_file(path.c_str());
    }
    remove_leftover((std::string(dir != nullptr ? dir : "") + hidden_image_name).c_str());
    remove_leftover(hidden_split_name);
}
