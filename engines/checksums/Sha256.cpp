#include "engines/checksums/Sha256.h"

#include "engines/checksums/Hasher.h"
#include "errors/Error.h"

#include <new>
#include <openssl/evp.h>
#include <utility>

namespace shardix {

namespace {

void start(EVP_MD_CTX* context) {
    if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

} // namespace

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_)
        throw std::bad_alloc();
    start(context_);
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(context_);
}

Sha256::Sha256(Sha256&& other) noexcept : context_(std::exchange(other.context_, nullptr)) {}

Sha256& Sha256::operator=(Sha256&& other) noexcept {
    std::swap(context_, other.context_);
    return *this;
}

void Sha256::update(const char* bytes, std::size_t length) {
    EVP_DigestUpdate(context_, bytes, length);
}

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_, digest, &length);
    start(context_);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

std::string Sha256::ofFile(const FileHandle& file, std::int64_t length,
                           std::atomic<std::int64_t>& done) {
    return ofRange(file, 0, length, done);
}

std::string Sha256::ofRange(const FileHandle& file, std::int64_t offset, std::int64_t length,
                            std::atomic<std::int64_t>& done) {
    return digestOfRange(HashAlgorithm::Sha256, file, offset, length, done);
}

} // namespace shardix
