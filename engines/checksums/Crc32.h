#pragma once

#include <cstddef>
#include <cstdint>

namespace shardix {

// The CRC-32 of Ethernet and zip (zlib's crc32), continuing from `crc` (0 to
// start). Long runs are folded with the processor's carry-less multiply where
// it has one, many times faster than zlib's tables; the answer is the same.
std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::size_t length);

// The same by zlib alone: what the folded one must agree with.
std::uint32_t crc32ByTable(std::uint32_t crc, const void* bytes, std::size_t length);

} // namespace shardix
