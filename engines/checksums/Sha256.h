#pragma once

#include "engines/io/FileIo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st;

namespace shardix {

// A SHA-256 computation, by the system's libcrypto, which uses the processor's
// SHA instructions where it has them.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&& other) noexcept;
    Sha256& operator=(Sha256&& other) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const char* bytes, std::size_t length);
    // The checksum of everything given so far, in 64 lower-case hexadecimal
    // digits; the computation starts afresh afterwards.
    std::string hexDigest();

    // The checksum of the first `length` bytes of `file`, read in pieces from its
    // first byte; `done` counts the bytes read. A file that ends sooner is a failure.
    static std::string ofFile(const FileHandle& file, std::int64_t length,
                              std::atomic<std::int64_t>& done);
    // The checksum of the `length` bytes of `file` from byte `offset` (0-based).
    static std::string ofRange(const FileHandle& file, std::int64_t offset, std::int64_t length,
                               std::atomic<std::int64_t>& done);

  private:
    evp_md_ctx_st* context_;
};

} // namespace shardix
