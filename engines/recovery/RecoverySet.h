#pragma once

#include "engines/recovery/PacketScanner.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix::par2 {

// A file of the set as its index describes it.
struct SetFile {
    FileDescription description;
    std::vector<BlockCheck> checks;  // one per block
    std::uint32_t firstConstant = 0; // the constant index of its first block
};

// Where a recovery block's data lies: in which source, at which byte.
struct RecoveryBlockAt {
    std::uint32_t exponent = 0;
    std::size_t source = 0;
    std::int64_t dataOffset = 0;
    Md5Digest hash{}; // of its packet
};

// A file scanned for packets: the one the user named (the first) or another
// recovery file of its folder.
struct ScannedSource {
    std::string name;  // in the folder
    std::string shown; // for messages: with the folder as the user gave it
    ScanResult scan;
    bool present = true; // false for a named file that is not there
};

// A recovery set, checked: what the index promises, within bounds that a
// repair can keep to.
struct RecoverySet {
    Md5Digest setId{};
    std::uint64_t blockSize = 0;
    std::vector<SetFile> files; // in the main packet's order
    std::uint32_t dataBlocks = 0;
    std::vector<RecoveryBlockAt> recovery; // by exponent, each once
    // Copies of the same exponents with other data, in other files: used in
    // place of those in `recovery` when these turn out to hold wrong data.
    std::vector<RecoveryBlockAt> otherCopies;
    std::vector<std::size_t> used; // the sources whose packets were used
    std::string creator;
    std::vector<std::string> notes; // damage and packets left out, one sentence each
};

// The largest block size of a set that this tool reads.
inline constexpr std::uint64_t kMaxSetBlockSize = 128 << 20;

// "it holds no intact PAR 2.0 packet", and why, of a file whose scan found none.
std::string noPacketWhy(const ScanResult& scan);

// The one set whose packets `source` holds; nullopt when it holds none.
// Throws the refusal of a file that holds packets of several sets.
std::optional<Md5Digest> setOf(const ScannedSource& source);

// Checks the packets of the set `setId` in `sources` (the file the user named
// first; their bodies in `store`) and puts the set together, or refuses it:
// no main packet, absurd sizes or counts, file names that are not plain
// names of the folder or that are listed twice (ErrorKind::Refused; a named
// file that could not be read, the system's kind). Damaged packets and files
// of other sets are left out with a note. Where files hold two versions of
// one packet of the set (a set made again over changed files keeps its id),
// the named file's version goes, and the files of the other are left out;
// when the named file holds neither, the set is refused: naming one of the
// files chooses.
Result<RecoverySet> assembleSet(const std::vector<ScannedSource>& sources, const PacketStore& store,
                                const Md5Digest& setId);

// Scans an index ("BASE.par2") and volumes given as bytes and puts the set
// of the index together: what a repair does before it reads any file, for
// the fuzzer and the tests.
Result<RecoverySet> assembleSetFromBytes(std::string index,
                                         const std::vector<std::string>& volumes = {},
                                         const std::string& indexName = "BASE.par2");

} // namespace shardix::par2
