#pragma once

#include "engines/recovery/PacketScanner.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
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
};

// A file scanned for packets: the index (the first) or a volume.
struct ScannedSource {
    std::string name;  // in the folder
    std::string shown; // for messages: with the folder as the user gave it
    ScanResult scan;
};

// A recovery set, checked: what the index promises, within bounds that a
// repair can keep to.
struct RecoverySet {
    Md5Digest setId{};
    std::uint64_t blockSize = 0;
    std::vector<SetFile> files; // in the main packet's order
    std::uint32_t dataBlocks = 0;
    std::vector<RecoveryBlockAt> recovery; // by exponent, each once
    std::string creator;
    std::vector<std::string> notes; // damage and packets left out, one sentence each
};

// The largest block size of a set that this tool reads.
inline constexpr std::uint64_t kMaxSetBlockSize = 128 << 20;

// Checks the packets of `sources` (the index first) and puts the set
// together, or refuses it: packets of several sets in the index, no main
// packet, two different packets for one thing, absurd sizes or counts, file
// names that are not plain names of the folder or that are listed twice
// (ErrorKind::Refused; an index that could not be read, the system's kind).
// Damaged packets and volumes of other sets are left out with a note.
Result<RecoverySet> assembleSet(const std::vector<ScannedSource>& sources);

// Scans an index ("BASE.par2") and volumes given as bytes and puts their set
// together: what a repair does before it reads any file, for the fuzzer and
// the tests.
Result<RecoverySet> assembleSetFromBytes(std::string index,
                                         const std::vector<std::string>& volumes = {},
                                         const std::string& indexName = "BASE.par2");

} // namespace shardix::par2
