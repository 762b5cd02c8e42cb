#pragma once

#include "engines/recovery/GfKernel.h"
#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace shardix::par2 {

// Memory for blocks, aligned for the vector units.
struct AlignedFree {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};
using AlignedBytes = std::unique_ptr<std::uint8_t[], AlignedFree>;
AlignedBytes allocateAligned(std::size_t bytes);

// The most input blocks in a batch: each output block is read and written
// once per batch, and the more inputs it takes at a time, the less often.
// (Where passesFor() halves the outputs, a batch takes twice as many.)
inline constexpr std::size_t kMaxBatchBlocks = 32;
// The input blocks of a batch take at most this much memory (twice where the
// one being filled and the one being computed overlap).
inline constexpr std::size_t kBatchBytes = 16 << 20;
// Output blocks beyond this many bytes are taken not to stay in the
// processor's last cache between two batches.
inline constexpr std::size_t kCachedOutputs = 32 << 20;
// The most memory that a batch's prepared factors take.
inline constexpr std::size_t kPreparedBytes = 8 << 20;

// The bytes a block of `blockSize` takes in memory: rounded up to kBlockAlign.
std::size_t paddedSize(std::uint64_t blockSize);

// Adds input blocks into a group of output blocks held in memory:
// output[j] += factor(tag, j) * input, for every input block given with its tag.
// The caller fills one batch of input blocks while the pool's threads work on
// the one before: they run the batch's own tasks first (checksums of the bytes
// as read), then bring its blocks into the kernel's layout and multiply.
class BlockAccumulator {
  public:
    using Factor = std::function<std::uint16_t(std::uint32_t tag, std::size_t output)>;

    struct Input {
        const std::uint8_t* bytes; // blockSize bytes in the files' order, zeros past `filled`
        std::size_t filled;
        std::uint32_t tag;
    };
    // Tasks to run on a batch's blocks before they change layout, on the pool.
    using BatchTasks = std::function<std::vector<WorkerPool::Stage>(std::vector<Input> batch)>;

    // `overlap`: two batches, the caller filling one while the pool computes
    // the other, so that reads that wait for a disk overlap the products;
    // else one, filled and then computed, in half the memory, for input that
    // is in memory already.
    BlockAccumulator(const GfKernel& kernel, WorkerPool& pool, std::uint64_t blockSize,
                     std::size_t batchBlocks, bool overlap = true);
    ~BlockAccumulator();
    BlockAccumulator(const BlockAccumulator&) = delete;
    BlockAccumulator& operator=(const BlockAccumulator&) = delete;

    // How many blocks a batch holds, so that a batch takes at most `batchBytes`
    // and `mostBlocks` (at least one block).
    static std::size_t batchBlocksFor(std::uint64_t blockSize, std::size_t batchBytes,
                                      std::size_t mostBlocks = kMaxBatchBlocks);
    // How many input blocks a batch is worth when it adds into `outputs`
    // output blocks of `blockSize` bytes held in memory. Each batch reads and
    // writes every output block once. Outputs of more than kCachedOutputs do
    // not stay in the processor's last cache from one batch to the next: every
    // batch then reads them from memory, and the more inputs it takes, the
    // fewer times (at 107 MB of outputs, 16 inputs take a third longer than
    // 32); 24 hold about as much memory as the other tools hold. Outputs that
    // stay there take at least a twelfth of their count, and 12 to 15 inputs:
    // fewer, and the products themselves slow down (at 26 outputs of 1 MiB, 8
    // inputs take a tenth longer than 12; at 200 outputs, half as long again
    // as 15); more gain nothing measurable and hold more memory.
    static std::size_t inputsWorthFor(std::size_t outputs, std::uint64_t blockSize) {
        if (outputs * paddedSize(blockSize) > kCachedOutputs)
            return 24;
        return std::clamp<std::size_t>(outputs / 12, 12, 15);
    }

    // How many of `outputs` output blocks, which all fit in memory at once,
    // to compute in each pass over the inputs, and how many input blocks a
    // batch takes. Outputs beyond kCachedOutputs are read and written from
    // memory by every batch; where the inputs are in memory, reading them a
    // second time costs less than that. Then half of the outputs a pass, in
    // two passes, with batches of twice the inputs (and twice kBatchBytes)
    // where such a batch holds more inputs: half the outputs and a larger
    // batch take less memory than all of them, in about the same time.
    // `overlap`: halved, and two batches (one filled while the other is
    // computed) as well, where the halved outputs and two batches hold no
    // more than all the outputs and one batch: the pool then need not wait
    // for each batch to be copied from memory (a tenth of the time). Input
    // that is not in memory takes two batches anyway.
    struct Passes {
        std::size_t outputsPerPass;
        std::size_t batchBlocks;
        bool overlap;
    };
    static Passes passesFor(std::size_t outputs, std::uint64_t blockSize, bool inputInMemory);

    // Starts a group of `outputs` output blocks, all zero. These three
    // return the first failure of the pool's tasks, as does end() later.
    Result<> begin(std::size_t outputs, Factor factor, BatchTasks batchTasks = {});
    // Where the caller puts the next input block: blockSize bytes.
    std::uint8_t* inputBuffer();
    // The block in inputBuffer() is complete: `filled` bytes of it (the rest
    // is made zero).
    Result<> add(std::uint32_t tag, std::size_t filled);
    // Waits until every block given has been added, and brings the outputs
    // into the files' order of bytes.
    Result<> end();

    std::size_t outputs() const { return outputs_; }
    // Output block j: blockSize bytes in the files' order, after end().
    const std::uint8_t* output(std::size_t j) const { return outputMemory_.get() + j * padded_; }
    std::uint64_t blockSize() const { return blockSize_; }

  private:
    struct Batch {
        AlignedBytes memory;
        std::vector<Input> inputs;
        std::vector<const std::uint8_t*> sources;
        std::vector<std::uint8_t> prepared;
        std::shared_ptr<WorkerPool::Job> job;
    };
    void dispatch(Batch& batch);
    WorkerPool::Stage prepareStage(Batch& batch, std::size_t first, std::size_t last);
    WorkerPool::Stage multiplyStage(Batch& batch, std::size_t first, std::size_t last);
    Result<> waitFor(Batch& batch);

    const GfKernel& kernel_;
    WorkerPool& pool_;
    std::uint64_t blockSize_;
    std::size_t padded_;
    std::size_t batchBlocks_;
    bool overlap_;
    Batch batches_[2]; // the second only with overlap_
    int filling_ = 0;
    AlignedBytes outputMemory_;
    std::size_t outputCapacity_ = 0;
    std::size_t outputs_ = 0;
    bool open_ = false; // begun, and its outputs not yet brought back to the files' order
    Factor factor_;
    BatchTasks batchTasks_;
};

} // namespace shardix::par2
