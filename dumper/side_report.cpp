// Side report: loads one image file, finds its first side by the signature, and prints the
// header text, block checks, catalogue prefix, file table and CRCs, and name line per side.
#include "side_report.h"

#include "bytes.h"
#include "crc.h"
#include "disk_layout.h"
#include "image_file.h"
#include "maker_table.h"
#include "platform.h"
#include "quick_disk.h"
#include "settings.h"
#include "signature.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <vector>

using namespace fds;

namespace {

// One image being reported. Sides are addressed by arithmetic from the first side; every
// read is checked against end, the end of the image buffer.
struct report {
    std::FILE *out;
    std::string file_name; // the image name of its lines
    std::string path;      // directory and file name as opened; named in every message
    const std::uint8_t *end;
    std::size_t side_count;
    std::vector<qd_bad_block> bad_blocks; // of a QuickDisk image: checksums that do not match
};

enum side_outcome {
    side_printed,
    side_skipped, // message printed, no name line; the next side follows
    image_ended,  // message printed; nothing more of this image
};

// Longest part of a later side's image name in front of its side tag.
constexpr std::size_t image_stem_max = 244;

constexpr char file_kind_names[][4] = {"PRG", "CHR", "SND"};

} // namespace

// Prints to out through the platform, which shows every character of a name on a Windows
// console and writes the bytes themselves anywhere else.
[[gnu::format(printf, 2, 3)]] static void emit(std::FILE *out, const char *format, ...)
{
    char buf[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (static_cast<std::size_t>(n) < sizeof buf) {
        plat_write_text(out, buf, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    plat_write_text(out, big.data(), static_cast<std::size_t>(n));
}

// A byte of the side, 0 when it lies outside the image. The fixed fields of the info and
// file amount blocks always lie inside: every counted side is whole.
static std::uint8_t side_byte(const report &r, const std::uint8_t *side, std::size_t offset)
{
    std::uint8_t value = 0;
    read_u8(side, r.end, offset, &value);
    return value;
}

// The text at offset: up to its first zero byte, at most max bytes, never past the image.
static std::string_view field_text(const report &r, const std::uint8_t *p, std::size_t offset,
                                   std::size_t max)
{
    std::size_t avail = bytes_left(p, r.end);
    if (offset >= avail)
        return "";
    const char *text = reinterpret_cast<const char *>(p + offset);
    std::size_t len = 0;
    while (len < max && len < avail - offset && text[len] != '\0')
        len++;
    return {text, len};
}

static int text_width(std::string_view text)
{
    return text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
}

// A year stored as two BCD digits counting from 1925.
static unsigned bcd_year(std::uint8_t byte)
{
    return bcd_year_base + 10u * (byte >> 4) + (byte & 0x0Fu);
}

static void print_dates(const report &r, const std::uint8_t *side)
{
    const std::uint8_t *permit = side + info_permit_date_offset;
    const std::uint8_t *created = side + info_created_date_offset;
    if (!has_bytes(side, r.end, info_permit_date_offset, date_size) ||
        !has_bytes(side, r.end, info_created_date_offset, date_size))
        return;
    emit(r.out, "Permit: %02X/%02X/%02X (%04u) Created: %02X/%02X/%02X (%04u)", permit[0],
         permit[1], permit[2], bcd_year(permit[0]), created[0], created[1], created[2],
         bcd_year(created[0]));
}

// Game code right-aligned in four columns, filled with "0" on the left; version; maker; dates.
static void print_header_text(const report &r, const std::uint8_t *side)
{
    std::string_view code = field_text(r, side, info_game_code_offset, info_game_code_size);
    for (std::size_t k = code.size(); k < info_game_code_size; k++)
        emit(r.out, "0");
    emit(r.out, "%.*s", text_width(code), code.data());
    std::uint8_t maker = side_byte(r, side, info_maker_offset);
    emit(r.out, " (V 1.%02u) MFR: %02X %-22.22s ",
         static_cast<unsigned>(side_byte(r, side, info_version_offset)), maker, maker_name(maker));
    if (side_byte(r, side, info_marker1_offset) == info_marker1_valid &&
        side_byte(r, side, info_marker2_offset) == info_marker2_valid)
        print_dates(r, side);
    else
        emit(r.out, " * Info Not Valid");
}

// Only the first four characters of the signature are compared on later sides.
static bool signature_start_matches(const report &r, const std::uint8_t *side)
{
    const std::size_t compared = 4;
    if (!has_bytes(side, r.end, info_signature_offset, compared))
        return false;
    for (std::size_t k = 0; k < compared; k++) {
        if (side[info_signature_offset + k] != static_cast<std::uint8_t>(signature_text[k]))
            return false;
    }
    return true;
}

static side_outcome check_blocks(const report &r, const std::uint8_t *side)
{
    if (!signature_start_matches(r, side)) {
        std::string_view text = field_text(r, side, info_signature_offset, SIZE_MAX);
        emit(r.out, "\n***%s Err: FDS signature %.*s\n\n", r.path.c_str(), text_width(text),
             text.data());
        return side_skipped;
    }
    std::uint8_t code = side_byte(r, side, info_block_code_offset);
    if (code != block_info) {
        emit(r.out, "\n***%s Err: FDS block ID %X\n\n", r.path.c_str(), code);
        return side_skipped;
    }
    std::uint8_t amount = side_byte(r, side, file_amount_code_offset);
    if (amount != block_file_amount) {
        emit(r.out, "\n***%s Err: Storage Block ID: %X  Side may be empty.\n\n", r.path.c_str(),
             amount);
        return image_ended;
    }
    return side_printed;
}

// The first six fields of the catalogue line. The side number byte prints as 0 .. 255.
static void print_catalogue_prefix(const report &r, const std::uint8_t *side, std::size_t index)
{
    std::string_view code = field_text(r, side, info_game_code_offset, info_game_code_size);
    emit(r.out, "%-4.*s;1;%d;%d;%d;%02u", text_width(code), code.data(),
         static_cast<int>(side_byte(r, side, info_side_number_offset)), static_cast<int>(index),
         static_cast<int>(r.side_count),
         static_cast<unsigned>(side_byte(r, side, file_amount_count_offset)));
}

static void print_file_line(const report &r, const std::uint8_t *header, std::uint16_t size)
{
    std::string_view name = field_text(r, header, file_name_offset, file_name_size);
    std::uint8_t number = header[file_number_offset];
    std::uint8_t kind = header[file_kind_offset];
    if (kind < std::size(file_kind_names))
        emit(r.out, "\n%2X %-8.*s [%s] %5X", number, text_width(name), name.data(),
             file_kind_names[kind], size);
    else
        emit(r.out, "\n%2X %-8.*s [%03u] %5X", number, text_width(name), name.data(),
             static_cast<unsigned>(kind), size);
}

// The file line (at level 2) and the CRC of a file whose data block code is right. False,
// after a message, when its data runs past the end of the image.
static bool print_file(const report &r, const std::uint8_t *header, std::uint16_t size, int j)
{
    if (info_level == info_extra)
        print_file_line(r, header, size);
    if (!has_bytes(header, r.end, file_data_offset, size)) {
        emit(r.out, "\n***%s Err: File data past end of image - Block $%d\n\n", r.path.c_str(), j);
        return false;
    }
    emit(r.out, ";%8.8X", crc_of_bytes(header + file_data_offset, size));
    return true;
}

// File j, whose header lies at *offset from the side; moves *offset to the next header.
// False, after a message, when the image ends here.
static bool walk_one_file(const report &r, const std::uint8_t *side, int j, std::size_t *offset)
{
    std::uint8_t code = 0;
    bool code_present = read_u8(side, r.end, *offset + file_code_offset, &code);
    if (code_present && code != block_file_header) {
        emit(r.out, "\n***%s Err: Bad FileAttr ID - Block $%d\n\n", r.path.c_str(), j);
        return false;
    }
    if (!has_bytes(side, r.end, *offset, file_overhead)) {
        emit(r.out, "\n***%s Err: File header past end of image - Block $%d\n\n", r.path.c_str(),
             j);
        return false;
    }
    const std::uint8_t *header = side + *offset;
    std::uint16_t size = le16(header + file_size_offset);
    if (header[file_data_code_offset] == block_file_data) {
        if (!print_file(r, header, size, j))
            return false;
    } else {
        emit(r.out, "\n***%s Err: Invalid data ID for block %2X\n\n", r.path.c_str(),
             header[file_number_offset]);
    }
    // The size is read even when the data block code is wrong, so the walk keeps its step.
    *offset += file_overhead + size;
    return true;
}

static bool walk_files(const report &r, const std::uint8_t *side)
{
    int count = side_byte(r, side, file_amount_count_offset);
    std::size_t offset = first_file_header_offset;
    for (int j = 0; j < count; j++) {
        if (!walk_one_file(r, side, j, &offset))
            return false;
    }
    return true;
}

std::string image_name(std::string_view file_name, std::size_t index, std::size_t count)
{
    if (index <= 1)
        return std::string(file_name);
    std::size_t dot = file_name.rfind('.');
    std::string_view stem = file_name.substr(0, dot);
    std::string_view extension = dot == std::string_view::npos ? "" : file_name.substr(dot);
    char tag[48];
    std::snprintf(tag, sizeof tag, " (%zuo%zu)", index, count);
    std::string name(stem.substr(0, image_stem_max));
    name += tag;
    name += extension;
    return name;
}

static void print_name_line(const report &r, std::size_t index)
{
    emit(r.out, ";%s\n", image_name(r.file_name, index, r.side_count).c_str());
}

// With extra info, the blocks of side index whose stored checksum does not match.
static void print_bad_checksums(const report &r, std::size_t index)
{
    if (info_level != info_extra)
        return;
    for (const qd_bad_block &b : r.bad_blocks) {
        if (static_cast<std::size_t>(b.side) == index)
            emit(r.out, "***%s Err: Bad checksum - Side %d Block %d\n", r.path.c_str(), b.side,
                 b.block);
    }
}

static side_outcome report_side(const report &r, const std::uint8_t *side, std::size_t index)
{
    if (info_level != info_catalogue)
        print_header_text(r, side);
    if (crc_output) {
        side_outcome checked = check_blocks(r, side);
        if (checked != side_printed)
            return checked;
        if (info_level != info_extra)
            print_catalogue_prefix(r, side, index);
        if (!walk_files(r, side))
            return image_ended;
    }
    print_name_line(r, index);
    print_bad_checksums(r, index);
    return side_printed;
}

// Reads the image whole; false after a message when it cannot be.
static bool load_image(const report &r, image_buffer *image)
{
    switch (read_image_file(r.path.c_str(), image)) {
    case read_ok:
        return true;
    case read_open_failed:
        // No line end here: the next output continues on this line.
        emit(r.out, "%s: failed to open", r.path.c_str());
        return false;
    case read_no_memory:
        emit(r.out, "%s: too large to load\n", r.path.c_str());
        return false;
    case read_size_unknown:
    case read_short:
        break;
    }
    emit(r.out, "%s: failed to read\n", r.path.c_str());
    return false;
}

// The byte before the first signature. A signature at the very first byte has no block code
// in front of it and so cannot start a side; the search begins at the second byte.
static const std::uint8_t *find_first_side(const std::uint8_t *begin, const std::uint8_t *end)
{
    if (begin == end)
        return nullptr;
    const std::uint8_t *match = find_signature(begin + 1, signature_text, end);
    return match != nullptr ? match - 1 : nullptr;
}

static void report_image(report *r, const std::uint8_t *begin, const std::uint8_t *end)
{
    const std::uint8_t *first = find_first_side(begin, end);
    if (first == nullptr) {
        emit(r->out, "%s does not contain a Famicom disk image\n", r->path.c_str());
        return;
    }
    r->end = end;
    r->side_count = bytes_left(first, r->end) / side_size;
    for (std::size_t i = 1; i <= r->side_count; i++) {
        if (report_side(*r, first + (i - 1) * side_size, i) == image_ended)
            return;
    }
    if (info_level == info_extra)
        emit(r->out, "\n\n");
}

static report new_report(std::FILE *out, const char *file_name, const char *dir)
{
    report r{};
    r.out = out;
    r.file_name = file_name;
    r.path = std::string(dir != nullptr ? dir : "") + file_name;
    return r;
}

// A name that would end a field or a line early is never printed into a catalogue line, where
// it would garble or forge records; one warning line on stderr (line breaks shown as "?").
static bool refuse_name(const char *file_name)
{
    if (std::string_view(file_name).find_first_of(";\r\n") == std::string_view::npos)
        return false;
    std::string shown = file_name;
    for (char &c : shown) {
        if (c == '\r' || c == '\n')
            c = '?';
    }
    std::fflush(stdout); // keeps the order when both streams share a terminal
    emit(stderr, "quindle: %s: not catalogued: its name holds ';' or a line break\n",
         shown.c_str());
    return true;
}

// The report on the bytes of r's file. A QuickDisk image is reported as its .fds image,
// under that image's name.
static void report_bytes(report *r, const std::uint8_t *data, std::size_t size)
{
    if (!is_qd_name(r->file_name.c_str())) {
        report_image(r, data, data + size);
        return;
    }
    image_buffer sides;
    if (!qd_to_fds(data, size, &sides, &r->bad_blocks)) {
        emit(r->out, "%s: too large to load\n", r->path.c_str());
        return;
    }
    r->file_name = fds_name_of_qd(r->file_name);
    report_image(r, sides.begin(), sides.end());
}

void side_report_bytes(std::FILE *out, const char *file_name, const char *dir,
                       const std::uint8_t *data, std::size_t size)
{
    if (refuse_name(file_name))
        return;
    report r = new_report(out, file_name, dir);
    report_bytes(&r, data, size);
}

void side_report_to(std::FILE *out, const char *file_name, const char *dir)
{
    if (refuse_name(file_name))
        return;
    report r = new_report(out, file_name, dir);
    image_buffer image;
    if (load_image(r, &image))
        report_bytes(&r, image.begin(), image.size);
}

void side_report(const char *file_name, const char *dir)
{
    side_report_to(stdout, file_name, dir);
}
