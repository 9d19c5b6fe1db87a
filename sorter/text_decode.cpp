// Turning a catalogue file's bytes into UTF-8: the byte-order marks, UTF-16 with its
// surrogate pairs, and the per-line fallback to the legacy code page.
#include "text_decode.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";
constexpr std::string_view utf16le_mark = "\xFF\xFE";
constexpr std::string_view utf16be_mark = "\xFE\xFF";

// Where decoded bytes go. The first pass only counts (at is null), so that the second can
// fill a buffer of exactly the right size; room guards it should the two ever disagree.
struct utf8_sink {
    char *at = nullptr;
    std::size_t room = 0;
    std::size_t size = 0;
};

void put(utf8_sink *out, const char *bytes, std::size_t n)
{
    if (out->at != nullptr && out->size <= out->room && n <= out->room - out->size)
        std::memcpy(out->at + out->size, bytes, n);
    out->size += n;
}

void put_code_point(utf8_sink *out, std::uint32_t cp)
{
    char b[4];
    std::size_t n = 1;
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | cp >> 6);
        n = 2;
    } else if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | cp >> 12);
        n = 3;
    } else {
        b[0] = static_cast<char>(0xF0 | cp >> 18);
        n = 4;
    }
    for (std::size_t i = 1; i < n; i++)
        b[i] = static_cast<char>(0x80 | ((cp >> (6 * (n - 1 - i))) & 0x3F));
    put(out, b, n);
}

// Bytes in the character a lead byte starts; 0 when it starts none.
std::size_t sequence_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Bytes in the well-formed character at the start of text; 0 when there is none.
std::size_t character_length(std::string_view text)
{
    auto lead = static_cast<unsigned char>(text[0]);
    std::size_t n = sequence_length(lead);
    if (n == 0 || n > text.size())
        return 0;
    // The second byte's narrower ranges rule out overlong forms, surrogates and code points
    // beyond U+10FFFF.
    unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t i = 1; i < n; i++) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < low || c > high)
            return 0;
        low = 0x80;
        high = 0xBF;
    }
    return n;
}

std::uint32_t utf16_unit(std::string_view units, std::size_t i, bool big_endian)
{
    auto first = static_cast<unsigned char>(units[i]);
    auto second = static_cast<unsigned char>(units[i + 1]);
    return big_endian ? first << 8 | second : second << 8 | first;
}

bool is_high_surrogate(std::uint32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

bool is_low_surrogate(std::uint32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// UTF-16 after its mark; false when it is no whole number of units or a surrogate is unpaired.
bool decode_utf16(std::string_view units, bool big_endian, utf8_sink *out)
{
    if (units.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < units.size(); i += 2) {
        std::uint32_t u = utf16_unit(units, i, big_endian);
        if (is_low_surrogate(u))
            return false;
        if (is_high_surrogate(u)) {
            if (i + 2 == units.size())
                return false;
            std::uint32_t low = utf16_unit(units, i + 2, big_endian);
            if (!is_low_surrogate(low))
                return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        put_code_point(out, u);
    }
    return true;
}

// 8-bit text line by line: a catalogue an earlier Windows build wrote holds legacy code page
// bytes, and one appended to later may hold both kinds, so each line is judged apart. A byte
// 0x0A is a line feed in UTF-8 and in every Windows ANSI code page, never part of a character.
void decode_lines(std::string_view text, legacy_decoder legacy, utf8_sink *out)
{
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (is_utf8(line)) {
            put(out, line.data(), line.size());
        } else {
            std::string converted = legacy(line);
            put(out, converted.data(), converted.size());
        }
        if (end == std::string_view::npos)
            break;
        put(out, "\n", 1);
        text.remove_prefix(end + 1);
    }
}

bool decode_into(std::string_view raw, legacy_decoder legacy, utf8_sink *out)
{
    if (raw.starts_with(utf16le_mark))
        return decode_utf16(raw.substr(utf16le_mark.size()), false, out);
    if (raw.starts_with(utf16be_mark))
        return decode_utf16(raw.substr(utf16be_mark.size()), true, out);
    if (raw.starts_with(utf8_mark))
        raw.remove_prefix(utf8_mark.size());
    decode_lines(raw, legacy, out);
    return true;
}

} // namespace

decode_result decode_text(std::string_view raw, legacy_decoder legacy, utf8_text *out)
{
    out->bytes.reset();
    out->size = 0;
    utf8_sink measured;
    if (!decode_into(raw, legacy, &measured))
        return decode_malformed;
    // One spare byte keeps the buffer non-empty for empty text.
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[measured.size + 1]);
    if (bytes == nullptr)
        return decode_no_memory;
    utf8_sink filled{bytes.get(), measured.size, 0};
    decode_into(raw, legacy, &filled);
    if (filled.size != measured.size)
        return decode_malformed;
    out->bytes = std::move(bytes);
    out->size = measured.size;
    return decode_ok;
}

bool is_utf8(std::string_view text)
{
    while (!text.empty()) {
        std::size_t n = character_length(text);
        if (n == 0)
            return false;
        text.remove_prefix(n);
    }
    return true;
}

std::size_t utf8_whole_length(const char *text, std::size_t len)
{
    // Back over continuation bytes to the last character's first byte.
    for (std::size_t back = 1; back <= 4 && back <= len; back++) {
        auto c = static_cast<unsigned char>(text[len - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        return sequence_length(c) > back ? len - back : len;
    }
    return len;
}
