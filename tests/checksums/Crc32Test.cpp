// The folded CRC-32 against zlib's: at every length about the fold's steps,
// from unaligned starts, continued from other values, split anywhere.
#include "engines/checksums/Crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace shardix {
namespace {

std::vector<std::uint8_t> randomBytes(std::mt19937& random, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(Crc32, GivesTheKnownAnswers) {
    const std::string nine = "123456789";
    EXPECT_EQ(crc32Update(0, nine.data(), nine.size()), 0xCBF43926u);
    // Long enough to be folded: a megabyte of zeros, and of 0xFF.
    const std::vector<std::uint8_t> zeros(1 << 20, 0), ones(1 << 20, 0xFF);
    EXPECT_EQ(crc32Update(0, zeros.data(), zeros.size()), 0xA738EA1Cu);
    EXPECT_EQ(crc32Update(0, ones.data(), ones.size()), crc32ByTable(0, ones.data(), ones.size()));
}

TEST(Crc32, AgreesWithZlibAtEveryLengthAndStart) {
    std::mt19937 random(20261209);
    const std::vector<std::uint8_t> bytes = randomBytes(random, 70000);
    for (std::size_t length = 0; length <= 1200; ++length) {
        const std::size_t start = random() % 64;
        const auto seed = static_cast<std::uint32_t>(length % 3 == 0 ? 0 : random());
        ASSERT_EQ(crc32Update(seed, bytes.data() + start, length),
                  crc32ByTable(seed, bytes.data() + start, length))
            << length << " bytes from " << start << ", seed " << seed;
    }
    for (int round = 0; round < 200; ++round) {
        const std::size_t start = random() % 64;
        const std::size_t length = random() % (bytes.size() - start);
        ASSERT_EQ(crc32Update(0, bytes.data() + start, length),
                  crc32ByTable(0, bytes.data() + start, length))
            << length << " bytes from " << start;
    }
}

TEST(Crc32, ContinuesWhereverTheBytesAreSplit) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::uint8_t> bytes = randomBytes(random, random() % 20000);
        std::uint32_t crc = 0;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t part = std::min<std::size_t>(random() % 3000, bytes.size() - at);
            crc = crc32Update(crc, bytes.data() + at, part);
            at += part;
        }
        ASSERT_EQ(crc, crc32ByTable(0, bytes.data(), bytes.size())) << bytes.size() << " bytes";
    }
}

} // namespace
} // namespace shardix
