#pragma once

#include "engines/recovery/Par2Packets.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shardix::par2 {

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

} // namespace shardix::par2
