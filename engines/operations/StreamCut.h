#pragma once

#include "engines/checksums/Hasher.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shardix {

struct StreamCutOptions {
    // Zero-padded numbers of this many digits (BASE01 ..); 0 for BASE1 BASE2 ..
    int digits = 0;
    // A stream that needs more pieces fails when it reaches the next one.
    std::int64_t maxPieces = kMaxPieces;
    // Checksums of each piece, and of all the bytes (for a manifest).
    std::vector<HashAlgorithm> pieceChecksums;
    std::vector<HashAlgorithm> wholeChecksums;
    // Whether a piece may take the name of an existing file.
    bool replace = false;
    // Told the count of bytes cut so far, after each read.
    std::function<void(std::int64_t done)> progress;
    // Asked before each read, and every quarter of a second while the input
    // has nothing: true ends the cut (ErrorKind::Stopped), keeping the pieces
    // that are whole. Unset, the cut waits for its input as long as it takes.
    std::function<bool()> stopRequested;
};

struct CutPiece {
    std::string path;
    std::int64_t length = 0;
    std::vector<std::string> checksums; // in the order of pieceChecksums
};

struct StreamCut {
    std::vector<CutPiece> pieces;
    std::int64_t length = 0;
    std::vector<std::string> wholeChecksums; // in the order of wholeChecksums
};

// Cuts what the file descriptor `input` gives until its end (a pipe, a
// socket, standard input) into pieces of `pieceLength` bytes, the last one
// shorter, named `basePath` followed by 1, 2, .. Memory stays the same
// whatever the length: a pipe's pages go to the pieces in the kernel (splice)
// unless checksums are wanted, else through one buffer of 1 MiB. Each piece is
// written under a temporary name beside its own and renamed when it is whole,
// so no piece ever seems whole that is not. An empty input gives one empty
// piece, as cutting an empty file does. A failure names the file and the
// system's cause; the pieces finished before it stay, and `cut` lists them.
// `inputName` names the input in messages ("standard input").
Result<> cutStream(int input, const std::string& inputName, const std::string& basePath,
                   std::int64_t pieceLength, const StreamCutOptions& options, StreamCut& cut);

} // namespace shardix
