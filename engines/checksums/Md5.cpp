#include "engines/checksums/Md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace shardix {

namespace {

// The sines of RFC 1321: floor(|sin(i + 1)| * 2^32).
constexpr std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Step I of the 64, its function, word, sine and shift fixed at compile time
// so that the whole chunk melts into straight code.
template <int I>
inline __attribute__((always_inline)) void step(std::uint32_t& a, std::uint32_t& b,
                                                std::uint32_t& c, std::uint32_t& d,
                                                const std::uint32_t words[16]) {
    constexpr int round = I / 16;
    constexpr int g = round == 0   ? I
                      : round == 1 ? (5 * I + 1) % 16
                      : round == 2 ? (3 * I + 5) % 16
                                   : (7 * I) % 16;
    std::uint32_t f;
    if constexpr (round == 0)
        f = d ^ (b & (c ^ d));
    else if constexpr (round == 1)
        f = c ^ (d & (b ^ c));
    else if constexpr (round == 2)
        f = b ^ c ^ d;
    else
        f = c ^ (b | ~d);
    const std::uint32_t sum = a + f + words[g] + kSines[I];
    a = d;
    d = c;
    c = b;
    b += std::rotl(sum, kShifts[round][I % 4]);
}

template <int... I>
inline __attribute__((always_inline)) void
steps(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
      const std::uint32_t words[16], std::integer_sequence<int, I...>) {
    (step<I>(a, b, c, d, words), ...);
}

// Adds `count` chunks of 64 bytes from `bytes` on into `state`.
void compress(std::uint32_t state[4], const std::uint8_t* bytes, std::size_t count) {
    static_assert(std::endian::native == std::endian::little, "MD5 reads its words little-endian");
    for (std::size_t chunk = 0; chunk < count; ++chunk, bytes += 64) {
        std::uint32_t words[16];
        std::memcpy(words, bytes, sizeof words);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        steps(a, b, c, d, words, std::make_integer_sequence<int, 64>{});
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
}

} // namespace

void Md5::restart() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
}

void Md5::update(const void* bytes, std::size_t length) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    std::size_t held = static_cast<std::size_t>(length_ % 64);
    length_ += length;
    if (held > 0) {
        const std::size_t taken = std::min(length, 64 - held);
        std::memcpy(pending_ + held, at, taken);
        at += taken;
        length -= taken;
        held += taken;
        if (held < 64)
            return;
        compress(state_, pending_, 1);
    }
    compress(state_, at, length / 64);
    std::memcpy(pending_, at + length / 64 * 64, length % 64);
}

Md5Digest Md5::finish() {
    const std::uint64_t bits = length_ * 8;
    const std::size_t held = static_cast<std::size_t>(length_ % 64);
    // 0x80, zeros up to 56 bytes into a chunk, the length in bits.
    std::uint8_t tail[128] = {0x80};
    const std::size_t padding = held < 56 ? 56 - held : 120 - held;
    for (int i = 0; i < 8; ++i)
        tail[padding + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    update(tail, padding + 8);
    Md5Digest digest{};
    std::memcpy(digest.data(), state_, digest.size());
    restart();
    return digest;
}

Md5Digest md5Of(const void* bytes, std::size_t length) {
    Md5 md5;
    md5.update(bytes, length);
    return md5.finish();
}

} // namespace shardix
