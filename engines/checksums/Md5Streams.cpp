#include "engines/checksums/Md5Streams.h"

#include <algorithm>
#include <bit>

namespace shardix {

namespace {

using StreamDigests = std::vector<Result<Md5Digest>>;

// Below this many streams in a group, one MD5 after another is faster: a
// lane runs at about a third of the rate of a scalar MD5.
constexpr std::size_t kFewestLanes = 4;

// Hashes the streams first .. first + count - 1, one in each lane, reading
// them into `buffer` (`count` chunks).
class LaneGroup {
  public:
    LaneGroup(const std::vector<std::uint64_t>& lengths, std::size_t first, std::size_t count,
              std::size_t chunk, std::uint8_t* buffer)
        : lengths_(lengths), first_(first), chunk_(chunk), buffer_(buffer), at_(count, 0),
          open_((1u << count) - 1) {}

    // Reads and hashes a chunk of every stream not yet ended, telling the
    // bytes hashed; false once all have ended. A failed read ends its stream,
    // or is the result where it ends all.
    Result<bool> round(const StreamRead& read, const StreamHashing& how, StreamDigests& digests) {
        const std::uint8_t* data[kMd5Lanes] = {};
        std::uint32_t full = 0;
        std::uint64_t hashed = 0;
        for (std::uint32_t lanes = open_; lanes != 0; lanes &= lanes - 1) {
            const auto lane = static_cast<std::size_t>(std::countr_zero(lanes));
            if (Result<> got = readLane(lane, read, data, digests, hashed); !got.ok()) {
                if (how.failedRead == FailedRead::EndsAll)
                    return got.error();
                digests[first_ + lane] = got.error();
            }
            if (data[lane] != nullptr)
                full |= 1u << lane;
        }
        if (full != 0) {
            md5_.update(data, full, chunk_ / 64);
            hashed += static_cast<std::uint64_t>(std::popcount(full)) * chunk_;
        }
        if (how.hashed && hashed != 0)
            how.hashed(hashed);
        return full != 0; // a round without a whole chunk ended every stream left
    }

  private:
    // Reads the next chunk of the stream in `lane`: a whole one is left in
    // `data[lane]` for the round, a shorter one ends the stream with its
    // digest (adding its bytes to `hashed`), and a failed read ends it too.
    Result<> readLane(std::size_t lane, const StreamRead& read, const std::uint8_t* data[kMd5Lanes],
                      StreamDigests& digests, std::uint64_t& hashed) {
        const std::uint64_t length = lengths_[first_ + lane];
        std::uint8_t* into = buffer_ + lane * chunk_;
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk_, length - at_[lane]));
        if (Result<> got = read(first_ + lane, at_[lane], into, wanted); !got.ok()) {
            open_ &= ~(1u << lane);
            return got;
        }
        if (wanted == chunk_) {
            data[lane] = into;
            at_[lane] += chunk_;
            return {};
        }
        const std::uint8_t* tail[kMd5Lanes] = {};
        tail[lane] = into;
        if (wanted >= 64)
            md5_.update(tail, 1u << lane, wanted / 64);
        digests[first_ + lane] = md5_.finish(lane, into + wanted / 64 * 64, wanted % 64, length);
        open_ &= ~(1u << lane);
        hashed += wanted;
        return {};
    }

    const std::vector<std::uint64_t>& lengths_;
    std::size_t first_;
    std::size_t chunk_;
    std::uint8_t* buffer_;
    std::vector<std::uint64_t> at_; // where each stream is
    std::uint32_t open_;            // the lanes whose streams have not ended
    Md5LaneStreams md5_;
};

} // namespace

bool streamsWorthLanes(std::size_t count) {
    return canHashLanes() && count >= kFewestLanes;
}

Result<std::vector<Result<Md5Digest>>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                                    const StreamRead& read,
                                                    const StreamHashing& how) {
    const std::size_t chunk = std::max<std::size_t>(how.chunk / 64, 1) * 64;
    StreamDigests digests(lengths.size(), Result<Md5Digest>(Md5Digest{}));
    const std::size_t groups = (lengths.size() + kMd5Lanes - 1) / kMd5Lanes;
    // Groups of sizes that differ by one at most, the larger ones last.
    std::vector<std::uint8_t> buffer(groups == 0 ? 0
                                                 : (lengths.size() + groups - 1) / groups * chunk);
    for (std::size_t g = 0, first = 0; g < groups; ++g) {
        const std::size_t count = (lengths.size() - first) / (groups - g);
        LaneGroup group(lengths, first, count, chunk, buffer.data());
        for (;;) {
            if (how.stopped && how.stopped())
                return Error::of(ErrorKind::Stopped, "Stopped.");
            Result<bool> more = group.round(read, how, digests);
            if (!more.ok())
                return more.error();
            if (!*more)
                break;
        }
        first += count;
    }
    return digests;
}

Result<std::vector<Md5Digest>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                            const StreamRead& read,
                                            const std::function<bool()>& stopped) {
    StreamHashing how;
    how.stopped = stopped;
    Result<StreamDigests> each = md5OfStreams(lengths, read, how);
    if (!each.ok())
        return each.error();
    std::vector<Md5Digest> digests;
    digests.reserve(each->size());
    for (const Result<Md5Digest>& digest : *each)
        digests.push_back(*digest); // every read succeeded
    return digests;
}

} // namespace shardix
