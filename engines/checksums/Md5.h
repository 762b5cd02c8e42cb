#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace shardix {

using Md5Digest = std::array<std::uint8_t, 16>;

// One MD5 computation (RFC 1321) over bytes given in any number of pieces.
// Our own, so that the recovery files' many small MD5s and the pieces' long
// ones need no library loaded for them.
class Md5 {
  public:
    Md5() { restart(); }

    void update(const void* bytes, std::size_t length);
    // The digest of everything given since the start or the last finish();
    // the computation starts afresh.
    Md5Digest finish();

  private:
    void restart();

    std::uint32_t state_[4];
    std::uint64_t length_ = 0; // bytes given
    std::uint8_t pending_[64]; // the bytes of a 64-byte chunk not yet complete
};

Md5Digest md5Of(const void* bytes, std::size_t length);

// The digest as md5sum writes it: 32 lower-case hexadecimal digits.
std::string hexOf(const Md5Digest& digest);

} // namespace shardix
