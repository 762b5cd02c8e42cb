#pragma once

#include "engines/checksums/Md5.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace shardix::par2 {

// The CRC-32 of Ethernet and zip (zlib's), continuing from `crc`.
std::uint32_t crc32Of(const void* bytes, std::size_t length, std::uint32_t crc = 0);

} // namespace shardix::par2
