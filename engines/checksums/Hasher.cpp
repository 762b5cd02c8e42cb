#include "engines/checksums/Hasher.h"

#include "engines/checksums/Blake2b.h"
#include "engines/checksums/Crc32.h"
#include "engines/checksums/Md5.h"
#include "errors/Error.h"

#include <algorithm>
#include <cstdint>
#include <dlfcn.h>
#include <new>
#include <openssl/evp.h>
#include <utility>
#include <vector>

namespace shardix {

namespace {

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

std::string hexOf(const unsigned char* bytes, std::size_t length, const char* digits) {
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// libcrypto's name of the getter of an algorithm's digest; nothing for those
// it does not have or that are ours.
const char* getterOf(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return "EVP_sha256";
    case HashAlgorithm::Sha1:
        return "EVP_sha1";
    case HashAlgorithm::Blake2b512:
        return "EVP_blake2b512";
    case HashAlgorithm::Sha512:
        return "EVP_sha512";
    case HashAlgorithm::Sha224:
        return "EVP_sha224";
    case HashAlgorithm::Sha384:
        return "EVP_sha384";
    default:
        break;
    }
    return nullptr;
}

// The functions of the system's libcrypto that the digests below call. The
// library is loaded when the first of them is made, not when the program
// starts: most runs (a cut, a join, the recovery files) need none of it, and
// loading it takes some 1.5 MiB of memory.
struct LibCrypto {
    decltype(&EVP_MD_CTX_new) contextNew = nullptr;
    decltype(&EVP_MD_CTX_free) contextFree = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
    void* library = nullptr;
    std::string failure; // why it could not be loaded, when it could not

    const EVP_MD* digestOf(HashAlgorithm algorithm) const {
        using Getter = const EVP_MD* (*)();
        const char* name = getterOf(algorithm);
        const auto getter = name ? reinterpret_cast<Getter>(::dlsym(library, name)) : nullptr;
        return getter ? getter() : nullptr;
    }
};

template <typename Function> bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

LibCrypto load() {
    LibCrypto crypto;
    crypto.library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!crypto.library) {
        const char* reason = ::dlerror();
        crypto.failure = reason ? reason : "libcrypto.so.3 was not found";
        return crypto;
    }
    if (!resolve(crypto.library, "EVP_MD_CTX_new", crypto.contextNew) ||
        !resolve(crypto.library, "EVP_MD_CTX_free", crypto.contextFree) ||
        !resolve(crypto.library, "EVP_DigestInit_ex", crypto.init) ||
        !resolve(crypto.library, "EVP_DigestUpdate", crypto.update) ||
        !resolve(crypto.library, "EVP_DigestFinal_ex", crypto.final))
        crypto.failure = "it lacks the digest functions";
    return crypto;
}

// The loaded library, loaded once for the whole run, or why it cannot be.
Result<const LibCrypto*> libCrypto() {
    static const LibCrypto loaded = load();
    if (!loaded.failure.empty())
        return Error::of(ErrorKind::Internal,
                         "The checksums need the system's libcrypto (Debian's libssl3), which "
                         "cannot be loaded: " +
                             loaded.failure + ".");
    return &loaded;
}

// A digest's context, freed by the library that made it.
struct ContextFree {
    decltype(&EVP_MD_CTX_free) free;
    void operator()(EVP_MD_CTX* context) const { free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

// The algorithms of libcrypto, which picks the processor's SHA instructions
// where it has them. Made by make() below, with a context set up for `type`.
class EvpHasher final : public Hasher {
  public:
    EvpHasher(HashAlgorithm algorithm, const LibCrypto& crypto, const EVP_MD* type, Context context)
        : algorithm_(algorithm), crypto_(crypto), type_(type), context_(std::move(context)) {}

    // Fails when libcrypto cannot be loaded or cannot set the digest up.
    static Result<std::unique_ptr<Hasher>> make(HashAlgorithm algorithm) {
        const Result<const LibCrypto*> loaded = libCrypto();
        if (!loaded.ok())
            return loaded.error();
        const LibCrypto& crypto = **loaded;
        const EVP_MD* type = crypto.digestOf(algorithm);
        Context context(crypto.contextNew(), ContextFree{crypto.contextFree});
        // libcrypto that has the digest fails to set it up only when it
        // cannot allocate.
        if (!type || !context || crypto.init(context.get(), type, nullptr) != 1)
            return Error::of(ErrorKind::Internal, "There is not enough memory to go on.");
        return std::unique_ptr<Hasher>(
            std::make_unique<EvpHasher>(algorithm, crypto, type, std::move(context)));
    }

    HashAlgorithm algorithm() const override { return algorithm_; }
    void update(const void* bytes, std::size_t length) override {
        crypto_.update(context_.get(), bytes, length);
    }
    std::string digest() override {
        unsigned char sum[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        crypto_.final(context_.get(), sum, &length);
        // The same context starts afresh, as it was set up in make().
        if (crypto_.init(context_.get(), type_, nullptr) != 1)
            throw std::bad_alloc();
        return hexOf(sum, length, kLowerHex);
    }

  private:
    HashAlgorithm algorithm_;
    const LibCrypto& crypto_;
    const EVP_MD* type_;
    Context context_;
};

class Md5Hasher final : public Hasher {
  public:
    HashAlgorithm algorithm() const override { return HashAlgorithm::Md5; }
    void update(const void* bytes, std::size_t length) override { sum_.update(bytes, length); }
    std::string digest() override { return shardix::hexOf(sum_.finish()); }

  private:
    Md5 sum_;
};

// The shorter BLAKE2b digests of b2sum -l, which libcrypto does not have.
class Blake2bHasher final : public Hasher {
  public:
    explicit Blake2bHasher(HashAlgorithm algorithm)
        : algorithm_(algorithm), sum_(digestDigits(algorithm) / 2) {}

    HashAlgorithm algorithm() const override { return algorithm_; }
    void update(const void* bytes, std::size_t length) override { sum_.update(bytes, length); }
    std::string digest() override { return sum_.hexDigest(); }

  private:
    HashAlgorithm algorithm_;
    Blake2b sum_;
};

class Crc32Hasher final : public Hasher {
  public:
    HashAlgorithm algorithm() const override { return HashAlgorithm::Crc32; }
    void update(const void* bytes, std::size_t length) override {
        crc_ = crc32Update(crc_, bytes, length);
    }
    std::string digest() override {
        const unsigned char sum[4] = {
            static_cast<unsigned char>(crc_ >> 24), static_cast<unsigned char>(crc_ >> 16),
            static_cast<unsigned char>(crc_ >> 8), static_cast<unsigned char>(crc_)};
        crc_ = 0;
        return hexOf(sum, 4, kUpperHex);
    }

  private:
    std::uint32_t crc_ = 0;
};

} // namespace

std::string_view algorithmName(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return "SHA-256";
    case HashAlgorithm::Sha1:
        return "SHA-1";
    case HashAlgorithm::Md5:
        return "MD5";
    case HashAlgorithm::Blake2b512:
        return "BLAKE2b-512";
    case HashAlgorithm::Sha512:
        return "SHA-512";
    case HashAlgorithm::Crc32:
        return "CRC-32";
    case HashAlgorithm::Sha224:
        return "SHA-224";
    case HashAlgorithm::Sha384:
        return "SHA-384";
    case HashAlgorithm::Blake2b128:
        return "BLAKE2b-128";
    case HashAlgorithm::Blake2b160:
        return "BLAKE2b-160";
    case HashAlgorithm::Blake2b224:
        return "BLAKE2b-224";
    case HashAlgorithm::Blake2b256:
        return "BLAKE2b-256";
    case HashAlgorithm::Blake2b384:
        return "BLAKE2b-384";
    }
    return "?";
}

std::size_t digestDigits(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return 64;
    case HashAlgorithm::Sha1:
        return 40;
    case HashAlgorithm::Md5:
        return 32;
    case HashAlgorithm::Blake2b512:
    case HashAlgorithm::Sha512:
        return 128;
    case HashAlgorithm::Crc32:
        return 8;
    case HashAlgorithm::Sha224:
    case HashAlgorithm::Blake2b224:
        return 56;
    case HashAlgorithm::Sha384:
    case HashAlgorithm::Blake2b384:
        return 96;
    case HashAlgorithm::Blake2b128:
        return 32;
    case HashAlgorithm::Blake2b160:
        return 40;
    case HashAlgorithm::Blake2b256:
        return 64;
    }
    return 0;
}

std::optional<HashAlgorithm> blake2bOfBits(std::size_t bits) {
    switch (bits) {
    case 128:
        return HashAlgorithm::Blake2b128;
    case 160:
        return HashAlgorithm::Blake2b160;
    case 224:
        return HashAlgorithm::Blake2b224;
    case 256:
        return HashAlgorithm::Blake2b256;
    case 384:
        return HashAlgorithm::Blake2b384;
    case 512:
        return HashAlgorithm::Blake2b512;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> normalDigest(HashAlgorithm algorithm, std::string_view text) {
    if (text.size() != digestDigits(algorithm))
        return std::nullopt;
    const bool upper = algorithm == HashAlgorithm::Crc32;
    std::string digest(text);
    for (char& c : digest) {
        if (c >= '0' && c <= '9')
            continue;
        const char lower = static_cast<char>(c | 0x20);
        if (lower < 'a' || lower > 'f')
            return std::nullopt;
        c = upper ? static_cast<char>(lower - 0x20) : lower;
    }
    return digest;
}

Result<std::unique_ptr<Hasher>> Hasher::make(HashAlgorithm algorithm) {
    if (algorithm == HashAlgorithm::Crc32)
        return std::unique_ptr<Hasher>(std::make_unique<Crc32Hasher>());
    if (algorithm == HashAlgorithm::Md5)
        return std::unique_ptr<Hasher>(std::make_unique<Md5Hasher>());
    if (!getterOf(algorithm))
        return std::unique_ptr<Hasher>(std::make_unique<Blake2bHasher>(algorithm));
    return EvpHasher::make(algorithm);
}

Result<MultiHasher> MultiHasher::of(const std::vector<HashAlgorithm>& algorithms) {
    MultiHasher hashers;
    for (const HashAlgorithm algorithm : algorithms) {
        if (Result<> added = hashers.add(algorithm); !added.ok())
            return added.error();
    }
    return hashers;
}

Result<> MultiHasher::add(HashAlgorithm algorithm) {
    const auto has = [algorithm](const auto& h) { return h->algorithm() == algorithm; };
    if (std::any_of(hashers_.begin(), hashers_.end(), has))
        return {};
    Result<std::unique_ptr<Hasher>> made = Hasher::make(algorithm);
    if (!made.ok())
        return made.error();
    hashers_.push_back(std::move(made).value());
    return {};
}

std::vector<HashAlgorithm> MultiHasher::algorithms() const {
    std::vector<HashAlgorithm> result;
    for (const auto& hasher : hashers_)
        result.push_back(hasher->algorithm());
    return result;
}

void MultiHasher::update(const void* bytes, std::size_t length) {
    if (hashers_.size() == 1) {
        hashers_.front()->update(bytes, length);
        return;
    }
    constexpr std::size_t kSlice = 64 << 10;
    const auto* at = static_cast<const unsigned char*>(bytes);
    for (std::size_t done = 0; done < length; done += kSlice) {
        const std::size_t n = std::min(kSlice, length - done);
        for (const auto& hasher : hashers_)
            hasher->update(at + done, n);
    }
}

std::vector<std::string> MultiHasher::digests() {
    std::vector<std::string> result;
    for (const auto& hasher : hashers_)
        result.push_back(hasher->digest());
    return result;
}

std::string MultiHasher::digest(HashAlgorithm algorithm) {
    for (const auto& hasher : hashers_) {
        if (hasher->algorithm() == algorithm)
            return hasher->digest();
    }
    return {};
}

Result<std::string> digestOfRange(HashAlgorithm algorithm, const FileHandle& file,
                                  std::int64_t offset, std::int64_t length,
                                  std::atomic<std::int64_t>& done) {
    constexpr std::int64_t kChunk = 1 << 20;
    Result<std::unique_ptr<Hasher>> made = Hasher::make(algorithm);
    if (!made.ok())
        return made.error();
    const std::unique_ptr<Hasher> sum = std::move(made).value();
    std::vector<char> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(length, 1, kChunk)));
    for (std::int64_t at = 0; at < length;) {
        const std::int64_t n = std::min(kChunk, length - at);
        if (Result<> read = readExactly(file, offset + at, buffer.data(), n); !read.ok())
            return read.error();
        sum->update(buffer.data(), static_cast<std::size_t>(n));
        at += n;
        done += n;
    }
    return sum->digest();
}

} // namespace shardix
