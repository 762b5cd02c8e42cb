#pragma once

#include "engines/operations/Segmenter.h"
#include "errors/Result.h"

#include <cstdint>
#include <string>

namespace shardix {

class RunProgress;

// Cuts what the file descriptor `input` gives until its end (standard input, a
// pipe) into pieces of `pieceLength` bytes, the last one shorter, named as
// segmentFileBySize names them, with memory bounded whatever the length
// (cutStream). The checksums that a manifest needs are computed on the way.
// The manifest and the join script name the whole file joinedNameOf(basePath),
// since a stream has no name; a base name that leaves none is refused for
// them, as are what segmentFileBySize refuses of their names, before anything
// is read. The piece count is known only at the end: a stream that needs
// more than kMaxPieces pieces, or more than options.digits can number,
// fails when it gets there. Pieces take the place of files of their names.
// Progress is told as bytes done of an unknown total (below 0); a stop asked
// for ends the run between two reads, and while the input has nothing, keeping
// the pieces that are whole. `inputName` names the input in messages.
Result<> segmentStream(int input, const std::string& inputName, const std::string& basePath,
                       std::int64_t pieceLength, RunProgress& progress,
                       const SegmentOptions& options = {}, SegmentReport* report = nullptr);

} // namespace shardix
