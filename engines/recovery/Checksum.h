#pragma once

#include "engines/checksums/Hasher.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace shardix::par2 {

using Md5Digest = std::array<std::uint8_t, 16>;

// An MD5 computation, by the system's libcrypto.
class Md5 {
  public:
    void update(const void* bytes, std::size_t length) { sum_.update(bytes, length); }
    // The digest of everything given so far; the computation starts afresh.
    Md5Digest finish();

  private:
    RawDigest sum_{HashAlgorithm::Md5};
};

Md5Digest md5Of(const void* bytes, std::size_t length);

// The CRC-32 of Ethernet and zip (zlib's), continuing from `crc`.
std::uint32_t crc32Of(const void* bytes, std::size_t length, std::uint32_t crc = 0);

} // namespace shardix::par2
