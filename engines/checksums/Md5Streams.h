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

// The MD5 of each of several streams of the given lengths, read through
// `read` a chunk at a time and hashed up to kMd5Lanes side by side, in groups
// of about equal size. Only where canHashLanes(). The first failed read is
// the result; so is Stopped as soon as `stopped` says so.
Result<std::vector<Md5LaneDigest>> md5OfStreams(const std::vector<std::uint64_t>& lengths,
                                                const StreamRead& read,
                                                const std::function<bool()>& stopped);

// Whether hashing `count` streams side by side beats hashing them one after
// another: a lane is slower than a scalar MD5, so a few streams are not
// worth it.
bool streamsWorthLanes(std::size_t count);

} // namespace shardix
