#pragma once

#include "engines/checksums/Hasher.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

// The checksums of the pieces of a file in order and of the whole file, in
// the text form of their algorithm's lists (normalDigest): those an engine
// computed, or those it checks its output against. SHA-256 unless told.
struct Checksums {
    // An empty part is one that is not checked (a list that leaves it out).
    std::vector<std::string> parts;
    std::optional<std::string> whole;
    // The parts' lengths, where known.
    std::vector<std::int64_t> lengths;
    // Where checksums to check against come from (a manifest's name), for messages.
    std::string source;
    // The algorithm of each part; none given: SHA-256 for all.
    std::vector<HashAlgorithm> partAlgorithms;
    HashAlgorithm wholeAlgorithm = HashAlgorithm::Sha256;

    HashAlgorithm partAlgorithm(std::size_t part) const {
        return part < partAlgorithms.size() ? partAlgorithms[part] : HashAlgorithm::Sha256;
    }
};

} // namespace shardix
