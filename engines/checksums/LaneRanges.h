#pragma once

#include "engines/checksums/Hasher.h"
#include "engines/io/FileIo.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

class Md5LaneStreams;

// The MD5s of consecutive ranges of a file computed side by side, up to 16 at
// once in the lanes of the processor's vector registers (Md5LaneStreams), each range read on its
// own as far as the file may be read. One core computes a single MD5 at well under the speed of a
// copy; sixteen side by side take some six times as many bytes a second. For ChecksumReader.
// Not built on md5OfStreams, whose every round waits for a chunk of each stream of its group
// and which tells the digests only at its end: here each lane takes its next chunk as soon as
// the copy has written it, and its next range as soon as its own ends, so that the hashing
// follows the copy rather than waiting for it to near the last range.
class LaneRanges {
  public:
    // Returns once at least `needed` bytes of the file may be read, with how
    // many may; nothing when the reading is to stop.
    using WaitFor = std::function<std::optional<std::int64_t>(std::int64_t needed)>;
    // Told the checksum of each range as it ends (not always in their order);
    // an empty one for a range that is not hashed.
    using RangeDone = std::function<void(std::size_t range, std::string digest)>;

    // The ranges of `lengths`, from the file's first byte on; those of
    // `hashed` are hashed.
    LaneRanges(const FileHandle& file, std::vector<std::int64_t> lengths, std::vector<bool> hashed);
    ~LaneRanges();
    LaneRanges(const LaneRanges&) = delete;
    LaneRanges& operator=(const LaneRanges&) = delete;

    // Reads and hashes every range, adding the bytes hashed to `hashedBytes`.
    // Returns early when `waitFor` says to stop; fails when the file cannot be
    // read.
    Result<> run(const WaitFor& waitFor, const RangeDone& done,
                 std::atomic<std::int64_t>& hashedBytes);

    // Whether ranges of these algorithms are best hashed here: two or more to
    // hash, all of them MD5, on a processor that has the lanes (AVX-512).
    static bool suits(const std::vector<std::optional<HashAlgorithm>>& ranges);

  private:
    struct Lane;
    struct Step;

    void fillLanes(const RangeDone& done);
    std::int64_t nextNeeded() const;
    Result<> step(std::int64_t available, const RangeDone& done,
                  std::atomic<std::int64_t>& hashedBytes);

    const FileHandle& file_;
    const std::vector<std::int64_t> lengths_;
    const std::vector<bool> hashed_;
    std::vector<std::int64_t> starts_;
    std::size_t next_ = 0; // the next range to give a lane
    std::vector<Lane> lanes_;
    std::unique_ptr<Md5LaneStreams> streams_;
};

} // namespace shardix
