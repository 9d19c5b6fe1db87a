// The names of a directory listing in the order a search returns them, with room for names
// that appear while the listing is being walked (a file the program itself moves in or
// creates joins it when its name sorts after the one returned last, as on Windows).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct name_listing {
    std::vector<std::string> names; // in listing order once sorted
    std::size_t next = 0;           // index of the next name to return
};

// Puts the names in listing order (name_order of wildcard.h).
void listing_sort(name_listing *listing);

// A name that appeared in the listed directory: it joins the names still to come unless the
// walk has passed its place already or holds it.
void listing_note(name_listing *listing, const std::string &name);
