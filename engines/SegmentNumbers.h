#pragma once

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// Segment names are a base name followed by the segment's number, 1 to 999
// in decimal without leading zeros ("part1" .. "part12").

// The base name that all `paths` share when every one of them is a segment
// name ("dir/part" for "dir/part2" and "dir/part10"); nothing otherwise.
std::optional<std::string> commonBase(const std::vector<std::string>& paths);

// When `paths` are segment names of one base name: a message naming the
// segments missing between the first and the highest number given ("\"p3\" is
// missing between \"p2\" and \"p4\"."), and those given twice. Nothing when
// none is missing or doubled, or when the names are not all segment names of
// one base name.
std::optional<std::string> missingSegments(const std::vector<std::string>& paths);

} // namespace shardix
