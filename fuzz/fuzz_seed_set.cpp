// The generated images behind fuzzing: known images, their damaged and re-laid variants, and
// the seed inputs of every fuzz target built from them.
#include "fuzz_seed_set.h"

#include "crc.h"
#include "fuzz_entries.h"
#include "journal.h"
#include "settings.h"
#include "side_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

gen_side side_of(std::uint32_t seed, int files)
{
    gen_side s = gen_make_side("FUZZ", 0, files, seed);
    s.filler = 0xA5;
    return s;
}

const gen_side solo = side_of(201, 3), pair1 = side_of(202, 4), pair2 = side_of(203, 3),
               quad = side_of(204, 4), tiny = side_of(205, 1);

// Damaged sides that exercise the report's and the walks' checks.
std::vector<bytes> damaged_images()
{
    std::vector<bytes> out;
    gen_side bad_header = solo;
    bad_header.files[1].header_code = 7;
    out.push_back(gen_image_of({bad_header}, true));
    gen_side bad_data = solo;
    bad_data.files[0].data_code = 9;
    bad_data.files[2].kind = 7;
    bad_data.info_valid = false;
    bad_data.undeclared.push_back(gen_make_file(9, "HIDDEN", 40, 77));
    out.push_back(gen_image_of({bad_data, pair2}, false));
    gen_side oversize = quad;
    oversize.files[3].size_override = 65000;
    out.push_back(gen_image_of({oversize}, true));
    bytes cut = gen_image_of({solo, pair2}, true);
    gen_truncate(&cut, 16 + 65500 + 300);
    out.push_back(cut);
    bytes wrong_count = gen_image_of({pair1, pair2}, true);
    gen_poke(&wrong_count, 4, 5);
    out.push_back(wrong_count);
    gen_side changed = quad;
    changed.files[3].data[0] ^= 0x41;
    out.push_back(gen_image_of({changed, solo}, true));
    return out;
}

std::vector<bytes> image_variants()
{
    std::vector<bytes> out = {
        gen_image_of({solo}, true),
        gen_image_of({solo}, false),
        gen_image_of({pair1, pair2}, true),
        gen_image_of({pair2}, true),
        gen_image_of({pair1, pair2}, false, 61824),
        gen_image_of({tiny}, false, 61849),
        gen_image_of({quad}, false, 100),
        gen_image_of({side_of(300, 2)}, true),
        bytes{0x02, 0x00, 0x0D, 0x7F},
        bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'},
        bytes{},
    };
    for (bytes &b : damaged_images())
        out.push_back(std::move(b));
    return out;
}

bytes with_choice(std::initializer_list<std::uint8_t> choice, const bytes &image)
{
    bytes out(choice);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

bytes text_bytes(const std::string &text)
{
    return bytes(text.begin(), text.end());
}

} // namespace

std::string fuzz_known_catalogue()
{
    crc_build_table();
    info_level = info_catalogue;
    crc_output = true;
    char *text = nullptr;
    std::size_t length = 0;
    std::FILE *out = open_memstream(&text, &length);
    for (const auto &known : fuzz_known_images())
        side_report_bytes(out, known.first.c_str(), nullptr, known.second.data(),
                          known.second.size());
    std::fclose(out);
    std::string result(text, length);
    std::free(text);
    return result;
}

namespace {

std::vector<bytes> catalogue_seeds()
{
    std::string known = fuzz_known_catalogue();
    std::string crlf, many;
    for (char c : known) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    for (int i = 0; i < 510; i++)
        many += "ABCD;1;0;1;1;02;DEADBEEF;0x1234abcd;Game " + std::to_string(i) + ".fds\n";
    return {
        text_bytes(known),
        text_bytes(crlf),
        text_bytes(known + "\x1A" + "TAIL;1;0;1;1;01;00000000;after.fds\n"),
        text_bytes(many),
        text_bytes("LONG;1;0;1;1;01;FFFFFFFF;" + std::string(200, 'n') + ".fds\n" + known),
        text_bytes("NEG;1;0;1;1;128;1;2;x.fds\n"),
        text_bytes("ZERO;1;0;1;1;00;Empty.fds\nFEW;1;0\n;2;1;01;  -0X1f;Split.fds\n"),
        text_bytes("no line end;1;0;1;1;01;12345678;last.fds"),
        bytes{},
    };
}

// The identity of the text of fuzz_recovery's file k.
file_identity recovery_identity(std::size_t k)
{
    const char *text = fuzz_recovery_files[k].text;
    return identity_of_bytes(reinterpret_cast<const std::uint8_t *>(text), std::strlen(text));
}

// Journals as the sorter writes them at each point of a change, with the files that stand
// then (choice bits, see fuzz_recovery), and a few it never writes.
std::vector<bytes> recovery_seeds()
{
    crc_build_table();
    std::string image = journal_header(role_image, "0123456789ABCDEF");
    std::string temps = journal_header(role_temps, "0123456789ABCDEF");
    std::string move = journal_line({step_move, "Game.fds", "bak/Game.fds", recovery_identity(0)});
    std::string new_image = journal_line({step_new, hidden_image_name, "", {}});
    std::string publish =
        journal_line({step_publish, hidden_image_name, "Game.fds", recovery_identity(1)});
    std::string new_split = journal_line({step_new, hidden_split_name, "", {}});
    std::string publish_split =
        journal_line({step_publish, hidden_split_name, "tmp0001.fds", recovery_identity(3)});
    std::string replace =
        journal_line({step_replace, hidden_image_name, "tmpgame.fds", recovery_identity(6)});
    const std::pair<std::uint8_t, std::string> seeds[] = {
        {0x01, image + move},
        {0x09, image + move + new_image},
        {0x05, image + move + new_image + publish},
        {0x35, image + move + new_image + publish + new_split + publish_split},
        {0x31, image + move + new_image + publish + new_split + "publish\t.vormlin-sp"},
        {0x30, temps + new_split + publish_split},
        {0x89, image + new_image + replace},
        {0x81, image + new_image},
        {0x41, image + new_image + "publish\t.vormlin-image\tQuad.fds\t1\t00000000\n"},
        {0x01, image + "new\t../outside/sentinel\n"},
        {0x00, "new\t/tmp/x\n"},
        {0x01, ""},
    };
    std::vector<bytes> out;
    for (const auto &[choice, text] : seeds)
        out.push_back(with_choice({choice}, text_bytes(text)));
    return out;
}

} // namespace

const std::vector<std::pair<std::string, bytes>> &fuzz_known_images()
{
    static const std::vector<std::pair<std::string, bytes>> known = {
        {"Solo.fds", gen_image_of({solo}, true)},
        {"Pair.fds", gen_image_of({pair1, pair2}, true)},
        {"Quad.fds", gen_image_of({quad}, true)},
        {"Tiny.fds", gen_image_of({tiny}, true)},
    };
    return known;
}

std::vector<bytes> fuzz_seed_inputs(const std::string &target)
{
    if (target == "catalogue")
        return catalogue_seeds();
    if (target == "recovery")
        return recovery_seeds();
    std::vector<bytes> out;
    std::vector<bytes> images = image_variants();
    for (std::size_t i = 0; i < images.size(); i++) {
        auto k = static_cast<std::uint8_t>(i);
        if (target == "side_report") {
            out.push_back(with_choice({static_cast<std::uint8_t>(k % 3)}, images[i]));
            out.push_back(with_choice({static_cast<std::uint8_t>(0x40 | (k * 9) % 64)}, images[i]));
        } else if (target == "identify") {
            out.push_back(with_choice({0x00}, images[i]));
            out.push_back(with_choice({0x08}, images[i]));
        } else if (target == "process") {
            out.push_back(with_choice({static_cast<std::uint8_t>(k * 37), 0x00}, images[i]));
            out.push_back(with_choice(
                {static_cast<std::uint8_t>(k * 23), static_cast<std::uint8_t>(k * 53)}, images[i]));
        }
    }
    return out;
}
