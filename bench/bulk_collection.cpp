// Large synthetic collections for the whole-program benchmarks. Sides hold 4 to 9 files of
// 30 to 58 KB in all, as real disks do, so that the CRC work is that of a real collection.
#include "bulk_collection.h"

#include "fdsgen.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

struct bulk_game {
    std::string title; // catalogue file name
    std::string code;
    int sides;
    std::uint32_t seed;
};

enum image_form {
    form_good_header, // ren (or dupes for a second copy)
    form_good_bare,   // backed up, rewritten with a header, placed
    form_unknown,     // not catalogued: left alone, or normalised in place without header
    form_split,       // a single-side game with a foreign second side: split into a tmp image
    form_changed,     // last file differs: placed with a CRC tag
    form_fam,         // FAM layout
    form_bad,         // damaged signature: bad/
    form_truncated,   // cut inside the file data
    form_rom,         // a cartridge dump: rom/
};

// Out of 100 images.
constexpr struct {
    image_form form;
    int weight;
} form_weights[] = {
    {form_good_header, 38}, {form_good_bare, 15}, {form_unknown, 11},
    {form_split, 8},        {form_changed, 5},    {form_fam, 5},
    {form_bad, 7},          {form_truncated, 5},  {form_rom, 6},
};

std::uint32_t next_random(std::uint32_t *state)
{
    std::uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

gen_side full_side(const std::string &code, int side_number, std::uint32_t seed)
{
    gen_side side;
    side.game_code = code;
    side.side_number = static_cast<std::uint8_t>(side_number);
    side.maker = static_cast<std::uint8_t>(seed % 0xF0u + 1u);
    int count = 4 + static_cast<int>(seed % 6u);
    std::size_t total = 30000 + (seed * 7919u) % 28000u;
    for (int i = 0; i < count; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "FILE%02d", i);
        std::size_t size = total / static_cast<std::size_t>(count) + static_cast<std::size_t>(i);
        side.files.push_back(gen_make_file(static_cast<std::uint8_t>(i), name, size,
                                           seed * 16u + static_cast<std::uint32_t>(i),
                                           static_cast<std::uint8_t>(i % 3)));
    }
    return side;
}

gen_image game_image(const bulk_game &g, bool header)
{
    gen_image image;
    image.fwnes_header = header;
    for (int s = 0; s < g.sides; s++)
        image.sides.push_back(full_side(g.code, s, g.seed + static_cast<std::uint32_t>(s)));
    return image;
}

std::vector<bulk_game> catalogue_games()
{
    std::vector<bulk_game> games;
    for (int k = 0; k < 449; k++) {
        char title[48], code[8];
        std::snprintf(title, sizeof title, "Game %03d (Japan).fds", k + 1);
        std::snprintf(code, sizeof code, "G%03d", k + 1);
        // Every ninth game has two sides: 50 of 449.
        games.push_back({title, code, k % 9 == 4 ? 2 : 1, 1000u + 10u * static_cast<unsigned>(k)});
    }
    return games;
}

image_form pick_form(std::uint32_t *state)
{
    int r = static_cast<int>(next_random(state) % 100u);
    for (const auto &w : form_weights) {
        if (r < w.weight)
            return w.form;
        r -= w.weight;
    }
    return form_good_header;
}

const bulk_game &pick_game(const std::vector<bulk_game> &games, std::uint32_t *state,
                           bool single_side)
{
    for (;;) {
        const bulk_game &g = games[next_random(state) % games.size()];
        if (!single_side || g.sides == 1)
            return g;
    }
}

bytes cartridge_dump(std::uint32_t seed)
{
    return gen_cartridge_dump(40976, seed);
}

bytes unknown_image(std::uint32_t *state, int index)
{
    bulk_game g{"", "UNKN", 1 + static_cast<int>(next_random(state) % 2u),
                900000u + 10u * static_cast<unsigned>(index)};
    return gen_image_bytes(game_image(g, next_random(state) % 2u == 0));
}

bytes image_of_form(image_form form, const std::vector<bulk_game> &games, std::uint32_t *state,
                    int index)
{
    const bulk_game &g = pick_game(games, state, form == form_split || form == form_changed);
    gen_image image = game_image(g, form != form_good_bare && form != form_fam);
    bytes data;
    switch (form) {
    case form_unknown:
        return unknown_image(state, index);
    case form_split:
        image.header_side_count = 2;
        image.sides.push_back(full_side("XTRA", 1, 700000u + static_cast<unsigned>(index)));
        return gen_image_bytes(image);
    case form_changed:
        image.sides[0].files.back().data[0] ^= 0xFF;
        return gen_image_bytes(image);
    case form_fam:
        image.prefix = 61824;
        return gen_image_bytes(image);
    case form_rom:
        return cartridge_dump(static_cast<std::uint32_t>(index));
    default:
        break;
    }
    data = gen_image_bytes(image);
    if (form == form_bad)
        gen_poke(&data, 16 + 2, 'X');
    if (form == form_truncated)
        gen_truncate(&data, 16 + 30000);
    return data;
}

bool write_new(const std::string &path, const bytes &data, std::string *error)
{
    if (gen_write_new_file(path, data) == gen_written)
        return true;
    *error = "cannot write " + path + " (it must not exist yet)";
    return false;
}

bool write_known(const std::string &dir, const std::vector<bulk_game> &games, std::string *error)
{
    for (const bulk_game &g : games) {
        if (!write_new(dir + "/" + g.title, gen_image_bytes(game_image(g, true)), error))
            return false;
    }
    return true;
}

} // namespace

bool write_bulk_collection(const std::string &dir, int count, std::uint32_t seed,
                           std::string *error, bulk_mix mix)
{
    std::vector<bulk_game> games = catalogue_games();
    std::error_code ec;
    std::filesystem::create_directories(dir + "/known", ec);
    std::filesystem::create_directories(dir + "/collection", ec);
    if (ec) {
        *error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    if (!write_known(dir + "/known", games, error))
        return false;
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (int i = 0; i < count; i++) {
        image_form form = mix == bulk_mixed ? pick_form(&state) : form_good_bare;
        char name[64];
        std::snprintf(name, sizeof name, "%05d %s", i + 1,
                      form == form_fam ? "disk.fam" : "disk.fds");
        if (!write_new(dir + "/collection/" + name, image_of_form(form, games, &state, i), error))
            return false;
    }
    return true;
}
