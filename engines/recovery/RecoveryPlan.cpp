#include "engines/recovery/RecoveryPlan.h"

#include "engines/recovery/BlockAccumulator.h"

#include <algorithm>

namespace shardix {

namespace {

constexpr std::uint64_t kTargetBlocks = 2000;
constexpr std::uint64_t kMinAutoBlockSize = 4096;

std::uint64_t roundUp4(std::uint64_t value) {
    return (value + 3) / 4 * 4;
}

std::uint64_t blocksFor(const std::vector<std::int64_t>& lengths, std::uint64_t blockSize) {
    std::uint64_t blocks = 0;
    for (std::int64_t length : lengths)
        blocks += (static_cast<std::uint64_t>(length) + blockSize - 1) / blockSize;
    return blocks;
}

std::string padded(std::uint64_t number, std::size_t digits) {
    std::string text = std::to_string(number);
    return std::string(digits > text.size() ? digits - text.size() : 0, '0') + text;
}

std::string sizeText(std::uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

[[noreturn]] void refuse(std::string message) {
    fail(Error::of(ErrorKind::Refused, std::move(message)));
}

// The lengths of the nonempty pieces, the only ones the set holds.
std::vector<std::int64_t> protectedLengths(const std::vector<std::int64_t>& pieceLengths) {
    std::vector<std::int64_t> lengths;
    for (std::int64_t length : pieceLengths) {
        if (length < 0)
            refuse("A piece cannot be " + std::to_string(length) + " bytes long.");
        if (length > 0)
            lengths.push_back(length);
    }
    if (lengths.empty())
        refuse("The pieces are empty: there is nothing to protect.");
    if (lengths.size() > kMaxBlocks)
        refuse("Recovery files can protect at most " + std::to_string(kMaxBlocks) +
               " pieces, not " + std::to_string(lengths.size()) + ".");
    return lengths;
}

void checkGivenBlockSize(std::uint64_t blockSize) {
    if (blockSize % 4 != 0 || blockSize > kMaxBlockSize)
        refuse("The block size must be a multiple of 4 of at most " + sizeText(kMaxBlockSize) +
               ", not " + sizeText(blockSize) + ".");
}

// The block size of the rule in RecoveryPlan.h, for nonempty pieces.
std::uint64_t automaticBlockSize(const std::vector<std::int64_t>& lengths) {
    const auto largest =
        static_cast<std::uint64_t>(*std::max_element(lengths.begin(), lengths.end()));
    const std::uint64_t perPiece =
        std::max<std::uint64_t>(1, (kTargetBlocks + lengths.size() / 2) / lengths.size());
    std::uint64_t blockSize = roundUp4((largest + perPiece - 1) / perPiece);
    blockSize = std::max(blockSize, std::min(kMinAutoBlockSize, roundUp4(largest)));
    blockSize = std::min(blockSize, kMaxBlockSize);
    if (blocksFor(lengths, blockSize) <= kMaxBlocks)
        return blockSize;
    // The smallest multiple of 4 that keeps to the limit.
    std::uint64_t low = blockSize, high = roundUp4(largest);
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 8 * 4;
        if (blocksFor(lengths, middle) <= kMaxBlocks)
            high = middle;
        else
            low = middle + 4;
    }
    return high;
}

// The plan of `blocks` data blocks of `blockSize`, with `percent` of
// recovery in volumes of 1, 2, 4, ... blocks.
RecoveryPlan planFor(std::uint64_t blockSize, std::uint32_t blocks, int percent) {
    RecoveryPlan plan;
    plan.blockSize = blockSize;
    plan.dataBlocks = blocks;
    plan.recoveryBlocks = static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(blocks) * static_cast<std::uint64_t>(percent) + 99) / 100);
    std::uint32_t first = 0;
    for (std::uint32_t count = 1; first < plan.recoveryBlocks; count *= 2) {
        const std::uint32_t taken = std::min(count, plan.recoveryBlocks - first);
        plan.volumes.push_back(RecoveryVolume{first, taken});
        first += taken;
    }
    return plan;
}

} // namespace

std::string RecoveryPlan::volumeName(const std::string& indexName, std::size_t index) const {
    std::string base = indexName;
    if (base.size() > 5 && base.compare(base.size() - 5, 5, ".par2") == 0)
        base.resize(base.size() - 5);
    std::uint32_t largest = 0;
    for (const RecoveryVolume& volume : volumes)
        largest = std::max(largest, volume.count);
    const RecoveryVolume& volume = volumes.at(index);
    return base + ".vol" + padded(volume.firstExponent, std::to_string(recoveryBlocks).size()) +
           "+" + padded(volume.count, std::to_string(largest).size()) + ".par2";
}

// A pass computes as many recovery blocks as the memory holds, with batches
// of the inputs they are worth, of at most kBatchBytes; when they all fit, in
// two passes where BlockAccumulator::passesFor says so.
EncodingShape RecoveryPlan::encodingShape(std::int64_t memory, bool inputInMemory) const {
    const std::uint64_t padded = par2::paddedSize(blockSize);
    const auto fit = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(std::max<std::int64_t>(memory, 0)) / padded, 1,
        std::max<std::uint32_t>(recoveryBlocks, 1)));
    const par2::BlockAccumulator::Passes passes =
        par2::BlockAccumulator::passesFor(fit, blockSize, inputInMemory && fit == recoveryBlocks);
    const auto perPass = static_cast<std::uint32_t>(passes.outputsPerPass);
    return {perPass, passes.batchBlocks, (recoveryBlocks + perPass - 1) / perPass,
            !inputInMemory || passes.overlap};
}

Result<RecoveryPlan> planRecovery(const std::vector<std::int64_t>& pieceLengths, int percent,
                                  std::uint64_t blockSize) {
    return guarded([&]() -> Result<RecoveryPlan> {
        if (percent < 1 || percent > 100)
            refuse("The recovery must be 1 to 100 percent, not " + std::to_string(percent) + ".");
        const std::vector<std::int64_t> lengths = protectedLengths(pieceLengths);
        if (blockSize == 0)
            blockSize = automaticBlockSize(lengths);
        else
            checkGivenBlockSize(blockSize);
        const std::uint64_t blocks = blocksFor(lengths, blockSize);
        if (blocks > kMaxBlocks)
            refuse("Blocks of " + sizeText(blockSize) + " would make " + std::to_string(blocks) +
                   " blocks, more than the " + std::to_string(kMaxBlocks) +
                   " that recovery files can have; choose larger blocks.");
        if (blockSize > kMaxBlockSize)
            refuse("The pieces are too large for recovery files: they would need blocks larger "
                   "than " +
                   sizeText(kMaxBlockSize) + ".");
        return planFor(blockSize, static_cast<std::uint32_t>(blocks), percent);
    });
}

} // namespace shardix
