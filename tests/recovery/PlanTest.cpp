#include "engines/recovery/RecoveryPlan.h"
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

} // namespace
