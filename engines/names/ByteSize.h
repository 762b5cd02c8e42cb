#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace shardix {

// The number of bytes a size text gives, as split -b reads it: decimal digits,
// then nothing or one of the units b (512), K, M, G, T, P, E (powers of 1024;
// also k and m), each of the letters also followed by "B" for powers of 1000
// (KB, MB, GB, kB, ...) or by "iB" for powers of 1024 (KiB, MiB, ...).
// Nothing for any other text, and for sizes beyond 2^63 - 1.
std::optional<std::int64_t> parseByteSize(std::string_view text);

} // namespace shardix
