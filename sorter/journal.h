// The journal of one file's change, as text: what the sorter writes before each step of a
// rewrite, and the strict reading of it that recovery trusts. A journal speaks only of its
// own directory: every name in it is relative to the directory it sits in, and only of the
// shapes the sorter itself writes. Each step names the file it moved or made by its size and
// CRC-32, so that undoing it touches a file only when it is that file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Names the sorter keeps for itself. Scans skip them (they begin with "."), and a file of
// such a name is only ever one that the sorter made.
inline constexpr char journal_file_name[] = ".vormlin-journal";
inline constexpr char hidden_image_name[] = ".vormlin-image";  // a normalised image being written
inline constexpr char hidden_split_name[] = ".vormlin-split";  // a temporary image being written
inline constexpr char hidden_report_name[] = ".vormlin-miss";  // miss.txt being written
inline constexpr char hidden_journal_name[] = ".vormlin-undo"; // a journal being rewritten
inline constexpr char own_names_pattern[] = ".vormlin-*";      // every name above
inline constexpr char backup_dir_name[] = "bak";

// Changes planned ahead are made durable together (group commit): each has a slot, and its
// journal and hidden files carry the slot's number ("-1" ... "-64") after their names; slot 0,
// a change planned on its own, none. A journal's text names the hidden files without the
// number: it means those of its own slot.
inline constexpr int slot_count = 65;
std::string slot_name(const char *name, int slot);

// No journal the sorter writes comes near these; anything larger is no journal of ours.
inline constexpr std::size_t journal_size_max = 64 * 1024;
inline constexpr std::size_t journal_line_max = 4096;
inline constexpr std::size_t journal_steps_max = 16;

// What a file is, by content.
struct file_identity {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const file_identity &) const = default;
};

// The identity of bytes in memory.
file_identity identity_of_bytes(const std::uint8_t *bytes, std::size_t size);
// Adds bytes to an identity being built as a file is written.
void identity_add(file_identity *id, const std::uint8_t *bytes, std::size_t size);
// The identity of the plain file at path, read through the file-system table; false when it
// cannot be read.
bool identity_of_file(const char *path, file_identity *out);

// Which journal: the image's, in the directory of the file being rewritten, or the temporary
// images', in the current directory when that is another directory.
enum journal_role { role_image, role_temps };

enum step_kind {
    step_move,    // a, the original, moves to b under bak/
    step_new,     // the hidden file a is created
    step_publish, // the hidden file a is moved to the free name b
    step_replace, // the hidden file a replaces the "tmp" file b: once made, the change stands
};

struct journal_step {
    step_kind kind = step_new;
    std::string a, b;       // relative to the journal's directory; "/" between bak and a name
    file_identity identity; // of the file moved (move) or made (publish, replace)
};

struct journal_text {
    journal_role role = role_image;
    std::string change; // the change's id: the image's journal and its temporary images'
    std::vector<journal_step> steps;
};

// A new change id, different for every change of every run.
std::string new_change_id();

// The journal's first line, and the line of one step. A step whose names are not of the
// shapes a journal may hold gives "" (it must then not be made).
std::string journal_header(journal_role role, const std::string &change);
std::string journal_line(const journal_step &step);

// Reads a whole journal text. False, with the reason in *why, when it is not one this sorter
// writes; a last line without its line end is what a kill leaves, and is ignored.
bool journal_parse(const std::string &text, journal_text *out, std::string *why);
