#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

// SHA-256 checksums, in 64 lower-case hexadecimal digits, of the segments of a
// file in order and of the whole file: those an engine computed, or those it
// checks its output against.
struct Checksums {
    std::vector<std::string> parts;
    std::optional<std::string> whole;
    // The parts' lengths, where known.
    std::vector<std::int64_t> lengths;
    // Where checksums to check against come from (a manifest's name), for messages.
    std::string source;
};

} // namespace shardix
