#include "engines/operations/StreamSegmenter.h"

#include "engines/io/RunProgress.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/ManifestAndScript.h"
#include "engines/operations/StreamCut.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>

namespace shardix {

namespace {

// Refuses, before anything is read, what the names of the cut cannot be.
Result<> refusedNames(const std::string& basePath, const std::string& wholeName,
                      const SegmentOptions& options) {
    const int widest = std::max(options.digits, digitCount(kMaxPieces));
    if (Result<> refused = refusedLongName(pieceName(basePath, 1, widest), "a piece");
        !refused.ok())
        return refused;
    if ((options.writeManifest || options.writeJoinScript) && wholeName.empty())
        return Error::refusedName("The pieces of " + shardix::quoted(basePath) +
                                  " would give the whole file no name in the manifest or the "
                                  "join script; please end the base name with one "
                                  "(" +
                                  shardix::quoted(basePath + "backup.") + ").");
    return refusedCompanions(basePath, wholeName, options);
}

StreamCutOptions streamOptions(const SegmentOptions& options, RunProgress& progress) {
    StreamCutOptions cut;
    cut.digits = options.digits;
    if (options.writeManifest || options.computeChecksums) {
        cut.pieceChecksums = {HashAlgorithm::Sha256};
        cut.wholeChecksums = {HashAlgorithm::Sha256};
    }
    cut.replace = true;
    cut.progress = [&progress](std::int64_t done) { progress.setBytesDone(done, -1); };
    cut.stopRequested = [&progress] { return progress.stopRequested(); };
    return cut;
}

// What the pieces of `cut` are, as a file cut reports them.
void describe(const StreamCut& cut, SegmentReport& report) {
    Checksums& sums = report.checksums;
    for (const CutPiece& piece : cut.pieces) {
        sums.lengths.push_back(piece.length);
        if (!piece.checksums.empty())
            sums.parts.push_back(piece.checksums.front());
    }
    if (!cut.wholeChecksums.empty())
        sums.whole = cut.wholeChecksums.front();
}

} // namespace

Result<> segmentStream(int input, const std::string& inputName, const std::string& basePath,
                       std::int64_t pieceLength, RunProgress& progress,
                       const SegmentOptions& options, SegmentReport* report) {
    SegmentReport own;
    SegmentReport& told = report ? *report : own;
    const std::string wholeName = joinedNameOf(basePath);
    if (Result<> refused = refusedNames(basePath, wholeName, options); !refused.ok())
        return refused;
    const OldCompanions old = oldCompanionsOf(basePath, options);
    StreamCut cut;
    const Result<> result =
        cutStream(input, inputName, basePath, pieceLength, streamOptions(options, progress), cut);
    if (cut.pieces.empty())
        return result;
    describe(cut, told);
    return settleCompanions(basePath, wholeName, options, old, result, told);
}

} // namespace shardix
