#include "engines/recovery/Checksum.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "engines/recovery/RollingCrc.h"
#include "tests/recovery/RecoverySupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// Four pieces, the last one's length not a multiple of the block size, with
// runs of zeros (blocks alike) in the second and the third; their set made by ours or by par2.
class ShiftedBlocks : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        const bool byPar2 = GetParam();
        if (byPar2 && !havePar2())
            GTEST_SKIP() << "par2 is not installed (Debian package par2)";
        const std::vector<std::size_t> sizes{40000, 40000, 40000, 30001};
        std::vector<std::int64_t> lengths;
        std::vector<std::string> paths;
        std::string names;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            pieces.push_back(randomBytes(sizes[i], static_cast<unsigned>(i + 7)));
            if (i == 1)
                pieces[i].replace(4000, 20000, std::string(20000, '\0'));
            if (i == 2)
                pieces[i].replace(10000, 10000, std::string(10000, '\0'));
            writeFile(dir / pieceName(i), pieces[i]);
            paths.push_back(dir / pieceName(i));
            names += " " + pieceName(i);
            lengths.push_back(static_cast<std::int64_t>(sizes[i]));
        }
        const Result<RecoveryPlan> plan = planRecovery(lengths, 5, 1000);
        ASSERT_TRUE(succeeded(plan));
        if (byPar2)
            ASSERT_EQ(shardix::testing::par2(dir.folder(), "create -s1000 -c8 set.par2" + names),
                      0);
        else
            ASSERT_TRUE(succeeded(createRecovery(dir / "set.par2", paths, *plan)));
    }
    bool intact() const { return shardix::testing::intact(dir, pieces); }

    TempDir dir;
    std::vector<std::string> pieces;
};

} // namespace

TEST(RollingCrc, IsTheCrcOfEveryWindow) {
    const std::string bytes = randomBytes(3000, 5);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (const std::size_t window : std::vector<std::size_t>{1, 4, 100, 1000}) {
        par2::RollingCrc rolling(window);
        rolling.start(data);
        for (std::size_t at = 0;; ++at) {
            ASSERT_EQ(rolling.crc(), crc32Update(0, data + at, window)) << window << " " << at;
            if (at + window == bytes.size())
                break;
            rolling.roll(data[at], data[at + window]);
        }
    }
}

// Bytes added at the start of two pieces and one taken out of the middle of
// another: every block of theirs is found shifted, none needs recovery,
// and both ways of repair (ours, par2's) give the pieces back.
TEST_P(ShiftedBlocks, AreFoundAtTheirNewPlaces) {
    writeFile(dir / pieceName(0), "X" + pieces[0]);
    writeFile(dir / pieceName(3), "YZ" + pieces[3]);
    std::string cut = pieces[1];
    cut.erase(30500, 1);
    writeFile(dir / pieceName(1), cut);
    const Result<RecoveryReport> verified = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(verified));
    // Only the block that lost its byte is missing.
    EXPECT_EQ(verified->missingBlocks, 1u);
    for (const RecoveryFileReport& file : verified->files) {
        if (file.name == pieceName(0)) {
            EXPECT_NE(file.detail.find("40 of 40 blocks intact, 40 of them at other"),
                      std::string::npos)
                << file.detail;
        }
    }
    if (havePar2()) {
        const std::string shifted = readFile(dir / pieceName(0));
        ASSERT_EQ(shardix::testing::par2(dir.folder(), "repair set.par2"), 0);
        EXPECT_TRUE(intact());
        writeFile(dir / pieceName(0), shifted);
        fs::remove(dir / (pieceName(0) + ".1"));
    }
    const Result<RecoveryReport> repaired = repairRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(repaired));
    EXPECT_TRUE(repaired->complete());
    EXPECT_TRUE(intact());
}

// Pieces renamed or moved are found where the repair is told to look; a
// pipe among those places is left out without waiting on it.
TEST_P(ShiftedBlocks, AreFoundInFilesNamedForTheSearch) {
    fs::create_directory(dir / "moved");
    fs::rename(dir / pieceName(2), dir / "moved/renamed");
    fs::rename(dir / pieceName(3), dir / "other");
    writeFile(dir / pieceName(3), "wrong");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    RecoveryControl control;
    control.searchFiles = {dir / "pipe", dir / "moved/renamed", dir / "other"};
    const Result<RecoveryReport> repaired = repairRecovery(dir / "set.par2", control);
    ASSERT_TRUE(succeeded(repaired));
    EXPECT_TRUE(repaired->complete());
    EXPECT_TRUE(intact());
    EXPECT_EQ(readFile(dir / "moved/renamed"), pieces[2]);
    bool pipeTold = false;
    for (const std::string& note : repaired->notes)
        pipeTold = pipeTold || note.find("pipe\" was not searched") != std::string::npos;
    EXPECT_TRUE(pipeTold);
}

// Blocks alike are found wherever one of them is intact, in its place too.
TEST_P(ShiftedBlocks, AreFoundWhereTheirLikeIsIntact) {
    fs::remove(dir / pieceName(2));
    std::string cut = pieces[1];
    cut.erase(30500, 1);
    writeFile(dir / pieceName(1), cut);
    const Result<RecoveryReport> verified = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(verified));
    // The third piece's 10 blocks of zeros are those of the second.
    EXPECT_EQ(verified->missingBlocks, 40u - 10u + 1u);
}

INSTANTIATE_TEST_SUITE_P(MadeBy, ShiftedBlocks, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "par2" : "ours"; });
