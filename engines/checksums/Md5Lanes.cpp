#include "engines/checksums/Md5Lanes.h"

#include "engines/checksums/Md5Constants.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#else
#include "engines/checksums/Md5.h"
#endif

namespace shardix {

#if defined(__x86_64__)

namespace {

#define SHARDIX_AVX512F __attribute__((target("avx512f")))
// The steps and the transpose must melt into one loop, their values in registers.
#define SHARDIX_INLINE __attribute__((always_inline)) inline

using md5::kShifts;
using md5::kSines;

// Step I of the 64, with its function (by truth table: b ? c : d, d ? b : c,
// b ^ c ^ d, c ^ (b | ~d)), word, sine and shift fixed at compile time.
template <int I>
SHARDIX_AVX512F SHARDIX_INLINE void step(__m512i& a, __m512i& b, __m512i& c, __m512i& d,
                                         const __m512i words[16]) {
    constexpr int round = I / 16;
    constexpr int table = round == 0 ? 0xCA : round == 1 ? 0xE4 : round == 2 ? 0x96 : 0x39;
    constexpr int g = md5::wordOfStep(I);
    const __m512i f = _mm512_ternarylogic_epi32(b, c, d, table);
    __m512i sum = _mm512_add_epi32(
        _mm512_add_epi32(a, f),
        _mm512_add_epi32(words[g], _mm512_set1_epi32(static_cast<int>(kSines[I]))));
    sum = _mm512_maskz_rol_epi32(0xFFFF, sum, kShifts[round][I % 4]);
    a = d;
    d = c;
    c = b;
    b = _mm512_add_epi32(b, sum);
}

template <int... I>
SHARDIX_AVX512F SHARDIX_INLINE void steps(__m512i& a, __m512i& b, __m512i& c, __m512i& d,
                                          const __m512i words[16],
                                          std::integer_sequence<int, I...>) {
    (step<I>(a, b, c, d, words), ...);
}

// Word w of each lane's 64-byte chunk, for w = 0 .. 15: a 16 x 16 transpose.
// (The zero-masking forms, with every element kept, spare GCC's warning about
// the undefined operand of the plain ones.)
SHARDIX_AVX512F SHARDIX_INLINE void loadWords(const std::uint8_t* const chunk[kMd5Lanes],
                                              __m512i words[16]) {
    __m512i rows[16], pairs[16], quads[16];
    for (int lane = 0; lane < 16; ++lane)
        rows[lane] = _mm512_loadu_si512(chunk[lane]);
    // Within each 128-bit block: 32-bit, then 64-bit interleaves; quads[4i + m]
    // block q then holds word 4q + m of lanes 4i .. 4i + 3.
    for (int i = 0; i < 8; ++i) {
        pairs[2 * i] = _mm512_maskz_unpacklo_epi32(0xFFFF, rows[2 * i], rows[2 * i + 1]);
        pairs[2 * i + 1] = _mm512_maskz_unpackhi_epi32(0xFFFF, rows[2 * i], rows[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        quads[4 * i] = _mm512_maskz_unpacklo_epi64(0xFF, pairs[4 * i], pairs[4 * i + 2]);
        quads[4 * i + 1] = _mm512_maskz_unpackhi_epi64(0xFF, pairs[4 * i], pairs[4 * i + 2]);
        quads[4 * i + 2] = _mm512_maskz_unpacklo_epi64(0xFF, pairs[4 * i + 1], pairs[4 * i + 3]);
        quads[4 * i + 3] = _mm512_maskz_unpackhi_epi64(0xFF, pairs[4 * i + 1], pairs[4 * i + 3]);
    }
    // Then the 128-bit blocks transposed.
    for (int m = 0; m < 4; ++m) {
        const __m512i low0 = _mm512_maskz_shuffle_i32x4(0xFFFF, quads[m], quads[4 + m], 0x44);
        const __m512i high0 = _mm512_maskz_shuffle_i32x4(0xFFFF, quads[m], quads[4 + m], 0xEE);
        const __m512i low1 = _mm512_maskz_shuffle_i32x4(0xFFFF, quads[8 + m], quads[12 + m], 0x44);
        const __m512i high1 = _mm512_maskz_shuffle_i32x4(0xFFFF, quads[8 + m], quads[12 + m], 0xEE);
        words[m] = _mm512_maskz_shuffle_i32x4(0xFFFF, low0, low1, 0x88);
        words[4 + m] = _mm512_maskz_shuffle_i32x4(0xFFFF, low0, low1, 0xDD);
        words[8 + m] = _mm512_maskz_shuffle_i32x4(0xFFFF, high0, high1, 0x88);
        words[12 + m] = _mm512_maskz_shuffle_i32x4(0xFFFF, high0, high1, 0xDD);
    }
}

// Runs the 64 steps on one chunk of every lane; only the lanes of `lanes`
// take the result.
SHARDIX_AVX512F SHARDIX_INLINE void compress(__m512i state[4], const __m512i words[16],
                                             __mmask16 lanes = 0xFFFF) {
    __m512i a = state[0], b = state[1], c = state[2], d = state[3];
    steps(a, b, c, d, words, std::make_integer_sequence<int, 64>());
    state[0] = _mm512_mask_add_epi32(state[0], lanes, state[0], a);
    state[1] = _mm512_mask_add_epi32(state[1], lanes, state[1], b);
    state[2] = _mm512_mask_add_epi32(state[2], lanes, state[2], c);
    state[3] = _mm512_mask_add_epi32(state[3], lanes, state[3], d);
}

SHARDIX_AVX512F void md5Lanes(const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                              Md5Digest digests[kMd5Lanes]) {
    __m512i state[4] = {
        _mm512_set1_epi32(0x67452301), _mm512_set1_epi32(static_cast<int>(0xefcdab89)),
        _mm512_set1_epi32(static_cast<int>(0x98badcfe)), _mm512_set1_epi32(0x10325476)};
    __m512i words[16];
    const std::uint8_t* chunk[kMd5Lanes];
    const std::size_t whole = length / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64) {
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            chunk[lane] = messages[lane] + at;
        loadWords(chunk, words);
        compress(state, words);
    }
    // The rest of each message, 0x80, zeros and the length in bits: one or two chunks.
    const std::size_t rest = length - whole;
    const std::size_t tailLength = rest < 56 ? 64 : 128;
    alignas(64) std::uint8_t tails[kMd5Lanes][128];
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
        std::memset(tails[lane], 0, sizeof tails[lane]);
        if (rest > 0) // an empty message may have no memory at all
            std::memcpy(tails[lane], messages[lane] + whole, rest);
        tails[lane][rest] = 0x80;
        const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
        for (int i = 0; i < 8; ++i)
            tails[lane][tailLength - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    for (std::size_t at = 0; at < tailLength; at += 64) {
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            chunk[lane] = tails[lane] + at;
        loadWords(chunk, words);
        compress(state, words);
    }
    alignas(64) std::uint32_t values[4][16];
    for (int i = 0; i < 4; ++i)
        _mm512_store_si512(values[i], state[i]);
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
        for (int i = 0; i < 4; ++i)
            for (int byte = 0; byte < 4; ++byte)
                digests[lane][4 * i + byte] =
                    static_cast<std::uint8_t>(values[i][lane] >> (8 * byte));
}

// Feeds `blocks` chunks of 64 bytes to the lanes of `lanes`, from `data`; the
// other lanes read a chunk of zeros and keep their state.
SHARDIX_AVX512F void updateLanes(std::uint32_t state[4][kMd5Lanes],
                                 const std::uint8_t* const data[kMd5Lanes], __mmask16 lanes,
                                 std::size_t blocks) {
    alignas(64) static const std::uint8_t kZeros[64] = {};
    __m512i values[4];
    for (int i = 0; i < 4; ++i)
        values[i] = _mm512_load_si512(state[i]);
    __m512i words[16];
    const std::uint8_t* chunk[kMd5Lanes];
    for (std::size_t at = 0; at < blocks * 64; at += 64) {
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            chunk[lane] = (lanes >> lane) & 1 ? data[lane] + at : kZeros;
        loadWords(chunk, words);
        compress(values, words, lanes);
    }
    for (int i = 0; i < 4; ++i)
        _mm512_store_si512(state[i], values[i]);
}

} // namespace

void Md5LaneStreams::update(const std::uint8_t* const data[kMd5Lanes], std::uint32_t lanes,
                            std::size_t blocks) {
    updateLanes(state_, data, static_cast<__mmask16>(lanes), blocks);
}

bool canHashLanes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}

void md5OfLanes(const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                Md5Digest digests[kMd5Lanes]) {
    md5Lanes(messages, length, digests);
}

#else

bool canHashLanes() {
    return false;
}

void Md5LaneStreams::update(const std::uint8_t* const[kMd5Lanes], std::uint32_t, std::size_t) {
    throw std::logic_error("MD5 lanes need AVX-512 (canHashLanes)");
}

void md5OfLanes(const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                Md5Digest digests[kMd5Lanes]) {
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
        digests[lane] = md5Of(messages[lane], length);
}

#endif

Md5LaneStreams::Md5LaneStreams() {
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
        restart(lane);
}

void Md5LaneStreams::restart(std::size_t lane) {
    state_[0][lane] = 0x67452301;
    state_[1][lane] = 0xefcdab89;
    state_[2][lane] = 0x98badcfe;
    state_[3][lane] = 0x10325476;
}

Md5Digest Md5LaneStreams::finish(std::size_t lane, const std::uint8_t* tail, std::size_t rest,
                                 std::uint64_t length) {
    // The rest, 0x80, zeros and the length in bits: one or two chunks.
    alignas(64) std::uint8_t padded[128] = {};
    if (rest > 0) // an empty tail may have no memory at all
        std::memcpy(padded, tail, rest);
    padded[rest] = 0x80;
    const std::size_t blocks = rest < 56 ? 1 : 2;
    for (int i = 0; i < 8; ++i)
        padded[blocks * 64 - 8 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((length * 8) >> (8 * i));
    const std::uint8_t* data[kMd5Lanes] = {};
    data[lane] = padded;
    update(data, 1u << lane, blocks);
    Md5Digest digest;
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t byte = 0; byte < 4; ++byte)
            digest[4 * i + byte] = static_cast<std::uint8_t>(state_[i][lane] >> (8 * byte));
    restart(lane);
    return digest;
}

void md5OfPrefixedLanes(const std::uint8_t* const prefixes[kMd5Lanes], std::size_t prefixLength,
                        const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                        Md5Digest digests[kMd5Lanes]) {
    if (!canHashLanes()) {
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
            Md5 md5;
            md5.update(prefixes[lane], prefixLength);
            md5.update(messages[lane], length);
            digests[lane] = md5.finish();
        }
        return;
    }
    // The prefix and the message's first bytes joined, up to the end of the
    // chunk of 64 that the prefix ends in; the rest of the message is read
    // where it is.
    const std::size_t total = prefixLength + length;
    const std::size_t joinedLength = std::min(total, (prefixLength + 63) / 64 * 64);
    const std::size_t fromMessage = joinedLength - prefixLength;
    std::vector<std::uint8_t> joined(kMd5Lanes * joinedLength);
    const std::uint8_t* data[kMd5Lanes];
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
        std::uint8_t* into = joined.data() + lane * joinedLength;
        // An empty prefix or message may have no memory at all: nothing to copy.
        if (prefixLength > 0)
            std::memcpy(into, prefixes[lane], prefixLength);
        if (fromMessage > 0)
            std::memcpy(into + prefixLength, messages[lane], fromMessage);
        data[lane] = into;
    }
    Md5LaneStreams lanes;
    lanes.update(data, 0xffff, joinedLength / 64);
    std::size_t rest = joinedLength % 64;
    if (rest == 0) {
        const std::size_t blocks = (length - fromMessage) / 64;
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            data[lane] = messages[lane] + fromMessage;
        lanes.update(data, 0xffff, blocks);
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            data[lane] += blocks * 64;
        rest = (length - fromMessage) % 64;
    } else {
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            data[lane] += joinedLength - rest;
    }
    for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
        digests[lane] = lanes.finish(lane, data[lane], rest, total);
}

} // namespace shardix
