#include "engines/Assembler.h"
#include "engines/Messages.h"
#include "engines/Segmenter.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

class AssembleRoundTrip : public ::testing::TestWithParam<std::tuple<std::size_t, int, int>> {};

TEST_P(AssembleRoundTrip, JoiningSegmentsInNumberOrderGivesBackTheSource) {
    const auto [size, count, pieceSize] = GetParam();
    TempDir dir;
    RecordingUi ui;
    const std::string source = randomBytes(size, static_cast<unsigned>(size * 31 + count));
    writeFile(dir / "src", source);
    ASSERT_TRUE(segmentFile(dir / "src", dir / "s", std::to_string(count), ui, pieceSize));

    std::vector<std::string> list;
    for (int k = 1; k <= count; ++k)
        list.push_back(dir / ("s" + std::to_string(k)));
    RecordingUi join;
    ASSERT_TRUE(assembleFiles(list, dir / "joined", join, pieceSize));
    EXPECT_EQ(readFile(dir / "joined"), source);
    EXPECT_TRUE(join.messages.empty());
    EXPECT_FALSE(join.busy);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AssembleRoundTrip,
                         ::testing::Values(std::make_tuple(1, 1, 4'000'000),
                                           std::make_tuple(10, 3, 4'000'000),
                                           std::make_tuple(10, 10, 4'000'000),
                                           std::make_tuple(999, 999, 4'000'000),
                                           std::make_tuple(100'003, 13, 4096),
                                           std::make_tuple(100'003, 4, 1),
                                           std::make_tuple(8'000'000, 2, 4'000'000),
                                           std::make_tuple(9'000'001, 3, 4'000'000)));

TEST(Assembler, WritesInputsWholeInPiecesWithEventsBetween) {
    TempDir dir;
    RecordingUi ui;
    writeFile(dir / "a", "abc");
    writeFile(dir / "empty", "");
    writeFile(dir / "b", "defgh");
    writeFile(dir / "big", randomBytes(9'000'000, 3));
    ASSERT_TRUE(assembleFiles({dir / "a", dir / "empty", dir / "b", dir / "big"}, dir / "out", ui));
    EXPECT_EQ(readFile(dir / "out"), "abcdefgh" + randomBytes(9'000'000, 3));
    // One pump before each of the four inputs, and two more for the 9,000,000
    // bytes written as 4,000,000 + 4,000,000 + 1,000,000.
    EXPECT_EQ(ui.pumps, 6);
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2, 3, 4, 4}));
}

TEST(Assembler, ProgressCountsInputsAndStopsAtTheirNumber) {
    TempDir dir;
    std::vector<std::string> ten;
    for (int i = 0; i < 10; ++i) {
        ten.push_back(dir / std::to_string(i));
        writeFile(ten.back(), std::string(1, static_cast<char>('a' + i)));
    }
    RecordingUi ui;
    ASSERT_TRUE(assembleFiles(ten, dir / "out", ui));
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}));
    EXPECT_EQ(ui.max, 10);
    EXPECT_EQ(readFile(dir / "out"), "abcdefghij");

    RecordingUi two;
    ASSERT_TRUE(assembleFiles({ten[0], ten[1]}, dir / "out2", two));
    EXPECT_EQ(two.values, (std::vector<int>{1, 2, 2}));
}

TEST(Assembler, StopsAtAMissingInputKeepingTheInputsBefore) {
    TempDir dir;
    RecordingUi ui;
    writeFile(dir / "one", "first");
    writeFile(dir / "three", "third");
    writeFile(dir / "out", "an older and longer file that is replaced");
    EXPECT_FALSE(assembleFiles({dir / "one", dir / "two", dir / "three"}, dir / "out", ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{msg::kNoSuchFile});
    EXPECT_EQ(readFile(dir / "out"), "first");
    EXPECT_EQ(ui.pumps, 2); // the third input was never taken up
    EXPECT_FALSE(ui.busy);
}

TEST(Assembler, RefusesATargetThatIsOneOfTheInputs) {
    TempDir dir;
    writeFile(dir / "p1", "11111");
    writeFile(dir / "p2", "22222");
    ASSERT_EQ(::symlink((dir / "p2").c_str(), (dir / "alias").c_str()), 0);

    for (const std::string& target : {dir / "p1", dir / "alias"}) {
        RecordingUi ui;
        EXPECT_FALSE(assembleFiles({dir / "p1", dir / "p2"}, target, ui));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find("is one of the files to be assembled"), std::string::npos);
        EXPECT_EQ(ui.pumps, 0);
    }
    EXPECT_EQ(readFile(dir / "p1"), "11111");
    EXPECT_EQ(readFile(dir / "p2"), "22222");
}

} // namespace
