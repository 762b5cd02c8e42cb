#pragma once

#include "engines/Failure.h"
#include "engines/FileIo.h"

#include <cstdint>
#include <string>

namespace shardix {

class RunProgress;

// Cuts `sourcePath` into `count` segment files named `basePath` followed by
// 1 .. count in decimal. Every segment holds length / count bytes, the last one
// the rest too. Refuses, before any segment is touched, a source that cannot be
// read, a count larger than the source, and segment names that are pipes,
// sockets or disk devices. A failure while writing keeps what was written.
RunResult segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                      RunProgress& progress, std::int64_t pieceSize = kPieceSize);

} // namespace shardix
