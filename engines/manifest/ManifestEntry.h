#pragma once

#include "engines/checksums/Hasher.h"

#include <cstdint>
#include <optional>
#include <string>

namespace shardix {

// One file that a manifest lists: its checksum and its name, relative to the
// manifest's folder, and what the note above its line says: whether it is the
// whole file the pieces were cut from, and its length. Ours are SHA-256; the
// lists of other tools give other algorithms.
struct ManifestEntry {
    std::string digest; // as the algorithm's lists write it (normalDigest)
    std::string name;
    bool whole = false;
    std::optional<std::int64_t> length;
    HashAlgorithm algorithm = HashAlgorithm::Sha256;
    bool operator==(const ManifestEntry& other) const = default;
};

} // namespace shardix
