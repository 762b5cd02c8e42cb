#include "engines/recovery/RepairSession.h"

#include "engines/checksums/Md5Streams.h"
#include "engines/io/FileIo.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

// The bytes read for each file at a time (a multiple of 64): 16 files on each
// thread take 16 times as much.
constexpr std::size_t kLaneChunk = 32 << 10;

// A file of the set that is there at its listed length, open.
struct LaneFile {
    std::size_t index = 0; // in the set
    FileHandle fd;
    std::uint64_t length = 0;
};

// Hashes `files` (up to kMd5Lanes) side by side and sets `matches` of those
// whose MD5 is the listed one; one that cannot be read to its end just does
// not match. Asked to stop, leaves the others unset.
void hashGroup(const OpenedSet& opened, const std::vector<LaneFile>& files,
               std::vector<char>& matches, ProgressMeter& progress,
               const RecoveryControl& control) {
    std::vector<std::uint64_t> lengths;
    for (const LaneFile& file : files)
        lengths.push_back(file.length);
    StreamHashing how;
    how.chunk = kLaneChunk;
    how.failedRead = FailedRead::EndsItsStream;
    how.stopped = [&control] { return control.stopRequested(); };
    how.hashed = [&progress](std::uint64_t bytes) {
        progress.add(static_cast<std::int64_t>(bytes));
    };
    const Result<std::vector<Result<Md5Digest>>> digests = md5OfStreams(
        lengths,
        [&files](std::size_t file, std::uint64_t offset, std::uint8_t* into, std::size_t length) {
            return readExactly(files[file].fd, static_cast<std::int64_t>(offset),
                               reinterpret_cast<char*>(into), static_cast<std::int64_t>(length));
        },
        how);
    if (!digests.ok())
        return;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Result<Md5Digest>& digest = (*digests)[i];
        const std::size_t f = files[i].index;
        matches[f] = digest.ok() && *digest == opened.set.files[f].description.hash ? 1 : 0;
    }
}

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
        LaneFile file{f, std::move(held).value(), files[f].description.length};
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
        hashGroup(opened, groups[g], matches, progress, control);
        return {};
    });
    if (!hashed.ok())
        return hashed.error();
    return matches;
}

} // namespace shardix::par2
