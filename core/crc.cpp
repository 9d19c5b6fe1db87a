// Table-driven CRC-32. The byte-wise loop is the reference; slicing-by-16 over tables derived
// from the byte table is the portable fast path; on x86 processors that have carry-less
// multiplication, 64-byte blocks are folded with it. Every path gives the same values.
#include "crc.h"

std::uint32_t crc_table[256];

namespace {

constexpr int slice_count = 16;

// crc_slices[k][i]: the register after byte i followed by k zero bytes, from a zero register.
// crc_slices[0] is crc_table.
std::uint32_t crc_slices[slice_count][256];

bool use_clmul = false;

// Below this the folding set-up costs more than it saves.
constexpr std::size_t clmul_min_length = 64;

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t bytewise_register(const std::uint8_t *p, std::size_t length, std::uint32_t reg)
{
    for (std::size_t i = 0; i < length; i++)
        reg = (reg >> 8) ^ crc_table[(reg ^ p[i]) & 0xFF];
    return reg;
}

// Four little-endian words of the input, the first combined with the register, each byte
// looked up in the slice that carries it over the bytes still to come in this step.
std::uint32_t slice_word(std::uint32_t w, int slice)
{
    return crc_slices[slice + 3][w & 0xFF] ^ crc_slices[slice + 2][(w >> 8) & 0xFF] ^
           crc_slices[slice + 1][(w >> 16) & 0xFF] ^ crc_slices[slice][w >> 24];
}

std::uint32_t sliced_register(const std::uint8_t *p, std::size_t length, std::uint32_t reg)
{
    for (; length >= slice_count; p += slice_count, length -= slice_count) {
        reg = slice_word(le32(p) ^ reg, 12) ^ slice_word(le32(p + 4), 8) ^
              slice_word(le32(p + 8), 4) ^ slice_word(le32(p + 12), 0);
    }
    return bytewise_register(p, length, reg);
}

void build_slices()
{
    for (int i = 0; i < 256; i++)
        crc_slices[0][i] = crc_table[i];
    for (int k = 1; k < slice_count; k++) {
        for (int i = 0; i < 256; i++) {
            std::uint32_t prev = crc_slices[k - 1][i];
            crc_slices[k][i] = (prev >> 8) ^ crc_table[prev & 0xFF];
        }
    }
}

} // namespace

// The one architecture-specific piece: folding with PCLMULQDQ, compiled for x86 whatever the
// build's target processor and used only when the processor reports the instruction.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>

// 32-bit Windows only keeps the stack 4-byte aligned; SSE spills need 16.
#define CLMUL_TARGET __attribute__((target("pclmul,sse2"), force_align_arg_pointer))

namespace {

bool cpu_has_clmul()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("pclmul");
}

// x carried over 128 bits (its two halves times the two constants of k), plus the next block.
CLMUL_TARGET __m128i fold_into(__m128i x, __m128i k, __m128i next)
{
    __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

CLMUL_TARGET __m128i load16(const std::uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// Every folding constant below is a power of x modulo the CRC polynomial P(x) = 0x104C11DB7,
// written bit-reflected (as the register holds its bits) and shifted left by one. Each can be
// checked by computing x^n mod P(x), reversing its 32 bits and doubling the result.

// 128 bits down to the 32-bit register: fold to 64 bits, then Barrett reduction by the
// polynomial.
CLMUL_TARGET std::uint32_t reduce128(__m128i x, __m128i k3k4)
{
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    const __m128i k5 = _mm_set_epi64x(0, 0x163CD6124); // x^64 mod P
    // mu = x^64 div P, and P itself, both bit-reflected over 33 bits.
    const __m128i barrett = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k3k4, 0x10));
    __m128i high = _mm_srli_si128(x, 4);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00), high);
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, barrett, 0x00));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

// The register after length bytes; length is at least 64 and a multiple of 16. Four lanes
// of 16 bytes are folded 64 bytes ahead at a time, then into one lane, then reduced.
CLMUL_TARGET std::uint32_t clmul_register(const std::uint8_t *p, std::size_t length,
                                          std::uint32_t reg)
{
    // 64 bytes ahead: x^(4*128-32) = x^480 mod P and x^(4*128+32) = x^544 mod P.
    const __m128i k1k2 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);
    // 16 bytes ahead: x^(128-32) = x^96 mod P and x^(128+32) = x^160 mod P.
    const __m128i k3k4 = _mm_set_epi64x(0x0CCAA009E, 0x1751997D0);
    __m128i x1 = _mm_xor_si128(load16(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load16(p + 16), x3 = load16(p + 32), x4 = load16(p + 48);
    for (p += 64, length -= 64; length >= 64; p += 64, length -= 64) {
        x1 = fold_into(x1, k1k2, load16(p));
        x2 = fold_into(x2, k1k2, load16(p + 16));
        x3 = fold_into(x3, k1k2, load16(p + 32));
        x4 = fold_into(x4, k1k2, load16(p + 48));
    }
    x1 = fold_into(fold_into(fold_into(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; length >= 16; p += 16, length -= 16)
        x1 = fold_into(x1, k3k4, load16(p));
    return reduce128(x1, k3k4);
}

} // namespace

#else

namespace {

bool cpu_has_clmul()
{
    return false;
}

std::uint32_t clmul_register(const std::uint8_t *p, std::size_t length, std::uint32_t reg)
{
    return sliced_register(p, length, reg);
}

} // namespace

#endif

void crc_build_table()
{
    for (std::uint32_t i = 0; i < 256; i++) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? (c >> 1) ^ crc_polynomial : c >> 1;
        crc_table[i] = c;
    }
    build_slices();
    use_clmul = cpu_has_clmul();
}

bool crc_uses_clmul()
{
    return use_clmul;
}

std::uint32_t crc_of_bytes(const std::uint8_t *bytes, std::size_t length, std::size_t start,
                           std::uint32_t initial)
{
    std::uint32_t reg = initial == 0 ? crc_preset : initial;
    const std::uint8_t *p = bytes + start;
    if (use_clmul && length >= clmul_min_length) {
        std::size_t folded = length & ~static_cast<std::size_t>(15);
        reg = clmul_register(p, folded, reg);
        p += folded;
        length -= folded;
    }
    return ~sliced_register(p, length, reg);
}

std::uint32_t crc_continue(std::uint32_t crc, const std::uint8_t *bytes, std::size_t length)
{
    // crc_of_bytes reads an initial value of 0 as the preset, so a register that happens to be
    // 0 is stepped on one byte at a time until it is not.
    std::uint32_t reg = ~crc;
    std::size_t i = 0;
    for (; i < length && reg == 0; i++)
        reg = bytewise_register(bytes + i, 1, reg);
    return i == length ? ~reg : crc_of_bytes(bytes, length - i, i, reg);
}

std::uint32_t crc_of_bytes_sliced(const std::uint8_t *bytes, std::size_t length, std::size_t start,
                                  std::uint32_t initial)
{
    return ~sliced_register(bytes + start, length, initial == 0 ? crc_preset : initial);
}

std::uint32_t crc_of_bytes_bytewise(const std::uint8_t *bytes, std::size_t length,
                                    std::size_t start, std::uint32_t initial)
{
    return ~bytewise_register(bytes + start, length, initial == 0 ? crc_preset : initial);
}
