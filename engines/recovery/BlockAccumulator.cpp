#include "engines/recovery/BlockAccumulator.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace shardix::par2 {

namespace {

// The input columns one multiplyAdd() call covers: the batch's blocks over
// that width stay in the processor's second-level cache while every output
// block takes its share of them.
constexpr std::size_t kCacheBytes = 256 << 10;
// The size of a huge page on x86-64.
constexpr std::size_t kHugePage = 2 << 20;

std::size_t roundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

// One stage of the tasks of `a` and then those of `b`.
WorkerPool::Stage joined(WorkerPool::Stage a, WorkerPool::Stage b) {
    const std::size_t split = a.count;
    return WorkerPool::Stage{
        a.count + b.count,
        [split, a = std::move(a.task), b = std::move(b.task)](std::size_t index, unsigned worker) {
            return index < split ? a(index, worker) : b(index - split, worker);
        }};
}

} // namespace

AlignedBytes allocateAligned(std::size_t bytes) {
    // Large blocks of memory in huge pages where the system gives them: a
    // page fault for every 4 KiB costs much time (in a virtual machine most).
    // The size is not rounded up to whole huge pages: the last part of one
    // takes small pages, and no memory is held that is never used.
    const bool huge = bytes >= kHugePage;
    const std::size_t size = roundUp(std::max<std::size_t>(bytes, 1), 64);
    void* memory = nullptr;
    if (::posix_memalign(&memory, huge ? kHugePage : 64, size) != 0)
        throw std::bad_alloc();
    if (huge)
        ::madvise(memory, size / kHugePage * kHugePage, MADV_HUGEPAGE); // only advice
    return AlignedBytes(static_cast<std::uint8_t*>(memory));
}

std::size_t paddedSize(std::uint64_t blockSize) {
    return roundUp(static_cast<std::size_t>(blockSize), kBlockAlign);
}

std::size_t BlockAccumulator::batchBlocksFor(std::uint64_t blockSize, std::size_t batchBytes,
                                             std::size_t mostBlocks) {
    return std::clamp<std::size_t>(batchBytes / paddedSize(blockSize), 1, mostBlocks);
}

BlockAccumulator::Passes BlockAccumulator::passesFor(std::size_t outputs, std::uint64_t blockSize,
                                                     bool inputInMemory) {
    const auto batchFor = [blockSize](std::size_t each, std::size_t times) {
        return batchBlocksFor(blockSize, kBatchBytes * times,
                              inputsWorthFor(each, blockSize) * times);
    };
    const Passes whole{outputs, batchFor(outputs, 1), false};
    if (!inputInMemory || outputs < 2 || outputs * paddedSize(blockSize) <= kCachedOutputs)
        return whole;
    const std::size_t half = (outputs + 1) / 2;
    const std::size_t batch = batchFor(half, 2);
    if (batch <= whole.batchBlocks)
        return whole;
    return Passes{half, batch, half + 2 * batch <= outputs + whole.batchBlocks};
}

BlockAccumulator::BlockAccumulator(const GfKernel& kernel, WorkerPool& pool,
                                   std::uint64_t blockSize, std::size_t batchBlocks, bool overlap)
    : kernel_(kernel), pool_(pool), blockSize_(blockSize), padded_(paddedSize(blockSize)),
      batchBlocks_(std::max<std::size_t>(batchBlocks, 1)), overlap_(overlap) {
    batches_[0].memory = allocateAligned(batchBlocks_ * padded_);
    if (overlap_)
        batches_[1].memory = allocateAligned(batchBlocks_ * padded_);
}

BlockAccumulator::~BlockAccumulator() {
    // The pool's threads may still use the batches: let them finish.
    for (Batch& batch : batches_) {
        if (batch.job) {
            static_cast<void>(pool_.wait(batch.job));
        }
    }
}

Result<> BlockAccumulator::begin(std::size_t outputs, Factor factor, BatchTasks batchTasks) {
    if (Result<> ended = end(); !ended.ok())
        return ended;
    if (outputs * padded_ > outputCapacity_) {
        outputMemory_.reset();
        outputMemory_ = allocateAligned(outputs * padded_);
        outputCapacity_ = outputs * padded_;
    }
    if (outputs > 0) { // a search alone adds into no output, and has no memory for it
        // Zeroed by the pool's threads: the first touch of new memory costs
        // the system a page fault and a page cleared (in a virtual machine,
        // much more), work that one thread would do alone while the others wait.
        const std::size_t bytes = outputs * padded_;
        const std::size_t parts = (bytes + kHugePage - 1) / kHugePage;
        if (Result<> zeroed = pool_.run(parts,
                                        [this, bytes](std::size_t part, unsigned) -> Result<> {
                                            const std::size_t from = part * kHugePage;
                                            std::memset(outputMemory_.get() + from, 0,
                                                        std::min(kHugePage, bytes - from));
                                            return {};
                                        });
            !zeroed.ok())
            return zeroed;
    }
    outputs_ = outputs;
    open_ = true;
    factor_ = std::move(factor);
    batchTasks_ = std::move(batchTasks);
    return {};
}

std::uint8_t* BlockAccumulator::inputBuffer() {
    Batch& batch = batches_[filling_];
    return batch.memory.get() + batch.inputs.size() * padded_;
}

Result<> BlockAccumulator::add(std::uint32_t tag, std::size_t filled) {
    Batch& batch = batches_[filling_];
    std::uint8_t* bytes = inputBuffer();
    std::memset(bytes + filled, 0, padded_ - filled);
    batch.inputs.push_back(Input{bytes, filled, tag});
    if (batch.inputs.size() < batchBlocks_)
        return {};
    dispatch(batch);
    if (!overlap_)
        return waitFor(batch);
    filling_ ^= 1;
    return waitFor(batches_[filling_]);
}

Result<> BlockAccumulator::end() {
    if (!batches_[filling_].inputs.empty())
        dispatch(batches_[filling_]);
    const Result<> before = waitFor(batches_[filling_ ^ 1]);
    const Result<> last = waitFor(batches_[filling_]);
    if (!before.ok())
        return before;
    if (!last.ok())
        return last;
    if (!open_ || outputs_ == 0)
        return {};
    open_ = false;
    return pool_.run(outputs_, [this](std::size_t j, unsigned) -> Result<> {
        std::uint8_t* block = outputMemory_.get() + j * padded_;
        kernel_.fromLayout(block, block, padded_);
        return {};
    });
}

Result<> BlockAccumulator::waitFor(Batch& batch) {
    Result<> done;
    if (batch.job) {
        auto job = std::move(batch.job);
        done = pool_.wait(job);
    }
    batch.inputs.clear();
    return done;
}

// Submits the batch's work as one job: its own tasks, its blocks into the
// kernel's layout, then the products, a chunk of outputs at a time.
void BlockAccumulator::dispatch(Batch& batch) {
    const std::size_t count = batch.inputs.size();
    const std::size_t outputs = outputs_;
    batch.sources.resize(count);
    for (std::size_t k = 0; k < count; ++k)
        batch.sources[k] = batch.inputs[k].bytes;
    // The factors are prepared for a chunk of outputs at a time, so that the
    // larger tables of some kernels stay within kPreparedBytes.
    const std::size_t chunk = std::clamp<std::size_t>(
        kPreparedBytes / (count * kernel_.preparedSize()), 1, std::max<std::size_t>(outputs, 1));
    batch.prepared.resize(std::min(chunk, outputs) * count * kernel_.preparedSize());

    std::vector<WorkerPool::Stage> stages;
    if (batchTasks_)
        stages = batchTasks_(batch.inputs);
    // The first chunk's factors beside the batch's own first tasks: that
    // stage reads and writes only this batch, and overlaps the products of
    // the batch before.
    WorkerPool::Stage first = prepareStage(batch, 0, std::min(chunk, outputs));
    if (!stages.empty()) {
        first = joined(std::move(stages.front()), std::move(first));
        stages.erase(stages.begin());
    }
    first.overlapsPrevious = true;
    stages.insert(stages.begin(), std::move(first));
    // Each block into the kernel's layout.
    stages.push_back(WorkerPool::Stage{count, [this, &batch](std::size_t k, unsigned) {
                                           auto* bytes =
                                               const_cast<std::uint8_t*>(batch.inputs[k].bytes);
                                           kernel_.toLayout(bytes, bytes, padded_);
                                           return Result<>();
                                       }});
    for (std::size_t first = 0; first < outputs; first += chunk) {
        const std::size_t last = std::min(outputs, first + chunk);
        if (first > 0)
            stages.push_back(prepareStage(batch, first, last));
        stages.push_back(multiplyStage(batch, first, last));
    }
    batch.job = pool_.submit(std::move(stages));
}

// The factors of the batch's blocks for outputs [first, last), in enough
// tasks to keep every thread busy.
WorkerPool::Stage BlockAccumulator::prepareStage(Batch& batch, std::size_t first,
                                                 std::size_t last) {
    const std::size_t count = batch.inputs.size();
    const std::size_t preparedSize = kernel_.preparedSize();
    const std::size_t tasks = std::min(last - first, 4 * static_cast<std::size_t>(pool_.size()));
    return WorkerPool::Stage{
        tasks, [this, &batch, count, first, last, tasks, preparedSize](std::size_t part, unsigned) {
            const std::size_t size = last - first;
            for (std::size_t j = first + size * part / tasks; j < first + size * (part + 1) / tasks;
                 ++j) {
                for (std::size_t k = 0; k < count; ++k)
                    kernel_.prepare(factor_(batch.inputs[k].tag, j),
                                    batch.prepared.data() +
                                        ((j - first) * count + k) * preparedSize);
            }
            return Result<>();
        }};
}

// The products for outputs [first, last): for each stripe of columns, the
// outputs a few at a time, two by two, in enough tasks to keep every thread busy.
WorkerPool::Stage BlockAccumulator::multiplyStage(Batch& batch, std::size_t first,
                                                  std::size_t last) {
    const std::size_t count = batch.inputs.size();
    const std::size_t preparedSize = kernel_.preparedSize();
    const std::size_t stripe =
        std::min(padded_, std::clamp<std::size_t>(kCacheBytes / count / kBlockAlign * kBlockAlign,
                                                  4096, 65536));
    const std::size_t stripes = (padded_ + stripe - 1) / stripe;
    const std::size_t outputParts =
        std::clamp<std::size_t>((8 * pool_.size() + stripes - 1) / stripes, 1, last - first);
    return WorkerPool::Stage{
        stripes * outputParts, [this, &batch, count, first, last, preparedSize, stripe,
                                outputParts](std::size_t index, unsigned) {
            const std::size_t offset = index / outputParts * stripe;
            const std::size_t part = index % outputParts;
            const std::size_t bytes = std::min(stripe, padded_ - offset);
            const std::size_t size = last - first;
            const std::size_t end = first + size * (part + 1) / outputParts;
            const auto target = [&](std::size_t j) {
                return outputMemory_.get() + j * padded_ + offset;
            };
            const auto prepared = [&](std::size_t j) {
                return batch.prepared.data() + (j - first) * count * preparedSize;
            };
            std::size_t j = first + size * part / outputParts;
            // Two outputs at a time: each input read once for both.
            for (; j + 1 < end; j += 2) {
                std::uint8_t* const targets[2] = {target(j), target(j + 1)};
                const void* const factors[2] = {prepared(j), prepared(j + 1)};
                kernel_.multiplyAddPair(targets, batch.sources.data(), count, factors, offset,
                                        bytes);
            }
            if (j < end)
                kernel_.multiplyAdd(target(j), batch.sources.data(), count, prepared(j), offset,
                                    bytes);
            return Result<>();
        }};
}

} // namespace shardix::par2
