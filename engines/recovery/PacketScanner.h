#pragma once

#include "engines/io/FileIo.h"
#include "engines/recovery/Par2Packets.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace shardix::par2 {

// Bytes to scan for packets: a file or, for tests and the fuzzer, memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Reads up to `length` bytes at `offset`: the count read (fewer only at the
    // end).
    virtual Result<std::size_t> read(std::int64_t offset, void* buffer, std::size_t length) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    Result<std::size_t> read(std::int64_t offset, void* buffer, std::size_t length) override;

  private:
    std::string bytes_;
};

class FileSource final : public ByteSource {
  public:
    FileSource(const FileHandle& file, std::int64_t size) : file_(file), size_(size) {}
    std::int64_t size() const override { return size_; }
    Result<std::size_t> read(std::int64_t offset, void* buffer, std::size_t length) override;

  private:
    const FileHandle& file_;
    std::int64_t size_;
};

// A packet whose hash is right. Its body, unless it is a recovery packet, is
// kept once in the PacketStore of the scan, under its hash.
struct Packet {
    PacketKind kind = PacketKind::Other;
    Md5Digest setId{};
    Md5Digest hash{};
    std::int64_t offset = 0;    // of its header in the file
    std::uint64_t length = 0;   // of the whole packet
    std::uint32_t exponent = 0; // recovery packets
};

// The most memory that the packets found in all the files of one set's scan
// may take together, whatever their number and size: bodies and the entries
// that list them.
inline constexpr std::uint64_t kScanMemory = 160 << 20;

// The bodies of the packets found by the scans of one set's files, each body
// kept once however many files repeat it, and the memory they and the
// packets' entries take, within one budget. Shared by the scans that run at
// once on several threads.
class PacketStore {
  public:
    explicit PacketStore(std::uint64_t budget = kScanMemory) : left_(budget) {}

    // Takes `bytes` of the budget; false, taking nothing, when too few are left.
    bool charge(std::uint64_t bytes);
    // Keeps `body` under `hash` unless it is kept already (then true at no
    // cost); false when the budget is used up.
    bool keep(const Md5Digest& hash, std::string&& body);
    // The body kept under `hash`; null when none is.
    const std::string* body(const Md5Digest& hash) const;

  private:
    mutable std::mutex mutex_;
    std::map<Md5Digest, std::string> bodies_;
    std::uint64_t left_;
};

struct ScanResult {
    // The packets of known types, each once: a copy of a packet already
    // listed, or a recovery packet of an exponent already listed, is left out.
    std::vector<Packet> packets;
    // Packets of other sets passed over (only when the scan looks for one set).
    std::size_t foreign = 0;
    // What could not be read as a packet, one sentence each ("bytes 64 to 127
    // are not a packet (wrong hash)").
    std::vector<std::string> damage;
    // The failure of a read, when reading failed; what was scanned before it
    // stays. Its message is for the caller to tell again of its file
    // (retold(), engines/io/Folder.h): the source may not know its name.
    std::optional<Error> readError;
    // Packets were left out: the memory for them was used up.
    bool overflowed = false;
};

// The largest body kept of a packet other than a recovery packet: the
// largest such packets that a set of 32768 blocks needs are well below it.
inline constexpr std::uint64_t kMaxKeptBody = 1 << 20;
// Recovery exponents are below this.
inline constexpr std::uint32_t kExponentLimit = 65535;

// Scans `source` for packets, checking each one's hash; the bodies go to
// `store`. A damaged stretch is skipped by looking for the next magic
// sequence. With `wanted`, packets of other sets are counted and passed over
// unread (by their length when a header or the end follows, else to the next
// magic sequence). `progress` is told of every stretch read.
ScanResult scanPackets(ByteSource& source, PacketStore& store, const Md5Digest* wanted = nullptr,
                       const std::function<void(std::int64_t)>& progress = {});

} // namespace shardix::par2
