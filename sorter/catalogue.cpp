// The catalogue of known disk sides: the field reader and the loader of ingredients.dat,
// read once per process and kept until the program ends.
#include "catalogue.h"

#include "image_file.h"
#include "platform.h"
#include "text_decode.h"
#include "ui.h"

#include <cstring>

cat_entry catalogue[catalogue_capacity];
std::int32_t row_count = 0;

namespace {

constexpr char catalogue_file_name[] = "ingredients.dat";
constexpr char field_delimiter = ';';
constexpr int end_of_file_byte = 0x1A;
constexpr std::size_t game_code_chars = 4;

// One character as text mode delivers it: CR LF becomes LF, 0x1A ends the text. We do this
// ourselves so that every platform reads the catalogue alike.
int text_getc(text_stream *in)
{
    if (in->ended)
        return EOF;
    if (in->next == in->end || *in->next == end_of_file_byte) {
        in->ended = true;
        return EOF;
    }
    auto c = static_cast<unsigned char>(*in->next++);
    if (c == '\r' && in->next != in->end && *in->next == '\n') {
        in->next++;
        return '\n';
    }
    return c;
}

// Drops the rest of an over-long field's line; false when the file ended first.
bool discard_rest_of_line(text_stream *in)
{
    for (;;) {
        int c = text_getc(in);
        if (c == '\n')
            return true;
        if (c == EOF)
            return false;
    }
}

void report_record_too_long(const char *field)
{
    char text[field_max + 64];
    std::snprintf(text, sizeof text, "Error loading datfile, record too long:\n\t%s\n", field);
    ui_message(false, text, "fstrtok");
}

bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Skips leading white space and an optional sign; tells whether the sign was a minus.
const char *skip_space_and_sign(const char *s, bool *negative)
{
    while (is_space(static_cast<unsigned char>(*s)))
        s++;
    *negative = *s == '-';
    if (*s == '+' || *s == '-')
        s++;
    return s;
}

// Decimal field kept as its low eight bits: no overflow check, so large values wrap.
std::int8_t parse_small_number(const char *s)
{
    bool negative = false;
    s = skip_space_and_sign(s, &negative);
    std::uint32_t value = 0;
    for (; *s >= '0' && *s <= '9'; s++)
        value = value * 10u + static_cast<std::uint32_t>(*s - '0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFFu));
}

// Hexadecimal CRC field; a value beyond 32 bits saturates to FFFFFFFF whatever its sign.
std::uint32_t parse_crc(const char *s)
{
    bool negative = false;
    s = skip_space_and_sign(s, &negative);
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s += 2;
    std::uint64_t value = 0;
    bool overflow = false;
    for (int d = hex_digit_value(*s); d >= 0; d = hex_digit_value(*++s)) {
        value = value * 16u + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu; // keep consuming digits without growing further
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

std::int8_t read_small_number(text_stream *in)
{
    char field[field_max + 2];
    fstrtok(in, field_delimiter, field, field_max);
    return parse_small_number(field);
}

// Reads one field into dest (size bytes), keeping as many whole characters as fit.
void read_text_field(text_stream *in, char *dest, std::size_t size)
{
    char field[field_max + 2];
    fstrtok(in, field_delimiter, field, field_max);
    std::size_t len = std::strlen(field);
    if (len >= size)
        len = utf8_whole_length(field, size - 1);
    std::memcpy(dest, field, len);
    dest[len] = '\0';
}

void report_no_crc_list(std::int8_t file_count)
{
    char text[64];
    // A negative count shows as the unsigned 32-bit number it was taken for.
    auto shown = static_cast<unsigned>(static_cast<int>(file_count));
    std::snprintf(text, sizeof text, "Memory allocation of %u ints failed\n", shown);
    ui_message(false, text, "FDS_ID");
}

void report_table_full(int k)
{
    char text[64];
    std::snprintf(text, sizeof text, "Too many ingredients: %u.\n", static_cast<unsigned>(k + 1));
    ui_message(false, text, "FDS_ID");
}

// Reads one record into e. False when its file count can have no CRC list.
bool read_record(text_stream *in, cat_entry *e)
{
    char code[game_code_chars + 1];
    read_text_field(in, code, sizeof code);
    std::memcpy(e->game_code, code, sizeof code);
    e->listed = read_small_number(in);
    e->side_number = read_small_number(in);
    e->side_index = read_small_number(in);
    e->side_count = read_small_number(in);
    e->file_count = read_small_number(in);
    if (e->file_count < 0) {
        report_no_crc_list(e->file_count);
        e->crcs.clear();
        return false;
    }
    e->crcs.assign(static_cast<std::size_t>(e->file_count), 0u);
    for (std::uint32_t &crc : e->crcs) {
        char field[field_max + 2];
        fstrtok(in, field_delimiter, field, field_max);
        crc = parse_crc(field);
    }
    read_text_field(in, e->name, sizeof e->name);
    e->found = 0;
    return true;
}

// The catalogue file's text as UTF-8; false when the file cannot be read or decoded, or
// memory for it cannot be had.
bool read_catalogue_text(utf8_text *text)
{
    image_buffer raw;
    if (read_image_file(catalogue_file_name, &raw) != read_ok)
        return false;
    std::string_view bytes(reinterpret_cast<const char *>(raw.begin()), raw.size);
    return decode_text(bytes, plat_legacy_to_utf8, text) == decode_ok;
}

} // namespace

std::size_t fstrtok(text_stream *in, char delim, char *buf, std::size_t max)
{
    std::size_t n = 0;
    for (;;) {
        int c = text_getc(in);
        if (c == static_cast<unsigned char>(delim) || c == '\n')
            break;
        if (c == EOF) {
            buf[n] = '\0';
            return 0;
        }
        buf[n++] = static_cast<char>(c);
        if (n == max + 1) {
            bool line_ended = discard_rest_of_line(in);
            // A character that did not fit whole is left out.
            buf[utf8_whole_length(buf, n)] = '\0';
            report_record_too_long(buf);
            return line_ended ? max : 0;
        }
    }
    buf[n] = '\0';
    return n;
}

int load_catalogue()
{
    if (row_count != 0)
        return row_count;
    // Read whole: whether it is UTF-16 or UTF-8 decides how every byte reads.
    utf8_text text;
    if (!read_catalogue_text(&text))
        return 0;
    text_stream in{text.bytes.get(), text.bytes.get() + text.size, false};
    int k = 1;
    for (;;) {
        if (k == catalogue_capacity) {
            report_table_full(k);
            break;
        }
        if (!read_record(&in, &catalogue[k]))
            return k - 1; // the row count stays 0: the next run reads the file again
        if (in.ended) {
            // A record cut short by the end of the file is not kept.
            catalogue[k].crcs = std::vector<std::uint32_t>();
            break;
        }
        k++;
    }
    row_count = k;
    return row_count;
}

void release_catalogue()
{
    if (row_count < 2)
        return;
    for (int i = row_count - 1; i >= 1; i--)
        catalogue[i].crcs = std::vector<std::uint32_t>();
}
