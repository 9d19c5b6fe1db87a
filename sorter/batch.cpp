// Group commit. When a file's turn comes and no change was planned for it, the files of the
// scan from it on are read and analysed (which changes nothing), and those that need a
// rewrite get their changes planned in the free slots: journals and hidden files written,
// names chosen as their turns will choose them, given the changes planned before them. One
// sync then makes all of them durable. A planned change stands on disk only as journals and
// hidden files until its turn, so a kill or a power cut meanwhile leaves recovery nothing to
// undo but to remove them.
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

// How many files after the current one a plan reads at most: about four times the slots,
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
// A change planned ahead, with its file's name: the scan's list may be made anew meanwhile.
struct planned_change {
    std::string name;
    image_job job;
};
std::vector<std::unique_ptr<planned_change>> planned;

bool slot_in_use(int slot)
{
    for (const auto &p : planned) {
        if (p->job.change.slot == slot)
            return true;
    }
    return false;
}

int free_slot()
{
    for (int slot = 1; slot < slot_count && slot <= group_size; slot++) {
        if (!slot_in_use(slot))
            return slot;
    }
    return 0;
}

bool is_planned(const std::string &name)
{
    for (const auto &p : planned) {
        if (name == p->name)
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

// Plans the change of the file name when it needs a rewrite; temps holds the temporary
// images' names planned before it, and gets its own.
void plan_one(const std::string &name, int slot, std::vector<std::string> *temps)
{
    auto p = std::make_unique<planned_change>();
    p->name = name;
    image_job *job = &p->job;
    job->options = scan.options;
    job->ahead = true;
    job->temps_planned = temps;
    if (!analyse_image(job, p->name.c_str(), scan.dir.c_str()) || job->sides == 0 ||
        job->reasons == 0 || !rewrite_plan(job, slot))
        return;
    // A change whose split failed is planned anew at its turn, which may split.
    if (job->split != split_none && job->split != split_prepared) {
        change_drop(&job->change);
        return;
    }
    if (job->split == split_prepared)
        temps->push_back(job->temp_name);
    job->image.bytes.reset();
    job->image.size = 0;
    job->temps_planned = nullptr;
    planned.push_back(std::move(p));
}

// One sync for the changes planned from first on; those that did not become durable go.
void make_durable_together(std::size_t first)
{
    std::vector<vfs_file *> files;
    for (std::size_t i = first; i < planned.size(); i++) {
        vfs_file *of_change[change_sync_files_max];
        std::size_t n = change_files_to_sync(&planned[i]->job.change, of_change);
        files.insert(files.end(), of_change, of_change + n);
    }
    bool synced = files.empty() || vfs->sync_together(files.data(), files.size()) == 0;
    for (std::size_t i = planned.size(); i-- > first;) {
        if (change_durable(&planned[i]->job.change, synced) != 0) {
            change_drop(&planned[i]->job.change);
            planned.erase(planned.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// Plans the changes of the file at index at and of the files after it, as many as there are
// free slots and within the look-ahead.
void plan_from(std::size_t at)
{
    const std::vector<std::string> &names = scan.names;
    std::size_t first = planned.size();
    int saved_counter = temp_counter; // each file's turn chooses its temporary image anew
    std::vector<std::string> temps;
    for (std::size_t i = at; i < names.size() && i < at + look_ahead; i++) {
        int slot = free_slot();
        if (slot == 0)
            break;
        if (!is_planned(names[i]))
            plan_one(names[i], slot, &temps);
    }
    temp_counter = saved_counter;
    make_durable_together(first);
}

std::unique_ptr<planned_change> take_planned(const char *name)
{
    for (auto it = planned.begin(); it != planned.end(); ++it) {
        if ((*it)->name == name) {
            std::unique_ptr<planned_change> p = std::move(*it);
            planned.erase(it);
            return p;
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

// Whether the job's rewrite on its own would be stopped by something at its journal's name:
// then it is not planned ahead either, and its turn says why.
bool journal_name_taken(const image_job *job)
{
    return change_journal_blocked(std::string(job->path, job_dir_length(job)));
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
    for (auto &p : planned)
        change_drop(&p->job.change);
    planned.clear();
    change_release_journals();
    scan = scan_state{};
}

bool adopt_planned_change(image_job *job)
{
    if (!scan.on || job->name == nullptr)
        return false;
    std::unique_ptr<planned_change> p = take_planned(job->name);
    std::size_t at = p == nullptr ? position_of(job->name) : scan.names.size();
    if (p == nullptr && at < scan.names.size() && !journal_name_taken(job)) {
        plan_from(at);
        p = take_planned(job->name);
    }
    if (p == nullptr)
        return false;
    image_job &planned_job = p->job;
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
