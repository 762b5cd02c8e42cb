#pragma once

#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

// A recovery file of the set: the recovery blocks with exponents
// firstExponent .. firstExponent + count - 1.
struct RecoveryVolume {
    std::uint32_t firstExponent = 0;
    std::uint32_t count = 0;
};

// How the recovery blocks of a plan are computed: how many in each pass over
// the input, how many input blocks a batch adds into them, and the passes.
struct EncodingShape {
    std::uint32_t perPass = 0;
    std::size_t batchBlocks = 0;
    std::uint32_t passes = 0;
    // Two batches, one filled while the pool computes the other: for input
    // not in memory, and where Passes::overlap says so.
    bool overlap = false;
};

// The shape of a set of recovery files for given pieces.
//
// Block size: with none given, each nonempty piece gets about 2000 / pieces
// blocks (at least one), the block size being the largest piece divided by
// that count, rounded up to a multiple of 4, at least 4 KiB (or the largest
// piece, when smaller) and at most 64 MiB; when that makes more than 32768
// blocks in all (the format's limit), the smallest block size that keeps to
// 32768. A given block size must be a multiple of 4 up to 64 MiB that makes at
// most 32768 blocks.
//
// Recovery blocks: PERCENT of the data blocks, rounded up: any that many
// blocks lost anywhere in the pieces can be rebuilt.
//
// Volumes: BASE.volNN+MM.par2 holding 1, 2, 4, 8, ... recovery blocks (the
// last one the rest), so that a few small files mend a little damage and the
// large ones much; NN is the first exponent, MM the count, padded with zeros
// to the digits of the number of recovery blocks and of the largest count.
//
// Empty pieces are left out of the set: they hold no block.
struct RecoveryPlan {
    std::uint64_t blockSize = 0;
    std::uint32_t dataBlocks = 0;
    std::uint32_t recoveryBlocks = 0;
    std::vector<RecoveryVolume> volumes;

    // The name of volume `index` of the set whose index file is `indexName`
    // ("BASE.par2"): "BASE.volNN+MM.par2".
    std::string volumeName(const std::string& indexName, std::size_t index) const;
    // How creating the recovery blocks goes when `memory` bytes may hold
    // them (see RecoveryControl::memory), the pieces being in memory already
    // or not (RecoveryControl::inputInMemory): BlockAccumulator::passesFor.
    EncodingShape encodingShape(std::int64_t memory, bool inputInMemory) const;
};

inline constexpr std::uint64_t kMaxBlockSize = 64 << 20;
inline constexpr std::uint32_t kMaxBlocks = 32768;

// The plan for pieces of `pieceLengths` bytes with `percent` (1 to 100) of
// recovery, with `blockSize`, or the rule above when it is 0. Pieces, a
// percentage or a block size outside the limits are ErrorKind::Refused.
Result<RecoveryPlan> planRecovery(const std::vector<std::int64_t>& pieceLengths, int percent,
                                  std::uint64_t blockSize = 0);

} // namespace shardix
