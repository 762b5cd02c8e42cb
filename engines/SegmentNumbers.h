#pragma once

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// Segment names are a base name followed by the segment's number, 1 to 999
// in decimal without leading zeros ("part1" .. "part12"). A base name may end
// in digits itself, so one name can be read in up to three ways: "v12" is
// segment 12 of "v" or segment 2 of "v1".

// The segment number of `path` when it is `base` followed by one.
std::optional<int> segmentNumber(const std::string& path, const std::string& base);

// The base names that all `paths` share when every one of them is a segment
// name ("dir/part" for "dir/part2" and "dir/part10"), the longest first; none
// otherwise. Folders spelled differently ("part1", "./part2") count as one;
// the first path's spelling is returned.
std::vector<std::string> commonBases(const std::vector<std::string>& paths);

// When `paths` are segment names of one base name: a message naming the
// segments missing between the first and the highest number given ("\"p3\" is
// missing between \"p2\" and \"p4\"."), and those given twice. Nothing when
// none is missing or doubled under some reading of the names, or when the
// names are not all segment names of one base name.
std::optional<std::string> missingSegments(const std::vector<std::string>& paths);

} // namespace shardix
