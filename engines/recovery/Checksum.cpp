#include "engines/recovery/Checksum.h"

#include <algorithm>
#include <limits>
#include <zlib.h>

namespace shardix::par2 {

std::uint32_t crc32Of(const void* bytes, std::size_t length, std::uint32_t crc) {
    const auto* at = static_cast<const Bytef*>(bytes);
    uLong value = crc;
    while (length > 0) {
        const auto part =
            static_cast<uInt>(std::min<std::size_t>(length, std::numeric_limits<uInt>::max()));
        value = crc32(value, at, part);
        at += part;
        length -= part;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace shardix::par2
