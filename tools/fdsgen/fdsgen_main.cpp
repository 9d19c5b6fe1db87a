// The fdsgen command: writes one synthetic disk image with chosen damage, or a small sample
// collection (known-good images plus a mixed pile to sort) for demonstrations and tests.
#include "fdsgen.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

enum exit_code { exit_ok = 0, exit_failed = 1, exit_usage = 2 };

const char main_usage[] = "usage: fdsgen image [options] OUT   write one synthetic disk image\n"
                          "       fdsgen sample DIR            write a sample collection into DIR\n"
                          "       fdsgen COMMAND --help        options of a command\n"
                          "Existing files are never overwritten.\n";

const char image_usage[] =
    "usage: fdsgen image [options] OUT\n"
    "Writes one synthetic disk image to the new file OUT.\n"
    "  --game CODE          game code, 1 to 4 characters (default TEST)\n"
    "  --sides N            number of sides, 0-255 (default 1)\n"
    "  --files N            files on each side, 0-255 (default 3)\n"
    "  --seed N             varies the file contents and so their CRCs (default 1)\n"
    "  --maker N            maker code, 0-255, e.g. 0x01 (default 0x01)\n"
    "  --version N          game version, 0-255 (default 0)\n"
    "  --kind N             file kind of every file, 0-255 (default: 0, 1, 2 in turn)\n"
    "  --no-info            leave the info markers invalid\n"
    "  --header             put a 16-byte fwNES header in front\n"
    "  --header-count N     the header's side count byte (implies --header)\n"
    "  --prefix N           N filler bytes in front of the first side\n"
    "  --fam                FAM-style prefix: the first side at offset 61824\n"
    "  --qd                 QuickDisk layout: 65536-byte sides, each block followed by its\n"
    "                       2-byte checksum (--poke one to make it bad); no header or prefix\n"
    "  --poke OFFSET=VALUE  set the byte at a file offset (repeatable; before --truncate)\n"
    "  --truncate N         keep only the first N bytes\n";

const char sample_usage[] =
    "usage: fdsgen sample DIR\n"
    "Writes DIR/known/ (known-good images to make a catalogue from) and DIR/collection/\n"
    "(images to sort: good, headerless, FAM, damaged, duplicate, unknown, partial).\n"
    "DIR may exist; DIR/known and DIR/collection must not.\n";

struct poke {
    std::size_t offset;
    std::uint8_t value;
};

struct image_options {
    std::string game = "TEST";
    unsigned long long sides = 1;
    unsigned long long files = 3;
    unsigned long long seed = 1;
    unsigned long long maker = 0x01;
    unsigned long long version = 0;
    long long kind = -1;
    bool info_valid = true;
    bool header = false;
    bool quick_disk = false;
    long long header_count = -1;
    unsigned long long prefix = 0;
    std::vector<poke> pokes;
    long long truncate = -1;
    std::string out;
};

// Names the mistake and where the help is; the exit status of a usage error.
int usage_error(const char *usage, const char *what, const std::string &detail)
{
    const char *command = usage == image_usage ? " image" : usage == sample_usage ? " sample" : "";
    std::fprintf(stderr, "fdsgen: %s%s\nTry 'fdsgen%s --help'.\n", what, detail.c_str(), command);
    return exit_usage;
}

// A whole decimal or 0x-hexadecimal number within [0, max].
bool parse_number(const std::string &text, unsigned long long max, unsigned long long *out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char *stop = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &stop, 0);
    if (errno != 0 || stop == text.c_str() || *stop != '\0' || v > max)
        return false;
    *out = v;
    return true;
}

bool parse_poke(const std::string &text, poke *out)
{
    std::size_t eq = text.find('=');
    unsigned long long offset = 0;
    unsigned long long value = 0;
    if (eq == std::string::npos || !parse_number(text.substr(0, eq), 0xFFFFFFFFull, &offset) ||
        !parse_number(text.substr(eq + 1), 255, &value))
        return false;
    out->offset = static_cast<std::size_t>(offset);
    out->value = static_cast<std::uint8_t>(value);
    return true;
}

// Options that take a number, with their ranges.
struct number_option {
    const char *name;
    unsigned long long max;
};

const number_option number_options[] = {
    {"--sides", 255},
    {"--files", 255},
    {"--seed", 0xFFFFFFFFull},
    {"--maker", 255},
    {"--version", 255},
    {"--kind", 255},
    {"--header-count", 255},
    {"--prefix", 16u * 1024u * 1024u},
    {"--truncate", 0xFFFFFFFFull},
};

void store_number(image_options *o, const std::string &name, unsigned long long v)
{
    if (name == "--sides")
        o->sides = v;
    else if (name == "--files")
        o->files = v;
    else if (name == "--seed")
        o->seed = v;
    else if (name == "--maker")
        o->maker = v;
    else if (name == "--version")
        o->version = v;
    else if (name == "--kind")
        o->kind = static_cast<long long>(v);
    else if (name == "--header-count")
        o->header_count = static_cast<long long>(v);
    else if (name == "--prefix")
        o->prefix = v;
    else if (name == "--truncate")
        o->truncate = static_cast<long long>(v);
}

const number_option *find_number_option(const std::string &name)
{
    for (const number_option &n : number_options) {
        if (name == n.name)
            return &n;
    }
    return nullptr;
}

// One option that carries a value; false (after the message) when the value is wrong.
bool apply_valued_option(image_options *o, const std::string &name, const std::string &value)
{
    if (name == "--game") {
        if (value.empty() || value.size() > 4) {
            usage_error(image_usage, "--game needs 1 to 4 characters: ", value);
            return false;
        }
        o->game = value;
        return true;
    }
    if (name == "--poke") {
        poke p{};
        if (!parse_poke(value, &p)) {
            usage_error(image_usage, "--poke needs OFFSET=VALUE with VALUE 0-255: ", value);
            return false;
        }
        o->pokes.push_back(p);
        return true;
    }
    const number_option *n = find_number_option(name);
    unsigned long long v = 0;
    if (!parse_number(value, n->max, &v)) {
        usage_error(
            image_usage,
            (name + " needs a number from 0 to " + std::to_string(n->max) + ", not: ").c_str(),
            value);
        return false;
    }
    store_number(o, name, v);
    if (name == "--header-count")
        o->header = true;
    return true;
}

bool takes_value(const std::string &name)
{
    return name == "--game" || name == "--poke" || find_number_option(name) != nullptr;
}

bool apply_flag(image_options *o, const std::string &name)
{
    if (name == "--header")
        o->header = true;
    else if (name == "--no-info")
        o->info_valid = false;
    else if (name == "--fam")
        o->prefix = 61824;
    else if (name == "--qd")
        o->quick_disk = true;
    else
        return false;
    return true;
}

// Returns exit_ok to go on, exit_usage after a message, or -1 after printing the help.
int parse_image_args(int argc, char **argv, image_options *o)
{
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(image_usage, stdout);
            return -1;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (!o->out.empty())
                return usage_error(image_usage, "more than one output file: ", arg);
            o->out = arg;
            continue;
        }
        std::size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        if (takes_value(name)) {
            std::string value;
            if (eq != std::string::npos)
                value = arg.substr(eq + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return usage_error(image_usage, "missing value after ", name);
            if (!apply_valued_option(o, name, value))
                return exit_usage;
        } else if (eq != std::string::npos || !apply_flag(o, name)) {
            return usage_error(image_usage, "unknown option ", arg);
        }
    }
    if (o->out.empty())
        return usage_error(image_usage, "no output file given", "");
    if (o->quick_disk && (o->header || o->prefix != 0))
        return usage_error(image_usage, "--qd takes no header and no prefix", "");
    return exit_ok;
}

gen_image build_image(const image_options &o)
{
    gen_image image;
    image.fwnes_header = o.header;
    image.header_side_count = static_cast<int>(o.header_count);
    image.prefix = static_cast<std::size_t>(o.prefix);
    for (unsigned long long s = 0; s < o.sides; s++) {
        // Each side gets its own seed so that no two sides hold the same files.
        auto seed = static_cast<std::uint32_t>(o.seed * 256u + s);
        gen_side side =
            gen_make_side(o.game, static_cast<std::uint8_t>(s), static_cast<int>(o.files), seed);
        side.maker = static_cast<std::uint8_t>(o.maker);
        side.version = static_cast<std::uint8_t>(o.version);
        side.info_valid = o.info_valid;
        if (o.kind >= 0) {
            for (gen_file &f : side.files)
                f.kind = static_cast<std::uint8_t>(o.kind);
        }
        image.sides.push_back(side);
    }
    return image;
}

int report_write(const std::string &path, gen_write_result r)
{
    if (r == gen_exists)
        std::fprintf(stderr, "fdsgen: %s exists already; it was not overwritten\n", path.c_str());
    else if (r == gen_write_failed)
        std::fprintf(stderr, "fdsgen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return r == gen_written ? exit_ok : exit_failed;
}

// Applies the pokes, then the truncation; complains about offsets outside the image.
int damage_image(const image_options &o, bytes *image)
{
    for (const poke &p : o.pokes) {
        if (p.offset >= image->size())
            return usage_error(image_usage, "--poke offset lies beyond the image's end: ",
                               std::to_string(p.offset) + " >= " + std::to_string(image->size()));
        gen_poke(image, p.offset, p.value);
    }
    if (o.truncate >= 0) {
        if (static_cast<unsigned long long>(o.truncate) > image->size())
            return usage_error(image_usage, "--truncate is longer than the image: ",
                               std::to_string(o.truncate) + " > " + std::to_string(image->size()));
        gen_truncate(image, static_cast<std::size_t>(o.truncate));
    }
    return exit_ok;
}

int cmd_image(int argc, char **argv)
{
    image_options o;
    int r = parse_image_args(argc, argv, &o);
    if (r != exit_ok)
        return r < 0 ? exit_ok : r;
    gen_image image = build_image(o);
    for (const gen_side &s : image.sides) {
        if (gen_side_bytes(s).size() > 65500)
            return usage_error(image_usage,
                               "too many files for one side: ", std::to_string(o.files));
    }
    bytes data = o.quick_disk ? gen_qd_of(image.sides) : gen_image_bytes(image);
    r = damage_image(o, &data);
    if (r != exit_ok)
        return r;
    r = report_write(o.out, gen_write_new_file(o.out, data));
    if (r == exit_ok)
        std::printf("%s: %s bytes\n", o.out.c_str(), std::to_string(data.size()).c_str());
    return r;
}

// ---- The sample collection ----

struct sample_game {
    const char *title; // catalogue name in known/
    const char *code;
    std::uint8_t maker;
    int sides;
    int files;
    std::uint32_t seed;
};

// Invented titles; Lantern Keep is catalogued but missing from the pile.
const sample_game sample_games[] = {
    {"Moon Quest (Japan).fds", "MNQJ", 0x01, 1, 3, 101},
    {"Pebble Golf (Japan).fds", "PBGJ", 0x08, 1, 2, 202},
    {"Tidewater Saga (Japan).fds", "TDSJ", 0x18, 2, 4, 303},
    {"Clockwork Garden (Japan).fds", "CKGJ", 0xA4, 1, 6, 404},
    {"Harbor Patrol (Japan).fds", "HBPJ", 0x01, 1, 3, 505},
    {"Lantern Keep (Japan).fds", "LNKJ", 0x99, 1, 5, 606},
};

enum sample_index { moon, pebble, tidewater, clockwork, harbor, lantern };

gen_image sample_image(const sample_game &g, bool header)
{
    gen_image image;
    image.fwnes_header = header;
    for (int s = 0; s < g.sides; s++) {
        gen_side side = gen_make_side(g.code, static_cast<std::uint8_t>(s), g.files,
                                      g.seed + static_cast<std::uint32_t>(s));
        side.maker = g.maker;
        image.sides.push_back(side);
    }
    return image;
}

struct sample_file {
    std::string name;
    bytes data;
    std::string fate;
};

std::string title_of(sample_index i)
{
    return sample_games[i].title;
}

// An image of a game with one byte of its last file changed, and that file's new CRC.
bytes last_file_changed(sample_index i, std::uint32_t *crc)
{
    gen_image image = sample_image(sample_games[i], true);
    gen_file &last = image.sides[0].files.back();
    last.data[0] ^= 0xFF;
    *crc = gen_crc32(last.data);
    return gen_image_bytes(image);
}

bytes rom_like_file()
{
    return gen_cartridge_dump(8192, 777);
}

bytes signature_damaged(sample_index i)
{
    bytes data = gen_image_bytes(sample_image(sample_games[i], true));
    gen_poke(&data, 16 + 2, 'X'); // "*XINTENDO-HVC*"
    return data;
}

std::vector<sample_file> collection_files()
{
    std::vector<sample_file> out;
    auto image = [](sample_index i, bool header) {
        return gen_image_bytes(sample_image(sample_games[i], header));
    };
    out.push_back({"moon quest.fds", image(moon, true), "ren/" + title_of(moon)});
    out.push_back({"moon quest (copy).fds", image(moon, true),
                   "the same image again: whichever comes second goes to dupes/"});
    out.push_back({"pebble golf.fds", image(pebble, false),
                   "bare 65500-byte side: original to bak/, rewritten with a header to ren/" +
                       title_of(pebble)});
    out.push_back({"tidewater saga.fds", image(tidewater, true), "ren/" + title_of(tidewater)});
    gen_image half = sample_image(sample_games[tidewater], true);
    half.sides.pop_back();
    out.push_back({"tidewater disk a.fds", gen_image_bytes(half),
                   "first side of a two-side game: parts/" + title_of(tidewater)});
    std::uint32_t crc = 0;
    bytes changed = last_file_changed(clockwork, &crc);
    char tag[32];
    std::snprintf(tag, sizeof tag, " [1-%08x].fds", static_cast<unsigned>(crc));
    std::string tagged = title_of(clockwork);
    tagged.replace(tagged.rfind('.'), std::string::npos, tag);
    out.push_back({"clockwork garden.fds", changed, "last file differs: ren/" + tagged});
    gen_image fam = sample_image(sample_games[harbor], false);
    fam.prefix = 61824;
    std::string fam_name = title_of(harbor);
    fam_name.replace(fam_name.rfind('.'), std::string::npos, ".fam");
    out.push_back(
        {"harbor patrol.fam", gen_image_bytes(fam), "FAM layout, kept as it is: ren/" + fam_name});
    std::string qd_name = title_of(tidewater);
    qd_name.replace(qd_name.rfind('.'), std::string::npos, ".qd");
    bytes qd = gen_qd_of(sample_image(sample_games[tidewater], false).sides);
    qd[65536 + 56] ^= 0x01; // the second side's info block checksum
    out.push_back({"tidewater saga.qd", qd,
                   "QuickDisk layout with a bad checksum, kept as it is: ren/" + qd_name});
    out.push_back({"scratched disk.fds", signature_damaged(pebble), "no disk side: bad/"});
    out.push_back({"cartridge dump.fds", rom_like_file(), "begins 02 00 0D: rom/"});
    gen_image unknown = sample_image({"", "MYSJ", 0x01, 1, 4, 999}, true);
    out.push_back(
        {"mystery disk.fds", gen_image_bytes(unknown), "not catalogued: stays where it is"});
    return out;
}

bool make_new_dir(const std::string &path)
{
    std::error_code ec;
    if (std::filesystem::create_directory(path, ec))
        return true;
    if (ec)
        std::fprintf(stderr, "fdsgen: cannot create %s: %s\n", path.c_str(), ec.message().c_str());
    else
        std::fprintf(stderr, "fdsgen: %s exists already; it was left alone\n", path.c_str());
    return false;
}

int write_sample_file(const std::string &dir, const std::string &name, const bytes &data)
{
    return report_write(dir + "/" + name, gen_write_new_file(dir + "/" + name, data));
}

int write_known(const std::string &dir)
{
    for (const sample_game &g : sample_games) {
        if (write_sample_file(dir, g.title, gen_image_bytes(sample_image(g, true))) != exit_ok)
            return exit_failed;
    }
    std::printf("%s/: known-good images; make the catalogue there with\n"
                "    quindle '*' > ingredients.dat\n",
                dir.c_str());
    for (const sample_game &g : sample_games)
        std::printf("  %-32s %d side%s, %d files per side\n", g.title, g.sides,
                    g.sides == 1 ? "" : "s", g.files);
    std::printf("  (%s is catalogued but not in the collection: miss.txt lists it)\n",
                sample_games[lantern].title);
    return exit_ok;
}

int write_collection(const std::string &dir)
{
    std::vector<sample_file> files = collection_files();
    for (const sample_file &f : files) {
        if (write_sample_file(dir, f.name, f.data) != exit_ok)
            return exit_failed;
    }
    std::printf("%s/: images to sort, and where the sorter puts them\n", dir.c_str());
    for (const sample_file &f : files)
        std::printf("  %-24s %s\n", f.name.c_str(), f.fate.c_str());
    return exit_ok;
}

int cmd_sample(int argc, char **argv)
{
    std::string dir;
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(sample_usage, stdout);
            return exit_ok;
        }
        if (arg.size() > 1 && arg[0] == '-')
            return usage_error(sample_usage, "unknown option ", arg);
        if (!dir.empty())
            return usage_error(sample_usage, "more than one directory: ", arg);
        dir = arg;
    }
    if (dir.empty())
        return usage_error(sample_usage, "no directory given", "");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string known = dir + "/known";
    std::string collection = dir + "/collection";
    for (const std::string &sub : {known, collection}) {
        if (std::filesystem::exists(sub, ec)) {
            std::fprintf(stderr, "fdsgen: %s exists already; nothing was written\n", sub.c_str());
            return exit_failed;
        }
    }
    if (!make_new_dir(known) || !make_new_dir(collection))
        return exit_failed;
    if (write_known(known) != exit_ok)
        return exit_failed;
    return write_collection(collection);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage_error(main_usage, "no command given", "");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(main_usage, stdout);
        return exit_ok;
    }
    if (command == "image")
        return cmd_image(argc, argv);
    if (command == "sample")
        return cmd_sample(argc, argv);
    return usage_error(main_usage, "unknown command ", command);
}
