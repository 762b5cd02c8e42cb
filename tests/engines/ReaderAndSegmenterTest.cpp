#include "engines/FileReader.h"
#include "engines/Messages.h"
#include "engines/Segmenter.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

TEST(Reader, ReportsMissingFilesAndCountsGreaterThanTheFile) {
    TempDir dir;
    RecordingUi ui;

    FileContents missing = getFileContents(dir / "nothing", 1, ui);
    EXPECT_EQ(missing.theMessage, msg::kNoSuchFile);
    EXPECT_EQ(missing.fileLength, 0);
    EXPECT_FALSE(ui.busy);

    // A folder is not a file to read.
    EXPECT_EQ(getFileContents(dir.folder(), 1, ui).theMessage, msg::kNoSuchFile);

    writeFile(dir / "ten", "0123456789");
    FileContents ten = getFileContents(dir / "ten", 10, ui);
    EXPECT_EQ(ten.theMessage, "");
    EXPECT_EQ(ten.fileLength, 10);
    EXPECT_TRUE(ten.file.isOpen());

    FileContents tooMany = getFileContents(dir / "ten", 11, ui);
    EXPECT_EQ(tooMany.theMessage, msg::kPartsGreaterThanWhole);
    EXPECT_EQ(tooMany.fileLength, 10);

    // An empty file is handed back as 0 bytes with no message, whatever the count.
    writeFile(dir / "empty", "");
    FileContents empty = getFileContents(dir / "empty", 5, ui);
    EXPECT_EQ(empty.theMessage, "");
    EXPECT_EQ(empty.fileLength, 0);
    EXPECT_TRUE(ui.messages.empty()); // the reader itself shows nothing
}

TEST(SegmentCount, ReadsDigitsWithBlanksAroundThem) {
    EXPECT_EQ(parseSegmentCount("12"), 12);
    EXPECT_EQ(parseSegmentCount(" 7 "), 7);
    EXPECT_EQ(parseSegmentCount("007"), 7);
    EXPECT_EQ(parseSegmentCount("999"), 999);
    EXPECT_EQ(parseSegmentCount("1 2"), std::nullopt);
    EXPECT_EQ(parseSegmentCount("   "), std::nullopt);
    EXPECT_EQ(parseSegmentCount("1a"), std::nullopt);
    EXPECT_EQ(parseSegmentCount("-3"), std::nullopt);
}

struct SegmentCase {
    std::size_t size;
    int count;
    std::int64_t pieceSize;
};

void PrintTo(const SegmentCase& c, std::ostream* os) {
    *os << c.size << " bytes into " << c.count << ", pieces of " << c.pieceSize;
}

class SegmentRoundTrip : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentRoundTrip, SegmentsAreEqualSlicesWithTheRemainderLast) {
    const SegmentCase c = GetParam();
    TempDir dir;
    RecordingUi ui;
    const std::string source = randomBytes(c.size, static_cast<unsigned>(c.size + c.count));
    writeFile(dir / "source.bin", source);

    ASSERT_TRUE(segmentFile(dir / "source.bin", dir / "part", std::to_string(c.count), ui,
                            c.pieceSize));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_FALSE(ui.busy);

    const std::size_t share = c.size / c.count;
    std::string joined;
    int expectedPumps = 0;
    for (int k = 1; k <= c.count; ++k) {
        const std::string segment = readFile(dir / ("part" + std::to_string(k)));
        const std::size_t expected = k < c.count ? share : c.size - share * (c.count - 1);
        ASSERT_EQ(segment.size(), expected) << "segment " << k;
        joined += segment;
        const auto pieces = (segment.size() + c.pieceSize - 1) / c.pieceSize;
        expectedPumps += 1 + (pieces > 1 ? static_cast<int>(pieces) - 1 : 0);
    }
    EXPECT_EQ(joined, source);
    EXPECT_FALSE(exists(dir / ("part" + std::to_string(c.count + 1))));
    // Events run before each segment and before every piece after a segment's first.
    EXPECT_EQ(ui.pumps, expectedPumps);

    // Progress: Min, Max, Value, shown; then one value per segment.
    ASSERT_GE(ui.log.size(), 4u);
    std::vector<std::string> start;
    for (const auto& e : ui.log)
        if (e.rfind("min", 0) == 0 || e.rfind("max", 0) == 0 || e.rfind("value", 0) == 0 ||
            e.rfind("visible", 0) == 0)
            start.push_back(e);
    ASSERT_GE(start.size(), 4u);
    EXPECT_EQ(start[0], "min 1");
    EXPECT_EQ(start[1], "max " + std::to_string(c.count));
    EXPECT_EQ(start[2], "value 1");
    EXPECT_EQ(start[3], "visible 1");
    EXPECT_EQ(ui.values.back(), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SegmentRoundTrip,
    ::testing::Values(SegmentCase{10, 2, kPieceSize}, SegmentCase{10, 3, kPieceSize},
                      SegmentCase{10, 10, kPieceSize}, SegmentCase{1, 1, kPieceSize},
                      SegmentCase{1000, 7, 16}, SegmentCase{1000, 7, 1},
                      SegmentCase{4096, 2, 2048}, SegmentCase{4097, 2, 2048},
                      SegmentCase{257, 257, 4}, SegmentCase{4'000'000, 1, kPieceSize},
                      SegmentCase{8'000'000, 1, kPieceSize},
                      SegmentCase{9'000'000, 2, kPieceSize},
                      SegmentCase{10'000'001, 2, kPieceSize}, SegmentCase{12'345, 12, 1000}));

TEST(Segmenter, NamesSegmentsWithThePlainNumberAfterTheBaseName) {
    TempDir dir;
    RecordingUi ui;
    writeFile(dir / "data.zip", randomBytes(120));
    ASSERT_TRUE(segmentFile(dir / "data.zip", dir / "data.zip", "12", ui));
    EXPECT_EQ(readFile(dir / "data.zip9").size(), 10u);
    EXPECT_EQ(readFile(dir / "data.zip10").size(), 10u);
    EXPECT_FALSE(exists(dir / "data.zip01"));

    // An empty base name gives segments named by their number alone.
    ASSERT_TRUE(segmentFile(dir / "data.zip", dir.folder(), "3", ui));
    EXPECT_EQ(readFile(dir / "1") + readFile(dir / "2") + readFile(dir / "3"),
              readFile(dir / "data.zip"));
}

TEST(Segmenter, RefusesBeforeWritingAnything) {
    TempDir dir;
    writeFile(dir / "ten", "0123456789");

    RecordingUi tooMany;
    EXPECT_FALSE(segmentFile(dir / "ten", dir / "p", "11", tooMany));
    EXPECT_EQ(tooMany.messages, std::vector<std::string>{msg::kPartsGreaterThanWhole});
    EXPECT_EQ(tooMany.count("min 1"), 0); // the progress display was not touched
    EXPECT_FALSE(tooMany.busy);

    RecordingUi missing;
    EXPECT_FALSE(segmentFile(dir / "gone", dir / "p", "2", missing));
    EXPECT_EQ(missing.messages, std::vector<std::string>{msg::kNoSuchFile});

    // A blank between two digits is no number: the conversion fails.
    RecordingUi blank;
    EXPECT_FALSE(segmentFile(dir / "ten", dir / "p", "1 2", blank));
    ASSERT_EQ(blank.messages.size(), 1u);
    EXPECT_NE(blank.messages[0].find("not a number"), std::string::npos);
    EXPECT_EQ(blank.titles[0], "Shardix!");
    EXPECT_FALSE(blank.busy);

    EXPECT_FALSE(exists(dir / "p1"));
}

TEST(Segmenter, ReplacesExistingSegmentsAndCutsEmptyFilesIntoEmptySegments) {
    TempDir dir;
    RecordingUi ui;
    writeFile(dir / "p2", randomBytes(5000)); // longer than the new segment 2
    writeFile(dir / "src", "abcdef");
    ASSERT_TRUE(segmentFile(dir / "src", dir / "p", "3", ui));
    EXPECT_EQ(readFile(dir / "p2"), "cd");

    writeFile(dir / "empty", "");
    ASSERT_TRUE(segmentFile(dir / "empty", dir / "e", "4", ui));
    for (int k = 1; k <= 4; ++k) {
        ASSERT_TRUE(exists(dir / ("e" + std::to_string(k))));
        EXPECT_EQ(readFile(dir / ("e" + std::to_string(k))), "");
    }
}

TEST(Segmenter, CutsCorrectlyWhenASegmentIsTheSourceItself) {
    TempDir dir;
    const std::string original = randomBytes(10'007, 9);

    // The source's own name is segment 3.
    writeFile(dir / "part3", original);
    RecordingUi ui;
    ASSERT_TRUE(segmentFile(dir / "part3", dir / "part", "5", ui, 1000));
    std::string joined;
    for (int k = 1; k <= 5; ++k)
        joined += readFile(dir / ("part" + std::to_string(k)));
    EXPECT_EQ(joined, original);

    // Segment 1 is a link to the source.
    writeFile(dir / "whole", original);
    ASSERT_EQ(::symlink((dir / "whole").c_str(), (dir / "cut1").c_str()), 0);
    ASSERT_TRUE(segmentFile(dir / "whole", dir / "cut", "2", ui));
    EXPECT_EQ(readFile(dir / "cut1") + readFile(dir / "cut2"), original);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Segmenter, CutsAFileThatCannotBeWritten) {
    TempDir dir;
    const std::string bytes = randomBytes(3000);
    writeFile(dir / "locked", bytes);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0444), 0);
    // Root may write anything that is not immutable; make it so where possible.
    const bool immutable =
        ::geteuid() == 0 &&
        std::system(("chattr +i '" + (dir / "locked") + "' 2>/dev/null").c_str()) == 0;
    if (::geteuid() == 0 && !immutable)
        GTEST_SKIP() << "cannot make a file unwritable for root here";

    RecordingUi ui;
    const bool ok = segmentFile(dir / "locked", dir / "piece", "3", ui);
    if (immutable)
        std::system(("chattr -i '" + (dir / "locked") + "'").c_str());
    ASSERT_TRUE(ok) << ui.messages.front();
    EXPECT_EQ(readFile(dir / "piece1") + readFile(dir / "piece2") + readFile(dir / "piece3"),
              bytes);
}

} // namespace
