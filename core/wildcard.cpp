// Wildcard matching and listing order for directory searches.
#include "wildcard.h"

#include <cstring>

static unsigned char ascii_upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool wildcard_match(const char *pattern, const char *name)
{
    // Iterative match with one backtracking point for the latest "*".
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*name != '\0') {
        unsigned char p = static_cast<unsigned char>(*pattern);
        unsigned char n = static_cast<unsigned char>(*name);
        if (p == '*') {
            star = pattern++;
            resume = name;
        } else if (p != '\0' && (p == '?' || ascii_upper(p) == ascii_upper(n))) {
            pattern++;
            name++;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == '\0';
}

int name_order(const char *a, const char *b)
{
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    for (; *x != '\0' || *y != '\0'; x++, y++) {
        int d = ascii_upper(*x) - ascii_upper(*y);
        if (d != 0)
            return d;
    }
    return std::strcmp(a, b);
}
