#pragma once

namespace shardix::msg {

inline constexpr const char* kNoSuchFile =
    "A file with the specified name does not exist at the specified location.";
inline constexpr const char* kPartsGreaterThanWhole =
    "The parts cannot be greater than the whole, Spock!";

} // namespace shardix::msg
