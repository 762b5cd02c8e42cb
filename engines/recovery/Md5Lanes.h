#pragma once

#include "engines/recovery/Checksum.h"

#include <cstddef>
#include <cstdint>

namespace shardix::par2 {

inline constexpr std::size_t kMd5Lanes = 16;

// True when this processor can compute kMd5Lanes MD5s side by side (AVX-512).
bool canHashLanes();

// The MD5s of kMd5Lanes messages of `length` bytes each, computed side by
// side, one message in each 32-bit lane of the vector registers: the blocks
// of a batch have one length. Only where canHashLanes().
void md5OfLanes(const std::uint8_t* const messages[kMd5Lanes], std::size_t length,
                Md5Digest digests[kMd5Lanes]);

} // namespace shardix::par2
