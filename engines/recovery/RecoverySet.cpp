#include "engines/recovery/RecoverySet.h"

#include "engines/recovery/Gf16.h"
#include "engines/recovery/RecoveryIo.h"
#include "errors/Quoted.h"

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

// Puts a set together from the packets of its sources, in stages: the set of
// the index, the packets of every source, the main packet, the files it
// lists, their blocks' checksums, the recovery blocks. Each stage throws the
// refusal of what it checks.
class SetAssembler {
  public:
    explicit SetAssembler(const std::vector<ScannedSource>& sources)
        : sources_(sources), index_(sources.at(0)) {}

    RecoverySet assemble() {
        if (index_.scan.readError)
            fail(systemError(index_.scan.readError, "read", index_.shown));
        chooseSet();
        for (std::size_t s = 0; s < sources_.size(); ++s)
            gather(s);
        const std::uint32_t fileCount = readMain();
        for (std::uint32_t f = 0; f < fileCount; ++f)
            set_.files.push_back(describeFile(f));
        // The blocks' checksums, once the files' blocks are known to be few enough.
        for (SetFile& file : set_.files)
            readChecksums(file);
        set_.dataBlocks = static_cast<std::uint32_t>(blocks_);
        collectRecovery();
        return std::move(set_);
    }

  private:
    [[noreturn]] void refuse(const std::string& why) const {
        fail(Error::of(ErrorKind::Refused,
                       shardix::quoted(index_.shown) + " cannot be used: " + why + "."));
    }
    void note(const ScannedSource& source, const std::string& what) {
        set_.notes.push_back(shardix::quoted(source.shown) + ": " + what);
    }

    void chooseSet();
    void gather(std::size_t s);
    void noteDamage(const ScannedSource& source);
    void takePacket(std::size_t s, const Packet& packet);
    void takeMain(const ScannedSource& source, const Packet& packet);
    void takeFilePacket(const ScannedSource& source, const Packet& packet);
    void takeCreator(const Packet& packet);
    std::uint32_t readMain();
    SetFile describeFile(std::uint32_t f);
    void checkName(const std::string& name);
    void readChecksums(SetFile& file) const;
    void collectRecovery();

    const std::vector<ScannedSource>& sources_;
    const ScannedSource& index_;
    RecoverySet set_;
    std::string mainPacket_;
    std::map<Md5Digest, std::string> descriptions_, checksums_;          // bodies by file id
    std::vector<std::pair<std::size_t, const Packet*>> recoveryPackets_; // with their source
    std::set<Md5Digest> ids_;
    std::set<std::string> names_;
    std::uint64_t blocks_ = 0; // of the files described so far
};

// The set is the one of the index's packets.
void SetAssembler::chooseSet() {
    std::set<Md5Digest> indexSets;
    for (const Packet& packet : index_.scan.packets)
        indexSets.insert(packet.setId);
    if (indexSets.empty()) {
        std::string why = "it holds no intact PAR 2.0 packet";
        if (!index_.scan.damage.empty())
            why += " (" + index_.scan.damage.front() + ")";
        refuse(why);
    }
    if (indexSets.size() > 1)
        refuse("it holds packets of " + std::to_string(indexSets.size()) +
               " different recovery sets");
    set_.setId = *indexSets.begin();
}

void SetAssembler::gather(std::size_t s) {
    const ScannedSource& source = sources_[s];
    noteDamage(source);
    std::size_t foreign = 0;
    for (const Packet& packet : source.scan.packets) {
        if (packet.setId != set_.setId)
            ++foreign;
        else
            takePacket(s, packet);
    }
    if (foreign > 0)
        note(source, std::to_string(foreign) + " packets of another recovery set, left out.");
}

void SetAssembler::noteDamage(const ScannedSource& source) {
    const std::vector<std::string>& damage = source.scan.damage;
    for (std::size_t i = 0; i < damage.size() && i < kNotesPerSource; ++i)
        note(source, damage[i] + ".");
    if (damage.size() > kNotesPerSource)
        note(source, std::to_string(damage.size() - kNotesPerSource) + " more damaged stretches.");
    if (source.scan.readError)
        set_.notes.push_back(
            systemError(source.scan.readError, "read all of", source.shown).message);
}

void SetAssembler::takePacket(std::size_t s, const Packet& packet) {
    switch (packet.kind) {
    case PacketKind::Main:
        return takeMain(sources_[s], packet);
    case PacketKind::FileDescription:
    case PacketKind::BlockChecksums:
        return takeFilePacket(sources_[s], packet);
    case PacketKind::Recovery:
        recoveryPackets_.emplace_back(s, &packet);
        return;
    case PacketKind::Creator:
        return takeCreator(packet);
    case PacketKind::Other:
        return;
    }
}

void SetAssembler::takeMain(const ScannedSource& source, const Packet& packet) {
    if (mainPacket_.empty())
        mainPacket_ = packet.body;
    else if (mainPacket_ != packet.body)
        refuse(shardix::quoted(source.shown) + " holds a different main packet of the same set");
}

void SetAssembler::takeFilePacket(const ScannedSource& source, const Packet& packet) {
    if (packet.body.size() < 16)
        refuse(shardix::quoted(source.shown) + " holds a packet too short for its type");
    auto& byId = packet.kind == PacketKind::FileDescription ? descriptions_ : checksums_;
    auto [at, added] = byId.emplace(digestAt(packet.body, 0), packet.body);
    if (!added && at->second != packet.body)
        refuse(shardix::quoted(source.shown) + " holds two different packets about one file");
}

void SetAssembler::takeCreator(const Packet& packet) {
    if (!set_.creator.empty())
        return;
    for (char c : withoutPadding(packet.body).substr(0, 200))
        set_.creator += (c >= 0x20 && c < 0x7F) ? c : '?';
}

// The main packet: the block size and the files' ids. Returns the count of
// the files the set protects.
std::uint32_t SetAssembler::readMain() {
    if (mainPacket_.empty())
        refuse("neither it nor its volumes hold an intact main packet");
    if (mainPacket_.size() < 12 || (mainPacket_.size() - 12) % 16 != 0)
        refuse("its main packet has an impossible length");
    set_.blockSize = readU64(mainPacket_.data());
    const std::uint32_t fileCount = readU32(mainPacket_.data() + 8);
    const std::size_t idCount = (mainPacket_.size() - 12) / 16;
    if (set_.blockSize == 0 || set_.blockSize % 4 != 0)
        refuse("its block size " + std::to_string(set_.blockSize) +
               " is not a positive multiple of 4");
    if (set_.blockSize > kMaxSetBlockSize)
        refuse("its blocks of " + std::to_string(set_.blockSize) + " bytes are larger than the " +
               std::to_string(kMaxSetBlockSize) + " bytes this tool handles");
    if (fileCount == 0 || fileCount > idCount)
        refuse("its main packet lists " + std::to_string(fileCount) + " files in room for " +
               std::to_string(idCount));
    if (fileCount > Gf16::kMaxInputBlocks)
        refuse("it lists " + std::to_string(fileCount) + " files, more than " +
               std::to_string(Gf16::kMaxInputBlocks));
    if (idCount > fileCount)
        set_.notes.push_back("The set also lists " + std::to_string(idCount - fileCount) +
                             " files that it does not protect; they are not checked.");
    return fileCount;
}

// File number `f` of the main packet, which numbers the blocks in its order.
SetFile SetAssembler::describeFile(std::uint32_t f) {
    const std::string number = std::to_string(f + 1);
    const Md5Digest id = digestAt(mainPacket_, 12 + 16 * static_cast<std::size_t>(f));
    if (!ids_.insert(id).second)
        refuse("its main packet lists file number " + number + " twice");
    const auto description = descriptions_.find(id);
    if (description == descriptions_.end())
        refuse("neither it nor its volumes describe file number " + number + " of the set");
    const std::string& body = description->second;
    if (body.size() < 56)
        refuse("the description of file number " + number + " is too short");
    SetFile file;
    FileDescription& described = file.description;
    described.id = id;
    described.hash = digestAt(body, 16);
    described.hash16k = digestAt(body, 32);
    described.length = readU64(body.data() + 48);
    described.name = withoutPadding(body.substr(56));
    checkName(described.name);
    if (described.length > set_.blockSize * Gf16::kMaxInputBlocks)
        refuse("it lists " + shardix::quoted(described.name) + " with an impossible length of " +
               std::to_string(described.length) + " bytes");
    const std::uint64_t fileBlocks = (described.length + set_.blockSize - 1) / set_.blockSize;
    blocks_ += fileBlocks;
    if (blocks_ > Gf16::kMaxInputBlocks)
        refuse("its files have more than " + std::to_string(Gf16::kMaxInputBlocks) + " blocks");
    file.firstConstant = static_cast<std::uint32_t>(blocks_ - fileBlocks);
    file.checks.resize(static_cast<std::size_t>(fileBlocks));
    return file;
}

// A file's name: a plain name of the folder, listed once, none of the set's own files.
void SetAssembler::checkName(const std::string& name) {
    if (!isPlainName(name))
        refuse("it names a file " + shardix::quoted(name) +
               ", which is not a plain name of a file in its folder");
    if (!names_.insert(name).second)
        refuse("it lists " + shardix::quoted(name) + " twice");
    for (const ScannedSource& source : sources_) {
        if (source.name == name)
            refuse("it lists its own recovery file " + shardix::quoted(name) +
                   " as a file to protect");
    }
}

void SetAssembler::readChecksums(SetFile& file) const {
    const std::string& name = file.description.name;
    const auto check = checksums_.find(file.description.id);
    if (check == checksums_.end())
        refuse("neither it nor its volumes hold the block checksums of " + shardix::quoted(name));
    const std::string& body = check->second;
    if (body.size() != 16 + 20 * file.checks.size())
        refuse("the block checksums of " + shardix::quoted(name) + " do not fit its length");
    for (std::size_t b = 0; b < file.checks.size(); ++b) {
        file.checks[b].md5 = digestAt(body, 16 + 20 * b);
        file.checks[b].crc = readU32(body.data() + 16 + 20 * b + 16);
    }
}

// Recovery blocks of the right size, one per exponent.
void SetAssembler::collectRecovery() {
    std::map<std::uint32_t, RecoveryBlockAt> recovery;
    std::size_t wrongSize = 0;
    for (const auto& [s, packet] : recoveryPackets_) {
        if (packet->length != kHeaderSize + 4 + set_.blockSize) {
            ++wrongSize;
            continue;
        }
        recovery.emplace(
            packet->exponent,
            RecoveryBlockAt{packet->exponent, s,
                            packet->offset + static_cast<std::int64_t>(kHeaderSize) + 4});
    }
    if (wrongSize > 0)
        set_.notes.push_back(std::to_string(wrongSize) +
                             " recovery packets of the wrong size, left out.");
    for (const auto& [exponent, at] : recovery)
        set_.recovery.push_back(at);
}

} // namespace

Result<RecoverySet> assembleSet(const std::vector<ScannedSource>& sources) {
    return guarded([&]() -> Result<RecoverySet> { return SetAssembler(sources).assemble(); });
}

Result<RecoverySet> assembleSetFromBytes(std::string index, const std::vector<std::string>& volumes,
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
