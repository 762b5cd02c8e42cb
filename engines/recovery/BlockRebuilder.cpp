#include "engines/recovery/BlockRebuilder.h"

#include "engines/io/PositionedIo.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfMatrix.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <numeric>
#include <optional>
#include <random>

namespace shardix::par2 {

namespace {

constexpr std::size_t kBatchBytes = 16 << 20;
// Tries with other recovery blocks when the first ones chosen give equations
// that depend on each other.
constexpr int kSolveAttempts = 20;

// The first of `count` consecutive exponents among `exponents` (sorted,
// distinct), or none.
std::optional<std::uint32_t> consecutiveRun(const std::vector<std::uint32_t>& exponents,
                                            std::size_t count) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < exponents.size(); ++i) {
        if (i > 0 && exponents[i] != exponents[i - 1] + 1)
            start = i;
        if (i + 1 - start >= count)
            return exponents[start];
    }
    return std::nullopt;
}

} // namespace

std::vector<std::uint32_t> recoveryExponents(const RecoverySet& set) {
    std::vector<std::uint32_t> exponents;
    for (const RecoveryBlockAt& at : set.recovery)
        exponents.push_back(at.exponent);
    return exponents;
}

std::size_t maxSolvedByMatrix(std::int64_t memory) {
    // The inversion holds 6 N^2 bytes: the matrix beside the identity, and its result.
    return static_cast<std::size_t>(
        std::sqrt(static_cast<double>(std::max<std::int64_t>(memory, 0)) / 6));
}

std::string unsolvableWhy(std::vector<std::uint32_t> exponents, std::size_t missing,
                          std::int64_t memory) {
    std::sort(exponents.begin(), exponents.end());
    exponents.erase(std::unique(exponents.begin(), exponents.end()), exponents.end());
    const std::size_t most = maxSolvedByMatrix(memory);
    if (missing <= most || exponents.size() < missing || consecutiveRun(exponents, missing))
        return {};
    return "the recovery blocks at hand have gaps between their exponents, and this tool "
           "rebuilds at most " +
           std::to_string(most) + " missing blocks from such recovery blocks";
}

RebuildMemory planRebuildMemory(std::uint64_t blockSize, std::size_t intact, std::size_t missing,
                                std::int64_t memory, bool byMatrix) {
    RebuildMemory plan;
    // A row: its block, its factors, and by the matrix, its factors of the
    // intact blocks once more as the product's output.
    const std::size_t perRow =
        paddedSize(blockSize) + 2 * (intact + missing) + (byMatrix ? paddedSize(2 * intact) : 0);
    plan.rowsPerPass = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max<std::int64_t>(memory, 0)) / perRow, 1,
        std::max<std::size_t>(missing, 1));
    plan.passes = missing == 0 ? 1 : (missing + plan.rowsPerPass - 1) / plan.rowsPerPass;
    const std::size_t batch = BlockAccumulator::batchBlocksFor(blockSize, kBatchBytes);
    // The rows, two batches of input blocks with their prepared factors, and
    // the solver's tables of a few words per block.
    plan.bytes = plan.rowsPerPass * perRow + 2 * (batch * paddedSize(blockSize) + kPreparedBytes) +
                 16 * (intact + missing);
    // The inverse, and the intact blocks' factors in the recovery blocks two
    // batches at a time.
    if (byMatrix)
        plan.bytes += 2 * std::uint64_t{missing} * missing +
                      2 * (BlockAccumulator::batchBlocksFor(2 * intact, kBatchBytes) *
                               paddedSize(2 * intact) +
                           kPreparedBytes);
    return plan;
}

void BlockRebuilder::rebuild(std::vector<TempFile>& temps,
                             const std::vector<std::size_t>& damagedFiles) {
    listBlocks();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    if (count > 0 && !solveByRun())
        solveByMatrix();
    planPasses(damagedFiles);
    data_ = std::make_unique<BlockAccumulator>(
        kernel_, pool_, set_.blockSize,
        BlockAccumulator::batchBlocksFor(set_.blockSize, kBatchBytes));
    if (!solver_ && count > 0 && good > 0)
        factors_ = std::make_unique<BlockAccumulator>(
            kernel_, pool_, 2 * good, BlockAccumulator::batchBlocksFor(2 * good, kBatchBytes));
    isDamaged_.assign(set_.files.size(), 0);
    for (std::size_t f : damagedFiles)
        isDamaged_[f] = 1;

    const std::size_t width = good + count;
    for (std::size_t first = 0, pass = 0; pass < passes_; first += group_, ++pass) {
        const std::size_t rows = count == 0 ? 0 : std::min(group_, count - first);
        if (rows > 0)
            computeRowFactors(first, rows);
        data_->begin(rows, [this, width](std::uint32_t tag, std::size_t j) {
            return rowFactors_[j * width + tag];
        });
        // Those of damaged files are also copied into place on the first pass.
        addIntactBlocks(pass == 0, rows > 0, temps);
        if (rows == 0)
            break;
        addRecoveryBlocks();
        data_->end();
        writeRebuilt(first, rows, temps);
    }
}

void BlockRebuilder::listBlocks() {
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
        const SetFile& file = set_.files[f];
        for (std::uint32_t b = 0; b < file.checks.size(); ++b) {
            if (checks_[f].good[b]) {
                goodConstants_.push_back(file.firstConstant + b);
                goodPlaces_.push_back(BlockPlace{f, b});
            } else {
                missing_.push_back(file.firstConstant + b);
                missingPlaces_.push_back(BlockPlace{f, b});
            }
        }
    }
}

// As many recovery blocks as blocks are missing, of consecutive exponents,
// when the set has them; false when it has not.
bool BlockRebuilder::solveByRun() {
    std::vector<std::uint32_t> exponents = recoveryExponents(set_);
    std::sort(exponents.begin(), exponents.end());
    exponents.erase(std::unique(exponents.begin(), exponents.end()), exponents.end());
    const std::optional<std::uint32_t> first = consecutiveRun(exponents, missing_.size());
    if (!first)
        return false;
    recoveryUsed_.clear();
    exponents_.clear();
    for (std::uint32_t e = *first; e < *first + missing_.size(); ++e) {
        // The first copy of each exponent.
        for (std::size_t r = 0; r < set_.recovery.size(); ++r) {
            if (set_.recovery[r].exponent == e) {
                recoveryUsed_.push_back(r);
                exponents_.push_back(e);
                break;
            }
        }
    }
    solver_ = std::make_unique<VandermondeSolver>(missing_, goodConstants_, *first, pool_);
    return true;
}

// Chooses as many recovery blocks as blocks are missing and inverts the
// matrix of their factors for the missing blocks; other choices when one
// gives equations that depend on each other.
void BlockRebuilder::solveByMatrix() {
    if (missing_.size() > maxSolvedByMatrix(control_.memory))
        fail(
            Error::of(ErrorKind::Refused,
                      std::to_string(missing_.size()) + " blocks are missing, and " +
                          unsolvableWhy(recoveryExponents(set_), missing_.size(), control_.memory) +
                          ". Nothing was changed.",
                      opened_.shownIndex()));
    std::vector<std::size_t> candidates(set_.recovery.size());
    std::iota(candidates.begin(), candidates.end(), std::size_t{0});
    std::mt19937 random(1);
    for (int attempt = 0; attempt < kSolveAttempts; ++attempt) {
        if (attempt > 0) {
            if (candidates.size() == missing_.size())
                break;
            std::shuffle(candidates.begin(), candidates.end(), random);
        }
        if (trySolve(candidates))
            return;
    }
    fail(Error::of(ErrorKind::Refused,
                   "The recovery blocks at hand cannot rebuild the missing ones: their equations "
                   "depend on each other. Nothing was changed.",
                   opened_.shownIndex()));
}

// With the first of `candidates`.
bool BlockRebuilder::trySolve(const std::vector<std::size_t>& candidates) {
    const Gf16& gf = gf16();
    const std::size_t count = missing_.size();
    recoveryUsed_.assign(candidates.begin(),
                         candidates.begin() + static_cast<std::ptrdiff_t>(count));
    std::sort(recoveryUsed_.begin(), recoveryUsed_.end());
    exponents_.clear();
    for (std::size_t r : recoveryUsed_)
        exponents_.push_back(set_.recovery[r].exponent);
    inverse_.assign(count * count, 0);
    for (std::size_t r = 0; r < count; ++r)
        for (std::size_t k = 0; k < count; ++k)
            inverse_[r * count + k] = gf.inputFactor(missing_[k], exponents_[r]);
    return invertMatrix(kernel_, pool_, inverse_, count);
}

// Rows of missing blocks per pass, within the memory allowed for the
// rebuilt blocks and their factors.
void BlockRebuilder::planPasses(const std::vector<std::size_t>& damagedFiles) {
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    const RebuildMemory plan =
        planRebuildMemory(set_.blockSize, good, count, control_.memory, !solver_);
    group_ = plan.rowsPerPass;
    passes_ = plan.passes;
    for (std::size_t f : damagedFiles)
        progress_.addTotal(static_cast<std::int64_t>(set_.files[f].description.length));
    progress_.addTotal(static_cast<std::int64_t>(passes_ * (good + count) * set_.blockSize));
}

// The factors of rows [first, first + rows) into rowFactors_.
void BlockRebuilder::computeRowFactors(std::size_t first, std::size_t rows) {
    const std::size_t width = goodConstants_.size() + missing_.size();
    rowFactors_.resize(rows * width);
    if (!solver_) {
        computeMatrixRowFactors(first, rows);
        return;
    }
    pool_.run(rows, [this, first, width](std::size_t j, unsigned) {
        solver_->rowFactors(first + j, rowFactors_.data() + j * width);
    });
}

// By the inverse: its rows give the recovery blocks' factors, and times the
// factors of the intact blocks in the chosen recovery blocks, those of the
// intact blocks.
void BlockRebuilder::computeMatrixRowFactors(std::size_t first, std::size_t rows) {
    const Gf16& gf = gf16();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    const std::size_t width = good + count;
    for (std::size_t j = 0; j < rows; ++j)
        for (std::size_t r = 0; r < count; ++r)
            rowFactors_[j * width + good + r] = inverse_[(first + j) * count + r];
    if (!factors_)
        return;
    factors_->begin(rows, [this, first, count](std::uint32_t r, std::size_t j) {
        return inverse_[(first + j) * count + r];
    });
    for (std::size_t r = 0; r < count; ++r) {
        std::uint8_t* row = factors_->inputBuffer();
        for (std::size_t i = 0; i < good; ++i) {
            const std::uint16_t factor = gf.inputFactor(goodConstants_[i], exponents_[r]);
            row[2 * i] = static_cast<std::uint8_t>(factor);
            row[2 * i + 1] = static_cast<std::uint8_t>(factor >> 8);
        }
        factors_->add(static_cast<std::uint32_t>(r), 2 * good);
    }
    factors_->end();
    for (std::size_t j = 0; j < rows; ++j)
        for (std::size_t i = 0; i < good; ++i)
            rowFactors_[j * width + i] = wordAt(GfLayout::Words, factors_->output(j), i);
}

// The intact data blocks, file by file: added to the pass's rows when
// `accumulate`, and on the `firstPass` those of damaged files copied into place.
void BlockRebuilder::addIntactBlocks(bool firstPass, bool accumulate,
                                     std::vector<TempFile>& temps) {
    FileHandle fd;
    std::size_t open = SIZE_MAX;
    for (std::size_t i = 0; i < goodPlaces_.size(); ++i) {
        if (control_.stopRequested())
            fail(stoppedRepair());
        const BlockPlace place = goodPlaces_[i];
        const auto copy = checks_[place.file].elsewhere.find(place.block);
        const bool inPlace = copy == checks_[place.file].elsewhere.end();
        if (inPlace && open != place.file) {
            fd = openIntact(place.file);
            open = place.file;
        }
        std::uint8_t* bytes = data_->inputBuffer();
        const std::size_t wanted =
            inPlace ? readIntact(fd, place, bytes) : readCopy(copy->second, place, bytes);
        if (firstPass && isDamaged_[place.file])
            raiseOnFailure(temps[place.file].writeAt(offsetOf(place), bytes, wanted));
        if (accumulate)
            data_->add(static_cast<std::uint32_t>(i), wanted);
        progress_.add(static_cast<std::int64_t>(set_.blockSize));
        progress_.report();
    }
}

FileHandle BlockRebuilder::openIntact(std::size_t file) const {
    FileHandle fd = valueOrRaise(opened_.folder.openForReading(set_.files[file].description.name));
    ::posix_fadvise(fd.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// Reads the intact block at `place` into `bytes`; its length.
std::size_t BlockRebuilder::readIntact(const FileHandle& fd, BlockPlace place,
                                       std::uint8_t* bytes) const {
    const SetFile& file = set_.files[place.file];
    const auto wanted = static_cast<std::size_t>(opened_.blockLength(file, place.block));
    return readBlock(fd, offsetOf(place), wanted, bytes,
                     opened_.folder.display(file.description.name));
}

// Reads the block at `place` from its `copy` elsewhere into `bytes`; its length.
std::size_t BlockRebuilder::readCopy(const BlockCopy& copy, BlockPlace place, std::uint8_t* bytes) {
    const std::string shown = copy.inFolder ? opened_.folder.display(copy.file) : copy.file;
    auto& fd = copies_[{copy.inFolder, copy.file}];
    if (!fd.isOpen())
        fd = valueOrRaise(retold(copy.inFolder ? opened_.folder.openForReading(copy.file)
                                               : openNamedFile(copy.file),
                                 "read", shown));
    const SetFile& file = set_.files[place.file];
    const auto wanted = static_cast<std::size_t>(opened_.blockLength(file, place.block));
    return readBlock(fd, static_cast<std::int64_t>(copy.offset), wanted, bytes, shown);
}

std::size_t BlockRebuilder::readBlock(const FileHandle& fd, std::int64_t offset, std::size_t wanted,
                                      std::uint8_t* bytes, const std::string& shown) const {
    if (valueOrRaise(retold(readAt(fd, offset, bytes, wanted), "read", shown)) == wanted)
        return wanted;
    fail(Error::of(ErrorKind::InputPastEnd,
                   shardix::quoted(shown) +
                       " became shorter during the repair. Nothing was changed."));
}

// The chosen recovery blocks.
void BlockRebuilder::addRecoveryBlocks() {
    const std::size_t good = goodConstants_.size();
    for (std::size_t r = 0; r < recoveryUsed_.size(); ++r) {
        if (control_.stopRequested())
            fail(stoppedRepair());
        const RecoveryBlockAt& at = set_.recovery[recoveryUsed_[r]];
        const std::string shown = opened_.folder.display(opened_.sourceNames[at.source]);
        if (valueOrRaise(retold(readAt(opened_.sourceFds[at.source], at.dataOffset,
                                       data_->inputBuffer(), set_.blockSize),
                                "read", shown)) != set_.blockSize)
            fail(Error::fromErrno(EIO, "read", shown));
        data_->add(static_cast<std::uint32_t>(good + r), set_.blockSize);
        progress_.add(static_cast<std::int64_t>(set_.blockSize));
        progress_.report();
    }
}

// Rows [first, first + rows) of the missing blocks, computed, into their files.
void BlockRebuilder::writeRebuilt(std::size_t first, std::size_t rows,
                                  std::vector<TempFile>& temps) const {
    for (std::size_t j = 0; j < rows; ++j) {
        const BlockPlace place = missingPlaces_[first + j];
        const SetFile& file = set_.files[place.file];
        raiseOnFailure(temps[place.file].writeAt(offsetOf(place), data_->output(j),
                                                 opened_.blockLength(file, place.block)));
    }
}

} // namespace shardix::par2
