#pragma once

#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// The checksums that the lists of other tools carry.
enum class HashAlgorithm {
    Sha256,     // sha256sum
    Sha1,       // sha1sum
    Md5,        // md5sum
    Blake2b512, // b2sum (its default length)
    Sha512,     // sha512sum
    Crc32,      // .sfv and .crc files (the CRC of zip and Ethernet)
    Sha224,     // sha224sum
    Sha384,     // sha384sum
    Blake2b128, // b2sum -l 128
    Blake2b160, // b2sum -l 160
    Blake2b224, // b2sum -l 224
    Blake2b256, // b2sum -l 256
    Blake2b384, // b2sum -l 384
};

// The BLAKE2b of `bits` bits (b2sum -l BITS) among those above; nothing for
// another length.
std::optional<HashAlgorithm> blake2bOfBits(std::size_t bits);

// "SHA-256", "SHA-1", "MD5", "BLAKE2b-512", "SHA-512", "CRC-32", for messages.
std::string_view algorithmName(HashAlgorithm algorithm);

// How many hexadecimal digits the algorithm's checksum has (64 for SHA-256).
std::size_t digestDigits(HashAlgorithm algorithm);

// `text` as the hasher of `algorithm` writes it: lower-case digits, upper-case
// for CRC-32 (as .sfv and .crc files have it). Nothing when it is not a
// checksum of that algorithm (another length, a character that is no digit).
std::optional<std::string> normalDigest(HashAlgorithm algorithm, std::string_view text);

// A checksum computed over a stream of bytes given in any number of pieces.
class Hasher {
  public:
    virtual ~Hasher() = default;

    virtual HashAlgorithm algorithm() const = 0;
    virtual void update(const void* bytes, std::size_t length) = 0;
    // The checksum of everything given since the start or the last digest(),
    // in the text form of the algorithm's checksum files (normalDigest); the
    // computation starts afresh afterwards.
    virtual std::string digest() = 0;

    // SHA-256, SHA-1, SHA-2's others and BLAKE2b-512 come from the system's
    // libcrypto, loaded the first time one is made; MD5 and the shorter
    // BLAKE2b are ours, CRC-32 is zlib's. Fails when libcrypto cannot be
    // loaded, or cannot set the digest up (as a shortage of memory).
    static Result<std::unique_ptr<Hasher>> make(HashAlgorithm algorithm);
};

// Several checksums of one stream, each byte read from memory while it is still
// in the processor's cache: the bytes given are handed to each algorithm in
// slices of 64 KiB.
class MultiHasher {
  public:
    MultiHasher() = default;
    // The checksums of `algorithms`, each once; fails as Hasher::make does.
    static Result<MultiHasher> of(const std::vector<HashAlgorithm>& algorithms);

    // Adds an algorithm; one already there is not added twice. Fails as
    // Hasher::make does, and then adds nothing.
    Result<> add(HashAlgorithm algorithm);
    bool empty() const { return hashers_.empty(); }
    std::vector<HashAlgorithm> algorithms() const;

    void update(const void* bytes, std::size_t length);
    // The checksums of everything given since the start or the last
    // digests(), in the order the algorithms were added; all start afresh.
    std::vector<std::string> digests();
    // The checksum of one algorithm, which must have been added; it starts
    // afresh, the others go on.
    std::string digest(HashAlgorithm algorithm);

  private:
    std::vector<std::unique_ptr<Hasher>> hashers_;
};

// The checksum of the `length` bytes of `file` from byte `offset` (0-based),
// read in pieces of 1 MiB; `done` counts the bytes read. A file that ends
// sooner is a failure, and so is a checksum that cannot be made (Hasher::make).
Result<std::string> digestOfRange(HashAlgorithm algorithm, const FileHandle& file,
                                  std::int64_t offset, std::int64_t length,
                                  std::atomic<std::int64_t>& done);

} // namespace shardix
