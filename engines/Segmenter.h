#pragma once

#include "engines/Checksums.h"
#include "engines/Failure.h"
#include "engines/FileIo.h"

#include <cstdint>
#include <string>

namespace shardix {

class RunProgress;

// The most segments that a source is cut into by their length.
inline constexpr int kMaxSegments = 999;

// Cuts `sourcePath` into `count` segment files named `basePath` followed by
// 1 .. count in decimal. Every segment holds length / count bytes, the last one
// the rest too. Refuses, before any segment is touched, a source that cannot be
// read, a count larger than the source, and segment names that are pipes,
// sockets or disk devices. A failure while writing keeps what was written.
// With `checksums`, the source's bytes are read once more beside the copy, for
// the SHA-256 of each segment (its parts) and of the whole source.
RunResult segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                      RunProgress& progress, std::int64_t pieceSize = kPieceSize,
                      Checksums* checksums = nullptr);

// Cuts `sourcePath` as segmentFile does, into segments of `segmentLength` bytes,
// the last one shorter; an empty source gives one empty segment. Refuses a
// length below 1 and one that would make more than kMaxSegments segments.
RunResult segmentFileBySize(const std::string& sourcePath, const std::string& basePath,
                            std::int64_t segmentLength, RunProgress& progress,
                            std::int64_t pieceSize = kPieceSize, Checksums* checksums = nullptr);

} // namespace shardix
