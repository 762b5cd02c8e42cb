#pragma once

#include "errors/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// Piece names are a base name followed by the piece's number, 1 to 999
// in decimal: without leading zeros ("part1" .. "part12"), or zero-padded to
// one width for all the pieces of a base name ("part01" .. "part12", as
// segment --digits 2 writes them; "part1" and "part02" are of no one set). A
// base name may end in digits itself, so one name can be read in several
// ways: "v12" is piece 12 of "v" or piece 2 of "v1", "v012" piece 12 of
// "v" or piece 2 of "v01".

// The piece number of `path` when it is `base` followed by one.
std::optional<int> pieceNumber(const std::string& path, const std::string& base);

// The base names that all `paths` share when every one of them is a piece
// name ("dir/part" for "dir/part2" and "dir/part10"), the longest first; none
// otherwise. Folders spelled differently ("part1", "./part2", "/home/u/part3")
// count as one when they lead to one folder;
// the first path's spelling is returned.
std::vector<std::string> commonBases(const std::vector<std::string>& paths);

// When `paths` are piece names of one base name: a message naming the
// pieces missing between the first and the highest number given ("\"p3\" is
// missing between \"p2\" and \"p4\"."), and those given twice. Nothing when
// none is missing or doubled under some reading of the names, or when the
// names are not all piece names of one base name.
Result<> missingPieces(const std::vector<std::string>& paths);

// When `paths`, two or more, are numbered pieces of one base name but not
// pieces 1, 2, 3, ... in this order under any reading of their names: a
// message naming the first two given out of number order ("\"p10\" is given
// before \"p2\": ..."), or else what is missing or given twice. Nothing for
// names that are not all pieces of one base name.
Result<> outOfNumberOrder(const std::vector<std::string>& paths);

// The base name of which `path` is a numbered piece that belongs among the
// pieces of that base name in `inputs`: their numbers and its own make one
// run without a gap ("part1" among "part2" .. "part5"). Nothing otherwise, so
// "v1" is no piece among "v11" .. "v112", the pieces of "v1".
std::optional<std::string> pieceBaseOf(const std::string& path,
                                       const std::vector<std::string>& inputs);

} // namespace shardix
