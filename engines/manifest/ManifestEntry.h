#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace shardix {

// One file that a manifest lists: its SHA-256 and its name, relative to the
// manifest's folder, and what the note above its line says: whether it is the
// whole file the segments were cut from, and its length.
struct ManifestEntry {
    std::string digest; // 64 lower-case hexadecimal digits
    std::string name;
    bool whole = false;
    std::optional<std::int64_t> length;
    bool operator==(const ManifestEntry& other) const = default;
};

} // namespace shardix
