#include "engines/checksums/Blake2b.h"

#include <algorithm>
#include <cstring>

namespace shardix {

namespace {

constexpr std::uint64_t kInit[8] = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};

constexpr unsigned char kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
    {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
    {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
    {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
    {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

std::uint64_t rotateRight(std::uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

std::uint64_t littleEndian(const unsigned char* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void mix(std::uint64_t* v, int a, int b, int c, int d, std::uint64_t x, std::uint64_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = rotateRight(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = rotateRight(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = rotateRight(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = rotateRight(v[b] ^ v[c], 63);
}

} // namespace

Blake2b::Blake2b(std::size_t bytes) : bytes_(bytes) {
    start();
}

void Blake2b::start() {
    std::memcpy(state_, kInit, sizeof state_);
    state_[0] ^= 0x01010000ULL ^ bytes_;
    counter_[0] = counter_[1] = 0;
    filled_ = 0;
}

void Blake2b::compress(bool last) {
    std::uint64_t v[16];
    std::uint64_t m[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = state_[i];
        v[i + 8] = kInit[i];
    }
    v[12] ^= counter_[0];
    v[13] ^= counter_[1];
    if (last)
        v[14] = ~v[14];
    for (int i = 0; i < 16; ++i)
        m[i] = littleEndian(block_ + 8 * i);
    for (const auto& s : kSigma) {
        mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i)
        state_[i] ^= v[i] ^ v[i + 8];
}

void Blake2b::update(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        // A full block is compressed only once more bytes follow: the last
        // block is compressed as the last.
        if (filled_ == sizeof block_) {
            counter_[0] += sizeof block_;
            if (counter_[0] < sizeof block_)
                ++counter_[1];
            compress(false);
            filled_ = 0;
        }
        const std::size_t take = std::min(length, sizeof block_ - filled_);
        std::memcpy(block_ + filled_, bytes, take);
        filled_ += take;
        bytes += take;
        length -= take;
    }
}

std::string Blake2b::hexDigest() {
    counter_[0] += filled_;
    if (counter_[0] < filled_)
        ++counter_[1];
    std::memset(block_ + filled_, 0, sizeof block_ - filled_);
    compress(true);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes_; ++i) {
        const auto byte = static_cast<unsigned char>(state_[i / 8] >> (8 * (i % 8)));
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    start();
    return text;
}

} // namespace shardix
