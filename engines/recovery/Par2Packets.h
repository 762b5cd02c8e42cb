#pragma once

#include "engines/recovery/Checksum.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shardix::par2 {

// Every packet starts with this header: magic, length of the whole packet,
// MD5 of everything after the hash (from the set id to the end of the body),
// recovery set id, type.
inline constexpr std::size_t kHeaderSize = 64;
inline constexpr char kPacketMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};

enum class PacketKind { Main, FileDescription, BlockChecksums, Recovery, Creator, Other };

// The 16 bytes of the type field of `kind` (not Other).
const char* packetTypeBytes(PacketKind kind);
// The kind of the packet whose type field is at `type`.
PacketKind packetKindOf(const char* type);

// The checksums of one block (a slice) of a file: MD5 and CRC-32 of its bytes,
// the last block of a file padded with zeros to the block size.
struct BlockCheck {
    Md5Digest md5{};
    std::uint32_t crc = 0;
};

// What the index says of one file of the set.
struct FileDescription {
    Md5Digest id{};
    Md5Digest hash{};    // of the whole file
    Md5Digest hash16k{}; // of its first 16 KiB
    std::uint64_t length = 0;
    std::string name;
};

inline constexpr std::size_t k16k = 16384;

// ---- Writing

// A whole packet of `kind` with `body` (a multiple of 4 bytes long).
std::string makePacket(const Md5Digest& setId, PacketKind kind, const std::string& body);

// A file's id: the MD5 of its 16k hash, length and name.
Md5Digest fileId(const Md5Digest& hash16k, std::uint64_t length, const std::string& name);

// The main packet's body; `ids` are sorted as the set orders its files.
std::string mainBody(std::uint64_t blockSize, const std::vector<Md5Digest>& ids);
std::string fileDescriptionBody(const FileDescription& file);
std::string blockChecksumsBody(const Md5Digest& id, const std::vector<BlockCheck>& blocks);
std::string creatorBody(const std::string& text);

// The start of a recovery packet, up to its data: header and exponent. The
// packet's hash covers the set id, type, exponent and data: `packetHash` is
// the MD5 of recoveryHashPrefix() followed by the data.
std::string recoveryPacketStart(const Md5Digest& setId, std::uint32_t exponent,
                                std::uint64_t blockSize, const Md5Digest& packetHash);
// The bytes the hash of a recovery packet starts with, before its data.
std::string recoveryHashPrefix(const Md5Digest& setId, std::uint32_t exponent);

// Little-endian numbers of packets being read.
std::uint32_t readU32(const char* at);
std::uint64_t readU64(const char* at);

} // namespace shardix::par2
