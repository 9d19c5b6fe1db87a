// Synthetic disk image builders. The numbers of the format are spelled out here on purpose:
// the generator must not share constants with the code it tests.
#include "fdsgen.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

gen_file gen_make_file(std::uint8_t number, const std::string &name, std::size_t size,
                       std::uint32_t seed, std::uint8_t kind)
{
    gen_file f;
    f.number = number;
    f.id = number;
    f.name = name;
    f.kind = kind;
    f.data.resize(size);
    std::uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (std::size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        f.data[i] = static_cast<std::uint8_t>(x);
    }
    return f;
}

gen_side gen_make_side(const std::string &game_code, std::uint8_t side_number, int count,
                       std::uint32_t seed)
{
    gen_side s;
    s.game_code = game_code;
    s.side_number = side_number;
    for (int i = 0; i < count; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "FILE%02d", i);
        std::size_t size = 64 + (seed * 7u + static_cast<std::uint32_t>(i) * 131u) % 2000u;
        s.files.push_back(gen_make_file(static_cast<std::uint8_t>(i), name, size,
                                        seed * 1000u + static_cast<std::uint32_t>(i),
                                        static_cast<std::uint8_t>(i % 3)));
    }
    return s;
}

static void put_file(bytes *out, const gen_file &f)
{
    std::size_t size =
        f.size_override >= 0 ? static_cast<std::size_t>(f.size_override) : f.data.size();
    out->push_back(f.header_code);
    out->push_back(f.number);
    out->push_back(f.id);
    for (std::size_t i = 0; i < 8; i++)
        out->push_back(i < f.name.size() ? static_cast<std::uint8_t>(f.name[i]) : ' ');
    out->push_back(static_cast<std::uint8_t>(f.load_address & 0xFF));
    out->push_back(static_cast<std::uint8_t>(f.load_address >> 8));
    out->push_back(static_cast<std::uint8_t>(size & 0xFF));
    out->push_back(static_cast<std::uint8_t>((size >> 8) & 0xFF));
    out->push_back(f.kind);
    out->push_back(f.data_code);
    out->insert(out->end(), f.data.begin(), f.data.end());
}

bytes gen_side_bytes(const gen_side &side)
{
    bytes out;
    out.push_back(side.info_code);
    for (std::size_t i = 0; i < 14; i++)
        out.push_back(i < side.signature.size() ? static_cast<std::uint8_t>(side.signature[i]) : 0);
    out.push_back(side.maker);
    for (std::size_t i = 0; i < 4; i++)
        out.push_back(i < side.game_code.size() ? static_cast<std::uint8_t>(side.game_code[i]) : 0);
    out.push_back(side.version);
    out.push_back(side.side_number);
    out.resize(31, 0);
    out.insert(out.end(), side.permit, side.permit + 3);
    out.push_back(side.info_valid ? 0x49 : 0x00);
    out.push_back(side.info_valid ? 0x61 : 0x00);
    out.resize(44, 0);
    out.insert(out.end(), side.created, side.created + 3);
    out.resize(56, 0);
    out.push_back(side.amount_code);
    int declared =
        side.declared_override >= 0 ? side.declared_override : static_cast<int>(side.files.size());
    out.push_back(static_cast<std::uint8_t>(declared));
    for (const gen_file &f : side.files)
        put_file(&out, f);
    for (const gen_file &f : side.undeclared)
        put_file(&out, f);
    if (out.size() < 65500)
        out.resize(65500, side.filler);
    return out;
}

bytes gen_image_bytes(const gen_image &image)
{
    bytes out;
    if (image.fwnes_header) {
        int count = image.header_side_count >= 0 ? image.header_side_count
                                                 : static_cast<int>(image.sides.size());
        out.assign(16, 0);
        const std::uint8_t magic[4] = {0x46, 0x44, 0x53, 0x1A};
        std::copy(magic, magic + 4, out.begin());
        out[4] = static_cast<std::uint8_t>(count);
    }
    out.resize(out.size() + image.prefix, image.prefix_fill);
    for (const gen_side &s : image.sides) {
        bytes b = gen_side_bytes(s);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

bytes gen_image_of(const std::vector<gen_side> &sides, bool header, std::size_t prefix)
{
    gen_image image;
    image.sides = sides;
    image.fwnes_header = header;
    image.prefix = prefix;
    return gen_image_bytes(image);
}

std::uint16_t gen_qd_checksum(const bytes &block)
{
    // Bit by bit, as the format describes it: the block, then two zero bytes, each least
    // significant bit first into the top of a register that starts at 0x8000.
    unsigned reg = 0x8000;
    bytes fed = block;
    fed.push_back(0);
    fed.push_back(0);
    for (std::uint8_t b : fed) {
        for (int k = 0; k < 8; k++) {
            bool out = (reg & 1) != 0;
            reg = (reg >> 1) | (((b >> k) & 1u) << 15);
            if (out)
                reg ^= 0x8408;
        }
    }
    return static_cast<std::uint16_t>(reg);
}

bytes gen_qd_side_bytes(const gen_side &side)
{
    bytes fds = gen_side_bytes(side);
    std::vector<std::size_t> blocks = {56, 2};
    for (const std::vector<gen_file> *list : {&side.files, &side.undeclared}) {
        for (const gen_file &f : *list) {
            blocks.push_back(16);
            blocks.push_back(1 + f.data.size());
        }
    }
    bytes out;
    std::size_t at = 0;
    for (std::size_t n : blocks) {
        bytes block(fds.begin() + static_cast<std::ptrdiff_t>(at),
                    fds.begin() + static_cast<std::ptrdiff_t>(at + n));
        std::uint16_t sum = gen_qd_checksum(block);
        out.insert(out.end(), block.begin(), block.end());
        out.push_back(static_cast<std::uint8_t>(sum & 0xFF));
        out.push_back(static_cast<std::uint8_t>(sum >> 8));
        at += n;
    }
    out.resize(65536, 0);
    return out;
}

bytes gen_qd_of(const std::vector<gen_side> &sides)
{
    bytes out;
    for (const gen_side &s : sides) {
        bytes b = gen_qd_side_bytes(s);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

bytes gen_cartridge_dump(std::size_t size, std::uint32_t seed)
{
    bytes data = gen_make_file(0, "ROM", size, seed).data;
    const std::uint8_t magic[3] = {0x02, 0x00, 0x0D};
    for (std::size_t i = 0; i < 3 && i < data.size(); i++)
        data[i] = magic[i];
    return data;
}

std::uint32_t gen_crc32(const bytes &data)
{
    // Bit-wise, deliberately unlike the table-driven code under test.
    std::uint32_t reg = 0xFFFFFFFFu;
    for (std::uint8_t b : data) {
        reg ^= b;
        for (int k = 0; k < 8; k++)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return ~reg;
}

void gen_truncate(bytes *image, std::size_t length)
{
    if (length < image->size())
        image->resize(length);
}

void gen_poke(bytes *image, std::size_t offset, std::uint8_t value)
{
    if (offset < image->size())
        (*image)[offset] = value;
}

bool gen_write_file(const std::string &path, const bytes &data)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

gen_write_result gen_write_new_file(const std::string &path, const bytes &data)
{
    // "x" creates exclusively; the probe first gives a plain answer for an existing file even
    // where the C library does not know that mode.
    if (std::FILE *probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
        return gen_exists;
    }
    std::FILE *f = std::fopen(path.c_str(), "wbx");
    if (f == nullptr)
        return errno == EEXIST ? gen_exists : gen_write_failed;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(path.c_str());
        return gen_write_failed;
    }
    return gen_written;
}
