// The planned state of the file system while a run is only previewed: what the run has
// created, moved and removed so far, kept in memory and keyed by absolute paths.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

enum plan_kind { plan_absent, plan_dir, plan_file };

// Bytes a planned file was written with. data is malloc'd (a memory stream owns it while
// the file is open) and freed when planning ends.
struct plan_blob {
    char *data = nullptr;
    std::size_t size = 0;
};

struct plan_node {
    plan_kind kind = plan_absent;
    plan_blob *blob = nullptr; // a file the plan wrote
    std::string origin;        // a file moved by the plan: where its bytes really are
};

bool plan_active();
void plan_start();
// Forgets the whole plan and frees every blob.
void plan_stop();

// The planned node at key; nullptr when the plan has not touched key (the file system
// answers then).
const plan_node *plan_lookup(const std::string &key);
void plan_set(const std::string &key, const plan_node &node);

// A new empty blob that lives until planning ends.
plan_blob *plan_new_blob();

// The names of the entries the plan has made directly inside the directory dir_key.
std::vector<std::string> plan_names_in(const std::string &dir_key);
