#pragma once

#include "engines/recovery/Checksum.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shardix::par2 {

// Every packet starts with this header: magic, length of the whole packet,
// MD5 of everything after the hash (from the set id to the end of the body),
// recovery set id, type.
inline constexpr std::size_t kHeaderSize = 64;

enum class PacketKind { Main, FileDescription, BlockChecksums, Recovery, Creator, Other };

// The 16 bytes of the type field of `kind` (not Other).
const char* packetTypeBytes(PacketKind kind);

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

// ---- Reading

// Bytes to scan for packets: a file or, for tests and the fuzzer, memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Reads up to `length` bytes at `offset`: the count read (fewer only at the
    // end), or -1 with errno set.
    virtual std::int64_t read(std::int64_t offset, void* buffer, std::size_t length) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::int64_t read(std::int64_t offset, void* buffer, std::size_t length) override;

  private:
    std::string bytes_;
};

class FileSource final : public ByteSource {
  public:
    FileSource(int fd, std::int64_t size) : fd_(fd), size_(size) {}
    std::int64_t size() const override { return size_; }
    std::int64_t read(std::int64_t offset, void* buffer, std::size_t length) override;

  private:
    int fd_;
    std::int64_t size_;
};

// A packet whose hash is right.
struct Packet {
    PacketKind kind = PacketKind::Other;
    Md5Digest setId{};
    std::int64_t offset = 0;    // of its header in the file
    std::uint64_t length = 0;   // of the whole packet
    std::string body;           // all but recovery packets and others' bodies
    std::uint32_t exponent = 0; // recovery packets
};

struct ScanResult {
    // The packets of known types, each once: a copy of a packet already
    // kept, or a recovery packet of an exponent already kept, is left out.
    std::vector<Packet> packets;
    // What could not be read as a packet, one sentence each ("bytes 64 to 127
    // are not a packet (wrong hash)").
    std::vector<std::string> damage;
    // errno when reading failed; what was scanned before it stays.
    int readError = 0;
};

// The largest body kept of a packet other than a recovery packet: the
// largest such packets that a set of 32768 blocks needs are well below it.
inline constexpr std::uint64_t kMaxKeptBody = 1 << 20;
// The most bytes of bodies kept from one source; packets beyond are left out.
inline constexpr std::uint64_t kMaxKeptBodies = 64 << 20;
// Recovery exponents are below this.
inline constexpr std::uint32_t kExponentLimit = 65535;

// Scans `source` for packets, checking each one's hash. A damaged stretch is
// skipped by looking for the next magic sequence. `progress` is told of
// every stretch read.
ScanResult scanPackets(ByteSource& source, const std::function<void(std::int64_t)>& progress = {});

std::uint32_t readU32(const char* at);
std::uint64_t readU64(const char* at);

} // namespace shardix::par2
