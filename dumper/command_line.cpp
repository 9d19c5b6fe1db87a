// Option letters and file-argument splitting of the dumper.
#include "command_line.h"

#include "path.h"
#include "settings.h"

static void apply_option(char letter)
{
    switch (letter) {
    case 'i':
    case 'I':
        info_level = info_more;
        break;
    case 'x':
    case 'X':
        info_level = info_extra;
        break;
    case 'o':
    case 'O':
        crc_output = false;
        break;
    default:
        break; // other letters, or a lone "-", do nothing
    }
}

int apply_options(int argc, const char *const *argv)
{
    int k = 1;
    for (; k < argc && argv[k][0] == '-'; k++)
        apply_option(argv[k][1]);
    return k;
}

void split_file_argument(std::string_view argument, std::string *dir, std::string *name)
{
    std::size_t length = path_dir_length(argument);
    *dir = argument.substr(0, length);
    *name = argument.substr(length);
}
