#pragma once

namespace shardix::msg {

inline constexpr const char* kNoSuchFile =
    "A file with the specified name does not exist at the specified location.";
inline constexpr const char* kPartsGreaterThanWhole =
    "The parts cannot be greater than the whole, Spock!";
inline constexpr const char* kReorderQuestion =
    "If the order in which the segments were created was changed by the file system, they "
    "should be SORTED.  Should Shardix! RE-ORDER the selected files?";
inline constexpr const char* kChoiceTitle = "Shardix! - It's your choice...";

} // namespace shardix::msg
