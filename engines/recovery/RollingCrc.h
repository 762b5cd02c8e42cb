#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace shardix::par2 {

// The CRC-32 (zlib's) of a window of a fixed length sliding over bytes one
// byte at a time: the byte that leaves is taken out, the one that comes in
// added, in constant time.
class RollingCrc {
  public:
    explicit RollingCrc(std::uint64_t window);

    // Starts on the window at `bytes`.
    void start(const std::uint8_t* bytes);
    // Moves one byte on: `leaving` was the window's first byte, `entering`
    // follows its last.
    void roll(std::uint8_t leaving, std::uint8_t entering) {
        state_ = table_[(state_ ^ entering) & 0xFF] ^ (state_ >> 8) ^ leavingTable_[leaving];
    }
    // The window's CRC-32.
    std::uint32_t crc() const { return state_ ^ zerosCrc_; }

  private:
    std::uint64_t window_;
    // The CRC's register without its initial value and final inversion
    // (linear in the bytes), and the CRC of as many zeros, which tells the two apart.
    std::uint32_t state_ = 0;
    std::uint32_t zerosCrc_ = 0;
    std::array<std::uint32_t, 256> table_{};
    std::array<std::uint32_t, 256> leavingTable_{}; // a byte followed by `window` zeros
};

} // namespace shardix::par2
