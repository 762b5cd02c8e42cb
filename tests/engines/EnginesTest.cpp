#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/Messages.h"
#include "engines/Segmenter.h"
#include "engines/Selection.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <numeric>
#include <sys/stat.h>
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

Strings diskFull(const std::string& path) {
    return {"Cannot write \"" + path + "\": the disk is full (No space left on device)."};
}

// A folder of its own and a recording front-end for each test.
struct Engine : ::testing::Test {
    TempDir dir;
    RecordingUi ui;
};

TEST(SegmentCount, ReadsDigitsWithBlanksAroundThem) {
    for (const auto& [text, count] : {std::pair{"12", 12}, {" 7 ", 7}, {"007", 7}, {"999", 999}})
        EXPECT_EQ(parseSegmentCount(text), count) << text;
    for (const char* text : {"1 2", "   ", "1a", "-3"})
        EXPECT_EQ(parseSegmentCount(text), std::nullopt) << text;
}

// Bytes cut into a count of segments, each copied in pieces of a size, then assembled.
using RoundTrip = std::tuple<std::size_t, int, std::int64_t>;
class SegmentRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SegmentRoundTrip, EqualSlicesWithTheRemainderLastAssembleBackToTheSource) {
    const auto [size, count, pieceSize] = GetParam();
    TempDir dir;
    RecordingUi ui, join;
    const std::string source = randomBytes(size, static_cast<unsigned>(size + count));
    writeFile(dir / "source.bin", source);

    ASSERT_TRUE(
        segmentFile(dir / "source.bin", dir / "part", std::to_string(count), ui, pieceSize));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_FALSE(ui.busy);
    const Strings parts = named(dir / "part", upTo(count));
    int expectedPumps = 0; // one before each segment and each piece after its first
    for (int k = 1; k <= count; ++k) {
        const auto length = std::filesystem::file_size(parts[k - 1]);
        ASSERT_EQ(length, k < count ? size / count : size - size / count * (count - 1)) << k;
        expectedPumps += std::max<int>(1, (length + pieceSize - 1) / pieceSize);
    }
    EXPECT_EQ(joined(parts), source);
    EXPECT_FALSE(exists(dir / ("part" + std::to_string(count + 1))));
    EXPECT_EQ(ui.pumps, expectedPumps);
    // Progress: Min, Max, Value, shown; then one value per segment.
    ASSERT_GE(ui.log.size(), 4u);
    EXPECT_EQ(Strings(ui.log.begin(), ui.log.begin() + 4),
              (Strings{"min 1", "max " + std::to_string(count), "value 1", "visible 1"}));
    EXPECT_EQ(ui.values.back(), count);

    ASSERT_TRUE(assembleFiles(parts, dir / "joined", join, pieceSize));
    EXPECT_EQ(readFile(dir / "joined"), source);
    EXPECT_TRUE(join.messages.empty());
    EXPECT_FALSE(join.busy);
}

constexpr std::int64_t K = kPieceSize;
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
    ASSERT_TRUE(segmentFile(dir / "data.zip", dir / "data.zip", "12", ui));
    EXPECT_EQ(readFile(dir / "data.zip10").size(), 10u);
    EXPECT_FALSE(exists(dir / "data.zip01"));
    // An empty base name gives segments named by their number alone.
    ASSERT_TRUE(segmentFile(dir / "data.zip", dir.folder(), "3", ui));
    EXPECT_EQ(joined(named(dir.folder(), upTo(3))), readFile(dir / "data.zip"));

    writeFile(dir / "p2", randomBytes(5000)); // longer than the new segment 2
    writeFile(dir / "src", "abcdef");
    ASSERT_TRUE(segmentFile(dir / "src", dir / "p", "3", ui));
    EXPECT_EQ(readFile(dir / "p2"), "cd");
    writeFile(dir / "empty", ""); // an empty file gives empty segments
    ASSERT_TRUE(segmentFile(dir / "empty", dir / "e", "4", ui));
    for (const auto& segment : named(dir / "e", upTo(4)))
        EXPECT_TRUE(exists(segment) && readFile(segment).empty()) << segment;

    const std::string original = randomBytes(10'007, 9);
    writeFile(dir / "part3", original); // the source's own name is segment 3
    ASSERT_TRUE(segmentFile(dir / "part3", dir / "part", "5", ui, 1000));
    EXPECT_EQ(joined(named(dir / "part", upTo(5))), original);
    writeFile(dir / "whole", original); // segment 1 is a link to the source
    ASSERT_EQ(::symlink((dir / "whole").c_str(), (dir / "cut1").c_str()), 0);
    ASSERT_TRUE(segmentFile(dir / "whole", dir / "cut", "2", ui));
    EXPECT_EQ(joined(named(dir / "cut", upTo(2))), original);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Engine, SegmenterRefusesBeforeWritingAnything) {
    writeFile(dir / "ten", "0123456789");
    const auto refused = [&](const std::string& source, const char* count) {
        RecordingUi ui;
        EXPECT_FALSE(segmentFile(source, dir / "p", count, ui));
        EXPECT_TRUE(ui.log.empty()) << "the progress display was touched";
        EXPECT_FALSE(ui.busy);
        EXPECT_EQ(ui.titles, Strings{"Shardix!"});
        return ui.messages.empty() ? "" : ui.messages[0];
    };
    EXPECT_EQ(refused(dir / "ten", "11"), msg::kPartsGreaterThanWhole);
    EXPECT_EQ(refused(dir / "gone", "2"), msg::kNoSuchFile);
    EXPECT_EQ(refused(dir.folder(), "1"), msg::kNoSuchFile); // a folder is not a file to read
    // A blank between two digits is no number: the conversion fails.
    EXPECT_NE(refused(dir / "ten", "1 2").find("not a number"), std::string::npos);
    EXPECT_FALSE(exists(dir / "p1"));
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
    const bool ok = segmentFile(locked, dir / "piece", "3", ui);
    if (immutable)
        chattr("-i");
    ASSERT_TRUE(ok) << ui.messages.front();
    EXPECT_EQ(joined(named(dir / "piece", upTo(3))), bytes);
}

TEST_F(Engine, AssemblerWritesInputsWholeInPiecesWithEventsAndProgressBetween) {
    const std::string big = randomBytes(9'000'000, 3);
    writeFile(dir / "a", "abc");
    writeFile(dir / "empty", "");
    writeFile(dir / "b", "defgh");
    writeFile(dir / "big", big);
    ASSERT_TRUE(assembleFiles({dir / "a", dir / "empty", dir / "b", dir / "big"}, dir / "out", ui));
    EXPECT_EQ(readFile(dir / "out"), "abcdefgh" + big);
    // One pump before each of the four inputs, and two more for the 9,000,000
    // bytes written as 4,000,000 + 4,000,000 + 1,000,000.
    EXPECT_EQ(ui.pumps, 6);
    EXPECT_EQ(ui.max, 4);
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2, 3, 4, 4})); // one per input, then full
}

TEST_F(Engine, AssemblerStopsAtAMissingInputKeepingTheInputsBefore) {
    writeFile(dir / "one", "first");
    writeFile(dir / "three", "third");
    writeFile(dir / "out", "an older and longer file that is replaced");
    EXPECT_FALSE(assembleFiles({dir / "one", dir / "two", dir / "three"}, dir / "out", ui));
    EXPECT_EQ(ui.messages, Strings{msg::kNoSuchFile});
    EXPECT_EQ(readFile(dir / "out"), "first");
    EXPECT_EQ(ui.pumps, 2); // the third input was never taken up
    EXPECT_FALSE(ui.busy);
}

TEST_F(Engine, AssemblerRefusesATargetThatIsOneOfTheInputs) {
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
    RecordingUi ui;
    writeFile(dir / "target", kWhole.substr(0, targetLength));
    Strings sources;
    for (const auto& [from, length] : slices)
        writeFile(sources.emplace_back(dir / std::to_string(from)), kWhole.substr(from, length));
    ASSERT_TRUE(appendFile(sources, dir / "target", ui, 3));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(readFile(dir / "target"), kWhole.substr(0, expectedLength));
    EXPECT_EQ(ui.values.back(), ui.max); // the bar ends full, whatever was written
    EXPECT_FALSE(ui.busy);
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
    EXPECT_TRUE(appendFile({dir / "src"}, dir / "target", ui));
    EXPECT_EQ(readFile(dir / "target"), "0123456789");
    EXPECT_EQ(ui.pumps, 1); // the search only: nothing was written
    EXPECT_EQ(ui.values, (std::vector<int>{1, 2}));
    EXPECT_EQ(ui.max, 2);

    RecordingUi created; // a missing target is created
    EXPECT_TRUE(appendFile({dir / "src"}, dir / "new", created));
    EXPECT_EQ(readFile(dir / "new"), "0123456789");
    EXPECT_TRUE(created.messages.empty());

    Strings five; // progress advances per source written
    for (char c : std::string("abcde"))
        writeFile(five.emplace_back(dir / std::string(1, c)), std::string(4, c));
    writeFile(dir / "empty", "");
    RecordingUi perSource;
    ASSERT_TRUE(appendFile(five, dir / "empty", perSource));
    EXPECT_EQ(perSource.max, 5);
    EXPECT_EQ(perSource.values, (std::vector<int>{1, 2, 3, 4, 5, 5, 5}));
    EXPECT_EQ(readFile(dir / "empty"), "aaaabbbbccccddddeeee");

    // Every byte value, 156 of them missing, in pieces of 50 (50, 50, 50, 6): one
    // pump in the search, one before writing and one before each later piece.
    std::string all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    writeFile(dir / "all", all);
    writeFile(dir / "part", all.substr(0, 100));
    RecordingUi pieces;
    ASSERT_TRUE(appendFile({dir / "all"}, dir / "part", pieces, 50));
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
        RecordingUi ui;
        EXPECT_FALSE(appendFile({dir / "a", dir / "b", dir / "c"}, dir / target, ui));
        EXPECT_EQ(ui.messages, Strings{msg::kNoSuchFile});
        EXPECT_EQ(readFile(dir / target), after);
        EXPECT_FALSE(ui.busy);
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
    ASSERT_TRUE(appendFile({dir / "source"}, dir / "target", ui));
    EXPECT_EQ(std::filesystem::file_size(dir / "target"), base + 10);
    EXPECT_EQ(readFile(dir / "target", base), "0123456789");
}

TEST_F(Engine, FaultsStopTheSegmenterAtASegmentThatCannotBeCreated) {
    const std::string source = randomBytes(50);
    writeFile(dir / "src", source);
    std::filesystem::create_directory(dir / "p3"); // in the way of segment 3
    EXPECT_FALSE(segmentFile(dir / "src", dir / "p", "5", ui));
    EXPECT_EQ(ui.messages, Strings{"Cannot create \"" + (dir / "p3") + "\": Is a directory."});
    EXPECT_EQ(ui.titles[0], "Shardix!");
    EXPECT_EQ(ui.styles[0], 0);
    EXPECT_EQ(readFile(dir / "p1") + readFile(dir / "p2"), source.substr(0, 20));
    EXPECT_FALSE(exists(dir / "p4"));
    EXPECT_FALSE(ui.busy);

    RecordingUi nowhere;
    EXPECT_FALSE(segmentFile(dir / "src", dir / "no/such/folder/p", "2", nowhere));
    ASSERT_EQ(nowhere.messages.size(), 1u);
    EXPECT_NE(nowhere.messages[0].find("No such file or directory"), std::string::npos);
}

TEST_F(Engine, FaultsAFullDiskStopsEachEngineAndKeepsWhatWasWritten) {
    const std::string source = randomBytes(30);
    writeFile(dir / "src", source);
    ASSERT_EQ(::symlink("/dev/full", (dir / "p2").c_str()), 0);
    EXPECT_FALSE(segmentFile(dir / "src", dir / "p", "3", ui));
    EXPECT_EQ(ui.messages, diskFull(dir / "p2"));
    EXPECT_EQ(readFile(dir / "p1"), source.substr(0, 10));
    EXPECT_FALSE(exists(dir / "p3"));
    EXPECT_FALSE(ui.busy);

    ASSERT_EQ(::symlink("/dev/full", (dir / "joined").c_str()), 0);
    RecordingUi join, add;
    EXPECT_FALSE(assembleFiles({dir / "src", dir / "p1"}, dir / "joined", join));
    EXPECT_EQ(join.messages, diskFull(dir / "joined"));
    EXPECT_EQ(join.pumps, 1); // stopped at the first input
    EXPECT_FALSE(appendFile({dir / "src"}, dir / "p2", add));
    EXPECT_EQ(add.messages, diskFull(dir / "p2"));
    EXPECT_FALSE(add.busy);
}

TEST_F(Engine, FaultsAnInputThatShrinksWhileCopiedIsReportedNotPaddedAndFreesItsRoom) {
    const std::string source = randomBytes(4 << 20);
    writeFile(dir / "src", source);
    // The second event pump comes between the first and second piece of the input.
    ui.onPump = [&](int n) {
        if (n == 2)
            std::filesystem::resize_file(dir / "src", 100'000);
    };
    EXPECT_FALSE(assembleFiles({dir / "src"}, dir / "out", ui, 65'536));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("shorter than when it was measured"), std::string::npos);
    EXPECT_EQ(readFile(dir / "out"), source.substr(0, 100'000));
    // Room reserved for the whole input is given back: the output takes no more
    // disk than its bytes.
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
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
            RecordingUi ui;
            writeFile(*from / "src", source);
            ASSERT_TRUE(segmentFile(*from / "src", *to / "part", "3", ui, 100'000));
            const Strings parts = named(*to / "part", upTo(3));
            ASSERT_TRUE(assembleFiles(parts, *from / "joined", ui, 65'536));
            EXPECT_EQ(readFile(*from / "joined"), source);
            writeFile(*to / "cut", source.substr(0, 1000));
            ASSERT_TRUE(appendFile({*from / "src"}, *to / "cut", ui));
            EXPECT_EQ(readFile(*to / "cut"), source);
            EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        }
    }
}

// The paths to read for names selected in this order, after this answer to the
// question, which is asked only when two or more are selected.
Strings selected(const Strings& names, int answer, bool listOrder = true) {
    RecordingUi ui;
    ui.answers = {answer};
    Strings shown = names;
    if (listOrder) // as a file list shows them: sorted character by character
        std::sort(shown.begin(), shown.end());
    const Selection s = orderSelection("/x/", shown, ui);
    const bool asked = names.size() >= 2;
    EXPECT_EQ(ui.messages, asked ? Strings{msg::kReorderQuestion} : Strings{});
    EXPECT_EQ(ui.styles, asked ? std::vector<int>{36} : std::vector<int>{});
    EXPECT_EQ(ui.titles, asked ? Strings{"Shardix! - It's your choice..."} : Strings{});
    EXPECT_EQ(s.sortAnswer, asked ? answer : 0);
    EXPECT_EQ(s.fileCount, static_cast<int>(s.fileList.size()));
    return s.fileList;
}

TEST(Selection, NoKeepsTheListOrderAndYesPutsSegmentsInNumberOrder) {
    EXPECT_TRUE(selected({}, MsgAnswer::No).empty());
    EXPECT_EQ(selected({"only;one"}, MsgAnswer::No), Strings{"/x/only;one"}); // ";" no separator
    EXPECT_EQ(selected(named("part", {1, 2, 10}), MsgAnswer::No), named("/x/part", {1, 10, 2}));
    EXPECT_EQ(selected(named("part", {1, 2, 10}), MsgAnswer::Yes), named("/x/part", {1, 2, 10}));
    // Every digit count, nothing left out.
    EXPECT_EQ(selected(named("seg", upTo(120)), MsgAnswer::Yes), named("/x/seg", upTo(120)));
    // Segment 1 not selected: the first name in the list is part10, yet the
    // shorter names are kept and come first.
    const std::vector<int> numbers{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(selected(named("part", numbers), MsgAnswer::Yes), named("/x/part", numbers));
    // Names much longer or shorter than the first are kept too, by length.
    EXPECT_EQ(selected({"bb", "a", "cccccc", "dd"}, MsgAnswer::Yes, false),
              (Strings{"/x/a", "/x/bb", "/x/dd", "/x/cccccc"}));
}

} // namespace
