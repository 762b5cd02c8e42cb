// Counts, sizes, the numbers of segments in their names, and the order of a selection.
#include "engines/names/PieceNumbers.h"
#include "engines/names/ByteSize.h"
#include "engines/names/CountText.h"
#include "engines/names/PiecePolicy.h"
#include "engines/names/Selection.h"
#include "tests/support/EngineFixture.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

TEST(Count, ReadsOneNumberWithBlanksAroundIt) {
    for (const auto& [text, count] : {std::pair{"12", 12}, {" 7 ", 7}, {"007", 7}, {"999", 999}})
        EXPECT_EQ(parseCount(text), count) << text;
    for (const char* text : {"1 2", "   ", "", "1a", "3x", "-3", "+3", "1234567890"})
        EXPECT_EQ(parseCount(text), std::nullopt) << text;
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

TEST(Sizes, ReadLikeSplitAndPieceNumbersFindGaps) {
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

    EXPECT_EQ(failure(missingPieces(named("d/p", {1, 2, 4}))),
              "\"d/p3\" is missing between \"d/p2\" and \"d/p4\".");
    EXPECT_EQ(failure(missingPieces(named("p", {2, 3, 3, 7}))),
              "\"p1\" is missing before \"p2\". \"p3\" is given more than once. \"p4\" to \"p6\" "
              "are missing between \"p3\" and \"p7\".");
    EXPECT_EQ(failure(missingPieces(named("p", upTo(12)))), "");
    EXPECT_EQ(failure(missingPieces({"p1", "q3"})), "");  // not of one base name
    EXPECT_EQ(failure(missingPieces({"p1", "p03"})), ""); // not a segment name
    EXPECT_EQ(commonBases(named("a/b.part", {3, 10})), Strings{"a/b.part"});
    EXPECT_EQ(commonBases({"x1", "x"}), Strings{});
    // One base name however its folder is spelled.
    EXPECT_EQ(commonBases({"d/p1", "./d//p2"}), Strings{"d/p"});
    // A base name that ends in a digit: "v1" cut into 12 is not "v" with 10 missing.
    EXPECT_EQ(commonBases(named("v1", {1, 2})), (Strings{"v1", "v"}));
    EXPECT_EQ(failure(missingPieces(named("v1", upTo(12)))), "");
    EXPECT_EQ(failure(missingPieces({"v11", "v13"})),
              "\"v12\" is missing between \"v11\" and \"v13\".");
    EXPECT_EQ(pieceNumber("v11", "v1"), 1);
    EXPECT_EQ(pieceNumber("v11", "v"), 11);
    EXPECT_EQ(pieceNumber("v1", "v1"), std::nullopt);
    EXPECT_EQ(failure(missingPieces({"p1", "./p1"})), "\"p1\" is given more than once.");
}

// Zero-padded names (segment --digits) are read as one set of one width: in
// order, out of it, a gap named as the set names its pieces, a base name that
// ends in digits, and no set of two widths.
TEST(Sizes, PieceNumbersReadZeroPaddedNames) {
    const auto padded = [](const std::string& base, int width, const std::vector<int>& numbers) {
        Strings names;
        for (const int n : numbers)
            names.push_back(pieceName(base, n, width));
        return names;
    };
    EXPECT_EQ(failure(outOfNumberOrder(padded("p", 2, upTo(12)))), "");
    EXPECT_EQ(failure(missingPieces(padded("v1", 2, upTo(12)))), ""); // v101 .. v112
    EXPECT_EQ(failure(outOfNumberOrder(padded("p", 3, {1, 2, 10, 3}))),
              "\"p010\" is given before \"p003\": the pieces are not in number order.");
    EXPECT_EQ(failure(missingPieces(padded("d/p", 2, {1, 2, 5}))),
              "\"d/p03\" to \"d/p04\" are missing between \"d/p02\" and \"d/p05\".");
    EXPECT_EQ(failure(missingPieces({"p01", "p2", "p4"})), ""); // two widths: no one set
    EXPECT_EQ(pieceBaseOf("p001", padded("p", 3, {2, 3})), "p");
}

} // namespace
