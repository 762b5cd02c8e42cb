#include "engines/recovery/BlockRebuilder.h"

#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfMatrix.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <numeric>
#include <random>

namespace shardix::par2 {

namespace {

constexpr std::size_t kBatchBytes = 32 << 20;
// Tries with other recovery blocks when the first ones chosen give equations
// that depend on each other.
constexpr int kSolveAttempts = 20;
// The most missing blocks rebuilt at once: solving for N of them takes about
// 6 N^2 bytes, within the memory the tool allows itself.
constexpr std::size_t kMaxSolved = 6000;

} // namespace

void BlockRebuilder::rebuild(std::vector<TempFile>& temps,
                             const std::vector<std::size_t>& damagedFiles) {
    listBlocks();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    if (count > kMaxSolved)
        fail(Error::of(ErrorKind::Refused,
                       std::to_string(count) + " blocks are missing; this tool rebuilds at most " +
                           std::to_string(kMaxSolved) + " at once. Nothing was changed.",
                       opened_.shownIndex()));
    if (count > 0)
        solve();
    planPasses(damagedFiles);
    data_ = std::make_unique<BlockAccumulator>(
        kernel_, pool_, set_.blockSize,
        BlockAccumulator::batchBlocksFor(set_.blockSize, kBatchBytes));
    if (count > 0 && good > 0)
        factors_ = std::make_unique<BlockAccumulator>(
            kernel_, pool_, 2 * good, BlockAccumulator::batchBlocksFor(2 * good, kBatchBytes));
    isDamaged_.assign(set_.files.size(), 0);
    for (std::size_t f : damagedFiles)
        isDamaged_[f] = 1;

    for (std::size_t first = 0, pass = 0; pass < passes_; first += group_, ++pass) {
        const std::size_t rows = count == 0 ? 0 : std::min(group_, count - first);
        if (factors_ && rows > 0)
            computeRowFactors(first, rows);
        data_->begin(rows,
                     [this, first, good, count](std::uint32_t tag, std::size_t j) -> std::uint16_t {
                         if (tag < good)
                             return rowFactors_[j * good + tag];
                         return inverse_[(first + j) * count + (tag - good)];
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

// Chooses as many recovery blocks as blocks are missing and inverts the
// matrix of their factors for the missing blocks; other choices when one
// gives equations that depend on each other.
void BlockRebuilder::solve() {
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
    const std::size_t perRow = paddedSize(set_.blockSize) + paddedSize(2 * good);
    group_ = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max<std::int64_t>(control_.memory, 0)) / perRow, 1,
        std::max<std::size_t>(count, 1));
    passes_ = count == 0 ? 1 : (count + group_ - 1) / group_;
    for (std::size_t f : damagedFiles)
        progress_.addTotal(static_cast<std::int64_t>(set_.files[f].description.length));
    progress_.addTotal(static_cast<std::int64_t>(passes_ * (good + count) * set_.blockSize));
}

// The factors of the intact data blocks in rows [first, first + rows): the
// inverse's rows times the factors of the intact blocks in the chosen
// recovery blocks.
void BlockRebuilder::computeRowFactors(std::size_t first, std::size_t rows) {
    const Gf16& gf = gf16();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
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
    rowFactors_.resize(rows * good);
    for (std::size_t j = 0; j < rows; ++j)
        for (std::size_t i = 0; i < good; ++i)
            rowFactors_[j * good + i] = wordAt(GfLayout::Words, factors_->output(j), i);
}

// The intact data blocks, file by file: added to the pass's rows when
// `accumulate`, and on the `firstPass` those of damaged files copied into place.
void BlockRebuilder::addIntactBlocks(bool firstPass, bool accumulate,
                                     std::vector<TempFile>& temps) {
    Fd fd;
    std::size_t open = SIZE_MAX;
    for (std::size_t i = 0; i < goodPlaces_.size(); ++i) {
        if (control_.stopRequested())
            fail(stoppedRepair());
        const BlockPlace place = goodPlaces_[i];
        if (open != place.file) {
            fd = openIntact(place.file);
            open = place.file;
        }
        std::uint8_t* bytes = data_->inputBuffer();
        const std::size_t wanted = readIntact(fd, place, bytes);
        if (firstPass && isDamaged_[place.file])
            temps[place.file].writeAt(offsetOf(place), bytes, wanted);
        if (accumulate)
            data_->add(static_cast<std::uint32_t>(i), wanted);
        progress_.add(static_cast<std::int64_t>(set_.blockSize));
        progress_.report();
    }
}

Fd BlockRebuilder::openIntact(std::size_t file) const {
    const std::string& name = set_.files[file].description.name;
    Fd fd;
    if (const int error = opened_.folder.openForReading(name, fd))
        fail(openError(error, opened_.folder.display(name)));
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// Reads the intact block at `place` into `bytes`; its length.
std::size_t BlockRebuilder::readIntact(const Fd& fd, BlockPlace place, std::uint8_t* bytes) const {
    const SetFile& file = set_.files[place.file];
    const auto wanted = static_cast<std::size_t>(opened_.blockLength(file, place.block));
    const std::int64_t got = readAt(fd.get(), offsetOf(place), bytes, wanted);
    if (got == static_cast<std::int64_t>(wanted))
        return wanted;
    const int error = errno;
    const std::string shown = opened_.folder.display(file.description.name);
    if (got < 0)
        fail(systemError(error, "read", shown));
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
        const std::int64_t got = readAt(opened_.sourceFds[at.source].get(), at.dataOffset,
                                        data_->inputBuffer(), set_.blockSize);
        if (got != static_cast<std::int64_t>(set_.blockSize))
            fail(systemError(got < 0 ? errno : EIO, "read",
                             opened_.folder.display(opened_.sourceNames[at.source])));
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
        temps[place.file].writeAt(offsetOf(place), data_->output(j),
                                  opened_.blockLength(file, place.block));
    }
}

} // namespace shardix::par2
