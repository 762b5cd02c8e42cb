#pragma once

#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/GfVandermonde.h"
#include "engines/recovery/RepairSession.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace shardix::par2 {

// The missing blocks rebuilt per pass over the intact ones, the passes, and
// the bytes the rebuild holds at most, for `missing` blocks of `blockSize`
// computed from `intact` others and the recovery blocks within `memory` for
// the rows; `byMatrix` when the recovery blocks' exponents are not
// consecutive and the system is solved by inverting its matrix.
struct RebuildMemory {
    std::size_t rowsPerPass = 1;
    std::size_t passes = 1;
    std::uint64_t bytes = 0;
};
RebuildMemory planRebuildMemory(std::uint64_t blockSize, std::size_t intact, std::size_t missing,
                                std::int64_t memory, bool byMatrix);
// The most missing blocks solved by inverting their matrix within `memory`.
std::size_t maxSolvedByMatrix(std::int64_t memory);
// Why `missing` blocks cannot be rebuilt from recovery blocks of `exponents`
// within `memory` although there are enough of them: no run of consecutive
// exponents is long enough, and the matrix of the others would be too large
// ("the recovery blocks at hand have gaps ..."); empty when they can.
std::string unsolvableWhy(std::vector<std::uint32_t> exponents, std::size_t missing,
                          std::int64_t memory);
// The exponents of the set's recovery blocks at hand.
std::vector<std::uint32_t> recoveryExponents(const RecoverySet& set);

// Writes every block of the damaged files of a set into their temporary
// files: the intact ones copied, the missing ones computed from all intact
// data blocks and as many recovery blocks, a group of missing blocks per
// pass over the intact ones. Recovery blocks of consecutive exponents are
// preferred (GfVandermonde.h: any number of missing blocks, no matrix);
// others need the inverse of their matrix, which bounds their number.
class BlockRebuilder {
  public:
    BlockRebuilder(const OpenedSet& opened, const std::vector<FileCheck>& checks,
                   const GfKernel& kernel, WorkerPool& pool, ProgressMeter& progress,
                   const RecoveryControl& control)
        : opened_(opened), set_(opened.set), checks_(checks), kernel_(kernel), pool_(pool),
          progress_(progress), control_(control) {}

    // `temps` by file, those of `damagedFiles` created at their lengths.
    Result<> rebuild(std::vector<TempFile>& temps, const std::vector<std::size_t>& damagedFiles);

  private:
    // A data block of a file: which file, which of its blocks.
    struct BlockPlace {
        std::size_t file = 0;
        std::uint32_t block = 0;
    };
    // The file of the intact blocks being read, opened.
    struct IntactFile {
        FileHandle fd;
        std::size_t file = SIZE_MAX;
    };

    void listBlocks();
    Result<bool> solveByRun();
    Result<> solveByMatrix();
    Result<bool> trySolve(const std::vector<std::size_t>& candidates);
    void planPasses(const std::vector<std::size_t>& damagedFiles, bool inMemory);
    Result<> rebuildPass(std::size_t first, std::size_t pass, std::vector<TempFile>& temps);
    Result<> computeRowFactors(std::size_t first, std::size_t rows);
    Result<> computeMatrixRowFactors(std::size_t first, std::size_t rows);
    Result<> addIntactBlocks(bool firstPass, bool accumulate, std::vector<TempFile>& temps);
    Result<> addIntactBlock(std::size_t i, bool firstPass, bool accumulate,
                            std::vector<TempFile>& temps, IntactFile& open);
    bool intactInMemory() const;
    Result<FileHandle> openIntact(std::size_t file) const;
    Result<std::size_t> readIntact(const FileHandle& fd, BlockPlace place,
                                   std::uint8_t* bytes) const;
    Result<std::size_t> readCopy(const BlockCopy& copy, BlockPlace place, std::uint8_t* bytes);
    Result<std::size_t> readBlock(const FileHandle& fd, std::int64_t offset, std::size_t wanted,
                                  std::uint8_t* bytes, const std::string& shown) const;
    Result<> addRecoveryBlocks();
    Result<> writeRebuilt(std::size_t first, std::size_t rows, std::vector<TempFile>& temps) const;
    std::int64_t offsetOf(BlockPlace place) const {
        return static_cast<std::int64_t>(place.block * set_.blockSize);
    }

    const OpenedSet& opened_;
    const RecoverySet& set_;
    const std::vector<FileCheck>& checks_;
    const GfKernel& kernel_;
    WorkerPool& pool_;
    ProgressMeter& progress_;
    const RecoveryControl& control_;

    // The blocks: missing ones by constant index and place, intact ones likewise.
    std::vector<std::uint32_t> missing_;
    std::vector<BlockPlace> missingPlaces_;
    std::vector<std::uint32_t> goodConstants_;
    std::vector<BlockPlace> goodPlaces_;
    std::vector<char> isDamaged_; // by file
    // The files that hold blocks away from their places, opened.
    std::map<std::pair<bool, std::string>, FileHandle> copies_;
    // The recovery blocks chosen, their exponents, and either the solver of
    // consecutive ones or the inverse of the matrix of their factors for the
    // missing blocks.
    std::vector<std::size_t> recoveryUsed_;
    std::vector<std::uint32_t> exponents_;
    std::unique_ptr<VandermondeSolver> solver_;
    std::vector<std::uint16_t> inverse_;
    // Missing blocks rebuilt per pass, the passes, input blocks per batch.
    std::size_t group_ = 1;
    std::size_t passes_ = 1;
    std::size_t batch_ = 1;
    bool overlap_ = true; // two batches, one filled while the other is computed
    // The factors of the rows of this pass: of the intact blocks, then of
    // the recovery blocks used, row after row.
    std::vector<std::uint16_t> rowFactors_;
    // Last, so that they are gone (their work done) before what their work reads.
    std::unique_ptr<BlockAccumulator> factors_;
    std::unique_ptr<BlockAccumulator> data_;
};

} // namespace shardix::par2
