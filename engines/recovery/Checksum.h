#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct evp_md_ctx_st;

namespace shardix::par2 {

using Md5Digest = std::array<std::uint8_t, 16>;

// An MD5 computation, by the system's libcrypto.
class Md5 {
  public:
    Md5();
    ~Md5();
    Md5(Md5&& other) noexcept;
    Md5& operator=(Md5&& other) noexcept;
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void update(const void* bytes, std::size_t length);
    // The digest of everything given so far; the computation starts afresh.
    Md5Digest finish();

  private:
    evp_md_ctx_st* context_;
};

Md5Digest md5Of(const void* bytes, std::size_t length);

// The CRC-32 of Ethernet and zip (zlib's), continuing from `crc`.
std::uint32_t crc32Of(const void* bytes, std::size_t length, std::uint32_t crc = 0);

} // namespace shardix::par2
