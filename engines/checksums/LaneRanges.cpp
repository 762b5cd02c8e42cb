#include "engines/checksums/LaneRanges.h"

#include "engines/checksums/Md5Lanes.h"

#include <algorithm>
#include <limits>

namespace shardix {

namespace {

// Each lane reads 256 KiB of its range at a time: 4 MiB for all sixteen, and
// few enough calls for the vector code to run at full speed between them.
constexpr std::int64_t kLaneChunk = 256 << 10;

} // namespace

struct LaneRanges::Lane {
    bool busy = false;
    std::size_t range = 0;
    std::int64_t done = 0; // bytes of the range hashed
    std::vector<std::uint8_t> buffer;
};

// What one step of the lanes reads: the lanes that take a whole chunk, and
// those that take the last bytes of their range.
struct LaneRanges::Step {
    std::uint32_t whole = 0;
    std::vector<std::size_t> ending;
    const std::uint8_t* data[kMd5Lanes] = {};
    std::int64_t bytes = 0;
};

LaneRanges::LaneRanges(const FileHandle& file, std::vector<std::int64_t> lengths,
                       std::vector<bool> hashed)
    : file_(file), lengths_(std::move(lengths)), hashed_(std::move(hashed)) {
    std::int64_t at = 0;
    for (const std::int64_t length : lengths_) {
        starts_.push_back(at);
        at += length;
    }
    const auto count = static_cast<std::size_t>(std::count(hashed_.begin(), hashed_.end(), true));
    lanes_.resize(std::min(count, kMd5Lanes));
    streams_ = std::make_unique<Md5LaneStreams>();
}

LaneRanges::~LaneRanges() = default;

bool LaneRanges::suits(const std::vector<std::optional<HashAlgorithm>>& ranges) {
    std::size_t md5 = 0;
    for (const auto& algorithm : ranges) {
        if (algorithm && *algorithm != HashAlgorithm::Md5)
            return false;
        md5 += algorithm ? 1 : 0;
    }
    return md5 >= 2 && canHashLanes();
}

Result<> LaneRanges::run(const WaitFor& waitFor, const RangeDone& done,
                         std::atomic<std::int64_t>& hashedBytes) {
    for (;;) {
        fillLanes(done);
        if (std::none_of(lanes_.begin(), lanes_.end(), [](const Lane& lane) { return lane.busy; }))
            return {};
        const std::optional<std::int64_t> available = waitFor(nextNeeded());
        if (!available)
            return {};
        if (Result<> stepped = step(*available, done, hashedBytes); !stepped.ok())
            return stepped;
    }
}

// Free lanes take the next ranges to hash; those not hashed are told at once.
void LaneRanges::fillLanes(const RangeDone& done) {
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (lanes_[lane].busy)
            continue;
        while (next_ < lengths_.size() && !hashed_[next_])
            done(next_++, {});
        if (next_ == lengths_.size())
            break;
        lanes_[lane].busy = true;
        lanes_[lane].range = next_++;
        lanes_[lane].done = 0;
        lanes_[lane].buffer.resize(static_cast<std::size_t>(kLaneChunk));
    }
    while (next_ < lengths_.size() && !hashed_[next_])
        done(next_++, {});
}

// How far the file must be readable for the first lane to take its next chunk.
std::int64_t LaneRanges::nextNeeded() const {
    std::int64_t needed = std::numeric_limits<std::int64_t>::max();
    for (const Lane& lane : lanes_) {
        if (!lane.busy)
            continue;
        const std::int64_t left = lengths_[lane.range] - lane.done;
        needed = std::min(needed, starts_[lane.range] + lane.done + std::min(kLaneChunk, left));
    }
    return needed;
}

// Every lane whose next chunk may be read reads it; the whole chunks go through
// the lanes side by side, then each range that ends is finished.
Result<> LaneRanges::step(std::int64_t available, const RangeDone& done,
                          std::atomic<std::int64_t>& hashedBytes) {
    Step step;
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        Lane& lane = lanes_[i];
        const std::int64_t left = lane.busy ? lengths_[lane.range] - lane.done : 0;
        const std::int64_t take = std::min(kLaneChunk, left);
        const std::int64_t from = lane.busy ? starts_[lane.range] + lane.done : 0;
        if (!lane.busy || from + take > available)
            continue;
        if (Result<> read =
                readExactly(file_, from, reinterpret_cast<char*>(lane.buffer.data()), take);
            !read.ok())
            return read;
        step.data[i] = lane.buffer.data();
        step.bytes += take;
        if (take == left)
            step.ending.push_back(i);
        else
            step.whole |= 1u << i;
    }
    if (step.whole != 0)
        streams_->update(step.data, step.whole, static_cast<std::size_t>(kLaneChunk / 64));
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        if ((step.whole >> i) & 1)
            lanes_[i].done += kLaneChunk;
    }
    for (const std::size_t i : step.ending) {
        Lane& lane = lanes_[i];
        const std::int64_t length = lengths_[lane.range];
        const auto rest = static_cast<std::size_t>(length - lane.done);
        if (rest >= 64)
            streams_->update(step.data, 1u << i, rest / 64);
        const Md5Digest digest = streams_->finish(i, lane.buffer.data() + rest / 64 * 64, rest % 64,
                                                  static_cast<std::uint64_t>(length));
        lane.busy = false;
        done(lane.range, hexOf(digest));
    }
    hashedBytes += step.bytes;
    return {};
}

} // namespace shardix
