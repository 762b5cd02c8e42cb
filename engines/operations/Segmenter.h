#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Result.h"

#include <cstdint>
#include <string>

namespace shardix {

class RunProgress;

// How a cut is made besides its source, segments and count.
struct SegmentOptions {
    // The largest slice copied at once.
    std::int64_t copyChunk = kCopyChunk;
    // Also compute the SHA-256 of every segment and of the whole source, and
    // write them, once every segment is written, as the manifest
    // manifestPathFor(basePath), which sha256sum -c reads.
    bool writeManifest = false;
    // Compute those checksums (into the report) without writing a manifest.
    bool computeChecksums = false;
    // Look after the manifest of the base name: an old one there no longer
    // describes the segments once they are written, so it is replaced by the
    // new one, or removed. Off: no manifest is looked at.
    bool handleOldManifest = true;
};

// What a cut did besides its segments.
struct SegmentReport {
    // The segments' and the whole source's checksums (with writeManifest).
    Checksums checksums;
    // An old manifest of the base name was removed: it described other bytes.
    bool removedOldManifest = false;
};

// Cuts `sourcePath` into `count` segment files named `basePath` followed by
// 1 .. count in decimal. Every segment holds length / count bytes, the last one
// the rest too. Refuses, before any segment is touched: a source that cannot
// be read, a count larger than the source, segment names that are folders,
// pipes, sockets or disk devices, that are too long for the file system or
// that name one file between them (links), and, with a manifest, a manifest
// name that cannot be written or one the manifest could not tell from the
// source's. A failure while writing keeps what was written.
Result<> segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                     RunProgress& progress, const SegmentOptions& options = {},
                     SegmentReport* report = nullptr);

// Cuts `sourcePath` as segmentFile does, into segments of `segmentLength` bytes,
// the last one shorter; an empty source gives one empty segment. Refuses a
// length below 1 and one that would make more than kMaxSegments segments.
Result<> segmentFileBySize(const std::string& sourcePath, const std::string& basePath,
                           std::int64_t segmentLength, RunProgress& progress,
                           const SegmentOptions& options = {}, SegmentReport* report = nullptr);

} // namespace shardix
