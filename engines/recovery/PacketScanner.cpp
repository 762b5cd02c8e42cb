#include "engines/recovery/PacketScanner.h"

#include "engines/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace shardix::par2 {

namespace {

constexpr std::size_t kChunk = 256 << 10;

// The offset of the next magic sequence at or after `from`, or the size of
// the source when there is none.
Result<std::int64_t> findMagic(ByteSource& source, std::int64_t from, std::vector<char>& buffer) {
    const std::int64_t size = source.size();
    constexpr auto kMagicSize = static_cast<std::int64_t>(sizeof kPacketMagic);
    buffer.resize(kChunk);
    while (from + kMagicSize <= size) {
        const Result<std::size_t> read = source.read(from, buffer.data(), buffer.size());
        if (!read.ok())
            return read.error();
        const auto got = static_cast<std::int64_t>(*read);
        if (got < kMagicSize)
            break;
        const char* at = static_cast<const char*>(
            ::memmem(buffer.data(), *read, kPacketMagic, sizeof kPacketMagic));
        if (at)
            return from + (at - buffer.data());
        from += got - kMagicSize + 1;
    }
    return size;
}

// Packets whose bodies are kept: all but recovery packets and unknown ones.
bool keepsBody(PacketKind kind) {
    return kind != PacketKind::Recovery && kind != PacketKind::Other;
}

// Reads a source from its start to its end, a packet at a time.
class PacketScanner {
  public:
    PacketScanner(ByteSource& source, PacketStore& store, const Md5Digest* wanted,
                  const std::function<void(std::int64_t)>& progress)
        : source_(source), store_(store), wanted_(wanted), progress_(progress),
          size_(source.size()) {}

    ScanResult run() {
        while (position_ < size_ && step()) {
        }
        advanceTo(size_);
        return std::move(result_);
    }

  private:
    bool step();
    const char* lengthProblem(std::uint64_t length) const;
    static const char* bodyProblem(const Packet& packet);
    bool readAll(std::int64_t offset, void* buffer, std::size_t length);
    bool hashRange(std::int64_t offset, std::uint64_t length, Md5& md5);
    bool readBody(const char* head, Packet& packet, std::string& body);
    bool readExponent(Packet& packet);
    bool skipDamage(const std::string& why);
    bool skipForeign(std::uint64_t length);
    void keep(Packet packet, std::string body);
    bool isNew(const Packet& packet);
    void noteOverflow(const Packet& packet);
    void advanceTo(std::int64_t to);

    ByteSource& source_;
    PacketStore& store_;
    const Md5Digest* wanted_;
    const std::function<void(std::int64_t)>& progress_;
    const std::int64_t size_;
    ScanResult result_;
    std::optional<Error> readFailure_; // of the last readAll() that failed
    std::vector<char> buffer_;
    std::set<Md5Digest> seen_;              // hashes of the packets listed
    std::set<std::uint32_t> seenExponents_; // of the recovery packets listed
    bool overflowNoted_ = false;
    std::int64_t position_ = 0;
    std::int64_t reported_ = 0; // bytes given to progress so far
};

// Reads the packet at the position: keeps it and moves past it, or notes the
// damage and moves to the next magic sequence. False when the scan ends.
bool PacketScanner::step() {
    char head[kHeaderSize];
    const Result<std::size_t> got = source_.read(position_, head, sizeof head);
    if (!got.ok()) {
        result_.readError = got.error();
        return false;
    }
    if (*got < sizeof head) {
        result_.damage.push_back("bytes " + std::to_string(position_) + " to " +
                                 std::to_string(size_ - 1) + " are not a packet (cut short)");
        return false;
    }
    if (std::memcmp(head, kPacketMagic, sizeof kPacketMagic) != 0)
        return skipDamage("no packet header");
    const std::uint64_t length = readU64(head + 8);
    if (const char* why = lengthProblem(length))
        return skipDamage(why);
    Packet packet;
    packet.kind = packetKindOf(head + 48);
    packet.offset = position_;
    packet.length = length;
    std::memcpy(packet.setId.data(), head + 32, 16);
    // Once the file has shown packets of the set, another id is more likely
    // damage: such a packet is read and its hash checked, as any other.
    const bool foreign = wanted_ && packet.setId != *wanted_;
    if (foreign && result_.packets.empty())
        return skipForeign(length);
    if (const char* why = bodyProblem(packet))
        return skipDamage(why);
    std::string body;
    if (!readBody(head, packet, body)) {
        // A read that failed, or a file that became shorter.
        result_.readError =
            readFailure_ ? *readFailure_ : Error::fromErrno(EIO, "read", std::string());
        return false;
    }
    if (std::memcmp(packet.hash.data(), head + 16, 16) != 0)
        return skipDamage("wrong hash");
    position_ += static_cast<std::int64_t>(length);
    advanceTo(position_);
    if (foreign)
        ++result_.foreign;
    else
        keep(std::move(packet), std::move(body));
    return true;
}

// Why a packet cannot be `length` bytes long here; null when it can.
const char* PacketScanner::lengthProblem(std::uint64_t length) const {
    const auto left = static_cast<std::uint64_t>(size_ - position_);
    const bool possible = length >= kHeaderSize && length % 4 == 0;
    if (possible && length <= left)
        return nullptr;
    return possible ? "cut short" : "impossible length";
}

// Why the packet's body cannot be as long as it is for its type; null when it can.
const char* PacketScanner::bodyProblem(const Packet& packet) {
    const std::uint64_t bodyLength = packet.length - kHeaderSize;
    if (keepsBody(packet.kind) && bodyLength > kMaxKeptBody)
        return "too long for its type";
    if (packet.kind == PacketKind::Recovery && bodyLength < 4)
        return "too short for its type";
    return nullptr;
}

// Reads the packet's body into `body` (for a recovery packet only its
// exponent, into `packet`) and its hash into `packet`; false when reading fails.
bool PacketScanner::readBody(const char* head, Packet& packet, std::string& body) {
    const std::int64_t at = packet.offset + static_cast<std::int64_t>(kHeaderSize);
    const std::uint64_t bodyLength = packet.length - kHeaderSize;
    Md5 md5;
    md5.update(head + 32, 32);
    bool complete = false;
    if (keepsBody(packet.kind)) {
        body.resize(static_cast<std::size_t>(bodyLength));
        complete = readAll(at, body.data(), body.size());
        md5.update(body.data(), body.size());
    } else {
        complete = (packet.kind != PacketKind::Recovery || readExponent(packet)) &&
                   hashRange(at, bodyLength, md5);
    }
    if (!complete)
        return false;
    packet.hash = md5.finish();
    return true;
}

// Reads all of `length` bytes at `offset`; false when reading fails (its
// failure kept in readFailure_) or the source ends sooner.
bool PacketScanner::readAll(std::int64_t offset, void* buffer, std::size_t length) {
    const Result<std::size_t> got = source_.read(offset, buffer, length);
    readFailure_.reset();
    if (!got.ok())
        readFailure_ = got.error();
    return got.ok() && *got == length;
}

// Adds `length` bytes of the source from `offset` to `md5`; false when
// reading fails or the source ends sooner.
bool PacketScanner::hashRange(std::int64_t offset, std::uint64_t length, Md5& md5) {
    buffer_.resize(kChunk);
    while (length > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
        if (!readAll(offset, buffer_.data(), part))
            return false;
        md5.update(buffer_.data(), part);
        offset += static_cast<std::int64_t>(part);
        length -= part;
    }
    return true;
}

bool PacketScanner::readExponent(Packet& packet) {
    char exponent[4];
    if (!readAll(packet.offset + static_cast<std::int64_t>(kHeaderSize), exponent, sizeof exponent))
        return false;
    packet.exponent = readU32(exponent);
    return true;
}

// Notes the stretch from the position to the next magic sequence as damage,
// with `why`, and moves there; false when reading fails.
bool PacketScanner::skipDamage(const std::string& why) {
    const Result<std::int64_t> found = findMagic(source_, position_ + 1, buffer_);
    if (!found.ok()) {
        result_.readError = found.error();
        return false;
    }
    const std::int64_t next = *found;
    result_.damage.push_back("bytes " + std::to_string(position_) + " to " +
                             std::to_string(next - 1) + " are not a packet (" + why + ")");
    position_ = next;
    advanceTo(position_);
    return true;
}

// A packet of another set in a file that has shown none of the set looked
// for: counted, and passed over unread, its body unread too (a volume of
// another set costs a header a packet). Its `length` is trusted only where a
// packet header or the file's end follows it; elsewhere the scan moves on
// to the next magic sequence.
bool PacketScanner::skipForeign(std::uint64_t length) {
    Result<std::int64_t> next = position_ + static_cast<std::int64_t>(length);
    char magic[sizeof kPacketMagic];
    if (*next < size_ && (!readAll(*next, magic, sizeof magic) ||
                          std::memcmp(magic, kPacketMagic, sizeof magic) != 0))
        next =
            findMagic(source_, position_ + static_cast<std::int64_t>(sizeof kPacketMagic), buffer_);
    if (!next.ok()) {
        result_.readError = next.error();
        return false;
    }
    ++result_.foreign;
    position_ = *next;
    advanceTo(position_);
    return true;
}

// Lists a packet of a known type that is not listed already, and keeps its
// body in the store, within the store's budget: each entry counts with its
// bookkeeping, so that many empty ones cannot pile up either.
void PacketScanner::keep(Packet packet, std::string body) {
    if (packet.kind == PacketKind::Other || !isNew(packet))
        return;
    constexpr std::uint64_t kEntryCost = sizeof(Packet) + 2 * sizeof(Md5Digest) + 64;
    if (!store_.charge(kEntryCost))
        return noteOverflow(packet);
    if (keepsBody(packet.kind) && !store_.keep(packet.hash, std::move(body)))
        return noteOverflow(packet);
    if (packet.kind != PacketKind::Recovery)
        seen_.insert(packet.hash);
    result_.packets.push_back(packet);
}

void PacketScanner::noteOverflow(const Packet& packet) {
    if (!overflowNoted_)
        result_.damage.push_back("packets from byte " + std::to_string(packet.offset) +
                                 " on are left out: too many of them");
    overflowNoted_ = true;
    result_.overflowed = true;
}

// False for a copy of a packet listed already, a recovery packet of an
// exponent seen already or of an impossible one (noted).
bool PacketScanner::isNew(const Packet& packet) {
    if (packet.kind != PacketKind::Recovery)
        return seen_.count(packet.hash) == 0;
    if (packet.exponent >= kExponentLimit) {
        result_.damage.push_back("the recovery packet at byte " + std::to_string(packet.offset) +
                                 " has an impossible exponent");
        return false;
    }
    return seenExponents_.insert(packet.exponent).second;
}

void PacketScanner::advanceTo(std::int64_t to) {
    if (progress_ && to > reported_)
        progress_(to - reported_);
    reported_ = std::max(reported_, to);
}

} // namespace

Result<std::size_t> MemorySource::read(std::int64_t offset, void* buffer, std::size_t length) {
    if (offset < 0 || offset >= size())
        return std::size_t{0};
    const std::size_t part =
        std::min<std::size_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, part);
    return part;
}

Result<std::size_t> FileSource::read(std::int64_t offset, void* buffer, std::size_t length) {
    return readAt(file_, offset, buffer, length);
}

bool PacketStore::charge(std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (bytes > left_)
        return false;
    left_ -= bytes;
    return true;
}

bool PacketStore::keep(const Md5Digest& hash, std::string&& body) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (bodies_.count(hash) != 0)
        return true;
    const std::uint64_t cost = body.size() + 64;
    if (cost > left_)
        return false;
    left_ -= cost;
    bodies_.emplace(hash, std::move(body));
    return true;
}

const std::string* PacketStore::body(const Md5Digest& hash) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto at = bodies_.find(hash);
    return at == bodies_.end() ? nullptr : &at->second;
}

ScanResult scanPackets(ByteSource& source, PacketStore& store, const Md5Digest* wanted,
                       const std::function<void(std::int64_t)>& progress) {
    return PacketScanner(source, store, wanted, progress).run();
}

} // namespace shardix::par2
