// The planned state of a previewed run: a map from absolute path to what the run has put
// there (or taken away), and the bytes of the files it has written.
#include "plan.h"

#include <cstdlib>
#include <map>

namespace {

struct blob_owner {
    plan_blob blob;
    ~blob_owner() { std::free(blob.data); }
};

bool active = false;
std::map<std::string, plan_node> nodes;
std::vector<std::unique_ptr<blob_owner>> blobs;

} // namespace

bool plan_active()
{
    return active;
}

void plan_start()
{
    plan_stop();
    active = true;
}

void plan_stop()
{
    active = false;
    nodes.clear();
    blobs.clear();
}

const plan_node *plan_lookup(const std::string &key)
{
    auto it = nodes.find(key);
    return it != nodes.end() ? &it->second : nullptr;
}

void plan_set(const std::string &key, const plan_node &node)
{
    nodes[key] = node;
}

plan_blob *plan_new_blob()
{
    blobs.push_back(std::make_unique<blob_owner>());
    return &blobs.back()->blob;
}

std::vector<std::string> plan_names_in(const std::string &dir_key)
{
    std::string prefix = dir_key;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    std::vector<std::string> names;
    for (auto it = nodes.lower_bound(prefix);
         it != nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        std::string name = it->first.substr(prefix.size());
        if (it->second.kind != plan_absent && name.find('/') == std::string::npos)
            names.push_back(name);
    }
    return names;
}
