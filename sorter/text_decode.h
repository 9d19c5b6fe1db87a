// Catalogue text as UTF-8 whatever wrote it: UTF-8 with or without a mark, UTF-16 in either
// byte order, or lines in a Windows legacy code page.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Text of the system's legacy code page as UTF-8: plat_legacy_to_utf8, or a stand-in.
using legacy_decoder = std::string (*)(std::string_view text);

struct utf8_text {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

enum decode_result {
    decode_ok = 0,
    decode_malformed, // UTF-16 of an odd length or with an unpaired surrogate
    decode_no_memory,
};

// Decodes a whole file's bytes into out. FF FE or FE FF starts UTF-16 (little or big
// endian), decoded whole. Anything else is 8-bit text: an EF BB BF mark is dropped, and each
// line (the bytes between line feeds) that is not UTF-8 goes through legacy.
decode_result decode_text(std::string_view raw, legacy_decoder legacy, utf8_text *out);

// Whether text is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing beyond U+10FFFF.
bool is_utf8(std::string_view text);

// len, or less so that the first len bytes of text do not end inside a UTF-8 character.
std::size_t utf8_whole_length(const char *text, std::size_t len);
