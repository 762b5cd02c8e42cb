#include "engines/checksums/Md5Streams.h"

#include <algorithm>

namespace shardix {

namespace {

// The bytes read of each stream at a time (a multiple of 64): the buffers of
// a full group take kMd5Lanes times as much.
constexpr std::size_t kChunk = 128 << 10;

// Below this many streams in a group, one MD5 after another is faster: a
// lane runs at about a third of the rate of a scalar MD5.
constexpr std::size_t kFewestLanes = 4;

// Hashes the streams first .. first + count - 1, one in each lane.
class LaneGroup {
  public:
    LaneGroup(const std::vector<std::uint64_t>& lengths, std::size_t first, std::size_t count)
        : lengths_(lengths), first_(first), count_(count), at_(count, 0), buffer_(count * kChunk) {}

    // Reads and hashes a chunk of every stream not yet ended; false once all are.
    Result<bool> round(const StreamRead& read, std::vector<Md5LaneDigest>& digests) {
        const std::uint8_t* data[kMd5Lanes] = {};
        std::uint32_t full = 0;
        for (std::size_t lane = 0; lane < count_; ++lane) {
            const std::uint64_t length = lengths_[first_ + lane];
            if (at_[lane] > length)
                continue; // ended
            std::uint8_t* into = buffer_.data() + lane * kChunk;
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - at_[lane]));
            if (Result<> got = read(first_ + lane, at_[lane], into, wanted); !got.ok())
                return got.error();
            if (wanted == kChunk) {
                data[lane] = into;
                full |= 1u << lane;
                at_[lane] += kChunk;
                continue;
            }
            finishLane(lane, into, wanted, digests);
        }
        if (full != 0)
            md5_.update(data, full, kChunk / 64);
        return full != 0; // a round without a whole chunk ended every stream left
    }

  private:
    void finishLane(std::size_t lane, const std::uint8_t* tail, std::size_t left,
                    std::vector<Md5LaneDigest>& digests) {
        const std::uint8_t* data[kMd5Lanes] = {};
        data[lane] = tail;
        if (left >= 64)
            md5_.update(data, 1u << lane, left / 64);
        const std::uint64_t length = lengths_[first_ + lane];
        digests[first_ + lane] = md5_.finish(lane, tail + left / 64 * 64, left % 64, length);
        at_[lane] = length + 1; // ended
    }

    const std::vector<std::uint64_t>& lengths_;
    std::size_t first_;
    std::size_t count_;
    std::vector<std::uint64_t> at_; // where each stream is; past its length once ended
    std::vector<std::uint8_t> buffer_;
    Md5LaneStreams md5_;
};

} // namespace

bool streamsWorthLanes(std::size_t count) {
    return canHashLanes() && count >= kFewestLanes;
}

Result<std::vector<Md5LaneDigest>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                                const StreamRead& read,
                                                const std::function<bool()>& stopped) {
    std::vector<Md5LaneDigest> digests(lengths.size());
    const std::size_t groups = (lengths.size() + kMd5Lanes - 1) / kMd5Lanes;
    for (std::size_t g = 0, first = 0; g < groups; ++g) {
        // Groups of sizes that differ by one at most.
        const std::size_t count = (lengths.size() - first) / (groups - g);
        LaneGroup group(lengths, first, count);
        for (;;) {
            if (stopped())
                return Error::of(ErrorKind::Stopped, "Stopped.");
            Result<bool> more = group.round(read, digests);
            if (!more.ok())
                return more.error();
            if (!*more)
                break;
        }
        first += count;
    }
    return digests;
}

} // namespace shardix
