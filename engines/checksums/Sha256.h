#pragma once

#include "engines/checksums/Hasher.h"
#include "engines/io/FileIo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace shardix {

// A SHA-256 computation, by the system's libcrypto, which uses the processor's
// SHA instructions where it has them.
class Sha256 {
  public:
    void update(const char* bytes, std::size_t length) { sum_->update(bytes, length); }
    // The checksum of everything given so far, in 64 lower-case hexadecimal
    // digits; the computation starts afresh afterwards.
    std::string hexDigest();

    // The checksum of the first `length` bytes of `file`, read in pieces from its
    // first byte; `done` counts the bytes read. A file that ends sooner is a failure.
    static Result<std::string> ofFile(const FileHandle& file, std::int64_t length,
                                      std::atomic<std::int64_t>& done);
    // The checksum of the `length` bytes of `file` from byte `offset` (0-based).
    static Result<std::string> ofRange(const FileHandle& file, std::int64_t offset,
                                       std::int64_t length, std::atomic<std::int64_t>& done);

  private:
    std::unique_ptr<Hasher> sum_ = Hasher::make(HashAlgorithm::Sha256);
};

} // namespace shardix
