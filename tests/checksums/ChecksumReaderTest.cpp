#include "engines/checksums/ChecksumReader.h"
#include "engines/io/MeasuredFile.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <gtest/gtest.h>
#include <numeric>

using namespace shardix;
using namespace shardix::testing;

namespace {

// The ranges' MD5s and the whole's SHA-1, one range passed over, whether the
// reader follows a file as it grows (the ranges then go side by side through
// the MD5 lanes) or is handed the bytes: every range agrees with its checksum
// computed alone. The lengths sit around the 64-byte chunks, where the padding
// goes, around the lanes' 256 KiB reads, and there are more ranges than lanes.
TEST(ChecksumReader, RangesAgreeWithTheirChecksumsComputedAlone) {
    const std::vector<std::int64_t> lengths = {
        0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 262143, 262144, 262145, 700001, 3, 17, 5, 1 << 20};
    const std::size_t passedOver = 4;
    const std::int64_t total = std::accumulate(lengths.begin(), lengths.end(), std::int64_t{0});
    const std::string bytes = randomBytes(static_cast<std::size_t>(total), 7);
    std::vector<std::string> expected;
    ReaderHashes hashes{{}, HashAlgorithm::Sha1};
    for (std::size_t k = 0, at = 0; k < lengths.size(); at += lengths[k++]) {
        const bool hashed = k != passedOver;
        hashes.ranges.push_back(hashed ? std::optional(HashAlgorithm::Md5) : std::nullopt);
        const auto md5 = Hasher::make(HashAlgorithm::Md5).value();
        md5->update(bytes.data() + at, static_cast<std::size_t>(lengths[k]));
        expected.push_back(hashed ? md5->digest() : std::string());
    }
    const auto sha1 = Hasher::make(HashAlgorithm::Sha1).value();
    sha1->update(bytes.data(), bytes.size());
    const std::string whole = sha1->digest();

    TempDir dir;
    writeFile(dir / "f", bytes);
    const MeasuredFile file = openMeasured(dir / "f").value();
    for (const bool fed : {false, true}) {
        std::optional<ChecksumReader> reader;
        if (fed)
            reader.emplace(total, lengths, hashes);
        else
            reader.emplace(file.file, total, lengths, 0, hashes);
        // As a copy writes: in uneven steps.
        for (std::int64_t at = 0, step = 1000; at < total; at += step, step = step * 2 + 7) {
            const std::int64_t n = std::min(step, total - at);
            if (fed)
                ASSERT_TRUE(reader->feed(bytes.data() + at, n).ok());
            else
                reader->advance(at + n);
        }
        const Checksums found = reader->finish([] { return Result<>(); }).value();
        EXPECT_EQ(found.parts, expected) << (fed ? "handed over" : "read back");
        EXPECT_EQ(found.whole, whole) << (fed ? "handed over" : "read back");
    }
}

// A file shorter than the range asked for, a sink that fails and a wait that
// is stopped: each failure comes back from the call, as a value.
TEST(ChecksumReader, FailuresComeBackAsValues) {
    TempDir dir;
    writeFile(dir / "f", randomBytes(3000));
    const MeasuredFile file = openMeasured(dir / "f").value();
    std::atomic<std::int64_t> done{0};
    const Result<std::string> range =
        digestOfRange(HashAlgorithm::Sha256, file.file, 1000, 2001, done);
    ASSERT_FALSE(range.ok());
    EXPECT_EQ(range.error().kind, ErrorKind::InputPastEnd);
    EXPECT_EQ(digestOfRange(HashAlgorithm::Sha256, file.file, 1000, 2000, done).value().size(),
              64u);

    ChecksumReader longer(file.file, 4000, {4000}, 4000);
    const Result<Checksums> read = longer.finish([] { return Result<>(); });
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().kind, ErrorKind::InputPastEnd);

    const Error refused = Error::of(ErrorKind::Refused, "the sink refused");
    ChecksumReader sunk(file.file, 3000, {1000, 2000}, 3000, ReaderHashes::none(2),
                        [&](const char*, std::size_t) { return Result<>(refused); });
    const Result<Checksums> fed = sunk.finish([] { return Result<>(); });
    ASSERT_FALSE(fed.ok());
    EXPECT_EQ(fed.error().message, refused.message);

    ChecksumReader waiting(file.file, 3000, {3000}, 0); // never told that a byte is written
    const Result<Checksums> stopped =
        waiting.finish([] { return Result<>(Error::of(ErrorKind::Stopped, "stopped")); });
    ASSERT_FALSE(stopped.ok());
    EXPECT_TRUE(stopped.error().stopped());
}

} // namespace
