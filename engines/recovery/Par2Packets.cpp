#include "engines/recovery/Par2Packets.h"

#include <cstring>

namespace shardix::par2 {

namespace {

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
    std::string out(kPacketMagic, sizeof kPacketMagic);
    appendU64(out, length);
    append(out, hash);
    append(out, setId);
    out.append(type, 16);
    return out;
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

PacketKind packetKindOf(const char* type) {
    for (PacketKind kind :
         {PacketKind::Main, PacketKind::FileDescription, PacketKind::BlockChecksums,
          PacketKind::Recovery, PacketKind::Creator}) {
        if (std::memcmp(type, packetTypeBytes(kind), 16) == 0)
            return kind;
    }
    return PacketKind::Other;
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

} // namespace shardix::par2
