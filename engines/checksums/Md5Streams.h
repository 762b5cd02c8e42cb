#pragma once

#include "engines/checksums/Md5Lanes.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace shardix {

// Reads `length` bytes of stream `stream` from `offset` on into `into`: all
// of them, or the failure.
using StreamRead = std::function<Result<>(std::size_t stream, std::uint64_t offset,
                                          std::uint8_t* into, std::size_t length)>;

// What a failed read of one stream does to the others.
enum class FailedRead {
    EndsAll,      // the whole call fails with it
    EndsItsStream // that stream gets the failure instead of a digest; the others go on
};

// How md5OfStreams reads and tells.
struct StreamHashing {
    // The bytes read of each stream at a time: a whole number of 64-byte
    // blocks. The buffers of a full group of lanes take kMd5Lanes times as much.
    std::size_t chunk = 16 << 10;
    FailedRead failedRead = FailedRead::EndsAll;
    // Asked before each round of chunks; the call ends as Stopped once it
    // says so. None: never.
    std::function<bool()> stopped;
    // Told the bytes hashed in each round of chunks, the last bytes of the
    // streams that end in it included. None: not told.
    std::function<void(std::uint64_t bytes)> hashed;
};

// The MD5 of each of several streams of the given lengths, or the failure
// to read it (FailedRead::EndsItsStream), by stream. The streams are read
// through `read` a chunk at a time and hashed up to kMd5Lanes side by side,
// in groups of about equal size, in their order. The result is a failure
// where a failed read ends all, and Stopped as soon as `how.stopped` says so.
// Only where canHashLanes().
Result<std::vector<Result<Md5Digest>>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                                    const StreamRead& read,
                                                    const StreamHashing& how);

// The MD5 of each stream as above, chunks of the usual size, the first failed
// read being the result.
Result<std::vector<Md5Digest>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                            const StreamRead& read,
                                            const std::function<bool()>& stopped);

// Whether hashing `count` streams side by side beats hashing them one after
// another: a lane is slower than a scalar MD5, so a few streams are not
// worth it.
bool streamsWorthLanes(std::size_t count);

} // namespace shardix
