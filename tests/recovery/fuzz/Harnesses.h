#pragma once

// What the fuzzers give their input to, and the replay of their corpora
// (tests/recovery/CorpusTest.cpp) too: each reader of files that a user may
// be handed by anyone.

#include "engines/manifest/Manifest.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoverySet.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace shardix::fuzzing {

// Mutated packets would almost never carry a right MD5, and the checks past
// the scanner would never run: the right hash is written into every packet
// header found.
inline void fixHashes(std::string& bytes) {
    using namespace par2;
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

// An index file followed by volumes, each after a line "--volume--", given
// to the packet scanner and the checks that put a recovery set together, as
// verify and repair do before they read any file. Unless the first byte is
// odd, the packets' hashes are made right.
inline Result<par2::RecoverySet> recoverySetOf(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return Error::of(ErrorKind::Refused, "empty");
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const std::string kSeparator = "\n--volume--\n";
    std::vector<std::string> files;
    for (std::size_t at = 0;;) {
        const std::size_t next = bytes.find(kSeparator, at);
        files.push_back(bytes.substr(at, next == std::string::npos ? next : next - at));
        if (next == std::string::npos)
            break;
        at = next + kSeparator.size();
    }
    if ((data[0] & 1) == 0)
        for (std::string& file : files)
            fixHashes(file);
    const std::string index = files.front();
    files.erase(files.begin());
    return par2::assembleSetFromBytes(index, files);
}

// A checksum list of any kind (the lines of sha256sum and its kin, their
// --tag lines, our manifests with their notes, .sfv and .crc files), read
// under the name that the first byte picks (the name tells the kind), and
// what verify does with it before it opens a file.
inline Manifest checksumListOf(const std::uint8_t* data, std::size_t size) {
    static constexpr const char* kNames[] = {
        "x.sha256", "x.sha1", "x.md5",   "x.b2",       "x.sha512", "x.sums",     "x.sfv",
        "x.crc",    "x.txt",  "MD5SUMS", "SHA256SUMS", "B2SUMS",   "x.sha256sum"};
    if (size == 0)
        return {};
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    Manifest manifest = Manifest::parse(text, kNames[data[0] % std::size(kNames)]);
    (void)manifest.checkComplete("x");
    (void)manifest.unreadableLine();
    for (const ManifestEntry& entry : manifest.entries)
        (void)Manifest::shownName(entry.name);
    return manifest;
}

} // namespace shardix::fuzzing
