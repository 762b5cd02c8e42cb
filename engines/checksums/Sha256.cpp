#include "engines/checksums/Sha256.h"

#include "engines/checksums/Hasher.h"
#include "errors/Error.h"

namespace shardix {

std::string Sha256::hexDigest() {
    return sum_->digest();
}

Result<std::string> Sha256::ofFile(const FileHandle& file, std::int64_t length,
                                   std::atomic<std::int64_t>& done) {
    return ofRange(file, 0, length, done);
}

Result<std::string> Sha256::ofRange(const FileHandle& file, std::int64_t offset,
                                    std::int64_t length, std::atomic<std::int64_t>& done) {
    return digestOfRange(HashAlgorithm::Sha256, file, offset, length, done);
}

} // namespace shardix
