// Listing order and late arrivals for directory searches.
#include "listing.h"

#include "wildcard.h"

#include <algorithm>

static bool listed_before(const std::string &a, const std::string &b)
{
    return name_order(a.c_str(), b.c_str()) < 0;
}

void listing_sort(name_listing *listing)
{
    std::sort(listing->names.begin(), listing->names.end(), listed_before);
}

void listing_note(name_listing *listing, const std::string &name)
{
    std::vector<std::string> &names = listing->names;
    std::size_t next = listing->next;
    if (next > 0 && name_order(name.c_str(), names[next - 1].c_str()) <= 0)
        return; // the walk is past its place
    auto at = std::lower_bound(names.begin() + static_cast<std::ptrdiff_t>(next), names.end(), name,
                               listed_before);
    if (at == names.end() || *at != name)
        names.insert(at, name);
}
