#pragma once

#include "engines/FileIo.h"

#include <cstdint>
#include <optional>
#include <string>

namespace shardix {

class EngineUi;

// The number of segments held by the count box's text: digits with blanks before
// and after them ignored. Empty when the text is no number (a blank between two
// digits, a letter, nothing at all).
std::optional<std::int64_t> parseSegmentCount(const std::string& segmentCount);

// Cuts `sourcePath` into N segment files named `basePath` followed by 1 .. N in
// decimal. Every segment holds fileLength / N bytes, the last one the rest too.
// Reports its own failures; returns true when every segment was written.
bool segmentFile(const std::string& sourcePath, const std::string& basePath,
                 const std::string& segmentCount, EngineUi& ui,
                 std::int64_t pieceSize = kPieceSize);

} // namespace shardix
