#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace shardix {

// BLAKE2b with a digest of `bytes` bytes (1 to 64, unkeyed), as b2sum -l
// (bytes * 8) computes it: the shorter digests are not cut from the longest,
// their length is part of the computation. The system's libcrypto has only the
// 64-byte one.
class Blake2b {
  public:
    explicit Blake2b(std::size_t bytes);

    void update(const void* data, std::size_t length);
    // The digest in lower-case hexadecimal; starts afresh.
    std::string hexDigest();

  private:
    void start();
    void compress(bool last);

    std::size_t bytes_;
    std::uint64_t state_[8];
    std::uint64_t counter_[2];
    unsigned char block_[128];
    std::size_t filled_ = 0;
};

} // namespace shardix
