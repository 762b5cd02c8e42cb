#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryTypes.h"
#include "tests/recovery/RecoverySupport.h"

#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// ---- Plans at their limits.

TEST(RecoveryPlan, KeepsToTheFormatsLimits) {
    constexpr std::int64_t GiB = 1 << 30;
    struct Case {
        std::vector<std::int64_t> lengths;
        int percent;
        std::uint64_t blockSize;
        std::string refusal; // empty: planned
    };
    const Case cases[] = {
        {std::vector<std::int64_t>(10, GiB / 10), 10, 0, ""},
        {std::vector<std::int64_t>(999, 5000), 100, 0, ""},
        {{2000 * GiB}, 1, 0, ""}, // needs blocks above the 2000-block rule
        {{3000 * GiB}, 1, 0, "too large"},
        {{1 << 20, 0, 1 << 20}, 50, 0, ""},
        {{0, 0}, 10, 0, "nothing to protect"},
        {{1 << 20}, 0, 0, "1 to 100 percent"},
        {{1 << 20}, 101, 0, "1 to 100 percent"},
        {{1 << 20}, 10, 1022, "multiple of 4"},
        {{1 << 20}, 10, 16, "more than the 32768"},
    };
    for (const Case& c : cases) {
        const Result<RecoveryPlan> planned = planRecovery(c.lengths, c.percent, c.blockSize);
        if (!c.refusal.empty()) {
            EXPECT_TRUE(failedWith(planned, ErrorKind::Refused, c.refusal));
            continue;
        }
        ASSERT_TRUE(succeeded(planned));
        const RecoveryPlan& plan = *planned;
        std::uint64_t blocks = 0;
        for (std::int64_t length : c.lengths)
            blocks += (static_cast<std::uint64_t>(length) + plan.blockSize - 1) / plan.blockSize;
        EXPECT_EQ(plan.dataBlocks, blocks);
        EXPECT_LE(blocks, kMaxBlocks);
        EXPECT_EQ(plan.blockSize % 4, 0u);
        EXPECT_LE(plan.blockSize, kMaxBlockSize);
        EXPECT_GE(plan.recoveryBlocks * 100, blocks * static_cast<std::uint64_t>(c.percent));
        std::uint32_t inVolumes = 0;
        for (const RecoveryVolume& volume : plan.volumes) {
            EXPECT_EQ(volume.firstExponent, inVolumes);
            inVolumes += volume.count;
        }
        EXPECT_EQ(inVolumes, plan.recoveryBlocks);
    }
}

// ---- How the recovery blocks are computed.

TEST(RecoveryPlan, RecoveryBlocksBeyondTheCacheTakeTwoPassesInLessMemoryWhenThePiecesAreInMemory) {
    struct Case {
        std::int64_t size;       // in 10 pieces, 10 %
        std::uint64_t blockSize; // 0: the plan's
        std::int64_t memory;
    };
    const Case cases[] = {
        {1 << 30, 0, kRecoveryMemory},         // 200 of 536872 bytes: 107 MB
        {1 << 30, 1 << 20, kRecoveryMemory},   // 103 of 1 MiB
        {256 << 20, 0, kRecoveryMemory},       // 27 MB: they stay in the cache
        {1 << 30, 0, 60 << 20},                // the memory holds fewer than all
        {100 << 20, 4 << 20, kRecoveryMemory}, // 3 of 4 MiB
        {1 << 30, 64 << 20, kRecoveryMemory},  // 2 of 64 MiB
    };
    for (const Case& c : cases) {
        const RecoveryPlan plan =
            planRecovery(std::vector<std::int64_t>(10, c.size / 10), 10, c.blockSize).value();
        const std::uint64_t padded = par2::paddedSize(plan.blockSize);
        const EncodingShape streamed = plan.encodingShape(c.memory, false);
        const EncodingShape inMemory = plan.encodingShape(c.memory, true);
        EXPECT_TRUE(streamed.overlap); // reads that wait for a disk are hidden
        for (const EncodingShape& shape : {streamed, inMemory}) {
            EXPECT_GE(std::uint64_t{shape.perPass} * shape.passes, plan.recoveryBlocks);
            EXPECT_LT(std::uint64_t{shape.perPass} * (shape.passes - 1), plan.recoveryBlocks);
            EXPECT_LE(shape.perPass * padded, static_cast<std::uint64_t>(c.memory));
            EXPECT_GE(shape.batchBlocks, 1u);
        }
        const bool allFit = streamed.passes == 1;
        const bool beyondCache = plan.recoveryBlocks * padded > par2::kCachedOutputs;
        const bool batchGrows = 2 * par2::kBatchBytes / padded > streamed.batchBlocks;
        if (allFit && beyondCache && plan.recoveryBlocks >= 2 && batchGrows) {
            EXPECT_EQ(inMemory.passes, 2u) << plan.recoveryBlocks << " of " << plan.blockSize;
            // Half the outputs and one batch of twice the inputs hold less
            // than all the outputs and one batch.
            EXPECT_GT(inMemory.batchBlocks, streamed.batchBlocks);
            EXPECT_LT(inMemory.perPass + inMemory.batchBlocks,
                      streamed.perPass + streamed.batchBlocks);
            // A second batch only where the halves still hold no more.
            if (inMemory.overlap) {
                EXPECT_LE(inMemory.perPass + 2 * inMemory.batchBlocks,
                          streamed.perPass + streamed.batchBlocks);
            }
        } else {
            EXPECT_EQ(inMemory.passes, streamed.passes) << plan.recoveryBlocks;
            EXPECT_EQ(inMemory.batchBlocks, streamed.batchBlocks);
            EXPECT_FALSE(inMemory.overlap);
        }
    }
}

} // namespace
