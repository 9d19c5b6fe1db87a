// Group commit. When a file needs a rewrite and nothing was planned for it, its change is
// planned as on its own, and the files of the scan after it are read and analysed (which
// changes nothing): those that need a rewrite get their changes planned in the free slots,
// journals and hidden files written, names chosen as their turns will choose them, given the
// changes planned before them. One sync then makes all of them durable. A planned change
// stands on disk only as journals and hidden files until its turn, so a kill or a power cut
// meanwhile leaves recovery nothing to undo but to remove them.
//
// The analysis of a file read ahead that needs no rewrite is kept for its turn, which then
// neither reads nor analyses it again. A file with a planned change is read again at its
// turn, and its change made only when the file still holds the bytes it was planned from.
#include "batch.h"

#include "change.h"
#include "path.h"
#include "process.h"
#include "rewrite.h"
#include "split.h"
#include "vfs.h"

#include <cstring>
#include <memory>

namespace {

// How many files from the current one a plan reads at most: about four times the slots,
// since most files of a collection need no rewrite.
constexpr std::size_t look_ahead = 4 * (slot_count - 1);

struct scan_state {
    bool on = false;
    std::string dir, pattern;
    std::vector<std::string> names; // the scan's files as last listed
    std::size_t next = 0;           // the first name whose turn has not come
    unsigned options = 0;
};

scan_state scan;
// A file read ahead of its turn, by name: the scan's list may be made anew meanwhile.
struct read_ahead {
    std::string name;
    image_job job;        // its bytes let go
    bool planned = false; // job.change is planned, in a slot of its own
};
std::vector<std::unique_ptr<read_ahead>> ahead;

// The first slot that no change planned ahead holds, or 0 when the group is full. One pass
// over the files read ahead: a group fills a slot at a time, up to 256 files ahead.
int free_slot()
{
    bool used[slot_count] = {};
    for (const auto &a : ahead) {
        int slot = a->job.change.slot;
        if (a->planned && slot >= 0 && slot < slot_count)
            used[slot] = true;
    }
    for (int slot = 1; slot < slot_count && slot <= group_size; slot++) {
        if (!used[slot])
            return slot;
    }
    return 0;
}

bool is_read_ahead(const std::string &name)
{
    for (const auto &a : ahead) {
        if (name == a->name)
            return true;
    }
    return false;
}

void list_scan()
{
    scan.names = vfs_names(scan.dir.c_str(), scan.pattern.c_str());
    scan.next = 0;
}

std::size_t find_from_next(const char *name)
{
    for (std::size_t i = scan.next; i < scan.names.size(); i++) {
        if (scan.names[i] == name) {
            scan.next = i + 1;
            return i;
        }
    }
    return scan.names.size();
}

// Where the scan is: the index of name, the file whose turn it is, or the end. A file the
// run itself has added (a temporary image) is found by listing the directory again.
std::size_t position_of(const char *name)
{
    std::size_t at = find_from_next(name);
    if (at < scan.names.size())
        return at;
    list_scan();
    return find_from_next(name);
}

// Reads and analyses the file name ahead of its turn, and plans its change in slot when it
// needs a rewrite; temps holds the temporary images' names planned before it, and gets its
// own. Kept unless its turn must read it again.
void read_one_ahead(const std::string &name, int slot, std::vector<std::string> *temps)
{
    auto a = std::make_unique<read_ahead>();
    a->name = name;
    image_job *job = &a->job;
    job->options = scan.options;
    job->ahead = true;
    job->temps_planned = temps;
    if (!analyse_image(job, a->name.c_str(), scan.dir.c_str()))
        return;
    if (job->sides > 0 && job->reasons != 0) {
        if (!rewrite_plan(job, slot))
            return;
        // A change whose split failed is planned anew at its turn, which may split.
        if (job->split != split_none && job->split != split_prepared) {
            change_drop(&job->change);
            return;
        }
        if (job->split == split_prepared)
            temps->push_back(job->temp_name);
        a->planned = true;
    }
    job->image.bytes.reset();
    job->image.size = 0;
    job->temps_planned = nullptr;
    ahead.push_back(std::move(a));
}

// One sync for the changes read ahead from first on and for own's (when given); those read
// ahead that did not become durable go. Whether own's did.
bool make_durable_together(std::size_t first, file_change *own)
{
    std::vector<vfs_file *> files;
    vfs_file *of_change[change_sync_files_max];
    for (std::size_t i = first; i < ahead.size(); i++) {
        std::size_t n = change_files_to_sync(&ahead[i]->job.change, of_change);
        files.insert(files.end(), of_change, of_change + n);
    }
    if (own != nullptr) {
        std::size_t n = change_files_to_sync(own, of_change);
        files.insert(files.end(), of_change, of_change + n);
    }
    bool synced = files.empty() || vfs->sync_together(files.data(), files.size()) == 0;
    for (std::size_t i = ahead.size(); i-- > first;) {
        image_job &job = ahead[i]->job;
        if (ahead[i]->planned && change_durable(&job.change, synced) != 0) {
            change_drop(&job.change);
            ahead.erase(ahead.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return own == nullptr || change_durable(own, synced) == 0;
}

// Reads the files from index from on, within the look-ahead of the file at index at, and
// plans their changes in the free slots; temps holds the temporary images' names planned
// before them.
void read_ahead_from(std::size_t at, std::size_t from, std::vector<std::string> *temps)
{
    const std::vector<std::string> &names = scan.names;
    int saved_counter = temp_counter; // each file's turn chooses its temporary image anew
    for (std::size_t i = from; i < names.size() && i < at + look_ahead; i++) {
        int slot = free_slot();
        if (slot == 0)
            break;
        if (!is_read_ahead(names[i]))
            read_one_ahead(names[i], slot, temps);
    }
    temp_counter = saved_counter;
}

// Takes the file name read ahead out of the list, when it is there and planned says whether
// its change was.
std::unique_ptr<read_ahead> take_read_ahead(const char *name, bool planned)
{
    for (auto it = ahead.begin(); it != ahead.end(); ++it) {
        if ((*it)->name == name && (*it)->planned == planned) {
            std::unique_ptr<read_ahead> a = std::move(*it);
            ahead.erase(it);
            return a;
        }
    }
    return nullptr;
}

// Whether the change planned as p is the one job's turn makes: the same bytes read, the same
// decisions, and the same names chosen (the temporary image's is chosen here, as the turn
// would, and kept for the turn).
bool still_current(image_job *job, const image_job &p)
{
    if (!(job->original == p.original) || job->reasons != p.reasons || job->entry != p.entry ||
        job->retained != p.retained || job->sides != p.sides ||
        std::string(job->new_path) != p.new_path || !rewrite_planned_is_current(&p))
        return false;
    if (p.split != split_prepared)
        return true;
    int saved_counter = temp_counter;
    char name[temp_name_buffer_size];
    const char *here = p.change.temps_apart ? "" : path_file_part(job->new_path);
    if (choose_temp_name(name, sizeof name, here) && std::string(name) == p.temp_name)
        return true;
    temp_counter = saved_counter;
    return false;
}

} // namespace

int group_size = slot_count - 1;

void batch_begin_scan(const char *dir, const char *pattern, unsigned options,
                      std::vector<std::string> names)
{
    batch_end_scan();
    scan.on = true;
    scan.dir = dir != nullptr ? dir : "";
    scan.pattern = pattern;
    scan.options = options;
    scan.names = std::move(names);
    change_keep_journals();
}

void batch_end_scan()
{
    for (auto &a : ahead) {
        if (a->planned)
            change_drop(&a->job.change);
    }
    ahead.clear();
    change_release_journals();
    scan = scan_state{};
}

bool batch_take_read_ahead(image_job *job, const char *name, const char *dir)
{
    if (!scan.on || scan.dir != (dir != nullptr ? dir : ""))
        return false;
    std::unique_ptr<read_ahead> a = take_read_ahead(name, false);
    if (a == nullptr)
        return false;
    *job = std::move(a->job);
    job->name = name;
    job->ahead = false;
    return true;
}

bool adopt_planned_change(image_job *job)
{
    std::unique_ptr<read_ahead> a =
        scan.on && job->name != nullptr ? take_read_ahead(job->name, true) : nullptr;
    if (a == nullptr)
        return false;
    image_job &planned_job = a->job;
    if (!still_current(job, planned_job)) {
        change_drop(&planned_job.change);
        return false;
    }
    job->change = std::move(planned_job.change);
    job->outcome = planned_job.outcome;
    job->split = planned_job.split;
    std::memcpy(job->temp_name, planned_job.temp_name, sizeof job->temp_name);
    std::memcpy(job->backup_target, planned_job.backup_target, sizeof job->backup_target);
    return true;
}

int batch_make_durable(image_job *job)
{
    std::size_t at = scan.on && job->name != nullptr ? position_of(job->name) : scan.names.size();
    if (at >= scan.names.size())
        return change_make_durable(&job->change);
    std::vector<std::string> temps;
    if (job->split == split_prepared)
        temps.push_back(job->temp_name);
    std::size_t first = ahead.size();
    read_ahead_from(at, at + 1, &temps);
    return make_durable_together(first, &job->change) ? 0 : -1;
}
