#include "engines/recovery/RecoverySet.h"

#include "engines/recovery/Gf16.h"
#include "engines/recovery/RecoveryIo.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace shardix::par2 {

namespace {

constexpr std::size_t kNotesPerSource = 8;

Md5Digest digestAt(const std::string& bytes, std::size_t at) {
    Md5Digest digest{};
    std::memcpy(digest.data(), bytes.data() + at, digest.size());
    return digest;
}

std::string withoutPadding(std::string text) {
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

} // namespace

std::variant<RecoverySet, RecoveryProblem> assembleSet(const std::vector<ScannedSource>& sources) {
    const ScannedSource& index = sources.at(0);
    auto refuse = [&index](const std::string& why) {
        return RecoveryProblem{"\"" + index.shown + "\" cannot be used: " + why + ".", index.shown,
                               0};
    };
    if (index.scan.readError)
        return systemProblem(index.scan.readError, "read", index.shown);

    // The set is the one of the index's packets.
    std::set<Md5Digest> indexSets;
    for (const Packet& packet : index.scan.packets)
        indexSets.insert(packet.setId);
    if (indexSets.empty()) {
        std::string why = "it holds no intact PAR 2.0 packet";
        if (!index.scan.damage.empty())
            why += " (" + index.scan.damage.front() + ")";
        return refuse(why);
    }
    if (indexSets.size() > 1)
        return refuse("it holds packets of " + std::to_string(indexSets.size()) +
                      " different recovery sets");

    RecoverySet set;
    set.setId = *indexSets.begin();
    std::string mainPacket;
    std::map<Md5Digest, std::string> descriptions, checksums;
    std::map<std::uint32_t, RecoveryBlockAt> recovery;
    std::vector<std::pair<std::size_t, const Packet*>> recoveryPackets;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        const ScannedSource& source = sources[s];
        for (std::size_t i = 0; i < source.scan.damage.size() && i < kNotesPerSource; ++i)
            set.notes.push_back("\"" + source.shown + "\": " + source.scan.damage[i] + ".");
        if (source.scan.damage.size() > kNotesPerSource)
            set.notes.push_back("\"" + source.shown + "\": " +
                                std::to_string(source.scan.damage.size() - kNotesPerSource) +
                                " more damaged stretches.");
        if (source.scan.readError)
            set.notes.push_back(
                systemProblem(source.scan.readError, "read all of", source.shown).message);
        std::size_t foreign = 0;
        for (const Packet& packet : source.scan.packets) {
            if (packet.setId != set.setId) {
                ++foreign;
                continue;
            }
            switch (packet.kind) {
            case PacketKind::Main:
                if (mainPacket.empty())
                    mainPacket = packet.body;
                else if (mainPacket != packet.body)
                    return refuse("\"" + source.shown +
                                  "\" holds a different main packet of the "
                                  "same set");
                break;
            case PacketKind::FileDescription:
            case PacketKind::BlockChecksums: {
                if (packet.body.size() < 16)
                    return refuse("\"" + source.shown + "\" holds a packet too short for its type");
                auto& byId = packet.kind == PacketKind::FileDescription ? descriptions : checksums;
                auto [at, added] = byId.emplace(digestAt(packet.body, 0), packet.body);
                if (!added && at->second != packet.body)
                    return refuse("\"" + source.shown +
                                  "\" holds two different packets about one file");
                break;
            }
            case PacketKind::Recovery:
                recoveryPackets.emplace_back(s, &packet);
                break;
            case PacketKind::Creator:
                if (set.creator.empty()) {
                    for (char c : withoutPadding(packet.body).substr(0, 200))
                        set.creator += (c >= 0x20 && c < 0x7F) ? c : '?';
                }
                break;
            case PacketKind::Other:
                break;
            }
        }
        if (foreign > 0)
            set.notes.push_back("\"" + source.shown + "\": " + std::to_string(foreign) +
                                " packets of another recovery set, left out.");
    }

    // The main packet: block size and the files' ids.
    if (mainPacket.empty())
        return refuse("neither it nor its volumes hold an intact main packet");
    if (mainPacket.size() < 12 || (mainPacket.size() - 12) % 16 != 0)
        return refuse("its main packet has an impossible length");
    set.blockSize = readU64(mainPacket.data());
    const std::uint32_t fileCount = readU32(mainPacket.data() + 8);
    const std::size_t idCount = (mainPacket.size() - 12) / 16;
    if (set.blockSize == 0 || set.blockSize % 4 != 0)
        return refuse("its block size " + std::to_string(set.blockSize) +
                      " is not a positive multiple of 4");
    if (set.blockSize > kMaxSetBlockSize)
        return refuse("its blocks of " + std::to_string(set.blockSize) +
                      " bytes are larger than the " + std::to_string(kMaxSetBlockSize) +
                      " bytes this tool handles");
    if (fileCount == 0 || fileCount > idCount)
        return refuse("its main packet lists " + std::to_string(fileCount) + " files in room for " +
                      std::to_string(idCount));
    if (fileCount > Gf16::kMaxInputBlocks)
        return refuse("it lists " + std::to_string(fileCount) + " files, more than " +
                      std::to_string(Gf16::kMaxInputBlocks));
    if (idCount > fileCount)
        set.notes.push_back("The set also lists " + std::to_string(idCount - fileCount) +
                            " files that it does not protect; they are not checked.");

    // The files, in the main packet's order, which numbers their blocks.
    std::set<Md5Digest> ids;
    std::set<std::string> names;
    std::uint64_t blocks = 0;
    for (std::uint32_t f = 0; f < fileCount; ++f) {
        const Md5Digest id = digestAt(mainPacket, 12 + 16 * static_cast<std::size_t>(f));
        if (!ids.insert(id).second)
            return refuse("its main packet lists file number " + std::to_string(f + 1) + " twice");
        const auto description = descriptions.find(id);
        if (description == descriptions.end())
            return refuse("neither it nor its volumes describe file number " +
                          std::to_string(f + 1) + " of the set");
        const std::string& body = description->second;
        if (body.size() < 56)
            return refuse("the description of file number " + std::to_string(f + 1) +
                          " is too short");
        SetFile file;
        file.description.id = id;
        file.description.hash = digestAt(body, 16);
        file.description.hash16k = digestAt(body, 32);
        file.description.length = readU64(body.data() + 48);
        file.description.name = withoutPadding(body.substr(56));
        const std::string& name = file.description.name;
        if (!isPlainName(name))
            return refuse("it names a file \"" + name +
                          "\", which is not a plain name of a file in its folder");
        if (!names.insert(name).second)
            return refuse("it lists \"" + name + "\" twice");
        for (const ScannedSource& source : sources) {
            if (source.name == name)
                return refuse("it lists its own recovery file \"" + name +
                              "\" as a file to protect");
        }
        if (file.description.length > set.blockSize * Gf16::kMaxInputBlocks)
            return refuse("it lists \"" + name + "\" with an impossible length of " +
                          std::to_string(file.description.length) + " bytes");
        const std::uint64_t fileBlocks =
            (file.description.length + set.blockSize - 1) / set.blockSize;
        blocks += fileBlocks;
        if (blocks > Gf16::kMaxInputBlocks)
            return refuse("its files have more than " + std::to_string(Gf16::kMaxInputBlocks) +
                          " blocks");
        file.firstConstant = static_cast<std::uint32_t>(blocks - fileBlocks);
        file.checks.resize(static_cast<std::size_t>(fileBlocks));
        set.files.push_back(std::move(file));
    }

    // The blocks' checksums, once the files' blocks are known to be few enough.
    for (SetFile& file : set.files) {
        const std::string& name = file.description.name;
        const auto check = checksums.find(file.description.id);
        if (check == checksums.end())
            return refuse("neither it nor its volumes hold the block checksums of \"" + name +
                          "\"");
        if (check->second.size() != 16 + 20 * file.checks.size())
            return refuse("the block checksums of \"" + name + "\" do not fit its length");
        for (std::size_t b = 0; b < file.checks.size(); ++b) {
            file.checks[b].md5 = digestAt(check->second, 16 + 20 * b);
            file.checks[b].crc = readU32(check->second.data() + 16 + 20 * b + 16);
        }
    }
    set.dataBlocks = static_cast<std::uint32_t>(blocks);

    // Recovery blocks of the right size, one per exponent.
    std::size_t wrongSize = 0;
    for (const auto& [s, packet] : recoveryPackets) {
        if (packet->length != kHeaderSize + 4 + set.blockSize) {
            ++wrongSize;
            continue;
        }
        recovery.emplace(
            packet->exponent,
            RecoveryBlockAt{packet->exponent, s,
                            packet->offset + static_cast<std::int64_t>(kHeaderSize) + 4});
    }
    if (wrongSize > 0)
        set.notes.push_back(std::to_string(wrongSize) +
                            " recovery packets of the wrong size, left out.");
    for (const auto& [exponent, at] : recovery)
        set.recovery.push_back(at);
    return set;
}

std::variant<RecoverySet, RecoveryProblem>
assembleSetFromBytes(std::string index, const std::vector<std::string>& volumes,
                     const std::string& indexName) {
    std::vector<ScannedSource> sources;
    MemorySource indexSource(std::move(index));
    sources.push_back(ScannedSource{indexName, indexName, scanPackets(indexSource)});
    std::string base = indexName.substr(0, indexName.rfind('.'));
    for (std::size_t v = 0; v < volumes.size(); ++v) {
        MemorySource volumeSource(volumes[v]);
        const std::string name = base + ".vol" + std::to_string(v) + ".par2";
        sources.push_back(ScannedSource{name, name, scanPackets(volumeSource)});
    }
    return assembleSet(sources);
}

} // namespace shardix::par2
