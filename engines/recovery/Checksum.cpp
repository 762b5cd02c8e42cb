#include "engines/recovery/Checksum.h"

#include <algorithm>
#include <limits>
#include <zlib.h>

namespace shardix::par2 {

Md5Digest Md5::finish() {
    unsigned char sum[RawDigest::kMaxBytes];
    sum_.finish(sum);
    Md5Digest digest{};
    std::copy_n(sum, digest.size(), digest.begin());
    return digest;
}

Md5Digest md5Of(const void* bytes, std::size_t length) {
    Md5 md5;
    md5.update(bytes, length);
    return md5.finish();
}

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
