#include "engines/recovery/RecoverySet.h"

#include "engines/io/Folder.h"
#include "engines/recovery/Gf16.h"
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

// The versions of one packet of the set (its kind and the file it is about)
// that the files hold: by the packet's hash, the files that hold it.
using Versions = std::map<Md5Digest, std::vector<std::size_t>>;
using PacketKey = std::pair<int, Md5Digest>;

// Puts a set together from the packets of its sources, in stages: the
// sources that hold packets of the set, the version of each packet, the
// packets of the sources kept, the main packet, the files it lists, their
// blocks' checksums, the recovery blocks. Each stage throws the refusal of
// what it checks.
class SetAssembler {
  public:
    SetAssembler(const std::vector<ScannedSource>& sources, const PacketStore& store,
                 const Md5Digest& setId)
        : sources_(sources), store_(store), named_(sources.at(0)) {
        set_.setId = setId;
    }

    RecoverySet assemble() {
        if (named_.scan.readError && named_.scan.packets.empty())
            fail(retold(*named_.scan.readError, "read", named_.shown));
        selectSources();
        chooseVersions();
        for (std::size_t s : set_.used)
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
                       shardix::quoted(named_.shown) + " cannot be used: " + why + "."));
    }
    void note(const ScannedSource& source, const std::string& what) {
        set_.notes.push_back(shardix::quoted(source.shown) + ": " + what);
    }
    bool ours(const Packet& packet) const { return packet.setId == set_.setId; }
    const std::string& bodyOf(const Packet& packet) const;

    void selectSources();
    void noteDamage(const ScannedSource& source);
    void chooseVersions();
    std::map<PacketKey, Versions> versionsHeld() const;
    void leaveOut(std::size_t s);
    void gather(std::size_t s);
    void takeMain(const std::string& body);
    void takeFilePacket(const ScannedSource& source, const Packet& packet);
    void takeCreator(const std::string& body);
    std::uint32_t readMain();
    SetFile describeFile(std::uint32_t f);
    void checkName(const std::string& name);
    void readChecksums(SetFile& file) const;
    void collectRecovery();

    const std::vector<ScannedSource>& sources_;
    const PacketStore& store_;
    const ScannedSource& named_;
    RecoverySet set_;
    const std::string* mainPacket_ = nullptr;
    std::map<Md5Digest, const std::string*> descriptions_, checksums_;   // bodies by file id
    std::vector<std::pair<std::size_t, const Packet*>> recoveryPackets_; // with their source
    std::set<Md5Digest> ids_;
    std::set<std::string> names_;
    std::uint64_t blocks_ = 0; // of the files described so far
};

const std::string& SetAssembler::bodyOf(const Packet& packet) const {
    static const std::string kNone;
    const std::string* body = store_.body(packet.hash);
    return body ? *body : kNone;
}

// The sources that hold packets of the set; the others are named and left out.
void SetAssembler::selectSources() {
    for (std::size_t s = 0; s < sources_.size(); ++s) {
        const ScannedSource& source = sources_[s];
        const ScanResult& scan = source.scan;
        const auto own = static_cast<std::size_t>(
            std::count_if(scan.packets.begin(), scan.packets.end(),
                          [this](const Packet& packet) { return ours(packet); }));
        const std::size_t foreign = scan.foreign + scan.packets.size() - own;
        if (own == 0) {
            if ((s == 0 && source.present) || scan.overflowed)
                noteDamage(source);
            else if (foreign > 0)
                set_.notes.push_back(shardix::quoted(source.shown) +
                                     " belongs to another recovery set, left out.");
            else if (s != 0)
                set_.notes.push_back(shardix::quoted(source.shown) +
                                     " holds no intact packet of this recovery set, left out.");
            continue;
        }
        noteDamage(source);
        if (foreign > 0)
            note(source, std::to_string(foreign) +
                             (foreign == 1 ? " packet belongs" : " packets belong") +
                             " to another recovery set, left out.");
        set_.used.push_back(s);
    }
}

void SetAssembler::noteDamage(const ScannedSource& source) {
    const std::vector<std::string>& damage = source.scan.damage;
    for (std::size_t i = 0; i < damage.size() && i < kNotesPerSource; ++i)
        note(source, damage[i] + ".");
    if (damage.size() > kNotesPerSource)
        note(source, std::to_string(damage.size() - kNotesPerSource) + " more damaged stretches.");
    if (source.scan.readError)
        set_.notes.push_back(retold(*source.scan.readError, "read all of", source.shown).message);
}

// Where the sources hold two versions of a packet, those of the named
// file's version are kept; without it, the set is refused.
void SetAssembler::chooseVersions() {
    const std::map<PacketKey, Versions> held = versionsHeld();
    for (const auto& [key, versions] : held) {
        if (versions.size() < 2)
            continue;
        const auto named = std::find_if(versions.begin(), versions.end(), [](const auto& version) {
            return version.second.front() == 0;
        });
        if (named == versions.end())
            continue;
        for (const auto& [hash, holders] : versions)
            if (hash != named->first)
                for (std::size_t s : holders)
                    leaveOut(s);
    }
    for (const auto& [key, versions] : held) {
        std::vector<std::size_t> kept;
        for (const auto& [hash, holders] : versions) {
            const auto holder = std::find_if(holders.begin(), holders.end(), [this](std::size_t s) {
                return std::count(set_.used.begin(), set_.used.end(), s) != 0;
            });
            if (holder != holders.end())
                kept.push_back(*holder);
        }
        if (kept.size() > 1)
            refuse(shardix::quoted(sources_[kept[0]].shown) + " and " +
                   shardix::quoted(sources_[kept[1]].shown) +
                   " hold two versions of the set's packets (the same set, other contents); "
                   "name one of them in its place to choose");
    }
}

// The versions of each packet about the set or one of its files, with the
// sources that hold them in the sources' order.
std::map<PacketKey, Versions> SetAssembler::versionsHeld() const {
    std::map<PacketKey, Versions> held;
    for (std::size_t s : set_.used) {
        for (const Packet& packet : sources_[s].scan.packets) {
            const bool aboutFile = packet.kind == PacketKind::FileDescription ||
                                   packet.kind == PacketKind::BlockChecksums;
            if (!ours(packet) || (!aboutFile && packet.kind != PacketKind::Main))
                continue;
            const std::string& body = bodyOf(packet);
            if (aboutFile && body.size() < 16)
                refuse(shardix::quoted(sources_[s].shown) +
                       " holds a packet too short for its type");
            const Md5Digest file = aboutFile ? digestAt(body, 0) : Md5Digest{};
            held[{static_cast<int>(packet.kind), file}][packet.hash].push_back(s);
        }
    }
    return held;
}

void SetAssembler::leaveOut(std::size_t s) {
    const auto at = std::find(set_.used.begin(), set_.used.end(), s);
    if (at == set_.used.end())
        return;
    set_.used.erase(at);
    set_.notes.push_back(shardix::quoted(sources_[s].shown) +
                         " holds another version of this set's packets (the same set, other "
                         "contents), left out.");
}

void SetAssembler::gather(std::size_t s) {
    const ScannedSource& source = sources_[s];
    for (const Packet& packet : source.scan.packets) {
        if (!ours(packet))
            continue;
        switch (packet.kind) {
        case PacketKind::Main:
            takeMain(bodyOf(packet));
            break;
        case PacketKind::FileDescription:
        case PacketKind::BlockChecksums:
            takeFilePacket(source, packet);
            break;
        case PacketKind::Recovery:
            recoveryPackets_.emplace_back(s, &packet);
            break;
        case PacketKind::Creator:
            takeCreator(bodyOf(packet));
            break;
        case PacketKind::Other:
            break;
        }
    }
}

void SetAssembler::takeMain(const std::string& body) {
    mainPacket_ = &body;
}

void SetAssembler::takeFilePacket(const ScannedSource& source, const Packet& packet) {
    const std::string& body = bodyOf(packet);
    if (body.size() < 16)
        refuse(shardix::quoted(source.shown) + " holds a packet too short for its type");
    auto& byId = packet.kind == PacketKind::FileDescription ? descriptions_ : checksums_;
    byId.emplace(digestAt(body, 0), &body);
}

void SetAssembler::takeCreator(const std::string& body) {
    if (!set_.creator.empty())
        return;
    for (char c : withoutPadding(body).substr(0, 200))
        set_.creator += (c >= 0x20 && c < 0x7F) ? c : '?';
}

// The main packet: the block size and the files' ids. Returns the count of
// the files the set protects.
std::uint32_t SetAssembler::readMain() {
    if (!mainPacket_)
        refuse("neither it nor the set's other files hold an intact main packet");
    const std::string& main = *mainPacket_;
    if (main.size() < 12 || (main.size() - 12) % 16 != 0)
        refuse("its main packet has an impossible length");
    set_.blockSize = readU64(main.data());
    const std::uint32_t fileCount = readU32(main.data() + 8);
    const std::size_t idCount = (main.size() - 12) / 16;
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
        set_.notes.push_back(shardix::quoted(named_.shown) + ": the set also lists " +
                             std::to_string(idCount - fileCount) +
                             (idCount - fileCount == 1 ? " file" : " files") +
                             " that it does not protect; they are not checked.");
    return fileCount;
}

// File number `f` of the main packet, which numbers the blocks in its order.
SetFile SetAssembler::describeFile(std::uint32_t f) {
    const std::string number = std::to_string(f + 1);
    const Md5Digest id = digestAt(*mainPacket_, 12 + 16 * static_cast<std::size_t>(f));
    if (!ids_.insert(id).second)
        refuse("its main packet lists file number " + number + " twice");
    const auto description = descriptions_.find(id);
    if (description == descriptions_.end())
        refuse("neither it nor the set's other files describe file number " + number);
    const std::string& body = *description->second;
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

// A file's name: a name in the folder's tree (in it or a folder below it),
// listed once, none of the set's own files.
void SetAssembler::checkName(const std::string& name) {
    if (!isTreePath(name))
        refuse("it names a file " + shardix::quoted(name) +
               ", which is not a plain name of a file in its folder or a folder below it");
    if (!names_.insert(name).second)
        refuse("it lists " + shardix::quoted(name) + " twice");
    for (std::size_t s : set_.used) {
        if (sources_[s].name == name)
            refuse("it lists its own recovery file " + shardix::quoted(name) +
                   " as a file to protect");
    }
}

void SetAssembler::readChecksums(SetFile& file) const {
    const std::string& name = file.description.name;
    const auto check = checksums_.find(file.description.id);
    if (check == checksums_.end())
        refuse("neither it nor the set's other files hold the block checksums of " +
               shardix::quoted(name));
    const std::string& body = *check->second;
    if (body.size() != 16 + 20 * file.checks.size())
        refuse("the block checksums of " + shardix::quoted(name) + " do not fit its length");
    for (std::size_t b = 0; b < file.checks.size(); ++b) {
        file.checks[b].md5 = digestAt(body, 16 + 20 * b);
        file.checks[b].crc = readU32(body.data() + 16 + 20 * b + 16);
    }
}

// Recovery blocks of the right size, one per exponent; copies of an
// exponent with other data aside, each once.
void SetAssembler::collectRecovery() {
    std::map<std::uint32_t, RecoveryBlockAt> recovery;
    std::set<Md5Digest> copies;
    std::size_t wrongSize = 0;
    for (const auto& [s, packet] : recoveryPackets_) {
        if (packet->length != kHeaderSize + 4 + set_.blockSize) {
            ++wrongSize;
            continue;
        }
        const RecoveryBlockAt at{packet->exponent, s,
                                 packet->offset + static_cast<std::int64_t>(kHeaderSize) + 4,
                                 packet->hash};
        const auto [first, added] = recovery.emplace(packet->exponent, at);
        if (!added && first->second.hash != at.hash && copies.insert(at.hash).second)
            set_.otherCopies.push_back(at);
    }
    if (wrongSize > 0)
        set_.notes.push_back(shardix::quoted(named_.shown) + ": " + std::to_string(wrongSize) +
                             (wrongSize == 1 ? " recovery packet" : " recovery packets") +
                             " of the set's files are of the wrong size, left out.");
    for (const auto& [exponent, at] : recovery)
        set_.recovery.push_back(at);
}

} // namespace

Result<RecoverySet> assembleSet(const std::vector<ScannedSource>& sources, const PacketStore& store,
                                const Md5Digest& setId) {
    return guarded(
        [&]() -> Result<RecoverySet> { return SetAssembler(sources, store, setId).assemble(); });
}

} // namespace shardix::par2
