// Path splitting for both platforms.
#include "path.h"

#include "platform.h"

#include <string_view>

void split_path(const char *path, std::string *dir, std::string *name)
{
    std::string_view whole(path);
    std::size_t sep = whole.rfind(plat_sep);
    if (sep == std::string_view::npos) {
        dir->assign(1, '.');
        name->assign(whole);
    } else {
        // The root keeps its separator; any other directory loses it.
        dir->assign(whole.substr(0, sep == 0 ? 1 : sep));
        name->assign(whole.substr(sep + 1));
    }
}
