// Images built for tests: files of known text, the "abc" side whose CRCs and header line the
// tests spell out, whole images of generated sides with or without a header, and their CRCs.
#pragma once

#include "fdsgen.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

inline gen_file text_file(std::uint8_t number, const std::string &name, const std::string &data,
                          std::uint8_t kind = 0)
{
    gen_file f;
    f.number = number;
    f.id = number;
    f.name = name;
    f.kind = kind;
    f.data.assign(data.begin(), data.end());
    return f;
}

// Game TEST: "abc" as a program, "123456789" as character data (CRCs 352441C2, CBF43926).
inline gen_side abc_side(std::uint8_t side_number = 0)
{
    gen_side s;
    s.side_number = side_number;
    s.files = {text_file(0, "KYODAKU-", "abc", 0), text_file(1, "CHARS", "123456789", 1)};
    return s;
}

// The CRC-32 of each of the side's files, in order.
inline std::vector<std::uint32_t> crcs_of(const gen_side &side)
{
    std::vector<std::uint32_t> out;
    for (const gen_file &f : side.files)
        out.push_back(gen_crc32(f.data));
    return out;
}

// The header text of abc_side at -i and -x.
inline const std::string abc_header = "TEST (V 1.00) MFR: 01 Nintendo               Permit: "
                                      "61/02/21 (1986) Created: 61/02/21 (1986)";

// Bare sides behind a 16-byte header that gives count sides.
inline bytes with_header(const bytes &sides, int count)
{
    // Sized once and filled: growing a short vector by insert trips GCC 12's bounds warnings.
    bytes out(16 + sides.size(), 0);
    const std::uint8_t magic[] = {0x46, 0x44, 0x53, 0x1A};
    std::copy(std::begin(magic), std::end(magic), out.begin());
    out[4] = static_cast<std::uint8_t>(count);
    std::copy(sides.begin(), sides.end(), out.begin() + 16);
    return out;
}
