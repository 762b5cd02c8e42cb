#include "engines/checksums/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace shardix {

std::uint32_t crc32ByTable(std::uint32_t crc, const void* bytes, std::size_t length) {
    return static_cast<std::uint32_t>(crc32_z(crc, static_cast<const Bytef*>(bytes), length));
}

#if defined(__x86_64__)

namespace {

#define SHARDIX_CLMUL __attribute__((target("pclmul,sse4.1")))

// The CRC's polynomial is reflected: bit 0 of the first byte is the highest
// power. Four 128-bit lanes of the message are each multiplied on by x to
// the power of 512 (modulo the polynomial) and the next 64 bytes added, until
// fewer than 64 are left; the four are then folded into one, the rest added
// 16 bytes at a time, and the 128 bits reduced to 32 by a Barrett reduction.
// The constants are powers of x modulo P, one pair for each distance folded
// (512 and 128 bits), one for the last 64 bits, and P and the quotient of
// x^64 by P for the reduction, all in the reflected order (the usual ones for
// this polynomial; the tests hold the result to zlib's).
constexpr long long kFold512Low = 0x154442bd4;
constexpr long long kFold512High = 0x1c6e41596;
constexpr long long kFold128Low = 0x1751997d0;
constexpr long long kFold128High = 0x0ccaa009e;
constexpr long long kFold64 = 0x163cd6124;
constexpr long long kPolynomial = 0x1db710641;
constexpr long long kBarrett = 0x1f7011641;

SHARDIX_CLMUL inline __m128i fold(__m128i x, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00),
                         _mm_clmulepi64_si128(x, constants, 0x11));
}

SHARDIX_CLMUL inline __m128i load(const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The CRC register (not inverted) after `length` bytes, a multiple of 16 and
// at least 64.
SHARDIX_CLMUL std::uint32_t foldedRegister(std::uint32_t reg, const std::uint8_t* at,
                                           std::size_t length) {
    __m128i x1 = _mm_xor_si128(load(at), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load(at + 16), x3 = load(at + 32), x4 = load(at + 48);
    at += 64;
    length -= 64;
    const __m128i by512 = _mm_set_epi64x(kFold512High, kFold512Low);
    for (; length >= 64; at += 64, length -= 64) {
        x1 = _mm_xor_si128(fold(x1, by512), load(at));
        x2 = _mm_xor_si128(fold(x2, by512), load(at + 16));
        x3 = _mm_xor_si128(fold(x3, by512), load(at + 32));
        x4 = _mm_xor_si128(fold(x4, by512), load(at + 48));
    }
    const __m128i by128 = _mm_set_epi64x(kFold128High, kFold128Low);
    x1 = _mm_xor_si128(fold(x1, by128), x2);
    x1 = _mm_xor_si128(fold(x1, by128), x3);
    x1 = _mm_xor_si128(fold(x1, by128), x4);
    for (; length >= 16; at += 16, length -= 16)
        x1 = _mm_xor_si128(fold(x1, by128), load(at));
    // 128 bits to 64, adding 32 zero bits.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(by128, x1, 0x01));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x1 = _mm_xor_si128(
        _mm_srli_si128(x1, 4),
        _mm_clmulepi64_si128(_mm_and_si128(x1, low32), _mm_set_epi64x(0, kFold64), 0x00));
    // Barrett: the quotient by P, then the remainder.
    const __m128i reduce = _mm_set_epi64x(kBarrett, kPolynomial);
    __m128i q = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), reduce, 0x10);
    q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), reduce, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(q, x1), 1));
}

bool canFold() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

// Shorter runs are not worth the set-up.
constexpr std::size_t kFoldFrom = 256;

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::size_t length) {
    static const bool folds = canFold();
    if (!folds || length < kFoldFrom)
        return crc32ByTable(crc, bytes, length);
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    const std::size_t whole = length / 16 * 16;
    const std::uint32_t folded = ~foldedRegister(~crc, at, whole);
    return crc32ByTable(folded, at + whole, length - whole);
}

#else

std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::size_t length) {
    return crc32ByTable(crc, bytes, length);
}

#endif

} // namespace shardix
