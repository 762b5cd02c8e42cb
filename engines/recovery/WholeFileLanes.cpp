#include "engines/recovery/RepairSession.h"

#include "engines/checksums/Md5Lanes.h"

#include <algorithm>
#include <bit>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

// The bytes read for each file at a time (a multiple of 64): 16 files on each
// thread take 16 times as much.
constexpr std::size_t kLaneChunk = 64 << 10;

// One file hashed in a lane.
struct LaneFile {
    std::size_t index = 0; // in the set
    FileHandle fd;
    std::uint64_t length = 0;
    std::uint64_t at = 0;
    bool done = false;
};

// Reads `wanted` bytes of `file` from where it is into `buffer`; false when
// reading fails or the file ends sooner.
bool readChunk(const LaneFile& file, std::size_t wanted, std::vector<std::uint8_t>& buffer) {
    return readsWhole(file.fd, file.at, buffer.data(), wanted);
}

// Hashes up to kMd5Lanes files side by side, a chunk of each at a time; sets
// `matches` of those whose MD5 is the listed one.
class LaneGroup {
  public:
    LaneGroup(const OpenedSet& opened, std::vector<LaneFile>& files, std::vector<char>& matches,
              ProgressMeter& progress)
        : opened_(opened), files_(files), matches_(matches), progress_(progress),
          buffers_(files.size(), std::vector<std::uint8_t>(kLaneChunk)) {}

    // False when nothing is left to hash.
    bool round() {
        const std::uint8_t* data[kMd5Lanes] = {};
        std::uint32_t full = 0; // the lanes given a whole chunk
        for (std::size_t lane = 0; lane < files_.size(); ++lane) {
            LaneFile& file = files_[lane];
            if (file.done)
                continue;
            const std::uint64_t left = file.length - file.at;
            if (left < kLaneChunk) {
                finishLane(lane, static_cast<std::size_t>(left));
                continue;
            }
            file.done = !readChunk(file, kLaneChunk, buffers_[lane]);
            data[lane] = buffers_[lane].data();
            full |= file.done ? 0u : 1u << lane;
        }
        if (full == 0)
            return false;
        md5_.update(data, full, kLaneChunk / 64);
        for (std::size_t lane = 0; lane < files_.size(); ++lane)
            if ((full >> lane) & 1u)
                files_[lane].at += kLaneChunk;
        progress_.add(static_cast<std::int64_t>(kLaneChunk * std::popcount(full)));
        return true;
    }

  private:
    // The file's last `left` bytes (fewer than a chunk), and its MD5 compared.
    void finishLane(std::size_t lane, std::size_t left) {
        LaneFile& file = files_[lane];
        file.done = true;
        if (!readChunk(file, left, buffers_[lane]))
            return;
        const std::uint8_t* data[kMd5Lanes] = {};
        data[lane] = buffers_[lane].data();
        if (left >= 64)
            md5_.update(data, 1u << lane, left / 64);
        const Md5LaneDigest digest =
            md5_.finish(lane, data[lane] + left / 64 * 64, left % 64, file.length);
        matches_[file.index] = digest == opened_.set.files[file.index].description.hash ? 1 : 0;
        progress_.add(static_cast<std::int64_t>(left));
    }

    const OpenedSet& opened_;
    std::vector<LaneFile>& files_;
    std::vector<char>& matches_;
    ProgressMeter& progress_;
    std::vector<std::vector<std::uint8_t>> buffers_;
    Md5LaneStreams md5_;
};

} // namespace

Result<std::vector<char>> wholeFilesInLanes(const OpenedSet& opened, WorkerPool& pool,
                                            ProgressMeter& progress,
                                            const RecoveryControl& control) {
    const std::vector<SetFile>& files = opened.set.files;
    std::vector<char> matches(files.size(), 0);
    // Those of the listed length, the longest first, dealt to the threads in turn.
    std::vector<LaneFile> candidates;
    for (std::size_t f = 0; f < files.size(); ++f) {
        Result<FileHandle> held = opened.folder.openForReading(files[f].description.name);
        struct stat info {};
        if (!held.ok() || ::fstat(held->fd(), &info) != 0 ||
            static_cast<std::uint64_t>(info.st_size) != files[f].description.length)
            continue;
        LaneFile file{f, std::move(held).value(), files[f].description.length, 0, false};
        ::posix_fadvise(file.fd.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
        candidates.push_back(std::move(file));
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const LaneFile& a, const LaneFile& b) { return a.length > b.length; });
    std::vector<std::vector<LaneFile>> groups;
    const std::size_t threads = pool.size();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::size_t round = i / (threads * kMd5Lanes);
        const std::size_t group = round * threads + i % threads;
        if (groups.size() <= group)
            groups.resize(group + 1);
        groups[group].push_back(std::move(candidates[i]));
    }
    Result<> hashed = pool.run(groups.size(), [&](std::size_t g, unsigned) -> Result<> {
        LaneGroup group(opened, groups[g], matches, progress);
        while (!control.stopRequested() && group.round()) {
        }
        return {};
    });
    if (!hashed.ok())
        return hashed.error();
    return matches;
}

} // namespace shardix::par2
