#include "engines/recovery/Checksum.h"

#include <algorithm>
#include <limits>
#include <new>
#include <openssl/evp.h>
#include <utility>
#include <zlib.h>

namespace shardix::par2 {

namespace {

void start(EVP_MD_CTX* context) {
    if (EVP_DigestInit_ex(context, EVP_md5(), nullptr) != 1)
        throw std::bad_alloc();
}

} // namespace

Md5::Md5() : context_(EVP_MD_CTX_new()) {
    if (!context_)
        throw std::bad_alloc();
    start(context_);
}

Md5::~Md5() {
    EVP_MD_CTX_free(context_);
}

Md5::Md5(Md5&& other) noexcept : context_(std::exchange(other.context_, nullptr)) {}

Md5& Md5::operator=(Md5&& other) noexcept {
    std::swap(context_, other.context_);
    return *this;
}

void Md5::update(const void* bytes, std::size_t length) {
    EVP_DigestUpdate(context_, bytes, length);
}

Md5Digest Md5::finish() {
    Md5Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_, digest.data(), &length);
    start(context_);
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
