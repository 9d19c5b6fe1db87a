// Path splitting for both platforms.
#include "path.h"

#include "platform.h"

std::size_t path_dir_length(std::string_view path)
{
    std::size_t sep = path.rfind(plat_sep);
    return sep == std::string_view::npos ? 0 : sep + 1;
}

const char *path_file_part(const char *path)
{
    return path + path_dir_length(path);
}

void split_path(const char *path, std::string *dir, std::string *name)
{
    std::string_view whole(path);
    std::size_t length = path_dir_length(whole);
    if (length == 0) {
        dir->assign(1, '.');
    } else {
        // The root keeps its separator; any other directory loses it.
        dir->assign(whole.substr(0, length == 1 ? 1 : length - 1));
    }
    name->assign(whole.substr(length));
}
