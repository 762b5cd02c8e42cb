#include "engines/checksums/Md5.h"

#include "engines/checksums/Md5Constants.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace shardix {

namespace {

using md5::kShifts;
using md5::kSines;

// Step I of the 64, its function, word, sine and shift fixed at compile time
// so that the whole chunk melts into straight code.
template <int I>
inline __attribute__((always_inline)) void step(std::uint32_t& a, std::uint32_t& b,
                                                std::uint32_t& c, std::uint32_t& d,
                                                const std::uint32_t words[16]) {
    constexpr int round = I / 16;
    constexpr int g = md5::wordOfStep(I);
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
    if (length == 0) // an empty message may have no memory at all
        return;
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

std::string hexOf(const Md5Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

} // namespace shardix
