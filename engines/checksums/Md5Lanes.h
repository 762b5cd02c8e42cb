#pragma once

#include "engines/checksums/Md5.h"

#include <cstddef>
#include <cstdint>

namespace shardix {

inline constexpr std::size_t kMd5Lanes = 16;

// True when this processor can compute kMd5Lanes MD5s side by side (AVX-512).
bool canHashLanes();

// The MD5s of kMd5Lanes messages of `length` bytes each, computed side by
// side, one message in each 32-bit lane of the vector registers: the blocks
// of a batch have one length. Only where canHashLanes().
void md5OfLanes(const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                Md5Digest digests[kMd5Lanes]);

// The MD5s of kMd5Lanes messages that are each `prefixLength` bytes of
// `prefixes[lane]` followed by `length` bytes of `messages[lane]`, side by
// side where canHashLanes(), else one after another: a recovery packet's
// hash covers a short header and then its block, which stays where it is.
void md5OfPrefixedLanes(const std::uint8_t* const prefixes[kMd5Lanes], std::size_t prefixLength,
                        const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                        Md5Digest digests[kMd5Lanes]);

// The MD5s of up to kMd5Lanes streams computed side by side, one in each lane:
// the streams start, advance and end each at its own time, fed whole chunks of
// 64 bytes and ended with the bytes left over. Only where canHashLanes().
class Md5LaneStreams {
  public:
    // Every lane at the start of a stream.
    Md5LaneStreams();

    // Lane `lane` starts a new stream.
    void restart(std::size_t lane);
    // Feeds `blocks` chunks of 64 bytes to each lane whose bit is set in
    // `lanes`, from `data[lane]` on; the other lanes keep their state, and their
    // entries of `data` are not read.
    void update(const std::uint8_t* const data[kMd5Lanes], std::uint32_t lanes, std::size_t blocks);
    // The MD5 of the stream in `lane`, after its last `rest` bytes (fewer than
    // 64) at `tail`; `length` is the whole stream's length in bytes. The lane
    // then starts afresh.
    Md5Digest finish(std::size_t lane, const std::uint8_t* tail, std::size_t rest,
                     std::uint64_t length);

  private:
    alignas(64) std::uint32_t state_[4][kMd5Lanes];
};

} // namespace shardix
