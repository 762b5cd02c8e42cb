// Our MD5 against RFC 1321's examples and libcrypto's on random input split at
// random points; the digests libcrypto still computes, loaded at their first
// use, each against its known answer.
#include "engines/checksums/Md5.h"
#include "engines/checksums/Hasher.h"
#include "engines/checksums/Md5Lanes.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace shardix {
namespace {

TEST(Md5, GivesTheExamplesOfItsDefinition) {
    const std::pair<std::string, std::string> examples[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890"
         "1234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [message, digest] : examples)
        EXPECT_EQ(hexOf(md5Of(message.data(), message.size())), digest) << '"' << message << '"';
}

TEST(Md5, AgreesWithLibcryptoWhereverTheBytesAreSplit) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 2000; ++round) {
        // Lengths about the 56 and 64 bytes where the padding changes.
        std::vector<std::uint8_t> bytes(random() % (round < 1000 ? 200 : 5000));
        for (std::uint8_t& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        Md5 md5;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t part = std::min<std::size_t>(bytes.size() - at, random() % 150);
            md5.update(bytes.data() + at, part);
            at += part;
        }
        Md5Digest expected{};
        ASSERT_EQ(::EVP_Digest(bytes.data(), bytes.size(), expected.data(), nullptr, ::EVP_md5(),
                               nullptr),
                  1);
        ASSERT_EQ(hexOf(md5.finish()), hexOf(expected)) << bytes.size() << " bytes";
        // finish() starts afresh.
        EXPECT_EQ(hexOf(md5.finish()), "d41d8cd98f00b204e9800998ecf8427e");
    }
}

// Sixteen messages of one length side by side, each against its own MD5:
// lengths around the ends of the 64-byte chunks, where the padding goes.
TEST(Md5, LanesGiveEachMessagesDigest) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    std::mt19937 random(5);
    for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 134220u}) {
        std::vector<std::vector<std::uint8_t>> messages(kMd5Lanes);
        const std::uint8_t* lanes[kMd5Lanes];
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
            messages[lane].resize(length);
            for (std::uint8_t& byte : messages[lane])
                byte = static_cast<std::uint8_t>(random());
            lanes[lane] = messages[lane].data();
        }
        Md5Digest digests[kMd5Lanes];
        md5OfLanes(lanes, length, digests);
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            EXPECT_EQ(hexOf(digests[lane]), hexOf(md5Of(lanes[lane], length)))
                << length << " bytes, lane " << lane;
    }
}

// Sixteen messages of a prefix and a body that lie apart, against the MD5 of
// the two joined: prefixes shorter than, as long as and longer than a chunk
// of 64 bytes, bodies that end inside the prefix's chunk or past it.
TEST(Md5, PrefixedLanesGiveTheDigestsOfPrefixAndMessageJoined) {
    std::mt19937 random(7);
    const std::size_t prefixLengths[] = {0, 1, 36, 63, 64, 65, 130};
    const std::size_t lengths[] = {0, 1, 27, 28, 29, 92, 93, 1000, 70001};
    for (std::size_t prefixLength : prefixLengths)
        for (std::size_t length : lengths) {
            std::vector<std::vector<std::uint8_t>> prefixes(kMd5Lanes), messages(kMd5Lanes);
            const std::uint8_t* prefixBytes[kMd5Lanes];
            const std::uint8_t* messageBytes[kMd5Lanes];
            for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
                prefixes[lane].resize(prefixLength);
                messages[lane].resize(length);
                for (std::uint8_t& byte : prefixes[lane])
                    byte = static_cast<std::uint8_t>(random());
                for (std::uint8_t& byte : messages[lane])
                    byte = static_cast<std::uint8_t>(random());
                prefixBytes[lane] = prefixes[lane].data();
                messageBytes[lane] = messages[lane].data();
            }
            Md5Digest digests[kMd5Lanes];
            md5OfPrefixedLanes(prefixBytes, prefixLength, messageBytes, length, digests);
            for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
                std::vector<std::uint8_t> joined = prefixes[lane];
                joined.insert(joined.end(), messages[lane].begin(), messages[lane].end());
                ASSERT_EQ(hexOf(digests[lane]), hexOf(md5Of(joined.data(), joined.size())))
                    << prefixLength << " + " << length << " bytes, lane " << lane;
            }
        }
}

TEST(Hasher, EachAlgorithmGivesItsKnownAnswer) {
    const std::pair<HashAlgorithm, std::string> answers[] = {
        {HashAlgorithm::Md5, "900150983cd24fb0d6963f7d28e17f72"},
        {HashAlgorithm::Sha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashAlgorithm::Sha224, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
        {HashAlgorithm::Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashAlgorithm::Sha384,
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086"
         "072ba1e7cc2358baeca134c825a7"},
        {HashAlgorithm::Sha512,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192"
         "992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {HashAlgorithm::Blake2b512,
         "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de"
         "4533cc9518d38aa8dbf1925ab92386edd4009923"},
        {HashAlgorithm::Crc32, "352441C2"}};
    for (const auto& [algorithm, answer] : answers) {
        const auto hasher = Hasher::make(algorithm).value();
        hasher->update("ab", 2);
        hasher->update("c", 1);
        EXPECT_EQ(hasher->digest(), answer) << algorithmName(algorithm);
        // A digest starts the computation afresh.
        hasher->update("abc", 3);
        EXPECT_EQ(hasher->digest(), answer) << algorithmName(algorithm);
    }
}

} // namespace
} // namespace shardix
