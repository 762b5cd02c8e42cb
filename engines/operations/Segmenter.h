#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Another user of a cut's source bytes (recovery data): it is handed each byte
// once, in order, from the read that computes the checksums, so that the
// source is read once for both. Its first failure ends the cut.
class SourceConsumer {
  public:
    virtual ~SourceConsumer() = default;
    // The next `length` bytes of the source, on a thread of the reader's.
    virtual Result<> take(const char* bytes, std::size_t length) = 0;
    // After every piece is written and closed and every byte taken.
    virtual Result<> finish(RunProgress& progress) = 0;
};

// Makes the consumer of a cut once the lengths of its pieces are known and
// before any is written: `source` is the open source (the consumer may read
// the head of each piece from it beforehand), `lengths` the pieces' in
// order. Its refusal refuses the cut.
using SourceConsumerMaker = std::function<Result<std::unique_ptr<SourceConsumer>>(
    const FileHandle& source, const std::vector<std::int64_t>& lengths)>;

// How a cut is made besides its source, pieces and count.
struct SegmentOptions {
    // The largest slice copied at once.
    std::int64_t copyChunk = kCopyChunk;
    // Also compute the SHA-256 of every piece and of the whole source, and
    // write them, once every piece is written, as the manifest
    // manifestPathFor(basePath), which sha256sum -c reads.
    bool writeManifest = false;
    // Compute those checksums (into the report) without writing a manifest.
    bool computeChecksums = false;
    // Look after the manifest of the base name: an old one there no longer
    // describes the pieces once they are written, so it is replaced by the
    // new one, or removed. Off: no manifest is looked at.
    bool handleOldManifest = true;
    // Hand the source's bytes to a consumer too (see SourceConsumer). With it,
    // the source is read beside the copy even without checksums.
    SourceConsumerMaker consumer = nullptr;
    // Zero-padded numbers of this many digits (BASE01 .. BASE12), so that a
    // list in byte order gives the join order; 0 for BASE1 .. BASE12.
    int digits = 0;
    // Also write the join script joinScriptPathFor(basePath) once every
    // piece is written (JoinScript.h), which joins them without us into the
    // name the manifest gives the whole file.
    bool writeJoinScript = false;
    // Look after the join script of the base name as after the manifest.
    bool handleOldJoinScript = false;
    // The program named in the manifest's first line as the one that wrote it.
    std::string writer = "shardix-cli";
};

// What a cut did besides its pieces.
struct SegmentReport {
    // The pieces' and the whole source's checksums (with writeManifest).
    Checksums checksums;
    // An old manifest of the base name was removed: it described other bytes.
    bool removedOldManifest = false;
    // The same of an old join script.
    bool removedOldJoinScript = false;
};

// Cuts `sourcePath` into `count` piece files named `basePath` followed by
// 1 .. count in decimal (pieceName, with options.digits). Every piece holds
// length / count bytes, the last one the rest too. Refuses, before any piece
// is touched: a source that cannot be read, a count larger than the source or
// than options.digits can number, piece names that are folders, pipes,
// sockets or disk devices, that are too long for the file system or that name
// one file between them (links), and, with a manifest or a join script, a name
// of theirs that cannot be written or that they could not tell from the
// source's own name, by which they name the whole file. A failure while writing
// keeps what was written.
Result<> segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                     RunProgress& progress, const SegmentOptions& options = {},
                     SegmentReport* report = nullptr);

// Cuts `sourcePath` as segmentFile does, into pieces of `pieceLength` bytes,
// the last one shorter; an empty source gives one empty piece. Refuses a
// length below 1 and one that would make more than kMaxPieces pieces.
Result<> segmentFileBySize(const std::string& sourcePath, const std::string& basePath,
                           std::int64_t pieceLength, RunProgress& progress,
                           const SegmentOptions& options = {}, SegmentReport* report = nullptr);

} // namespace shardix
