#include "engines/checksums/Md5Streams.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <openssl/evp.h>
#include <random>

using namespace shardix;
using namespace shardix::testing;

namespace {

Md5Digest md5Of(const std::string& bytes) {
    Md5Digest digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

// Streams read from memory; the read of a stream in `failAt` that reaches
// the byte given there fails, naming the stream.
struct Streams {
    std::vector<std::string> bytes;
    std::map<std::size_t, std::uint64_t> failAt;

    std::vector<std::uint64_t> lengths() const {
        std::vector<std::uint64_t> lengths;
        for (const std::string& stream : bytes)
            lengths.push_back(stream.size());
        return lengths;
    }
    StreamRead reader() const {
        return [this](std::size_t stream, std::uint64_t offset, std::uint8_t* into,
                      std::size_t length) -> Result<> {
            const auto fails = failAt.find(stream);
            if (fails != failAt.end() && offset <= fails->second && fails->second < offset + length)
                return Error::of(ErrorKind::DeviceIo,
                                 "Cannot read stream " + std::to_string(stream) + ".");
            std::copy_n(bytes[stream].data() + offset, length, into);
            return {};
        };
    }
};

// Lengths at the ends of the 64-byte blocks and of the chunks read, in one to
// three groups of lanes, groups of unequal sizes included.
TEST(Md5Streams, EachStreamsDigestIsItsOwnWhateverTheLengthsAndTheirCount) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    std::mt19937 random(5);
    const std::size_t edges[] = {0, 1, 63, 64, 65, 131071, 131072, 131073, 262144, 300001};
    for (int round = 0; round < 12; ++round) {
        Streams streams;
        streams.bytes.resize(1 + random() % 40);
        for (std::string& stream : streams.bytes) {
            const std::size_t length =
                random() % 2 ? edges[random() % std::size(edges)] : random() % 400000;
            stream = randomBytes(length, static_cast<unsigned>(random()));
        }
        const Result<std::vector<Md5Digest>> digests =
            md5OfStreams(streams.lengths(), streams.reader(), [] { return false; });
        ASSERT_TRUE(digests.ok()) << digests.error().message;
        ASSERT_EQ(digests->size(), streams.bytes.size());
        for (std::size_t i = 0; i < streams.bytes.size(); ++i)
            EXPECT_EQ((*digests)[i], md5Of(streams.bytes[i]))
                << "stream " << i << " of " << streams.bytes.size() << ", "
                << streams.bytes[i].size() << " bytes";
    }
}

// Two groups of lanes; failures at the first read, mid-way and in the last,
// shorter read: the streams that fail get their own failure, every other one
// its MD5, and the bytes told as hashed are those of the chunks read.
TEST(Md5Streams, AStreamThatCannotBeReadFailsAloneWhereAsked) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    constexpr std::size_t kChunk = 64 << 10;
    std::mt19937 random(11);
    Streams streams;
    for (std::size_t i = 0; i < 21; ++i)
        streams.bytes.push_back(randomBytes(i == 7 ? 0 : 100000 + random() % 400000, 30 + i));
    streams.failAt = {
        {2, 0}, {5, 3 * kChunk + 100}, {13, streams.bytes[13].size() - 1}, {20, kChunk}};
    StreamHashing how;
    how.chunk = kChunk;
    how.failedRead = FailedRead::EndsItsStream;
    std::uint64_t hashed = 0;
    how.hashed = [&hashed](std::uint64_t bytes) { hashed += bytes; };
    const Result<std::vector<Result<Md5Digest>>> digests =
        md5OfStreams(streams.lengths(), streams.reader(), how);
    ASSERT_TRUE(digests.ok()) << digests.error().message;
    ASSERT_EQ(digests->size(), streams.bytes.size());
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < streams.bytes.size(); ++i) {
        const Result<Md5Digest>& digest = (*digests)[i];
        if (const auto fails = streams.failAt.find(i); fails != streams.failAt.end()) {
            ASSERT_FALSE(digest.ok()) << "stream " << i;
            EXPECT_EQ(digest.error().message, "Cannot read stream " + std::to_string(i) + ".");
            expected += fails->second / kChunk * kChunk;
            continue;
        }
        ASSERT_TRUE(digest.ok()) << "stream " << i << ": " << digest.error().message;
        EXPECT_EQ(*digest, md5Of(streams.bytes[i])) << "stream " << i;
        expected += streams.bytes[i].size();
    }
    EXPECT_EQ(hashed, expected);
}

// Where a failed read ends all, as it does unless asked otherwise, it is the
// result; so is a stop, at the start or between two rounds of chunks.
TEST(Md5Streams, AFailedReadThatEndsAllOrAStopIsTheResult) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    constexpr std::size_t kChunk = 64 << 10;
    Streams streams;
    streams.bytes.assign(5, randomBytes(500000, 3));
    streams.failAt = {{3, 3 * kChunk + 100}};
    StreamHashing how;
    how.chunk = kChunk;
    const auto failed = [](const auto& result, ErrorKind kind, const std::string& message) {
        return !result.ok() && result.error().kind == kind && result.error().message == message;
    };
    EXPECT_TRUE(failed(md5OfStreams(streams.lengths(), streams.reader(), how), ErrorKind::DeviceIo,
                       "Cannot read stream 3."));
    EXPECT_TRUE(failed(md5OfStreams(streams.lengths(), streams.reader(), [] { return false; }),
                       ErrorKind::DeviceIo, "Cannot read stream 3."));

    streams.failAt.clear();
    EXPECT_TRUE(failed(md5OfStreams(streams.lengths(), streams.reader(), [] { return true; }),
                       ErrorKind::Stopped, "Stopped."));
    int asked = 0;
    std::uint64_t hashed = 0;
    how.stopped = [&asked] { return ++asked == 3; };
    how.hashed = [&hashed](std::uint64_t bytes) { hashed += bytes; };
    EXPECT_TRUE(failed(md5OfStreams(streams.lengths(), streams.reader(), how), ErrorKind::Stopped,
                       "Stopped."));
    EXPECT_EQ(hashed, 2 * 5 * kChunk);
}

} // namespace
