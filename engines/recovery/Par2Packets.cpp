#include "engines/recovery/Par2Packets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <unistd.h>

namespace shardix::par2 {

namespace {

constexpr char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
constexpr std::size_t kChunk = 256 << 10;

constexpr char kMainType[16] = {'P', 'A', 'R', ' ', '2',  '.',  '0',  '\0',
                                'M', 'a', 'i', 'n', '\0', '\0', '\0', '\0'};
constexpr char kFileDescType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0',
                                    'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr char kIfscType[16] = {'P', 'A', 'R', ' ', '2',  '.',  '0',  '\0',
                                'I', 'F', 'S', 'C', '\0', '\0', '\0', '\0'};
constexpr char kRecoveryType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0',
                                    'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr char kCreatorType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0',
                                   'C', 'r', 'e', 'a', 't', 'o', 'r', '\0'};

PacketKind kindOf(const char* type) {
    for (PacketKind kind :
         {PacketKind::Main, PacketKind::FileDescription, PacketKind::BlockChecksums,
          PacketKind::Recovery, PacketKind::Creator}) {
        if (std::memcmp(type, packetTypeBytes(kind), 16) == 0)
            return kind;
    }
    return PacketKind::Other;
}

void appendU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void appendU64(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void append(std::string& out, const Md5Digest& digest) {
    out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

void padTo4(std::string& out) {
    while (out.size() % 4 != 0)
        out += '\0';
}

std::string header(const Md5Digest& setId, const char* type, std::uint64_t length,
                   const Md5Digest& hash) {
    std::string out(kMagic, sizeof kMagic);
    appendU64(out, length);
    append(out, hash);
    append(out, setId);
    out.append(type, 16);
    return out;
}

// The offset of the next magic sequence at or after `from`, or the size of
// the source when there is none; -1 when reading fails.
std::int64_t findMagic(ByteSource& source, std::int64_t from, std::vector<char>& buffer) {
    const std::int64_t size = source.size();
    buffer.resize(kChunk);
    while (from + static_cast<std::int64_t>(sizeof kMagic) <= size) {
        const std::int64_t got = source.read(from, buffer.data(), buffer.size());
        if (got < 0)
            return -1;
        if (got < static_cast<std::int64_t>(sizeof kMagic))
            break;
        const char* at = static_cast<const char*>(
            ::memmem(buffer.data(), static_cast<std::size_t>(got), kMagic, sizeof kMagic));
        if (at)
            return from + (at - buffer.data());
        from += got - static_cast<std::int64_t>(sizeof kMagic) + 1;
    }
    return size;
}

// Adds `length` bytes of `source` from `offset` to `md5`; false when reading
// fails or the source ends sooner.
bool hashRange(ByteSource& source, std::int64_t offset, std::uint64_t length, Md5& md5,
               std::vector<char>& buffer, const std::function<void(std::int64_t)>& progress) {
    buffer.resize(kChunk);
    while (length > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
        const std::int64_t got = source.read(offset, buffer.data(), part);
        if (got != static_cast<std::int64_t>(part))
            return false;
        md5.update(buffer.data(), part);
        offset += static_cast<std::int64_t>(part);
        length -= part;
        if (progress)
            progress(static_cast<std::int64_t>(part));
    }
    return true;
}

} // namespace

const char* packetTypeBytes(PacketKind kind) {
    switch (kind) {
    case PacketKind::Main:
        return kMainType;
    case PacketKind::FileDescription:
        return kFileDescType;
    case PacketKind::BlockChecksums:
        return kIfscType;
    case PacketKind::Recovery:
        return kRecoveryType;
    case PacketKind::Creator:
        return kCreatorType;
    case PacketKind::Other:
        break;
    }
    return nullptr;
}

std::uint32_t readU32(const char* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(at[i]);
    return value;
}

std::uint64_t readU64(const char* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(at[i]);
    return value;
}

std::string makePacket(const Md5Digest& setId, PacketKind kind, const std::string& body) {
    const char* type = packetTypeBytes(kind);
    Md5 md5;
    md5.update(setId.data(), setId.size());
    md5.update(type, 16);
    md5.update(body.data(), body.size());
    return header(setId, type, kHeaderSize + body.size(), md5.finish()) + body;
}

Md5Digest fileId(const Md5Digest& hash16k, std::uint64_t length, const std::string& name) {
    std::string bytes;
    append(bytes, hash16k);
    appendU64(bytes, length);
    bytes += name;
    return md5Of(bytes.data(), bytes.size());
}

std::string mainBody(std::uint64_t blockSize, const std::vector<Md5Digest>& ids) {
    std::string body;
    appendU64(body, blockSize);
    appendU32(body, static_cast<std::uint32_t>(ids.size()));
    for (const Md5Digest& id : ids)
        append(body, id);
    return body;
}

std::string fileDescriptionBody(const FileDescription& file) {
    std::string body;
    append(body, file.id);
    append(body, file.hash);
    append(body, file.hash16k);
    appendU64(body, file.length);
    body += file.name;
    padTo4(body);
    return body;
}

std::string blockChecksumsBody(const Md5Digest& id, const std::vector<BlockCheck>& blocks) {
    std::string body;
    body.reserve(16 + 20 * blocks.size());
    append(body, id);
    for (const BlockCheck& block : blocks) {
        append(body, block.md5);
        appendU32(body, block.crc);
    }
    return body;
}

std::string creatorBody(const std::string& text) {
    std::string body = text;
    padTo4(body);
    return body;
}

std::string recoveryHashPrefix(const Md5Digest& setId, std::uint32_t exponent) {
    std::string bytes;
    append(bytes, setId);
    bytes.append(kRecoveryType, 16);
    appendU32(bytes, exponent);
    return bytes;
}

std::string recoveryPacketStart(const Md5Digest& setId, std::uint32_t exponent,
                                std::uint64_t blockSize, const Md5Digest& packetHash) {
    std::string out = header(setId, kRecoveryType, kHeaderSize + 4 + blockSize, packetHash);
    appendU32(out, exponent);
    return out;
}

std::int64_t MemorySource::read(std::int64_t offset, void* buffer, std::size_t length) {
    if (offset < 0 || offset >= size())
        return 0;
    const std::size_t part =
        std::min<std::size_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, part);
    return static_cast<std::int64_t>(part);
}

std::int64_t FileSource::read(std::int64_t offset, void* buffer, std::size_t length) {
    auto* at = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd_, at + done, length - done, offset + done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

ScanResult scanPackets(ByteSource& source, const std::function<void(std::int64_t)>& progress) {
    ScanResult result;
    const std::int64_t size = source.size();
    std::vector<char> buffer;
    std::set<Md5Digest> seen;              // hashes of the packets kept
    std::set<std::uint32_t> seenExponents; // of the recovery packets kept
    std::uint64_t keptBytes = 0;
    bool overflowNoted = false;
    std::int64_t position = 0;
    std::int64_t reported = 0; // bytes given to progress so far
    auto advanceTo = [&](std::int64_t to) {
        if (progress && to > reported)
            progress(to - reported);
        reported = std::max(reported, to);
    };
    // Skips from a damaged packet at `at` to the next magic sequence.
    auto skipDamage = [&](std::int64_t at, const std::string& why) {
        const std::int64_t next = findMagic(source, at + 1, buffer);
        if (next < 0) {
            result.readError = errno;
            return false;
        }
        result.damage.push_back("bytes " + std::to_string(at) + " to " + std::to_string(next - 1) +
                                " are not a packet (" + why + ")");
        position = next;
        advanceTo(position);
        return true;
    };
    while (position < size) {
        char head[kHeaderSize];
        const std::int64_t got = source.read(position, head, sizeof head);
        if (got < 0) {
            result.readError = errno;
            break;
        }
        if (got < static_cast<std::int64_t>(sizeof head)) {
            result.damage.push_back("bytes " + std::to_string(position) + " to " +
                                    std::to_string(size - 1) + " are not a packet (cut short)");
            break;
        }
        if (std::memcmp(head, kMagic, sizeof kMagic) != 0) {
            if (!skipDamage(position, "no packet header"))
                break;
            continue;
        }
        const std::uint64_t length = readU64(head + 8);
        const auto left = static_cast<std::uint64_t>(size - position);
        if (length < kHeaderSize || length % 4 != 0 || length > left) {
            if (!skipDamage(position, length > left && length % 4 == 0 && length >= kHeaderSize
                                          ? "cut short"
                                          : "impossible length"))
                break;
            continue;
        }
        Packet packet;
        packet.kind = kindOf(head + 48);
        packet.offset = position;
        packet.length = length;
        std::memcpy(packet.setId.data(), head + 32, 16);
        const std::uint64_t bodyLength = length - kHeaderSize;
        Md5 md5;
        md5.update(head + 32, 32);
        bool complete = true;
        const bool kept = packet.kind != PacketKind::Recovery && packet.kind != PacketKind::Other;
        if (kept && bodyLength > kMaxKeptBody) {
            if (!skipDamage(position, "too long for its type"))
                break;
            continue;
        }
        if (packet.kind == PacketKind::Recovery && bodyLength < 4) {
            if (!skipDamage(position, "too short for its type"))
                break;
            continue;
        }
        if (kept) {
            packet.body.resize(static_cast<std::size_t>(bodyLength));
            complete =
                source.read(position + static_cast<std::int64_t>(kHeaderSize), packet.body.data(),
                            packet.body.size()) == static_cast<std::int64_t>(bodyLength);
            md5.update(packet.body.data(), packet.body.size());
        } else {
            if (packet.kind == PacketKind::Recovery) {
                char exponent[4];
                complete = source.read(position + static_cast<std::int64_t>(kHeaderSize), exponent,
                                       sizeof exponent) == 4;
                packet.exponent = readU32(exponent);
            }
            complete =
                complete && hashRange(source, position + static_cast<std::int64_t>(kHeaderSize),
                                      bodyLength, md5, buffer, {});
        }
        if (!complete) {
            result.readError = errno ? errno : EIO;
            break;
        }
        const Md5Digest hash = md5.finish();
        if (std::memcmp(hash.data(), head + 16, 16) != 0) {
            if (!skipDamage(position, "wrong hash"))
                break;
            continue;
        }
        position += static_cast<std::int64_t>(length);
        advanceTo(position);
        // Each kept packet counts against the limit with its header and
        // bookkeeping, so that many empty ones cannot pile up either.
        const std::uint64_t cost = 2 * kHeaderSize + packet.body.size();
        if (packet.kind == PacketKind::Other)
            continue;
        if (packet.kind == PacketKind::Recovery) {
            if (packet.exponent >= kExponentLimit) {
                result.damage.push_back("the recovery packet at byte " +
                                        std::to_string(packet.offset) +
                                        " has an impossible exponent");
                continue;
            }
            if (!seenExponents.insert(packet.exponent).second)
                continue;
        } else if (seen.count(hash)) {
            continue;
        }
        if (keptBytes + cost > kMaxKeptBodies) {
            if (!overflowNoted)
                result.damage.push_back("packets from byte " + std::to_string(packet.offset) +
                                        " on are left out: too many of them");
            overflowNoted = true;
            continue;
        }
        if (packet.kind != PacketKind::Recovery)
            seen.insert(hash);
        keptBytes += cost;
        result.packets.push_back(std::move(packet));
    }
    advanceTo(size);
    return result;
}

} // namespace shardix::par2
