#include "engines/Appender.h"
#include "engines/Messages.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

const std::string kWhole = randomBytes(20, 7); // A = first 10 bytes, B = last 10

struct AppendCase {
    const char* name;
    std::size_t targetLength;
    std::vector<std::pair<std::size_t, std::size_t>> sources; // slices of kWhole
    std::size_t expectedLength;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class AppendCases : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendCases, CompletesTheTargetWithExactlyTheMissingBytes) {
    const AppendCase& c = GetParam();
    TempDir dir;
    writeFile(dir / "target", kWhole.substr(0, c.targetLength));
    std::vector<std::string> sources;
    for (std::size_t i = 0; i < c.sources.size(); ++i) {
        sources.push_back(dir / ("src" + std::to_string(i)));
        writeFile(sources.back(), kWhole.substr(c.sources[i].first, c.sources[i].second));
    }
    RecordingUi ui;
    ASSERT_TRUE(appendFile(sources, dir / "target", ui, 3));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(readFile(dir / "target"), kWhole.substr(0, c.expectedLength));
    EXPECT_EQ(ui.value, ui.max); // the bar ends full, whatever was written
    EXPECT_FALSE(ui.busy);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendCases,
    ::testing::Values(AppendCase{"ShortTarget", 10, {{0, 20}}, 20},
                      AppendCase{"EqualLengths", 10, {{0, 10}}, 10},
                      AppendCase{"LongerTarget", 20, {{0, 15}}, 20},
                      AppendCase{"EmptyTarget", 0, {{0, 20}}, 20},
                      AppendCase{"OneByteTarget", 1, {{0, 5}}, 5},
                      AppendCase{"EndsInSecond", 15, {{0, 10}, {10, 10}}, 20},
                      AppendCase{"EndsBetween", 10, {{0, 10}, {10, 10}}, 20},
                      AppendCase{"EndsInFirst", 5, {{0, 10}, {10, 10}}, 20},
                      AppendCase{"Complete", 20, {{0, 10}, {10, 10}}, 20},
                      AppendCase{"ThreeSources", 4, {{0, 3}, {3, 9}, {12, 8}}, 20}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Appender, LeavesACompleteTargetAloneAndCreatesAMissingOne) {
    TempDir dir;
    writeFile(dir / "src", "0123456789");
    writeFile(dir / "target", "0123456789");
    RecordingUi ui;
    EXPECT_TRUE(appendFile({dir / "src"}, dir / "target", ui));
    EXPECT_EQ(readFile(dir / "target"), "0123456789");
    EXPECT_EQ(ui.pumps, 1); // the search only: nothing was written
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2}));
    EXPECT_EQ(ui.max, 2);

    RecordingUi created;
    EXPECT_TRUE(appendFile({dir / "src"}, dir / "new", created));
    EXPECT_EQ(readFile(dir / "new"), "0123456789");
    EXPECT_TRUE(created.messages.empty());
}

TEST(Appender, ProgressAdvancesPerSourceWritten) {
    TempDir dir;
    std::vector<std::string> five;
    for (int i = 0; i < 5; ++i) {
        five.push_back(dir / std::to_string(i));
        writeFile(five.back(), std::string(4, static_cast<char>('a' + i)));
    }
    writeFile(dir / "target", "");
    RecordingUi ui;
    ASSERT_TRUE(appendFile(five, dir / "target", ui));
    EXPECT_EQ(ui.max, 5);
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2, 3, 4, 5, 5, 5}));
    EXPECT_EQ(readFile(dir / "target"), "aaaabbbbccccddddeeee");
}

TEST(Appender, AMissingSourceStopsTheRun) {
    TempDir dir;
    writeFile(dir / "a", "AAAAA");
    writeFile(dir / "c", "CCCCC");

    // The target ends in the first source: its rest is appended, then the run stops.
    writeFile(dir / "short", "AA");
    RecordingUi during;
    EXPECT_FALSE(appendFile({dir / "a", dir / "b", dir / "c"}, dir / "short", during));
    EXPECT_EQ(during.messages, std::vector<std::string>{msg::kNoSuchFile});
    EXPECT_EQ(readFile(dir / "short"), "AAAAA");
    EXPECT_FALSE(during.busy);

    // The target is longer than the first source: the search stops, nothing is written.
    writeFile(dir / "long", "AAAAAB");
    RecordingUi search;
    EXPECT_FALSE(appendFile({dir / "a", dir / "b", dir / "c"}, dir / "long", search));
    EXPECT_EQ(search.messages, std::vector<std::string>{msg::kNoSuchFile});
    EXPECT_EQ(readFile(dir / "long"), "AAAAAB");
}

TEST(Appender, CopiesEveryByteValueInPieces) {
    TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    writeFile(dir / "src", all);
    writeFile(dir / "target", all.substr(0, 100));
    RecordingUi ui;
    ASSERT_TRUE(appendFile({dir / "src"}, dir / "target", ui, 50));
    EXPECT_EQ(readFile(dir / "target"), all);
    // One pump in the search, one before writing, and two more for 156 bytes
    // in pieces of 50 (50, 50, 50, 6).
    EXPECT_EQ(ui.pumps, 5);
}

TEST(Appender, WorksAtPositionsBeyondFourGibibytes) {
    TempDir dir;
    const off_t base = (off_t{1} << 32) + 12345; // past what 32 bits can address
    // Sparse files: the same (empty) beginning, the source 10 bytes longer.
    const int t = ::open((dir / "target").c_str(), O_CREAT | O_WRONLY, 0644);
    const int s = ::open((dir / "source").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(t, 0);
    ASSERT_GE(s, 0);
    ASSERT_EQ(::ftruncate(t, base), 0);
    ASSERT_EQ(::pwrite(s, "0123456789", 10, base), 10);
    ::close(t);
    ::close(s);

    RecordingUi ui;
    ASSERT_TRUE(appendFile({dir / "source"}, dir / "target", ui));
    char tail[11] = {};
    const int r = ::open((dir / "target").c_str(), O_RDONLY);
    EXPECT_EQ(::lseek(r, 0, SEEK_END), base + 10);
    EXPECT_EQ(::pread(r, tail, 10, base), 10);
    ::close(r);
    EXPECT_STREQ(tail, "0123456789");
}

} // namespace
