#include "engines/recovery/BlockRebuilder.h"

#include "engines/io/PositionedIo.h"
#include "engines/io/Residency.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfMatrix.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

// A batch of input blocks this small is held twice whatever: see rebuild().
constexpr std::size_t kSmallBatch = 4 << 20;

} // namespace

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
    const std::size_t batch = BlockAccumulator::batchBlocksFor(
        blockSize, kBatchBytes, BlockAccumulator::inputsWorthFor(plan.rowsPerPass, blockSize));
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

Result<> BlockRebuilder::rebuild(std::vector<TempFile>& temps,
                                 const std::vector<std::size_t>& damagedFiles) {
    listBlocks();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    if (count > 0) {
        const Result<bool> byRun = solveByRun();
        if (!byRun.ok())
            return byRun.error();
        if (!*byRun) {
            if (Result<> byMatrix = solveByMatrix(); !byMatrix.ok())
                return byMatrix;
        }
    }
    const bool inMemory = intactInMemory();
    planPasses(damagedFiles, inMemory);
    data_ = std::make_unique<BlockAccumulator>(kernel_, pool_, set_.blockSize, batch_, overlap_);
    if (!solver_ && count > 0 && good > 0)
        factors_ = std::make_unique<BlockAccumulator>(
            kernel_, pool_, 2 * good, BlockAccumulator::batchBlocksFor(2 * good, kBatchBytes));
    isDamaged_.assign(set_.files.size(), 0);
    for (std::size_t f : damagedFiles)
        isDamaged_[f] = 1;
    for (std::size_t first = 0, pass = 0; pass < passes_; first += group_, ++pass) {
        if (Result<> done = rebuildPass(first, pass, temps); !done.ok())
            return done;
        if (count == 0)
            break;
    }
    return {};
}

// Pass `pass`: the rows from `first` on.
Result<> BlockRebuilder::rebuildPass(std::size_t first, std::size_t pass,
                                     std::vector<TempFile>& temps) {
    const std::size_t count = missing_.size();
    const std::size_t width = goodConstants_.size() + count;
    const std::size_t rows = count == 0 ? 0 : std::min(group_, count - first);
    if (rows > 0) {
        if (Result<> factors = computeRowFactors(first, rows); !factors.ok())
            return factors;
    }
    Result<> begun = data_->begin(rows, [this, width](std::uint32_t tag, std::size_t j) {
        return rowFactors_[j * width + tag];
    });
    if (!begun.ok())
        return begun;
    // Those of damaged files are also copied into place on the first pass.
    if (Result<> intact = addIntactBlocks(pass == 0, rows > 0, temps); !intact.ok())
        return intact;
    if (rows == 0)
        return {};
    if (Result<> recovery = addRecoveryBlocks(); !recovery.ok())
        return recovery;
    if (Result<> ended = data_->end(); !ended.ok())
        return ended;
    return writeRebuilt(first, rows, temps);
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

// Rows of missing blocks per pass, within the memory allowed for the
// rebuilt blocks and their factors; when they all fit, in two passes where
// BlockAccumulator::passesFor says so.
void BlockRebuilder::planPasses(const std::vector<std::size_t>& damagedFiles, bool inMemory) {
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    const RebuildMemory plan =
        planRebuildMemory(set_.blockSize, good, count, control_.memory, !solver_);
    const BlockAccumulator::Passes passes = BlockAccumulator::passesFor(
        plan.rowsPerPass, set_.blockSize, inMemory && plan.passes == 1 && count > 0);
    group_ = passes.outputsPerPass;
    passes_ = count == 0 ? 1 : (count + group_ - 1) / group_;
    batch_ = passes.batchBlocks;
    // The blocks are read on the thread that fills a batch: a second batch,
    // filled while the pool computes the first, hides those reads. Besides
    // where passesFor() takes one, it is left out only where it would hold
    // much memory.
    overlap_ = passes.overlap || batch_ * paddedSize(set_.blockSize) <= kSmallBatch || !inMemory;
    for (std::size_t f : damagedFiles)
        progress_.addTotal(static_cast<std::int64_t>(set_.files[f].description.length));
    progress_.addTotal(static_cast<std::int64_t>(passes_ * (good + count) * set_.blockSize));
}

// The factors of rows [first, first + rows) into rowFactors_.
Result<> BlockRebuilder::computeRowFactors(std::size_t first, std::size_t rows) {
    const std::size_t width = goodConstants_.size() + missing_.size();
    rowFactors_.resize(rows * width);
    if (!solver_)
        return computeMatrixRowFactors(first, rows);
    return pool_.run(rows, [this, first, width](std::size_t j, unsigned) -> Result<> {
        solver_->rowFactors(first + j, rowFactors_.data() + j * width);
        return {};
    });
}

// By the inverse: its rows give the recovery blocks' factors, and times the
// factors of the intact blocks in the chosen recovery blocks, those of the
// intact blocks.
Result<> BlockRebuilder::computeMatrixRowFactors(std::size_t first, std::size_t rows) {
    const Gf16& gf = gf16();
    const std::size_t count = missing_.size();
    const std::size_t good = goodConstants_.size();
    const std::size_t width = good + count;
    for (std::size_t j = 0; j < rows; ++j)
        for (std::size_t r = 0; r < count; ++r)
            rowFactors_[j * width + good + r] = inverse_[(first + j) * count + r];
    if (!factors_)
        return {};
    Result<> begun = factors_->begin(rows, [this, first, count](std::uint32_t r, std::size_t j) {
        return inverse_[(first + j) * count + r];
    });
    if (!begun.ok())
        return begun;
    for (std::size_t r = 0; r < count; ++r) {
        std::uint8_t* row = factors_->inputBuffer();
        for (std::size_t i = 0; i < good; ++i) {
            const std::uint16_t factor = gf.inputFactor(goodConstants_[i], exponents_[r]);
            row[2 * i] = static_cast<std::uint8_t>(factor);
            row[2 * i + 1] = static_cast<std::uint8_t>(factor >> 8);
        }
        if (Result<> added = factors_->add(static_cast<std::uint32_t>(r), 2 * good); !added.ok())
            return added;
    }
    if (Result<> ended = factors_->end(); !ended.ok())
        return ended;
    for (std::size_t j = 0; j < rows; ++j)
        for (std::size_t i = 0; i < good; ++i)
            rowFactors_[j * width + i] = wordAt(GfLayout::Words, factors_->output(j), i);
    return {};
}

// The intact data blocks, file by file: added to the pass's rows when
// `accumulate`, and on the `firstPass` those of damaged files copied into place.
Result<> BlockRebuilder::addIntactBlocks(bool firstPass, bool accumulate,
                                         std::vector<TempFile>& temps) {
    IntactFile open;
    for (std::size_t i = 0; i < goodPlaces_.size(); ++i) {
        if (control_.stopRequested())
            return stoppedRepair();
        if (Result<> added = addIntactBlock(i, firstPass, accumulate, temps, open); !added.ok())
            return added;
        progress_.add(static_cast<std::int64_t>(set_.blockSize));
        progress_.report();
    }
    return {};
}

// Intact block `i`, read from its place (in `open`'s file) or a copy elsewhere.
Result<> BlockRebuilder::addIntactBlock(std::size_t i, bool firstPass, bool accumulate,
                                        std::vector<TempFile>& temps, IntactFile& open) {
    const BlockPlace place = goodPlaces_[i];
    const auto copy = checks_[place.file].elsewhere.find(place.block);
    const bool inPlace = copy == checks_[place.file].elsewhere.end();
    if (inPlace && open.file != place.file) {
        Result<FileHandle> fd = openIntact(place.file);
        if (!fd.ok())
            return fd.error();
        open.fd = std::move(fd).value();
        open.file = place.file;
    }
    std::uint8_t* bytes = data_->inputBuffer();
    const Result<std::size_t> wanted =
        inPlace ? readIntact(open.fd, place, bytes) : readCopy(copy->second, place, bytes);
    if (!wanted.ok())
        return wanted.error();
    if (firstPass && isDamaged_[place.file]) {
        if (Result<> copied = temps[place.file].writeAt(offsetOf(place), bytes, *wanted);
            !copied.ok())
            return copied;
    }
    if (accumulate)
        return data_->add(static_cast<std::uint32_t>(i), *wanted);
    return {};
}

// Whether every intact block is in its place in a file that is in the page
// cache (as verification leaves the files it has just read, unless they are
// larger than the memory): no read of them then waits for a disk.
bool BlockRebuilder::intactInMemory() const {
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
        if (checks_[f].goodCount == 0)
            continue;
        if (!checks_[f].elsewhere.empty())
            return false;
        // A file cut short holds its intact blocks in what is left of it.
        const Result<FileHandle> fd = openIntact(f);
        struct stat info {};
        if (!fd.ok() || ::fstat(fd->fd(), &info) != 0 ||
            !isResident(
                fd->fd(), 0,
                std::min<std::int64_t>(
                    info.st_size, static_cast<std::int64_t>(set_.files[f].description.length))))
            return false;
    }
    return true;
}

Result<FileHandle> BlockRebuilder::openIntact(std::size_t file) const {
    Result<FileHandle> fd = opened_.folder.openForReading(set_.files[file].description.name);
    if (fd.ok())
        ::posix_fadvise(fd->fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// Reads the intact block at `place` into `bytes`; its length.
Result<std::size_t> BlockRebuilder::readIntact(const FileHandle& fd, BlockPlace place,
                                               std::uint8_t* bytes) const {
    const SetFile& file = set_.files[place.file];
    const auto wanted = static_cast<std::size_t>(opened_.blockLength(file, place.block));
    return readBlock(fd, offsetOf(place), wanted, bytes,
                     opened_.folder.display(file.description.name));
}

// Reads the block at `place` from its `copy` elsewhere into `bytes`; its length.
Result<std::size_t> BlockRebuilder::readCopy(const BlockCopy& copy, BlockPlace place,
                                             std::uint8_t* bytes) {
    const std::string shown = copy.inFolder ? opened_.folder.display(copy.file) : copy.file;
    auto& fd = copies_[{copy.inFolder, copy.file}];
    if (!fd.isOpen()) {
        Result<FileHandle> opened = retold(copy.inFolder ? opened_.folder.openForReading(copy.file)
                                                         : openNamedFile(copy.file),
                                           "read", shown);
        if (!opened.ok())
            return opened.error();
        fd = std::move(opened).value();
    }
    const SetFile& file = set_.files[place.file];
    const auto wanted = static_cast<std::size_t>(opened_.blockLength(file, place.block));
    return readBlock(fd, static_cast<std::int64_t>(copy.offset), wanted, bytes, shown);
}

Result<std::size_t> BlockRebuilder::readBlock(const FileHandle& fd, std::int64_t offset,
                                              std::size_t wanted, std::uint8_t* bytes,
                                              const std::string& shown) const {
    const Result<std::size_t> got = retold(readAt(fd, offset, bytes, wanted), "read", shown);
    if (!got.ok() || *got == wanted)
        return got;
    return Error::of(ErrorKind::InputPastEnd,
                     shardix::quoted(shown) +
                         " became shorter during the repair. Nothing was changed.");
}

// The chosen recovery blocks.
Result<> BlockRebuilder::addRecoveryBlocks() {
    const std::size_t good = goodConstants_.size();
    for (std::size_t r = 0; r < recoveryUsed_.size(); ++r) {
        if (control_.stopRequested())
            return stoppedRepair();
        const RecoveryBlockAt& at = set_.recovery[recoveryUsed_[r]];
        const std::string shown = opened_.folder.display(opened_.sourceNames[at.source]);
        const Result<std::size_t> got = retold(readAt(opened_.sourceFds[at.source], at.dataOffset,
                                                      data_->inputBuffer(), set_.blockSize),
                                               "read", shown);
        if (!got.ok())
            return got.error();
        if (*got != set_.blockSize)
            return Error::fromErrno(EIO, "read", shown);
        if (Result<> added = data_->add(static_cast<std::uint32_t>(good + r), set_.blockSize);
            !added.ok())
            return added;
        progress_.add(static_cast<std::int64_t>(set_.blockSize));
        progress_.report();
    }
    return {};
}

// Rows [first, first + rows) of the missing blocks, computed, into their files.
Result<> BlockRebuilder::writeRebuilt(std::size_t first, std::size_t rows,
                                      std::vector<TempFile>& temps) const {
    for (std::size_t j = 0; j < rows; ++j) {
        const BlockPlace place = missingPlaces_[first + j];
        const SetFile& file = set_.files[place.file];
        Result<> written = temps[place.file].writeAt(offsetOf(place), data_->output(j),
                                                     opened_.blockLength(file, place.block));
        if (!written.ok())
            return written;
    }
    return {};
}

} // namespace shardix::par2
