// Append: a target that holds the beginning of the sources completed with the rest.
#include "engines/operations/Appender.h"
#include "engines/io/Messages.h"
#include "tests/support/EngineFixture.h"

#include <fstream>
#include <gtest/gtest.h>
#include <numeric>

using namespace shardix;
using namespace shardix::testing;

namespace {

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

} // namespace
