#include "engines/checksums/Sha256.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/Messages.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/manifest/Verifier.h"
#include "engines/names/ByteSize.h"
#include "engines/names/Count.h"
#include "engines/names/SegmentNumbers.h"
#include "engines/names/Selection.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

using Strings = std::vector<std::string>;

std::vector<int> upTo(int count) {
    std::vector<int> numbers(count);
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

// `prefix` followed by each of the numbers: the names of segments.
Strings named(const std::string& prefix, const std::vector<int>& numbers) {
    Strings names;
    for (int n : numbers)
        names.push_back(prefix + std::to_string(n));
    return names;
}

std::string joined(const Strings& paths) {
    std::string bytes;
    for (const auto& p : paths)
        bytes += readFile(p);
    return bytes;
}

std::string diskFull(const std::string& path) {
    return "Cannot write \"" + path + "\": the disk is full (No space left on device).";
}

// The message of a run that failed; empty for one that did everything.
std::string failure(const Result<>& result) {
    return result.ok() ? std::string() : result.error().message;
}

// A folder of its own and a recording observer for each test.
struct Engine : ::testing::Test {
    TempDir dir;
    RecordingProgress ui;
};

TEST(Count, ReadsOneNumberWithBlanksAroundIt) {
    for (const auto& [text, count] : {std::pair{"12", 12}, {" 7 ", 7}, {"007", 7}, {"999", 999}})
        EXPECT_EQ(parseCount(text), count) << text;
    for (const char* text : {"1 2", "   ", "", "1a", "3x", "-3", "+3", "1234567890"})
        EXPECT_EQ(parseCount(text), std::nullopt) << text;
}

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

TEST_F(Engine, AssemblerWritesInputsWholeInPiecesWithEventsAndProgressBetween) {
    const std::string big = randomBytes(9'000'000, 3);
    writeFile(dir / "a", "abc");
    writeFile(dir / "empty", "");
    writeFile(dir / "b", "defgh");
    writeFile(dir / "big", big);
    ASSERT_TRUE(
        assembleFiles({dir / "a", dir / "empty", dir / "b", dir / "big"}, dir / "out", ui).ok());
    EXPECT_EQ(readFile(dir / "out"), "abcdefgh" + big);
    // One pump before each of the four inputs, and two more for the 9,000,000
    // bytes written as 4,000,000 + 4,000,000 + 1,000,000.
    EXPECT_EQ(ui.pumps, 6);
    EXPECT_EQ(ui.max, 4);
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2, 3, 4, 4})); // one per input, then full
}

TEST_F(Engine, AssemblerLeavesTheTargetAloneUntilEveryInputIsThere) {
    const std::string older = "an older and longer file that is kept";
    writeFile(dir / "one", "first");
    writeFile(dir / "three", "third");
    writeFile(dir / "out", older);
    const Error missing =
        assembleFiles({dir / "one", dir / "two", dir / "three"}, dir / "out", ui).error();
    EXPECT_EQ(missing.message, msg::kNoSuchFile);
    EXPECT_EQ(missing.file, dir / "two");
    EXPECT_EQ(readFile(dir / "out"), older);
    EXPECT_EQ(ui.pumps, 0);

    // An input that goes while the run is under way: a file that was to be
    // replaced stays byte for byte; a new one keeps the inputs before it.
    for (const bool replacing : {true, false}) {
        writeFile(dir / "two", "second");
        if (!replacing)
            std::filesystem::remove(dir / "out");
        RecordingProgress during;
        during.onPump = [&](int n) {
            if (n == 2)
                std::filesystem::remove(dir / "two");
        };
        EXPECT_EQ(
            failure(assembleFiles({dir / "one", dir / "two", dir / "three"}, dir / "out", during)),
            msg::kNoSuchFile);
        EXPECT_EQ(readFile(dir / "out"), replacing ? older : "first");
        EXPECT_EQ(during.pumps, 2); // the third input was never taken up
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.folder()), {}), 3);
    }
}

TEST_F(Engine, AssemblerRefusesATargetThatIsOneOfTheInputs) {
    writeFile(dir / "p1", "11111");
    writeFile(dir / "p2", "22222");
    ASSERT_EQ(::symlink((dir / "p2").c_str(), (dir / "alias").c_str()), 0);
    for (const std::string& target : {dir / "p1", dir / "alias"}) {
        RecordingProgress ui;
        const Error refused = assembleFiles({dir / "p1", dir / "p2"}, target, ui).error();
        EXPECT_NE(refused.message.find("is one of the files to be assembled"), std::string::npos);
        EXPECT_EQ(refused.kind, ErrorKind::NameRefused);
        EXPECT_EQ(ui.pumps, 0);
    }
    EXPECT_EQ(readFile(dir / "p1") + readFile(dir / "p2"), "1111122222");
}

const std::string kWhole = randomBytes(20, 7); // A = first 10 bytes, B = last 10

// A target of the first bytes of kWhole, completed from slices (start, length) of
// it, is then as long as the third value.
using AppendCase = std::tuple<std::size_t, std::vector<std::pair<int, int>>, std::size_t>;
class AppendCases : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendCases, CompletesTheTargetWithExactlyTheMissingBytes) {
    const auto& [targetLength, slices, expectedLength] = GetParam();
    TempDir dir;
    RecordingProgress ui;
    writeFile(dir / "target", kWhole.substr(0, targetLength));
    Strings sources;
    for (const auto& [from, length] : slices)
        writeFile(sources.emplace_back(dir / std::to_string(from)), kWhole.substr(from, length));
    ASSERT_EQ(failure(appendFile(sources, dir / "target", ui, {3})), "");
    EXPECT_EQ(readFile(dir / "target"), kWhole.substr(0, expectedLength));
    EXPECT_EQ(ui.values.back(), ui.max); // the bar ends full, whatever was written
}

// Targets shorter than, as long as and longer than one source, empty or of one byte;
// ending in the first of two sources, between them, in the second, or complete;
// three sources.
INSTANTIATE_TEST_SUITE_P(Cases, AppendCases,
                         ::testing::Values(AppendCase{10, {{0, 20}}, 20},
                                           AppendCase{10, {{0, 10}}, 10},
                                           AppendCase{20, {{0, 15}}, 20},
                                           AppendCase{0, {{0, 20}}, 20}, AppendCase{1, {{0, 5}}, 5},
                                           AppendCase{5, {{0, 10}, {10, 10}}, 20},
                                           AppendCase{10, {{0, 10}, {10, 10}}, 20},
                                           AppendCase{15, {{0, 10}, {10, 10}}, 20},
                                           AppendCase{20, {{0, 10}, {10, 10}}, 20},
                                           AppendCase{4, {{0, 3}, {3, 9}, {12, 8}}, 20}));

TEST_F(Engine, AppenderProgressAndEventsFollowWhatIsSearchedAndWritten) {
    writeFile(dir / "src", "0123456789");
    writeFile(dir / "target", "0123456789");
    EXPECT_TRUE((appendFile({dir / "src"}, dir / "target", ui)).ok());
    EXPECT_EQ(readFile(dir / "target"), "0123456789");
    EXPECT_EQ(ui.pumps, 1); // the search only: nothing was written
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2}));
    EXPECT_EQ(ui.max, 2);

    RecordingProgress created; // a missing target is created
    EXPECT_TRUE((appendFile({dir / "src"}, dir / "new", created)).ok());
    EXPECT_EQ(readFile(dir / "new"), "0123456789");

    Strings five; // progress advances per source written
    for (char c : std::string("abcde"))
        writeFile(five.emplace_back(dir / std::string(1, c)), std::string(4, c));
    writeFile(dir / "empty", "");
    RecordingProgress perSource;
    ASSERT_TRUE((appendFile(five, dir / "empty", perSource)).ok());
    EXPECT_EQ(perSource.max, 5);
    EXPECT_EQ(perSource.values, (std::vector<int>{1, 2, 3, 4, 5, 5, 5}));
    EXPECT_EQ(readFile(dir / "empty"), "aaaabbbbccccddddeeee");

    // Every byte value, 156 of them missing, in pieces of 50 (50, 50, 50, 6): one
    // pump in the search, one before writing and one before each later piece.
    std::string all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    writeFile(dir / "all", all);
    writeFile(dir / "part", all.substr(0, 100));
    RecordingProgress pieces;
    ASSERT_TRUE((appendFile({dir / "all"}, dir / "part", pieces, {50})).ok());
    EXPECT_EQ(readFile(dir / "part"), all);
    EXPECT_EQ(pieces.pumps, 5);
}

TEST_F(Engine, AppenderStopsAtAMissingSourceBeforeOrWhileAppending) {
    writeFile(dir / "a", "AAAAA");
    writeFile(dir / "c", "CCCCC");
    // Ending in the first source, the target gets its rest before the run stops;
    // longer than the first source, the search stops and nothing is written.
    for (const auto& [target, before, after] :
         {std::tuple{"short", "AA", "AAAAA"}, {"long", "AAAAAB", "AAAAAB"}}) {
        writeFile(dir / target, before);
        RecordingProgress ui;
        EXPECT_EQ(failure(appendFile({dir / "a", dir / "b", dir / "c"}, dir / target, ui)),
                  msg::kNoSuchFile);
        EXPECT_EQ(readFile(dir / target), after);
    }
}

// A target that is not the beginning of the sources joined in order is left as
// it is, small or large: the large ones are compared at their last MiB, at the
// first and last bytes of each source and at samples between.
TEST_F(Engine, AppenderRefusesATargetThatIsNotTheBeginningOfTheSources) {
    const auto refusal = [&](const Strings& sources, const std::string& bytes) {
        writeFile(dir / "target", bytes);
        RecordingProgress ui;
        const std::string why = failure(appendFile(sources, dir / "target", ui));
        EXPECT_EQ(readFile(dir / "target"), bytes) << "the target was changed";
        return why;
    };
    const auto message = [&](std::int64_t at, const std::string& source, std::int64_t offset) {
        return "\"" + (dir / "target") +
               "\" does not hold the beginning of the chosen files: " + "its byte " +
               std::to_string(at) + " differs from byte " + std::to_string(at - offset) + " of \"" +
               source + "\".  Nothing was appended.";
    };
    for (const std::size_t size : {std::size_t{3000}, std::size_t{40} << 20}) {
        const std::string whole = randomBytes(size, 11), other = randomBytes(size, 12);
        const std::size_t piece = size / 4;
        Strings parts;
        for (std::size_t k = 0; k < 4; ++k)
            writeFile(parts.emplace_back(dir / ("p" + std::to_string(k + 1))),
                      whole.substr(k * piece, k < 3 ? piece : std::string::npos));
        writeFile(dir / "whole", whole);
        writeFile(dir / "other", other);
        const std::string prefix = whole.substr(0, size * 3 / 5);

        EXPECT_EQ(refusal({dir / "other"}, prefix), message(1, dir / "other", 0)); // wrong source
        EXPECT_EQ(refusal({parts[0], parts[2], parts[1], parts[3]}, prefix),
                  message(piece + 1, parts[2], piece)); // segments out of order
        // Taken from another file as long as the sources, or longer.
        EXPECT_EQ(refusal({dir / "whole"}, other.substr(0, size / 2)),
                  message(1, dir / "whole", 0));
        EXPECT_NE(refusal({dir / "whole"}, other), "");
        EXPECT_NE(refusal(parts, other + "more"), "");
        // The same beginning, changed only near its end.
        std::string changed = prefix;
        changed[changed.size() - 10] ^= 1;
        EXPECT_EQ(refusal(parts, changed), message(changed.size() - 9, parts[2], 2 * piece));

        EXPECT_EQ(refusal(parts, whole), ""); // already complete: nothing to do
        EXPECT_EQ(refusal(parts, whole + "and more"), "");
        writeFile(dir / "target", prefix);
        RecordingProgress ui;
        ASSERT_EQ(failure(appendFile(parts, dir / "target", ui)), "");
        EXPECT_TRUE(readFile(dir / "target") == whole);
    }
}

TEST_F(Engine, AppenderWorksAtPositionsBeyondFourGibibytes) {
    const std::uintmax_t base = (std::uintmax_t{1} << 32) + 12345; // past 32-bit positions
    // Sparse files: the same (empty) beginning, the source 10 bytes longer.
    for (const char* name : {"target", "source"}) {
        writeFile(dir / name, "");
        std::filesystem::resize_file(dir / name, base);
    }
    std::ofstream(dir / "source", std::ios::app) << "0123456789";
    ASSERT_EQ(failure(appendFile({dir / "source"}, dir / "target", ui)), "");
    EXPECT_EQ(std::filesystem::file_size(dir / "target"), base + 10);
    EXPECT_EQ(readFile(dir / "target", base), "0123456789");
}

TEST_F(Engine, FaultsStopTheSegmenterAtASegmentThatCannotBeCreated) {
    const std::string source = randomBytes(50);
    writeFile(dir / "src", source);
    // Segment 3 leads into a folder that does not exist.
    std::filesystem::create_symlink(dir / "none/p3", dir / "p3");
    EXPECT_EQ(failure(segmentFile(dir / "src", dir / "p", 5, ui)),
              "Cannot create \"" + (dir / "p3") + "\": No such file or directory.");
    EXPECT_EQ(readFile(dir / "p1") + readFile(dir / "p2"), source.substr(0, 20));
    EXPECT_FALSE(exists(dir / "p4"));

    RecordingProgress nowhere;
    EXPECT_NE(failure(segmentFile(dir / "src", dir / "no/such/folder/p", 2, nowhere))
                  .find("No such file or directory"),
              std::string::npos);
}

TEST_F(Engine, FaultsAFullDiskStopsEachEngineAndKeepsWhatWasWritten) {
    const std::string source = randomBytes(30);
    writeFile(dir / "src", source);
    ASSERT_EQ(::symlink("/dev/full", (dir / "p2").c_str()), 0);
    EXPECT_EQ(failure(segmentFile(dir / "src", dir / "p", 3, ui)), diskFull(dir / "p2"));
    EXPECT_EQ(readFile(dir / "p1"), source.substr(0, 10));
    EXPECT_FALSE(exists(dir / "p3"));

    ASSERT_EQ(::symlink("/dev/full", (dir / "joined").c_str()), 0);
    RecordingProgress join, add;
    EXPECT_EQ(failure(assembleFiles({dir / "src", dir / "p1"}, dir / "joined", join)),
              diskFull(dir / "joined"));
    EXPECT_EQ(join.pumps, 1); // stopped at the first input
    EXPECT_EQ(failure(appendFile({dir / "src"}, dir / "p2", add)), diskFull(dir / "p2"));
}

TEST_F(Engine, FaultsAnInputThatShrinksWhileCopiedIsReportedNotPaddedAndFreesItsRoom) {
    const std::string source = randomBytes(4 << 20);
    writeFile(dir / "src", source);
    // The second event pump comes between the first and second piece of the input.
    ui.onPump = [&](int n) {
        if (n == 2)
            std::filesystem::resize_file(dir / "src", 100'000);
    };
    EXPECT_NE(failure(assembleFiles({dir / "src"}, dir / "out", ui, {65'536}))
                  .find("shorter than when it was measured"),
              std::string::npos);
    EXPECT_EQ(readFile(dir / "out"), source.substr(0, 100'000));
    // Room reserved for the whole input is given back: the output takes no more
    // disk than its bytes.
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

// Asked to stop at an event pump, each engine ends at once with a message that
// names the file it was writing and what it holds, and keeps those bytes.
TEST_F(Engine, EachEngineStopsWhenAskedAndKeepsWhatItWrote) {
    const std::string whole = randomBytes(1'000'000, 5);
    writeFile(dir / "src", whole);
    for (int k = 0; k < 4; ++k)
        writeFile(dir / ("in" + std::to_string(k + 1)), whole.substr(k * 250'000, 250'000));
    const Strings inputs = named(dir / "in", upTo(4));
    const auto segment = [&](RunProgress& p) {
        return segmentFile(dir / "src", dir / "p", 4, p, {.copyChunk = 100'000});
    };
    const auto assemble = [&](RunProgress& p) {
        return assembleFiles(inputs, dir / "out", p, {100'000});
    };
    const auto append = [&](RunProgress& p) {
        writeFile(dir / "t", whole.substr(0, 100'000));
        return appendFile(inputs, dir / "t", p, {100'000});
    };
    // Pumps come before each file and between the pieces of 100,000 bytes.
    const struct {
        std::function<Result<>(RunProgress&)> run;
        int stopAtPump;
        std::string output; // empty: nothing was written
        std::size_t kept;
        std::string absent;
    } cases[] = {
        {segment, 1, "", 0, dir / "p1"},
        {segment, 3, dir / "p1", 200'000, dir / "p2"},
        {segment, 4, dir / "p1", 250'000, dir / "p2"}, // before the next segment is made
        {assemble, 4, dir / "out", 250'000, ""},
        {assemble, 6, dir / "out", 450'000, ""},
        // Appending copies up to the end of a block first, then in pieces.
        {append, 3, dir / "t", 102'400, ""},
    };
    for (const auto& c : cases) {
        for (const char* name : {"p1", "p2", "out"})
            std::filesystem::remove(dir / name);
        RecordingProgress progress;
        progress.onPump = [&](int n) { progress.stop = n >= c.stopAtPump; };
        const Result<> result = c.run(progress);
        ASSERT_TRUE(!result.ok()) << c.output << " " << c.stopAtPump;
        EXPECT_TRUE(result.error().stopped());
        EXPECT_EQ(progress.pumps, c.stopAtPump);
        if (c.output.empty()) {
            EXPECT_EQ(result.error().message, "The run was stopped before anything was written.");
        } else {
            EXPECT_EQ(result.error().message, "The run was stopped.  \"" + c.output +
                                                  "\" was left with " + std::to_string(c.kept) +
                                                  " bytes.");
            EXPECT_TRUE(readFile(c.output) == whole.substr(0, c.kept)) << c.output;
        }
        if (!c.absent.empty()) {
            EXPECT_FALSE(exists(c.absent)) << c.absent;
        }
    }
    // A file that was to be replaced stays as it was.
    writeFile(dir / "out", "older");
    RecordingProgress progress;
    progress.onPump = [&](int n) { progress.stop = n >= 4; };
    EXPECT_EQ(failure(assemble(progress)), "The run was stopped.  Nothing was replaced: \"" +
                                               (dir / "out") + "\" holds what it held before.");
    EXPECT_EQ(readFile(dir / "out"), "older");
}

// Room reserved ahead of the writes is bounded: a run killed in the middle (no
// clean-up runs) leaves at most a step allocated beyond the output's end.
TEST(Engines, ARunKilledInTheMiddleLeavesLittleRoomBeyondTheOutputsEnd) {
    TempDir dir;
    struct statfs fs {};
    if (::statfs(dir.folder().c_str(), &fs) != 0 || fs.f_type != EXT4_SUPER_MAGIC)
        GTEST_SKIP() << "room is reserved ahead of the writes only on ext4";
    const std::int64_t piece = 1 << 20, step = 2 << 20, length = 32 << 20;
    writeFile(dir / "src", randomBytes(length));
    const pid_t child = ::fork();
    if (child == 0) {
        RecordingProgress progress;
        progress.onPump = [](int n) {
            if (n == 4) // four pieces written
                ::raise(SIGKILL);
        };
        FileHandle in = openInput(dir / "src").value();
        FileHandle out = createOutput(dir / "out").value();
        copyRange(in, 0, length, out, progress, piece, step);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the copy was not killed";
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4 * piece);
    EXPECT_LE(st.st_blocks * 512 - st.st_size, step);
}

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

TEST(Selection, ListOrderOrSegmentsInNumberOrder) {
    const auto selected = [](Strings names, bool reorder, bool listOrder = true) {
        if (listOrder) // as a file list shows them: sorted character by character
            std::sort(names.begin(), names.end());
        return orderSelection("/x/", names, reorder);
    };
    EXPECT_TRUE(selected({}, true).empty());
    EXPECT_EQ(selected({"only;one"}, false), Strings{"/x/only;one"}); // ";" no separator
    EXPECT_EQ(selected(named("part", {1, 2, 10}), false), named("/x/part", {1, 10, 2}));
    EXPECT_EQ(selected(named("part", {1, 2, 10}), true), named("/x/part", {1, 2, 10}));
    // Every digit count, nothing left out.
    EXPECT_EQ(selected(named("seg", upTo(120)), true), named("/x/seg", upTo(120)));
    // Segment 1 not selected: the first name in the list is part10, yet the
    // shorter names are kept and come first.
    const std::vector<int> numbers{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(selected(named("part", numbers), true), named("/x/part", numbers));
    // Names much longer or shorter than the first are kept too, by length.
    EXPECT_EQ(selected({"bb", "a", "cccccc", "dd"}, true, false),
              (Strings{"/x/a", "/x/bb", "/x/dd", "/x/cccccc"}));
}

} // namespace

namespace checks {

std::string sha256(const std::string& bytes) {
    Sha256 sum;
    sum.update(bytes.data(), bytes.size());
    return sum.hexDigest();
}

TEST(Manifest, ReadsAndWritesWhatSha256sumDoes) {
    // The standard's test vector, and the empty input.
    EXPECT_EQ(sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    const std::string d(64, 'a');
    Manifest written;
    for (const char* name : {"plain", "with space", "new\nline", "back\\slash", "car\rriage"})
        written.entries.push_back({d, name, false, 7});
    written.entries.push_back({d, " lead*", true, 35});
    const std::string text = written.text();
    EXPECT_NE(text.find("\n" + d + "  with space\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  new\\nline\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  back\\\\slash\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  car\\rriage\n"), std::string::npos);
    EXPECT_NE(text.find("# whole file: 35 bytes\n" + d + "   lead*\n"), std::string::npos);
    const Manifest read = Manifest::parse(text);
    ASSERT_TRUE(read.problems.empty()) << read.problems.front();
    ASSERT_EQ(read.entries.size(), written.entries.size());
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        EXPECT_EQ(read.entries[i].name, written.entries[i].name);
        EXPECT_EQ(read.entries[i].whole, written.entries[i].whole);
        EXPECT_EQ(read.entries[i].length, written.entries[i].length);
    }

    // Line ends of either kind, a binary mark, capitals, tagged lines, a file
    // without a note; lines that sha256sum -c would not read are named by number.
    const std::string upper(64, 'B');
    const Manifest other = Manifest::parse(
        "# segment: 5 bytes\r\n" + d + " *bin\r\n\n" + upper + "  x\n" + "SHA256 (t a g) = " + d +
        "\n" + d + "  \n" + d.substr(1) + "  short\n\\" + d + "  bad\\escape\n" + d + "\tx");
    ASSERT_EQ(other.entries.size(), 4u);
    EXPECT_EQ(other.entries[0].name, "bin");
    EXPECT_EQ(other.entries[0].length, 5);
    EXPECT_EQ(other.entries[1].digest, std::string(64, 'b'));
    EXPECT_EQ(other.entries[1].length, std::nullopt);
    EXPECT_EQ(other.entries[2].name, "t a g");
    EXPECT_EQ(other.entries[3].name, "x");
    EXPECT_EQ(other.problems, (Strings{"line 6: no file name",
                                       "line 7: not a SHA-256 checksum (63 digits instead of 64)",
                                       "line 8: a backslash that is not followed by \\, n or r"}));
}

TEST(Sizes, ReadLikeSplitAndSegmentNumbersFindGaps) {
    for (const auto& [text, bytes] : {std::pair<const char*, std::int64_t>{"1000000", 1'000'000},
                                      {"4G", 4LL << 30},
                                      {"700M", 700LL << 20},
                                      {"25MB", 25'000'000},
                                      {"1KiB", 1024},
                                      {"2k", 2048},
                                      {"3kB", 3000},
                                      {"1b", 512},
                                      {"7E", 7LL << 60}})
        EXPECT_EQ(parseByteSize(text), bytes) << text;
    for (const char* text :
         {"", "K", "1.5K", "1e3", " 5", "5 ", "1KiBB", "1x", "8E", "9223372036854775808"})
        EXPECT_EQ(parseByteSize(text), std::nullopt) << text;

    EXPECT_EQ(failure(missingSegments(named("d/p", {1, 2, 4}))),
              "\"d/p3\" is missing between \"d/p2\" and \"d/p4\".");
    EXPECT_EQ(failure(missingSegments(named("p", {2, 3, 3, 7}))),
              "\"p1\" is missing before \"p2\". \"p3\" is given more than once. \"p4\" to \"p6\" "
              "are missing between \"p3\" and \"p7\".");
    EXPECT_EQ(failure(missingSegments(named("p", upTo(12)))), "");
    EXPECT_EQ(failure(missingSegments({"p1", "q3"})), "");  // not of one base name
    EXPECT_EQ(failure(missingSegments({"p1", "p03"})), ""); // not a segment name
    EXPECT_EQ(commonBases(named("a/b.part", {3, 10})), Strings{"a/b.part"});
    EXPECT_EQ(commonBases({"x1", "x"}), Strings{});
    // One base name however its folder is spelled.
    EXPECT_EQ(commonBases({"d/p1", "./d//p2"}), Strings{"d/p"});
    // A base name that ends in a digit: "v1" cut into 12 is not "v" with 10 missing.
    EXPECT_EQ(commonBases(named("v1", {1, 2})), (Strings{"v1", "v"}));
    EXPECT_EQ(failure(missingSegments(named("v1", upTo(12)))), "");
    EXPECT_EQ(failure(missingSegments({"v11", "v13"})),
              "\"v12\" is missing between \"v11\" and \"v13\".");
    EXPECT_EQ(segmentNumber("v11", "v1"), 1);
    EXPECT_EQ(segmentNumber("v11", "v"), 11);
    EXPECT_EQ(segmentNumber("v1", "v1"), std::nullopt);
    EXPECT_EQ(failure(missingSegments({"p1", "./p1"})), "\"p1\" is given more than once.");
}

// Zero-padded names (segment --digits) are read as one set of one width: in
// order, out of it, a gap named as the set names its pieces, a base name that
// ends in digits, and no set of two widths.
TEST(Sizes, SegmentNumbersReadZeroPaddedNames) {
    const auto padded = [](const std::string& base, int width, const std::vector<int>& numbers) {
        Strings names;
        for (const int n : numbers)
            names.push_back(pieceName(base, n, width));
        return names;
    };
    EXPECT_EQ(failure(outOfNumberOrder(padded("p", 2, upTo(12)))), "");
    EXPECT_EQ(failure(missingSegments(padded("v1", 2, upTo(12)))), ""); // v101 .. v112
    EXPECT_EQ(failure(outOfNumberOrder(padded("p", 3, {1, 2, 10, 3}))),
              "\"p010\" is given before \"p003\": the pieces are not in number order.");
    EXPECT_EQ(failure(missingSegments(padded("d/p", 2, {1, 2, 5}))),
              "\"d/p03\" to \"d/p04\" are missing between \"d/p02\" and \"d/p05\".");
    EXPECT_EQ(failure(missingSegments({"p01", "p2", "p4"})), ""); // two widths: no one set
    EXPECT_EQ(pieceBaseOf("p001", padded("p", 3, {2, 3})), "p");
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

// Inputs matched with a manifest's segments before anything is written.
TEST_F(Engine, ManifestMatchNamesTheSegmentThatIsWrong) {
    Manifest manifest;
    for (int k = 1; k <= 3; ++k) {
        const std::string bytes = std::string(10 + k, static_cast<char>('0' + k));
        writeFile(dir / ("p" + std::to_string(k)), bytes);
        manifest.entries.push_back({sha256(bytes), "p" + std::to_string(k), false, 10 + k});
    }
    writeFile(dir / "whole", "x");
    manifest.entries.push_back({sha256("x"), "whole", true, 1});
    writeFile(dir / "stray", "y");
    ASSERT_EQ(::symlink((dir / "p2").c_str(), (dir / "link").c_str()), 0);
    const std::string m = dir / "p.sha256";
    const auto matched = [&](const Strings& inputs) {
        const Result<Checksums> result = matchSegments(manifest, m, inputs);
        return !result.ok() ? result.error().message + result.error().file
                            : "parts " + std::to_string(result->parts.size()) +
                                  (result->whole ? " whole" : "");
    };
    const std::string p1 = dir / "p1", p2 = dir / "p2", p3 = dir / "p3";
    EXPECT_EQ(matched({p1, dir / "link", p3}), "parts 3 whole"); // any name of the file
    EXPECT_EQ(matched({p1, p3, p2}), "\"" + p3 +
                                         "\" is out of order: it is piece 3 of the 3 "
                                         "pieces listed in \"" +
                                         m + "\", and \"" + p2 + "\" is piece 2.");
    EXPECT_EQ(matched({p1, p2}), "\"" + p3 + "\", piece 3 of the 3 pieces listed in \"" + m +
                                     "\", is not among the files given.");
    std::filesystem::rename(p3, dir / "p3.kept");
    std::filesystem::create_hard_link(p2, p3);
    EXPECT_EQ(matched({p1, p2, p3}),
              "\"" + p2 + "\" and \"" + p3 + "\", pieces 2 and 3 of the 3 pieces listed in \"" + m +
                  "\", are one and the same file: one is a link to the other.");
    std::filesystem::rename(dir / "p3.kept", p3);
    EXPECT_EQ(matched({p1, p2, p2, p3}), "\"" + p2 + "\" is given more than once.");
    EXPECT_EQ(matched({p1, dir / "stray", p3}),
              "\"" + (dir / "stray") + "\" is not one of the pieces listed in \"" + m + "\".");
    EXPECT_EQ(matched({p1, p2, p3, dir / "whole"}), "\"" + (dir / "whole") +
                                                        "\" is the whole file in \"" + m +
                                                        "\", not one of its pieces.");
    EXPECT_EQ(matched({p1, p2, dir / "gone"}), msg::kNoSuchFile + (dir / "gone"));
    writeFile(p2, "2222");
    EXPECT_EQ(matched({p1, p2, p3}),
              "\"" + p2 + "\" is 4 bytes long, but piece 2 in \"" + m + "\" has 12 bytes.");
    std::filesystem::remove(p2);
    EXPECT_EQ(matched({p1, p3}),
              "\"" + p2 + "\", piece 2 of the 3 pieces listed in \"" + m + "\", is missing.");
    manifest.problems.push_back("line 9: no file name");
    EXPECT_NE(matched({p1, p3}).find("line 9: no file name"), std::string::npos);
}

// Assembling and appending read the output back and compare it with the
// checksums: a mismatch names the input and keeps what was written, never
// under the output's name.
TEST_F(Engine, AssemblerAndAppenderCheckTheirOutputAgainstChecksums) {
    const std::string whole = randomBytes(40'000'000, 21);
    Strings parts;
    Checksums expected;
    expected.source = "m";
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string bytes = whole.substr(k * 10'000'000, 10'000'000);
        writeFile(parts.emplace_back(dir / ("p" + std::to_string(k + 1))), bytes);
        expected.parts.push_back(sha256(bytes));
    }
    expected.whole = sha256(whole);
    ASSERT_EQ(failure(assembleFiles(parts, dir / "out", ui, {1'000'000, &expected})), "");
    EXPECT_TRUE(readFile(dir / "out") == whole);

    const auto assembled = [&](const Checksums& sums) {
        RecordingProgress progress;
        return failure(assembleFiles(parts, dir / "out", progress, {1'000'000, &sums}));
    };
    Checksums wrongWhole = expected;
    wrongWhole.whole = sha256("other");
    writeFile(dir / "out", "an older file");
    EXPECT_EQ(assembled(wrongWhole), "\"" + (dir / "out") +
                                         "\" does not match the checksum of the whole file in "
                                         "\"m\": it is not the original file.  Nothing was "
                                         "replaced: \"" +
                                         (dir / "out") + "\" holds what it held before.");
    EXPECT_EQ(readFile(dir / "out"), "an older file"); // the file it was to replace
    std::string damaged = readFile(parts[1]);
    damaged[700'000] ^= 4;
    writeFile(parts[1], damaged);
    std::filesystem::remove(dir / "out");
    EXPECT_EQ(assembled(expected), "The bytes of \"" + parts[1] +
                                       "\" do not match its checksum in \"m\"; \"" + (dir / "out") +
                                       "\" does not match the original file.  The file written is "
                                       "not kept under its name: it is \"" +
                                       (dir / "out.damaged") + "\".");
    // What was written is kept, under a name that says it is damaged.
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    EXPECT_GE(readFile(dir / "out.damaged").size(), 20'000'000u);

    // Append: a target whose prefix differs where the comparison of samples does
    // not look is refused before anything is written, naming the target; one
    // already complete fails on its checksums, naming the target too.
    writeFile(parts[1], whole.substr(10'000'000, 10'000'000));
    std::string target = whole.substr(0, 30'000'000);
    target[200'000] ^= 1;
    writeFile(dir / "t", target);
    EXPECT_EQ(failure(appendFile(parts, dir / "t", ui, {kCopyChunk, &expected})),
              "\"" + (dir / "t") +
                  "\" does not hold the beginning of the chosen files: its bytes 1 to 10000000, "
                  "where \"" +
                  parts[0] + "\" belongs, do not match the checksum of \"" + parts[0] +
                  "\" in \"m\".  Nothing was appended.");
    EXPECT_TRUE(readFile(dir / "t") == target);
    writeFile(dir / "t", target + whole.substr(30'000'000));
    EXPECT_EQ(failure(appendFile(parts, dir / "t", ui, {kCopyChunk, &expected})),
              "The bytes of \"" + (dir / "t") + "\" where \"" + parts[0] +
                  "\" belongs do not match the checksum of \"" + parts[0] + "\" in \"m\"; \"" +
                  (dir / "t") + "\" does not match the original file.");
    for (const std::size_t kept : {std::size_t{0}, std::size_t{30'000'000}, whole.size()}) {
        writeFile(dir / "t", whole.substr(0, kept));
        RecordingProgress progress;
        ASSERT_EQ(failure(appendFile(parts, dir / "t", progress, {kCopyChunk, &expected})), "");
        EXPECT_TRUE(readFile(dir / "t") == whole);
    }
    writeFile(dir / "t", whole + "more");
    EXPECT_NE(failure(appendFile(parts, dir / "t", ui, {kCopyChunk, &expected}))
                  .find("does not match the checksum of the whole file"),
              std::string::npos);
}

TEST_F(Engine, VerifierNamesEachFileThatIsNotRight) {
    using Outcome = Verdict::Outcome;
    Manifest manifest;
    for (int k = 1; k <= 7; ++k) {
        const std::string bytes = randomBytes(1000 + k, k);
        writeFile(dir / ("p" + std::to_string(k)), bytes);
        manifest.entries.push_back({sha256(bytes), "p" + std::to_string(k), false, 1000 + k});
    }
    manifest.entries.push_back({sha256("w"), "whole", true, 1});
    manifest.entries.push_back({sha256("w"), "../p1", false, std::nullopt});
    manifest.entries.push_back({sha256("w"), dir / "p1", false, std::nullopt});
    std::filesystem::remove(dir / "p2");
    std::filesystem::resize_file(dir / "p3", 500);
    std::ofstream(dir / "p4", std::ios::app) << "more";
    std::filesystem::rename(dir / "p5", dir / "x"); // p5 and p6 swapped
    std::filesystem::rename(dir / "p6", dir / "p5");
    std::filesystem::rename(dir / "x", dir / "p6");
    std::string seven = readFile(dir / "p7");
    seven[3] ^= 1;
    writeFile(dir / "p7", seven);
    std::vector<Outcome> outcomes;
    for (const Verdict& verdict : verifyManifest(manifest, dir.folder(), ui))
        outcomes.push_back(verdict.outcome);
    EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Good, Outcome::Missing, Outcome::Shorter,
                                              Outcome::Longer, Outcome::Longer, Outcome::Shorter,
                                              Outcome::Different, Outcome::Missing,
                                              Outcome::Outside, Outcome::Outside}));
    // Without notes of their lengths, files of another length are different.
    for (ManifestEntry& entry : manifest.entries)
        entry.length.reset();
    writeFile(dir / "whole", "w");
    outcomes.clear();
    for (const Verdict& verdict : verifyManifest(manifest, dir.folder(), ui))
        outcomes.push_back(verdict.outcome);
    EXPECT_EQ(outcomes[2], Outcome::Different);
    EXPECT_EQ(outcomes[4], Outcome::Different);
    EXPECT_EQ(outcomes[7], Outcome::Good);
}

} // namespace checks

// Names that lead to one file are told apart by what the files are, before
// anything is written: an append target that is a source, a cut over pieces
// that are links of one another, an assembled file that is an input.
TEST_F(Engine, NamesOfOneFileAreRefusedNamingBoth) {
    const Strings parts = named(dir / "p", upTo(3));
    for (const std::string& part : parts)
        writeFile(part, randomBytes(1000, static_cast<unsigned>(part.size())));
    const std::string first = readFile(parts[0]);
    std::filesystem::create_hard_link(parts[0], dir / "t");
    EXPECT_EQ(failure(appendFile(parts, dir / "t", ui)),
              "\"" + (dir / "t") + "\" and \"" + parts[0] +
                  "\" are one file: appending to it would change what is read.  Nothing was "
                  "appended.");
    EXPECT_EQ(readFile(parts[0]), first);
    std::filesystem::create_symlink(parts[1], dir / "s");
    EXPECT_NE(failure(assembleFiles(parts, dir / "s", ui))
                  .find("\"" + (dir / "s") + "\" and \"" + parts[1] + "\" are one file"),
              std::string::npos);

    writeFile(dir / "src", randomBytes(3000, 5));
    std::filesystem::remove(parts[2]);
    std::filesystem::create_hard_link(parts[1], parts[2]);
    EXPECT_NE(failure(segmentFile(dir / "src", dir / "p", 3, ui, SegmentOptions{}))
                  .find(oneFile(parts[1], parts[2])),
              std::string::npos);
    EXPECT_EQ(readFile(parts[0]), first);
    EXPECT_EQ(firstSameFile({dir / "x", parts[0], parts[2], dir / "./p2"}),
              (std::pair<std::size_t, std::size_t>{2, 3}));
}

// Our manifests say how much they list: every text cut short is told
// incomplete (or unreadable), never taken for a shorter manifest. A write that
// fails leaves the old manifest and no new file.
TEST_F(Engine, AManifestIsWholeOrNotBelieved) {
    writeFile(dir / "src", randomBytes(5000, 3));
    SegmentOptions options;
    options.writeManifest = true;
    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 4, ui, options)), "");
    const std::string text = readFile(dir / "p.sha256");
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        const Manifest shorter = Manifest::parse(text.substr(0, cut));
        EXPECT_TRUE(!shorter.checkComplete("p.sha256").ok() || !shorter.problems.empty() ||
                    shorter.entries.empty())
            << text.substr(0, cut);
    }
    EXPECT_TRUE(Manifest::parse(text).checkComplete("p.sha256").ok());
    EXPECT_TRUE(Manifest::parse(text.substr(text.find("# segment"))).checkComplete("p").ok());

    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{100, 100}; // bytes: the manifest does not fit
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        Manifest other = Manifest::parse(text);
        other.entries.pop_back();
        ::_exit(other.write(dir / "p.sha256").ok() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(readFile(dir / "p.sha256"), text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.folder()), {}), 6);
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

// The manifest beside the pieces governs them however they are named, and a
// file it does not list among them is refused; the order and the place of
// numbered pieces and of the output are checked by what the names say.
TEST_F(Engine, AManifestBesideThePiecesGovernsThemAndOrderIsChecked) {
    writeFile(dir / "src", randomBytes(5000, 3));
    SegmentOptions options;
    options.writeManifest = true;
    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 3, ui, options)), "");
    std::filesystem::create_directory(dir / "sub");
    const Strings spelled{dir / "p1", "/" + std::filesystem::relative(dir / "p2", "/").string(),
                          dir / "sub/../p3"};
    EXPECT_EQ(findManifest(spelled).value(), dir / "p.sha256");
    std::filesystem::copy_file(dir / "p3", dir / "p3.bak");
    const Strings stray{dir / "p1", dir / "p2", dir / "p3.bak"};
    const Result<Checksums> strayExpected =
        expectedForJoin(findManifest(stray).value(), stray, dir / "out");
    ASSERT_FALSE(strayExpected.ok());
    EXPECT_EQ(strayExpected.error().message, "\"" + (dir / "p3.bak") +
                                                 "\" is not one of the pieces listed in \"" +
                                                 (dir / "p.sha256") + "\".");
    EXPECT_EQ(findManifest({dir / "src"}).value(), ""); // the whole file alone is not a piece
    writeFile(dir / "q.sha256", readFile(dir / "p.sha256") + "# another\n");
    EXPECT_EQ(findManifest(spelled).value(), dir / "p.sha256"); // the same checksums agree
    writeFile(dir / "q.sha256", readFile(dir / "p.sha256").substr(0, 400));
    EXPECT_FALSE(findManifest(spelled).ok());

    const Strings glob = named("p", {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(failure(outOfNumberOrder(glob)),
              "\"p12\" is given before \"p2\": the pieces are not in number order.");
    EXPECT_EQ(failure(outOfNumberOrder(named("p", upTo(12)))), "");
    EXPECT_EQ(failure(outOfNumberOrder(named("v1", upTo(12)))), "");
    EXPECT_EQ(failure(outOfNumberOrder({"p1", "p2", "p2"})), "\"p2\" is given more than once.");
    EXPECT_EQ(pieceBaseOf("part1", {"part2", "part3", "part4", "out.mp4"}), "part");
    EXPECT_EQ(pieceBaseOf("v1", named("v1", upTo(12))), std::nullopt);
    EXPECT_EQ(pieceBaseOf("out", named("part", upTo(3))), std::nullopt);
}
