// libFuzzer target: an index file (and, after a line "--volume--", a volume)
// given as bytes to the packet scanner and the checks that put a recovery set
// together, as verifyRecovery() and repairRecovery() do before they read any
// file. Built with -DSHARDIX_BUILD_FUZZER=ON (scripts/fuzz-recovery.sh).
//
// Mutated packets would almost never carry a right MD5, and the checks past
// the scanner would never run: unless the input's first byte is odd, the
// target writes the right hash into every packet header it finds first.

#include "engines/recovery/Checksum.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoverySet.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace shardix::par2;

void fixHashes(std::string& bytes) {
    for (std::size_t at = 0; at + kHeaderSize <= bytes.size();) {
        if (std::memcmp(bytes.data() + at, kPacketMagic, sizeof kPacketMagic) != 0) {
            ++at;
            continue;
        }
        const std::uint64_t length = readU64(bytes.data() + at + 8);
        if (length < kHeaderSize || length > bytes.size() - at) {
            ++at;
            continue;
        }
        const Md5Digest hash = md5Of(bytes.data() + at + 32, static_cast<std::size_t>(length) - 32);
        std::memcpy(bytes.data() + at + 16, hash.data(), hash.size());
        at += static_cast<std::size_t>(length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const std::string kSeparator = "\n--volume--\n";
    std::string index = bytes, volume;
    const bool withVolume = bytes.find(kSeparator) != std::string::npos;
    if (withVolume) {
        index = bytes.substr(0, bytes.find(kSeparator));
        volume = bytes.substr(bytes.find(kSeparator) + kSeparator.size());
    }
    if ((data[0] & 1) == 0) {
        fixHashes(index);
        fixHashes(volume);
    }
    // Refused or put together, the set is dropped: what counts is that
    // neither crashes, leaks or reads out of bounds.
    const auto set =
        withVolume ? assembleSetFromBytes(index, {volume}) : assembleSetFromBytes(index);
    return 0;
}
