// Segment: a file cut into a count of pieces or into pieces of a length.
#include "engines/operations/Segmenter.h"
#include "engines/io/Messages.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "tests/support/EngineFixture.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Bytes cut into a count of segments, each copied in pieces of a size, then assembled.
using RoundTrip = std::tuple<std::size_t, int, std::int64_t>;
class SegmentRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SegmentRoundTrip, EqualSlicesWithTheRemainderLastAssembleBackToTheSource) {
    const auto [size, count, copyChunk] = GetParam();
    TempDir dir;
    RecordingProgress ui, join;
    const std::string source = randomBytes(size, static_cast<unsigned>(size + count));
    writeFile(dir / "source.bin", source);

    ASSERT_EQ(
        failure(segmentFile(dir / "source.bin", dir / "part", count, ui, {.copyChunk = copyChunk})),
        "");
    const Strings parts = named(dir / "part", upTo(count));
    int expectedPumps = 0; // one before each segment and each piece after its first
    for (int k = 1; k <= count; ++k) {
        const auto length = std::filesystem::file_size(parts[k - 1]);
        ASSERT_EQ(length, k < count ? size / count : size - size / count * (count - 1)) << k;
        expectedPumps += std::max<int>(1, (length + copyChunk - 1) / copyChunk);
    }
    EXPECT_EQ(joined(parts), source);
    EXPECT_FALSE(exists(dir / ("part" + std::to_string(count + 1))));
    EXPECT_EQ(ui.pumps, expectedPumps);
    // Progress: Min, Max, Value, shown; then one value per segment.
    ASSERT_GE(ui.log.size(), 4u);
    EXPECT_EQ(Strings(ui.log.begin(), ui.log.begin() + 4),
              (Strings{"min 1", "max " + std::to_string(count), "value 1", "visible 1"}));
    EXPECT_EQ(ui.values.back(), count);

    ASSERT_EQ(failure(assembleFiles(parts, dir / "joined", join, {copyChunk})), "");
    EXPECT_EQ(readFile(dir / "joined"), source);
}

constexpr std::int64_t K = kCopyChunk;
INSTANTIATE_TEST_SUITE_P(
    Sizes, SegmentRoundTrip,
    ::testing::Values(RoundTrip{1, 1, K}, RoundTrip{10, 2, K}, RoundTrip{10, 3, K},
                      RoundTrip{10, 10, K}, RoundTrip{999, 999, K}, RoundTrip{1000, 7, 16},
                      RoundTrip{1000, 7, 1}, RoundTrip{4096, 2, 2048}, RoundTrip{4097, 2, 2048},
                      RoundTrip{257, 257, 4}, RoundTrip{12'345, 12, 1000},
                      RoundTrip{100'003, 13, 4096}, RoundTrip{100'003, 4, 1},
                      RoundTrip{4'000'000, 1, K}, RoundTrip{8'000'000, 1, K},
                      RoundTrip{8'000'000, 2, K}, RoundTrip{9'000'000, 2, K},
                      RoundTrip{9'000'001, 3, K}, RoundTrip{10'000'001, 2, K}));

// Segments and assembles between the temporary folder and a memory file system, where
// the kernel copies differently or not at all between the two.
TEST(Engines, CopyAlikeWithinAndAcrossFileSystems) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm here";
    TempDir disk, memory("/dev/shm");
    const std::string source = randomBytes(1'000'003, 7);
    for (const TempDir* from : {&disk, &memory}) {
        for (const TempDir* to : {&disk, &memory}) {
            RecordingProgress ui;
            writeFile(*from / "src", source);
            ASSERT_EQ(
                failure(segmentFile(*from / "src", *to / "part", 3, ui, {.copyChunk = 100'000})),
                "");
            const Strings parts = named(*to / "part", upTo(3));
            ASSERT_EQ(failure(assembleFiles(parts, *from / "joined", ui, {65'536})), "");
            EXPECT_EQ(readFile(*from / "joined"), source);
            writeFile(*to / "cut", source.substr(0, 1000));
            ASSERT_EQ(failure(appendFile({*from / "src"}, *to / "cut", ui)), "");
            EXPECT_EQ(readFile(*to / "cut"), source);
        }
    }
}

TEST_F(Engine, SegmenterNamesSegmentsByNumberReplacesOldOnesAndMayCutOneOfThem) {
    writeFile(dir / "data.zip", randomBytes(120));
    ASSERT_TRUE((segmentFile(dir / "data.zip", dir / "data.zip", 12, ui)).ok());
    EXPECT_EQ(readFile(dir / "data.zip10").size(), 10u);
    EXPECT_FALSE(exists(dir / "data.zip01"));
    // An empty base name gives segments named by their number alone.
    ASSERT_TRUE((segmentFile(dir / "data.zip", dir.folder(), 3, ui)).ok());
    EXPECT_EQ(joined(named(dir.folder(), upTo(3))), readFile(dir / "data.zip"));

    writeFile(dir / "p2", randomBytes(5000)); // longer than the new piece 2
    writeFile(dir / "src", "abcdef");
    ASSERT_TRUE((segmentFile(dir / "src", dir / "p", 3, ui)).ok());
    EXPECT_EQ(readFile(dir / "p2"), "cd");
    writeFile(dir / "empty", ""); // an empty file gives empty segments
    ASSERT_TRUE((segmentFile(dir / "empty", dir / "e", 4, ui)).ok());
    for (const auto& segment : named(dir / "e", upTo(4)))
        EXPECT_TRUE(exists(segment) && readFile(segment).empty()) << segment;

    const std::string original = randomBytes(10'007, 9);
    writeFile(dir / "part3", original); // the source's own name is piece 3
    ASSERT_EQ(failure(segmentFile(dir / "part3", dir / "part", 5, ui, {.copyChunk = 1000})), "");
    EXPECT_EQ(joined(named(dir / "part", upTo(5))), original);
    writeFile(dir / "whole", original); // piece 1 is a link to the source
    ASSERT_EQ(::symlink((dir / "whole").c_str(), (dir / "cut1").c_str()), 0);
    ASSERT_EQ(failure(segmentFile(dir / "whole", dir / "cut", 2, ui)), "");
    EXPECT_EQ(joined(named(dir / "cut", upTo(2))), original);
}

TEST_F(Engine, SegmenterRefusesBeforeWritingAnything) {
    writeFile(dir / "ten", "0123456789");
    ASSERT_EQ(::mkfifo((dir / "p3").c_str(), 0600), 0); // would wait for a reader
    const auto refused = [&](const std::string& source, int count) {
        RecordingProgress ui;
        const Result<> result = segmentFile(source, dir / "p", count, ui);
        EXPECT_TRUE(ui.log.empty()) << "the progress display was touched";
        EXPECT_FALSE(exists(dir / "p1"));
        return result.ok() ? Error() : result.error();
    };
    EXPECT_EQ(refused(dir / "ten", 11).message, msg::kPartsGreaterThanWhole);
    const Error gone = refused(dir / "gone", 2);
    EXPECT_EQ(gone.message, msg::kNoSuchFile);
    EXPECT_EQ(gone.file, dir / "gone"); // for a caller that names it
    // Something that is there is never said not to exist.
    EXPECT_EQ(refused(dir.folder(), 1).message,
              "Cannot read \"" + dir.folder() + "\": it is a folder.");
    const Error pipe = refused(dir / "ten", 5);
    EXPECT_EQ(pipe.message,
              "Cannot write \"" + (dir / "p3") + "\": it is a pipe (FIFO), not a file.");
    EXPECT_EQ(pipe.kind, ErrorKind::NameRefused);
    std::filesystem::remove(dir / "p3");
    std::filesystem::create_directory(dir / "p2");
    EXPECT_EQ(refused(dir / "ten", 5).message,
              "Cannot write \"" + (dir / "p2") + "\": it is a folder, not a file.");
}

TEST_F(Engine, SegmenterCutsAFileThatCannotBeWritten) {
    const std::string bytes = randomBytes(3000), locked = dir / "locked";
    const auto chattr = [&](const std::string& flag) {
        return std::system(("chattr " + flag + " '" + locked + "' 2>/dev/null").c_str()) == 0;
    };
    writeFile(locked, bytes);
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    // Root may write anything that is not immutable; make it so where possible.
    const bool immutable = ::geteuid() == 0 && chattr("+i");
    if (::geteuid() == 0 && !immutable)
        GTEST_SKIP() << "cannot make a file unwritable for root here";
    const Result<> result = segmentFile(locked, dir / "piece", 3, ui);
    if (immutable)
        chattr("-i");
    ASSERT_EQ(failure(result), "");
    EXPECT_EQ(joined(named(dir / "piece", upTo(3))), bytes);
}

// The checksums of each segment and of the whole, computed beside the cut, are
// those of the files written, for counts and for lengths of segments.
TEST_F(Engine, SegmenterReturnsTheChecksumsOfWhatItWrote) {
    const std::string source = randomBytes(3 * 1'048'576 + 5, 4);
    writeFile(dir / "src", source);
    for (const std::int64_t length : {std::int64_t{1'048'576}, std::int64_t{1'048'575},
                                      std::int64_t{3'145'733}, std::int64_t{9'999'999}}) {
        SegmentReport report;
        ASSERT_EQ(
            failure(segmentFileBySize(dir / "src", dir / "s", length, ui,
                                      {.copyChunk = 65'536, .computeChecksums = true}, &report)),
            "");
        const Checksums& sums = report.checksums;
        const int count = static_cast<int>((source.size() + length - 1) / length);
        ASSERT_EQ(sums.parts.size(), static_cast<std::size_t>(count)) << length;
        for (int k = 1; k <= count; ++k) {
            const std::string bytes = readFile(dir / ("s" + std::to_string(k)));
            EXPECT_EQ(bytes, source.substr((k - 1) * length, length)) << length << " " << k;
            EXPECT_EQ(sums.parts[k - 1], sha256(bytes));
            EXPECT_EQ(sums.lengths[k - 1], static_cast<std::int64_t>(bytes.size()));
        }
        EXPECT_FALSE(exists(dir / ("s" + std::to_string(count + 1))));
        EXPECT_EQ(sums.whole, sha256(source));
        for (int k = 1; k <= count; ++k)
            std::filesystem::remove(dir / ("s" + std::to_string(k)));
    }
    // Cut from a private copy when the source is a segment; empty segments.
    const SegmentOptions withSums{.computeChecksums = true};
    SegmentReport own, empty;
    writeFile(dir / "p2", source);
    ASSERT_EQ(failure(segmentFile(dir / "p2", dir / "p", 3, ui, withSums, &own)), "");
    EXPECT_EQ(own.checksums.whole, sha256(source));
    EXPECT_EQ(own.checksums.parts[1], sha256(readFile(dir / "p2")));
    writeFile(dir / "none", "");
    ASSERT_EQ(failure(segmentFileBySize(dir / "none", dir / "e", 10, ui, withSums, &empty)), "");
    EXPECT_EQ(empty.checksums.parts, Strings{sha256("")});
    EXPECT_TRUE(exists(dir / "e1") && !exists(dir / "e2"));
    EXPECT_TRUE(segmentFile(dir / "none", dir / "z", 3, ui, withSums, &empty).ok());
    EXPECT_EQ(empty.checksums.parts, Strings(3, sha256("")));

    EXPECT_NE(failure(segmentFileBySize(dir / "src", dir / "q", 0, ui)), "");
    EXPECT_NE(failure(segmentFileBySize(dir / "src", dir / "q", source.size() / 1000, ui))
                  .find("would make 1001 pieces; at most 999"),
              std::string::npos);
    EXPECT_FALSE(exists(dir / "q1"));
}

// Cutting again over pieces never leaves a manifest that describes other bytes.
TEST_F(Engine, CuttingAgainReplacesOrRemovesTheOldManifest) {
    writeFile(dir / "src", randomBytes(5000, 3));
    writeFile(dir / "other", randomBytes(5000, 4));
    SegmentOptions options;
    options.writeManifest = true;
    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 4, ui, options)), "");
    SegmentReport report;
    ASSERT_EQ(failure(segmentFile(dir / "other", dir / "p", 4, ui, SegmentOptions{}, &report)), "");
    EXPECT_TRUE(report.removedOldManifest);
    EXPECT_FALSE(exists(dir / "p.sha256"));

    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 4, ui, options)), "");
    std::filesystem::remove(dir / "p3");
    std::filesystem::create_directory(dir / "p3"); // refused before anything is written
    EXPECT_NE(failure(segmentFile(dir / "other", dir / "p", 4, ui, SegmentOptions{})), "");
    EXPECT_TRUE(exists(dir / "p.sha256"));
    std::filesystem::remove(dir / "p3");
    std::filesystem::create_symlink(dir / "gone/p3", dir / "p3"); // fails while cutting
    report = {};
    EXPECT_NE(failure(segmentFile(dir / "other", dir / "p", 4, ui, options, &report)), "");
    EXPECT_TRUE(report.removedOldManifest);
    EXPECT_FALSE(exists(dir / "p.sha256"));
}

} // namespace
