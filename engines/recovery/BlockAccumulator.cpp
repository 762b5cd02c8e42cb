#include "engines/recovery/BlockAccumulator.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace shardix::par2 {

namespace {

// The input columns one multiplyAdd() call covers: the batch's blocks over
// that width stay in the processor's second-level cache while every output
// block takes its share of them.
constexpr std::size_t kCacheBytes = 256 << 10;

std::size_t roundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

} // namespace

AlignedBytes allocateAligned(std::size_t bytes) {
    void* memory = std::aligned_alloc(64, roundUp(std::max<std::size_t>(bytes, 1), 64));
    if (!memory)
        throw std::bad_alloc();
    return AlignedBytes(static_cast<std::uint8_t*>(memory));
}

std::size_t paddedSize(std::uint64_t blockSize) {
    return roundUp(static_cast<std::size_t>(blockSize), kBlockAlign);
}

std::size_t BlockAccumulator::batchBlocksFor(std::uint64_t blockSize, std::size_t batchBytes) {
    return std::clamp<std::size_t>(batchBytes / paddedSize(blockSize), 1, 16);
}

BlockAccumulator::BlockAccumulator(const GfKernel& kernel, WorkerPool& pool,
                                   std::uint64_t blockSize, std::size_t batchBlocks)
    : kernel_(kernel), pool_(pool), blockSize_(blockSize), padded_(paddedSize(blockSize)),
      batchBlocks_(std::max<std::size_t>(batchBlocks, 1)) {
    for (Batch& batch : batches_)
        batch.memory = allocateAligned(batchBlocks_ * padded_);
}

BlockAccumulator::~BlockAccumulator() {
    // The pool's threads may still use the batches: let them finish.
    for (Batch& batch : batches_) {
        if (batch.job) {
            try {
                pool_.wait(batch.job);
            } catch (...) {
            }
        }
    }
}

void BlockAccumulator::begin(std::size_t outputs, Factor factor, BatchTasks batchTasks) {
    end();
    if (outputs * padded_ > outputCapacity_) {
        outputMemory_.reset();
        outputMemory_ = allocateAligned(outputs * padded_);
        outputCapacity_ = outputs * padded_;
    }
    std::memset(outputMemory_.get(), 0, outputs * padded_);
    outputs_ = outputs;
    open_ = true;
    factor_ = std::move(factor);
    batchTasks_ = std::move(batchTasks);
}

std::uint8_t* BlockAccumulator::inputBuffer() {
    Batch& batch = batches_[filling_];
    return batch.memory.get() + batch.inputs.size() * padded_;
}

void BlockAccumulator::add(std::uint32_t tag, std::size_t filled) {
    Batch& batch = batches_[filling_];
    std::uint8_t* bytes = inputBuffer();
    std::memset(bytes + filled, 0, padded_ - filled);
    batch.inputs.push_back(Input{bytes, filled, tag});
    if (batch.inputs.size() < batchBlocks_)
        return;
    dispatch(batch);
    filling_ ^= 1;
    waitFor(batches_[filling_]);
}

void BlockAccumulator::end() {
    if (!batches_[filling_].inputs.empty())
        dispatch(batches_[filling_]);
    waitFor(batches_[filling_ ^ 1]);
    waitFor(batches_[filling_]);
    if (!open_ || outputs_ == 0)
        return;
    open_ = false;
    pool_.run(outputs_, [this](std::size_t j, unsigned) {
        std::uint8_t* block = outputMemory_.get() + j * padded_;
        kernel_.fromLayout(block, block, padded_);
    });
}

void BlockAccumulator::waitFor(Batch& batch) {
    if (batch.job) {
        auto job = std::move(batch.job);
        pool_.wait(job);
    }
    batch.inputs.clear();
}

void BlockAccumulator::dispatch(Batch& batch) {
    const std::size_t count = batch.inputs.size();
    const std::size_t outputs = outputs_;
    const std::size_t preparedSize = kernel_.preparedSize();
    batch.sources.resize(count);
    for (std::size_t k = 0; k < count; ++k)
        batch.sources[k] = batch.inputs[k].bytes;
    batch.prepared.resize(outputs * count * preparedSize);

    std::vector<WorkerPool::Stage> stages;
    if (batchTasks_)
        stages = batchTasks_(batch.inputs);

    // Each block into the kernel's layout, and every factor prepared.
    const std::size_t threads = pool_.size();
    const std::size_t prepareTasks = std::min<std::size_t>(outputs, 4 * threads);
    stages.push_back(WorkerPool::Stage{
        count + prepareTasks,
        [this, &batch, count, outputs, prepareTasks, preparedSize](std::size_t index, unsigned) {
            if (index < count) {
                auto* bytes = const_cast<std::uint8_t*>(batch.inputs[index].bytes);
                kernel_.toLayout(bytes, bytes, padded_);
                return;
            }
            const std::size_t part = index - count;
            const std::size_t first = outputs * part / prepareTasks;
            const std::size_t last = outputs * (part + 1) / prepareTasks;
            for (std::size_t j = first; j < last; ++j) {
                for (std::size_t k = 0; k < count; ++k)
                    kernel_.prepare(factor_(batch.inputs[k].tag, j),
                                    batch.prepared.data() + (j * count + k) * preparedSize);
            }
        }});

    // The products, in rectangles of columns and outputs, enough of them to
    // keep every thread busy.
    if (outputs > 0) {
        const std::size_t stripe = std::min(
            padded_,
            std::clamp<std::size_t>(kCacheBytes / count / kBlockAlign * kBlockAlign, 4096, 65536));
        const std::size_t stripes = (padded_ + stripe - 1) / stripe;
        const std::size_t wanted = 4 * threads;
        const std::size_t columnParts = std::min(stripes, wanted);
        const std::size_t outputParts =
            std::min(outputs, std::max<std::size_t>(1, wanted / columnParts));
        stages.push_back(WorkerPool::Stage{
            columnParts * outputParts, [this, &batch, count, outputs, preparedSize, stripe, stripes,
                                        columnParts, outputParts](std::size_t index, unsigned) {
                const std::size_t columnPart = index % columnParts;
                const std::size_t outputPart = index / columnParts;
                const std::size_t firstStripe = stripes * columnPart / columnParts;
                const std::size_t lastStripe = stripes * (columnPart + 1) / columnParts;
                const std::size_t first = outputs * outputPart / outputParts;
                const std::size_t last = outputs * (outputPart + 1) / outputParts;
                for (std::size_t s = firstStripe; s < lastStripe; ++s) {
                    const std::size_t offset = s * stripe;
                    const std::size_t bytes = std::min(stripe, padded_ - offset);
                    for (std::size_t j = first; j < last; ++j)
                        kernel_.multiplyAdd(
                            outputMemory_.get() + j * padded_ + offset, batch.sources.data(), count,
                            batch.prepared.data() + j * count * preparedSize, offset, bytes);
                }
            }});
    }
    batch.job = pool_.submit(std::move(stages));
}

} // namespace shardix::par2
