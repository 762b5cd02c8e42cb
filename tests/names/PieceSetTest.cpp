#include "engines/names/PieceSet.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/ToolRun.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

using Strings = std::vector<std::string>;

// A set made by a tool from a source "src" of `length` random bytes.
struct MadeSet {
    const char* label;
    std::size_t length;
    const char* commands; // run in the folder that holds src
    PieceScheme scheme;
    std::optional<std::string> baseName;
};

class SchemeFromAnyPiece : public ::testing::TestWithParam<MadeSet> {};

TEST_P(SchemeFromAnyPiece, FindsTheWholeSetInOrder) {
    const MadeSet& made = GetParam();
    TempDir dir;
    const std::string source = randomBytes(made.length, 7);
    writeFile(dir / "src", source);
    ASSERT_EQ(runIn(dir.folder(), made.commands), 0) << made.commands;
    const Strings pieces = namesIn(dir.folder(), {"src"});
    ASSERT_GE(pieces.size(), 2u);
    for (const std::string& given : {pieces.front(), pieces[pieces.size() / 2], pieces.back()}) {
        SCOPED_TRACE(given);
        const PieceSet set = findPieceSet(dir / given);
        for (const SetProblem& p : set.problems)
            ADD_FAILURE() << p.message;
        EXPECT_EQ(set.scheme, made.scheme);
        EXPECT_EQ(set.baseName, made.baseName);
        Strings found;
        std::string joined;
        for (const PieceMember& member : set.members) {
            found.push_back(member.name);
            joined += readFile(dir / member.name);
        }
        EXPECT_EQ(found, pieces);
        EXPECT_TRUE(joined == source) << "the pieces in this order are not the source";
    }
}

// Pieces renamed by a shell loop where no tool writes the scheme itself.
const MadeSet kMadeSets[] = {
    {"letters", 1000, "split -b 100 src", PieceScheme::SplitLetters, std::nullopt},
    {"letters_widened", 700, "split -b 1 src", PieceScheme::SplitLetters, std::nullopt},
    {"letters_width3_prefix", 1000, "split -a 3 -b 64 src big.iso.", PieceScheme::SplitLetters,
     "big.iso"},
    {"letters_by_count", 1001, "split -n 7 src backup_", PieceScheme::SplitLetters, "backup"},
    {"letters_part_prefix", 1000, "split -b 100 src big.iso.part", PieceScheme::SplitLetters,
     "big.iso"},
    {"digits", 1000, "split -d -n 5 src", PieceScheme::SplitDigits, std::nullopt},
    {"digits_widened", 120, "split -d -b 1 src", PieceScheme::SplitDigits, std::nullopt},
    {"digits_from_1_suffix", 1000,
     "split -b 90 --numeric-suffixes=1 --additional-suffix=.bin src part_", PieceScheme::Padded,
     "part.bin"},
    {"dot_000", 1000, "split -d -a 3 -n 4 src disk.img.", PieceScheme::DotNumbers, "disk.img"},
    {"dot_001", 5000, "split -a 3 -b 400 --numeric-suffixes=1 src disk.img.",
     PieceScheme::DotNumbers, "disk.img"},
    {"padded", 1000, "split -b 80 --numeric-suffixes=1 src p", PieceScheme::Padded, "p"},
    // Fewer than ten: the zeros are not a base name's ("p0", "disk.img.00").
    {"padded_few", 1000, "split -b 200 --numeric-suffixes=1 src p", PieceScheme::Padded, "p"},
    {"dot_few", 900, "split -a 3 -b 100 --numeric-suffixes=1 src disk.img.",
     PieceScheme::DotNumbers, "disk.img"},
    {"more_pieces_than_bytes", 2, "split -n 5 src tiny.", PieceScheme::SplitLetters, "tiny"},
    {"part_unpadded", 1000,
     "split -b 120 -a 2 --numeric-suffixes=1 src t. && for f in t.*; do mv \"$f\" "
     "\"movie.mkv.part$(expr \"${f#t.}\" + 0)\"; done",
     PieceScheme::PartNumbers, "movie.mkv"},
    {"part_padded", 1000, "split -b 90 --numeric-suffixes=1 src movie.mkv.part",
     PieceScheme::PartNumbers, "movie.mkv"},
    {"of_total", 1000,
     "split -n 5 -a 5 --numeric-suffixes=1 src model- && for f in model-0*; do mv \"$f\" "
     "\"$f-of-00005.bin\"; done",
     PieceScheme::NumberOfTotal, "model.bin"},
};

INSTANTIATE_TEST_SUITE_P(Tools, SchemeFromAnyPiece, ::testing::ValuesIn(kMadeSets),
                         [](const auto& info) { return std::string(info.param.label); });

// Our own names, written by the engine: a base name that ends in a digit
// ("v1": v11 .. v112), beside the file "v1" itself.
TEST(PieceSet, OurNamesWithABaseThatEndsInADigit) {
    TempDir dir;
    const std::string source = randomBytes(1200, 3);
    writeFile(dir / "v1", source);
    RecordingProgress ui;
    ASSERT_TRUE((segmentFileBySize(dir / "v1", dir / "v1", 100, ui)).ok());
    for (const char* given : {"v11", "v15", "v19"}) {
        const PieceSet set = findPieceSet(dir / given);
        EXPECT_TRUE(set.joinable()) << given;
        EXPECT_EQ(set.scheme, PieceScheme::Numbered);
        EXPECT_EQ(set.baseName, "v1");
        ASSERT_EQ(set.members.size(), 12u) << given;
        EXPECT_EQ(set.members[9].name, "v110");
    }
    // v110 .. v112 are also split -a 1's "v11" numbered 0 .. 2.
    EXPECT_TRUE(findPieceSet(dir / "v112").has(SetProblem::Kind::Ambiguous));
}

struct Fault {
    const char* label;
    const char* commands; // after "split -b 100 src" of 1000 bytes (xaa .. xaj)
    const char* given;    // a name, or "" for the folder
    SetProblem::Kind kind;
    const char* message; // a part of the first problem's message
};

class SetFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(SetFaults, AreFoundBeforeAnythingIsWritten) {
    const Fault& fault = GetParam();
    TempDir dir;
    writeFile(dir / "src", randomBytes(1000, 5));
    ASSERT_EQ(runIn(dir.folder(), std::string("split -b 100 src && rm src && ") + fault.commands),
              0);
    const PieceSet set = findPieceSet(*fault.given ? dir / fault.given : dir.folder());
    ASSERT_FALSE(set.problems.empty());
    EXPECT_EQ(set.problems.front().kind, fault.kind) << set.problems.front().message;
    const std::string message = set.problems.front().message;
    EXPECT_NE(message.find(fault.message), std::string::npos) << message;
    EXPECT_FALSE(set.joinable());
}

const Fault kFaults[] = {
    {
        "gap",
        "rm xac xad",
        "xaa",
        SetProblem::Kind::Missing,
        "xac\" to \"",
    },
    {"first_missing", "rm xaa", "xae", SetProblem::Kind::Missing, "xaa\" is missing before"},
    {"last_of_total_missing",
     "n=0; for f in xa?; do n=$((n + 1)); mv \"$f\" $(printf w-%05d-of-00010.gz $n); done; "
     "rm w-00010-of-00010.gz",
     "w-00004-of-00010.gz", SetProblem::Kind::Missing, "w-00010-of-00010.gz\" is missing after"},
    {"hard_link", "rm xad && ln xac xad", "xab", SetProblem::Kind::SameFile,
     "xad\" is the same file as"},
    {"symbolic_link", "rm xae && ln -s xab xae", "xaj", SetProblem::Kind::SameFile,
     "xae\" is the same file as"},
    {"short_piece", "truncate -s 60 xad", "xaj", SetProblem::Kind::Sizes,
     "xad\" is 60 bytes, shorter than"},
    {"piece_is_a_folder", "rm xaf && mkdir xaf", "xaa", SetProblem::Kind::NotAFile,
     "xaf\" is a folder"},
    {"widened_gap", "rm x* && head -c 700 /dev/zero > s && split -b 1 s && rm s xzaab", "xzaac",
     SetProblem::Kind::Missing, "xzaab\" is missing between"},
    {"two_sets_as_folder", "for f in xa?; do cp \"$f\" \"other.$f\"; done", "",
     SetProblem::Kind::Ambiguous, "holds 2 sets of pieces"},
    // "p1.a" is piece a of "p1." (split letters) or piece 1 of "p" with ".a".
    {"two_schemes_for_the_piece", "rm x* && : > p1.a && : > p1.b && : > p2.a", "p1.a",
     SetProblem::Kind::Ambiguous, "p1.a\" may be a piece of"},
    {"look_alikes_as_folder",
     "rm x* && for n in 1 2 3 4 5 6; do head -c $((n * 37 + 100)) /dev/zero > "
     "\"IMG_000$n.jpg\"; done",
     "", SetProblem::Kind::NotPieces, "are not the pieces of one file"},
    {"look_alike_as_piece",
     "rm x* && for n in 1 2 3 4 5 6; do head -c $((n * 37 + 100)) /dev/zero > "
     "\"IMG_000$n.jpg\"; done",
     "IMG_0003.jpg", SetProblem::Kind::Sizes, "IMG_0002.jpg\" is 174 bytes, longer than"},
    {"no_piece_name", ": > README", "README", SetProblem::Kind::NoSet, "is not named as a piece"},
    {"empty_folder", "rm x*", "", SetProblem::Kind::NoSet, "holds no set of pieces"},
    {"absent_piece", "true", "xzz", SetProblem::Kind::Unreadable, "No such file"},
    {"archive_volumes", "n=0; for f in xa?; do n=$((n + 1)); mv \"$f\" a.part$n.rar; done",
     "a.part2.rar", SetProblem::Kind::NotPieces, "volumes of a RAR archive"},
};

INSTANTIATE_TEST_SUITE_P(Folders, SetFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PieceSet, ASetWhoseSizesAreVouchedForPasses) {
    TempDir dir;
    // Lines of 1 to 3 digits: pieces of 7 lines differ in size.
    ASSERT_EQ(runIn(dir.folder(), "seq 1 400 > src && split -l 7 src lines."), 0);
    EXPECT_TRUE(findPieceSet(dir / "lines.aa").has(SetProblem::Kind::Sizes));
    PieceSetOptions options;
    Strings asked;
    options.sizeVouched = [&](const PieceMember& m) {
        asked.push_back(m.name);
        return true;
    };
    const PieceSet set = findPieceSet(dir / "lines.aa", options);
    EXPECT_TRUE(set.joinable());
    EXPECT_NE(std::find(asked.begin(), asked.end(), "lines.ab"), asked.end());
}

// Names that read as pieces of more than one set: p1 .. p3 of "p" stand
// alone (p11 .. p13 are too far from them to be of one set), p11 .. p13 are of
// "p1"; a piece that two sets may hold is refused, naming both.
TEST(PieceSet, OneFolderTwoNumberedSets) {
    TempDir dir;
    for (const char* name : {"p1", "p2", "p3", "p11", "p12", "p13"})
        writeFile(dir / name, "abc");
    const PieceSet low = findPieceSet(dir / "p2");
    EXPECT_TRUE(low.joinable());
    EXPECT_EQ(low.paths(), (Strings{dir / "p1", dir / "p2", dir / "p3"}));
    const PieceSet high = findPieceSet(dir / "p13");
    EXPECT_TRUE(high.joinable());
    EXPECT_EQ(high.baseName, "p1");
    EXPECT_EQ(high.members.size(), 3u);
    EXPECT_TRUE(findPieceSet(dir.folder()).has(SetProblem::Kind::Ambiguous));
    // A gap in the larger set is not hidden by reading its tail as another.
    ASSERT_EQ(runIn(dir.folder(), "rm p1? && for n in 4 6 7 8 9 10 11 12; do echo abc > p$n; done"),
              0);
    const PieceSet gap = findPieceSet(dir / "p11");
    ASSERT_FALSE(gap.joinable());
    EXPECT_EQ(gap.problems.front().kind, SetProblem::Kind::Ambiguous);
    EXPECT_EQ(gap.problems[1].message, "\"" + dir / "p5" + "\" is missing between \"" + dir / "p4" +
                                           "\" and \"" + dir / "p6" + "\".");
    // From the head of the set, the gap is all there is to tell.
    EXPECT_EQ(findPieceSet(dir / "p2").problems.front().kind, SetProblem::Kind::Missing);
}

// The rule's cases: one set read two ways, sets numbered from N, the tail of
// a set read as a set of its own, a number continued with another width.
TEST(PieceSet, OneRuleForOverlappingReadings) {
    TempDir dir;
    const auto make = [&](const std::string& commands) {
        ASSERT_EQ(runIn(dir.folder(), "rm -f ./* && " + commands), 0);
    };
    const auto members = [&](const PieceSet& set) { return set.members.size(); };
    make("for n in $(seq 1 11); do echo abc > eps_$n; done");
    for (const char* piece : {"eps_1", "eps_5", "eps_9"}) {
        const PieceSet set = findPieceSet(dir / piece);
        EXPECT_TRUE(set.joinable()) << piece;
        EXPECT_EQ(members(set), 11u) << piece;
    }
    // eps_10 and eps_11 are also split -a 1's "eps_1" numbered 0 and 1.
    const PieceSet tail = findPieceSet(dir / "eps_10");
    ASSERT_FALSE(tail.joinable());
    EXPECT_EQ(tail.problems.front().kind, SetProblem::Kind::Ambiguous);
    EXPECT_EQ(tail.problems.front().prefixes, (Strings{"eps_", "eps_1"}));
    PieceSetOptions fixed;
    fixed.prefix = "eps_";
    EXPECT_EQ(members(findPieceSet(dir / "eps_10", fixed)), 11u);
    fixed.prefix = "eps_1";
    EXPECT_EQ(members(findPieceSet(dir / "eps_10", fixed)), 2u);
    // split --numeric-suffixes=8: part.08 .. part.17.
    make("head -c 1000 /dev/zero > s && split -b 100 -a 2 --numeric-suffixes=8 s part. && rm s");
    for (const char* piece : {"part.08", "part.12", "part.17"}) {
        EXPECT_FALSE(findPieceSet(dir / piece).joinable()) << piece;
        PieceSetOptions from8;
        from8.firstNumber = 8;
        const PieceSet set = findPieceSet(dir / piece, from8);
        EXPECT_TRUE(set.joinable()) << piece << " " << set.problems.front().message;
        EXPECT_EQ(members(set), 10u) << piece;
    }
    make("head -c 1000 /dev/zero > s && split -b 100 -a 4 --numeric-suffixes=1000 s x && rm s");
    PieceSetOptions from1000;
    from1000.firstNumber = 1000;
    EXPECT_EQ(members(findPieceSet(dir / "x1004", from1000)), 10u);
    // p013 continues p01 .. p12 in three digits.
    make("for n in 01 02 03 04 05 06 07 08 09 10 11 12 013; do echo abc > p$n; done");
    EXPECT_TRUE(findPieceSet(dir / "p11").has(SetProblem::Kind::NotPieces));
    EXPECT_TRUE(findPieceSet(dir / "p05").has(SetProblem::Kind::Ambiguous));
    // Volumes of archives are no pieces.
    make("for f in movie.r00 movie.r01 movie.r02 arch.z01 arch.z02; do echo abc > $f; done");
    EXPECT_NE(findPieceSet(dir / "movie.r01").problems.front().message.find("RAR archive"),
              std::string::npos);
    EXPECT_NE(findPieceSet(dir / "arch.z02").problems.front().message.find("split zip"),
              std::string::npos);
}

TEST(SortPieces, OrdersByNumberAndNamesWhatIsMissing) {
    struct Case {
        Strings given;
        Strings ordered;
        const char* problem;
    };
    const Case cases[] = {
        {{"d/xab", "d/xzaaa", "d/xaa", "./d/xyz"},
         {"d/xaa", "d/xab", "./d/xyz", "d/xzaaa"},
         "\"d/xac\" to \"d/xyy\" are missing between \"d/xab\" and \"./d/xyz\"."},
        {{"v112", "v11", "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v110", "v111"},
         {"v11", "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v110", "v111", "v112"},
         ""},
        {{"a.003", "a.001", "a.002", "./a.002"},
         {"a.001", "a.002", "./a.002", "a.003"},
         "\"a.002\" is given more than once."},
        {{"m-00003-of-00003.bin", "m-00001-of-00003.bin"},
         {"m-00001-of-00003.bin", "m-00003-of-00003.bin"},
         "\"m-00002-of-00003.bin\" is missing between"},
        // No scheme shared: as the file list orders them.
        {{"beta", "alpha", "p10", "p9"}, {"p9", "p10", "beta", "alpha"}, ""},
    };
    for (const Case& c : cases) {
        const SortedPieces sorted = sortPieces(c.given);
        EXPECT_EQ(sorted.paths, c.ordered);
        const std::string problem = sorted.problems.empty() ? "" : sorted.problems.front().message;
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << problem;
    }
}

// The order found does not depend on the order the names are given in: sets
// of several schemes with pieces left out, and names of no shared scheme.
TEST(SortPieces, TheOrderGivenDoesNotMatter) {
    std::mt19937 random(28);
    const std::vector<std::string> formats = {"p.%03d", "p%d", "x.%02d.part", "v%d.bin"};
    for (int round = 0; round < 200; ++round) {
        Strings names;
        if (round % 5 == 4) {
            for (int i = 0; i < 2 + static_cast<int>(random() % 8); ++i)
                names.push_back("n" + std::to_string(random() % 1000) + "q" +
                                std::string(random() % 3, 'z'));
        } else {
            const std::string& format = formats[random() % formats.size()];
            for (int i = 1; i <= 2 + static_cast<int>(random() % 30); ++i) {
                if (random() % 4 == 0)
                    continue; // left out
                char name[32];
                std::snprintf(name, sizeof name, format.c_str(), i);
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        const SortedPieces first = sortPieces(names);
        for (int shuffle = 0; shuffle < 3; ++shuffle) {
            std::shuffle(names.begin(), names.end(), random);
            const SortedPieces again = sortPieces(names);
            ASSERT_EQ(again.paths, first.paths) << "round " << round;
            ASSERT_EQ(again.problems.size(), first.problems.size()) << "round " << round;
        }
    }
}

} // namespace
