#include "engines/recovery/Checksum.h"

#include "engines/checksums/Crc32.h"

namespace shardix::par2 {

std::uint32_t crc32Of(const void* bytes, std::size_t length, std::uint32_t crc) {
    return crc32Update(crc, bytes, length);
}

} // namespace shardix::par2
