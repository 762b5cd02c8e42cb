#include "engines/recovery/RollingCrc.h"

#include "engines/recovery/Checksum.h"

#include <zlib.h>

namespace shardix::par2 {

RollingCrc::RollingCrc(std::uint64_t window) : window_(window) {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t value = byte;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table_[byte] = value;
    }
    // zlib's combination appends `window` zeros to a register: exactly the
    // shift that a byte leaving the window has undergone.
    const auto length = static_cast<z_off64_t>(window);
    for (std::uint32_t byte = 0; byte < 256; ++byte)
        leavingTable_[byte] = static_cast<std::uint32_t>(crc32_combine64(table_[byte], 0, length));
    zerosCrc_ = static_cast<std::uint32_t>(crc32_combine64(0xFFFFFFFFu, 0, length)) ^ 0xFFFFFFFFu;
}

void RollingCrc::start(const std::uint8_t* bytes) {
    state_ = crc32Update(0, bytes, window_) ^ zerosCrc_;
}

} // namespace shardix::par2
