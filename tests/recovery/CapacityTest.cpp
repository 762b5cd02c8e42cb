#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/BlockRebuilder.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "tests/recovery/RecoverySupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMemoryBound = 512 << 20;

// A set of pieces of `sizes` with `percent` of recovery in blocks of
// `blockSize`, made by ours; the plan it was made with.
RecoveryPlan makeSet(const TempDir& dir, const std::vector<std::size_t>& sizes, int percent,
                     std::uint64_t blockSize, std::vector<std::string>& pieces) {
    std::vector<std::int64_t> lengths;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        pieces.push_back(randomBytes(sizes[i], static_cast<unsigned>(i + 3)));
        writeFile(dir / pieceName(i), pieces.back());
        paths.push_back(dir / pieceName(i));
        lengths.push_back(static_cast<std::int64_t>(sizes[i]));
    }
    const Result<RecoveryPlan> plan = planRecovery(lengths, percent, blockSize);
    EXPECT_TRUE(succeeded(plan));
    EXPECT_TRUE(succeeded(createRecovery(dir / "set.par2", paths, *plan)));
    return *plan;
}

void expectRepaired(const TempDir& dir, const std::vector<std::string>& pieces,
                    const RecoveryControl& control = {}) {
    const Result<RecoveryReport> report = repairRecovery(dir / "set.par2", control);
    ASSERT_TRUE(succeeded(report));
    EXPECT_TRUE(report->complete());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        EXPECT_TRUE(readFile(dir / pieceName(i)) == pieces[i]) << pieceName(i);
    const Result<RecoveryReport> again = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(again));
    EXPECT_EQ(again->missingBlocks, 0u);
}

} // namespace

// More missing blocks than a matrix of their factors could hold, rebuilt from
// recovery blocks whose exponents start past 0, beside intact blocks, in
// several passes.
TEST(RepairCapacity, RebuildsEightThousandBlocksFromAShiftedRun) {
    TempDir dir;
    std::vector<std::string> pieces;
    const RecoveryPlan plan = makeSet(dir, {4096 * 64, 4096 * 64, 100 * 64}, 100, 64, pieces);
    ASSERT_EQ(plan.recoveryBlocks, 8292u);
    fs::remove(dir / plan.volumeName("set.par2", 0)); // exponent 0
    fs::remove(dir / pieceName(0));
    fs::remove(dir / pieceName(1));
    RecoveryControl control;
    control.memory = 1 << 20; // several passes
    expectRepaired(dir, pieces, control);
}

// Recovery blocks with gaps between their exponents: solved by the matrix.
TEST(RepairCapacity, RebuildsFromRecoveryBlocksWithGaps) {
    TempDir dir;
    std::vector<std::string> pieces;
    const RecoveryPlan plan = makeSet(dir, std::vector<std::size_t>(10, 4000), 50, 1000, pieces);
    ASSERT_EQ(plan.recoveryBlocks, 20u);              // volumes of 1, 2, 4, 8, 5
    fs::remove(dir / plan.volumeName("set.par2", 3)); // exponents 7 to 14
    fs::remove(dir / pieceName(2));
    fs::remove(dir / pieceName(6));
    std::string damaged = readFile(dir / pieceName(8));
    damaged[2500] ^= 1;
    writeFile(dir / pieceName(8), damaged);
    expectRepaired(dir, pieces);
}

// The memory a rebuild holds stays within its bound for every number of
// missing blocks the format allows, whatever the block size.
TEST(RepairCapacity, MemoryStaysBoundedUpToTheFormatsLimit) {
    for (const std::uint64_t blockSize :
         std::vector<std::uint64_t>{4, 256, 65536, 1 << 20, kMaxBlockSize}) {
        for (const std::size_t missing :
             std::vector<std::size_t>{1, 6001, 8192, 20000, kMaxBlocks}) {
            const std::size_t intact = kMaxBlocks - missing;
            const par2::RebuildMemory plan =
                par2::planRebuildMemory(blockSize, intact, missing, kRecoveryMemory, false);
            EXPECT_LE(plan.bytes, kMemoryBound) << blockSize << " " << missing;
            EXPECT_GE(plan.rowsPerPass * plan.passes, missing);
        }
    }
    const std::size_t most = par2::maxSolvedByMatrix(kRecoveryMemory);
    EXPECT_GE(most, 6000u);
    for (const std::uint64_t blockSize : std::vector<std::uint64_t>{4, 65536, kMaxBlockSize}) {
        const par2::RebuildMemory plan =
            par2::planRebuildMemory(blockSize, kMaxBlocks - most, most, kRecoveryMemory, true);
        EXPECT_LE(plan.bytes, kMemoryBound) << blockSize;
    }
}

// More missing blocks than stay in the processor's cache, all fitting in the
// memory, the intact blocks in memory: rebuilt in two passes, one batch of
// inputs at a time, and a damaged piece's intact blocks copied into place.
TEST(RepairCapacity, RebuildsBeyondTheCacheInTwoPassesFromBlocksInMemory) {
    TempDir dir;
    std::vector<std::string> pieces;
    const std::size_t MiB = 1 << 20;
    makeSet(dir, {17 * MiB, 17 * MiB, 3 * MiB + 5}, 100, MiB, pieces);
    // Piece 0 lost, piece 1 damaged in every block but its ninth, piece 2
    // cut to its first two blocks: 35 missing blocks of 1 MiB, 3 intact.
    fs::remove(dir / pieceName(0));
    std::string damaged = pieces[1];
    for (std::size_t block = 0; block < 17; ++block) {
        if (block != 8)
            damaged[block * MiB + 100] ^= 1;
    }
    writeFile(dir / pieceName(1), damaged);
    writeFile(dir / pieceName(2), pieces[2].substr(0, 2 * MiB));
    ASSERT_GT(35 * MiB, par2::kCachedOutputs);
    const par2::BlockAccumulator::Passes passes = par2::BlockAccumulator::passesFor(35, MiB, true);
    ASSERT_EQ(passes.outputsPerPass, 18u); // two passes
    expectRepaired(dir, pieces);
}

// More missing blocks than the matrix can be inverted for, and no run of
// consecutive exponents as long: verify says that repair cannot rebuild them,
// and repair refuses the same; with the memory for the matrix, both can.
TEST(RepairCapacity, VerifyPromisesOnlyWhatRepairDoes) {
    TempDir dir;
    std::vector<std::string> pieces;
    const RecoveryPlan plan = makeSet(dir, {9600, 9600, 9600}, 100, 64, pieces);
    ASSERT_GE(plan.recoveryBlocks, 400u);
    // Every hundredth exponent's packet damaged: runs of at most 99.
    for (std::size_t v = 0; v < plan.volumes.size(); ++v) {
        const std::string path = dir / plan.volumeName("set.par2", v);
        std::string bytes = readFile(path);
        for (std::size_t at = 0; at + par2::kHeaderSize + 4 <= bytes.size();) {
            const std::uint64_t length = par2::readU64(bytes.data() + at + 8);
            if (par2::packetKindOf(bytes.data() + at + 48) == par2::PacketKind::Recovery &&
                par2::readU32(bytes.data() + at + par2::kHeaderSize) % 100 == 99)
                bytes[at + par2::kHeaderSize + 8] ^= 1;
            at += static_cast<std::size_t>(length);
        }
        writeFile(path, bytes);
    }
    fs::remove(dir / pieceName(0)); // 150 blocks
    RecoveryControl small;
    small.memory = 6 * 100 * 100; // a matrix of at most 100 missing blocks

    const Result<RecoveryReport> verified = verifyRecovery(dir / "set.par2", small);
    ASSERT_TRUE(succeeded(verified));
    EXPECT_EQ(verified->missingBlocks, 150u);
    EXPECT_GE(verified->recoveryBlocks, 150u);
    EXPECT_FALSE(verified->repairable());
    EXPECT_NE(verified->unsolvable.find("rebuilds at most 100 missing blocks"), std::string::npos)
        << verified->unsolvable;
    EXPECT_TRUE(failedWith(repairRecovery(dir / "set.par2", small), ErrorKind::Refused,
                           "150 blocks are missing, and the recovery blocks at hand have gaps"));
    EXPECT_FALSE(fs::exists(dir / pieceName(0)));

    const Result<RecoveryReport> roomy = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(roomy));
    EXPECT_TRUE(roomy->repairable());
    expectRepaired(dir, pieces);
}

// Many files of many lengths (shorter than a chunk of 64 bytes, whole chunks,
// longer than the 256 KiB read at a time), more than the vector lanes hold:
// the intact ones are found intact, and a byte changed anywhere is found.
TEST(VerifyFiles, ManyOfEveryLength) {
    TempDir dir;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < 37; ++i)
        sizes.push_back(i % 3 == 0 ? 1 + i : i % 3 == 1 ? 64 * (i + 1) : (256 << 10) + 1000 * i);
    std::vector<std::string> pieces;
    makeSet(dir, sizes, 10, 4096, pieces);
    for (const std::size_t damaged : {std::size_t{4}, std::size_t{29}, std::size_t{33}}) {
        std::string bytes = pieces[damaged];
        bytes[damaged == 4 ? bytes.size() - 1 : bytes.size() / 2] ^= 1;
        writeFile(dir / pieceName(damaged), bytes);
    }
    const Result<RecoveryReport> report = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(report));
    for (const RecoveryFileReport& file : report->files) {
        const bool damaged =
            file.name == pieceName(4) || file.name == pieceName(29) || file.name == pieceName(33);
        EXPECT_EQ(file.state, damaged ? RecoveryFileState::Damaged : RecoveryFileState::Ok)
            << file.name;
    }
    expectRepaired(dir, pieces);
}
