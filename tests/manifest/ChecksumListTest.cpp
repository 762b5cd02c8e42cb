#include "engines/checksums/Hasher.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/JoinPlan.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/SetChecksums.h"
#include "tests/support/ToolRun.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace shardix;
using namespace shardix::testing;

namespace {

using Strings = std::vector<std::string>;

// What `command` writes on its standard output.
std::string outputOf(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    if (pipe)
        ::pclose(pipe);
    return text;
}

std::string digestOf(HashAlgorithm algorithm, const std::string& bytes) {
    auto hasher = Hasher::make(algorithm).value();
    // Pieces of uneven sizes, as a copy hands them over.
    for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 + 1)
        hasher->update(bytes.data() + at, std::min(step, bytes.size() - at));
    return hasher->digest();
}

TEST(Hasher, EachAlgorithmAgreesWithItsTool) {
    TempDir dir;
    const std::string bytes = randomBytes(3'000'001, 11);
    writeFile(dir / "f", bytes);
    const struct {
        HashAlgorithm algorithm;
        std::string command;
    } tools[] = {
        {HashAlgorithm::Sha256, "sha256sum"},
        {HashAlgorithm::Sha1, "sha1sum"},
        {HashAlgorithm::Md5, "md5sum"},
        {HashAlgorithm::Blake2b512, "b2sum"},
        {HashAlgorithm::Sha512, "sha512sum"},
        {HashAlgorithm::Sha224, "sha224sum"},
        {HashAlgorithm::Sha384, "sha384sum"},
        {HashAlgorithm::Blake2b128, "b2sum -l 128"},
        {HashAlgorithm::Blake2b160, "b2sum -l 160"},
        {HashAlgorithm::Blake2b256, "b2sum -l 256"},
        {HashAlgorithm::Blake2b384, "b2sum -l 384"},
        {HashAlgorithm::Blake2b224, "b2sum -l 224"},
    };
    std::vector<HashAlgorithm> all;
    for (const auto& tool : tools) {
        const std::string expected =
            outputOf(tool.command + " " + dir / "f").substr(0, digestDigits(tool.algorithm));
        EXPECT_EQ(digestOf(tool.algorithm, bytes), expected) << tool.command;
        all.push_back(tool.algorithm);
    }
    // cksfv's line ends with the CRC-32 in capitals.
    const std::string sfv = outputOf("cd " + dir.folder() + " && cksfv -b f");
    EXPECT_EQ(digestOf(HashAlgorithm::Crc32, bytes), sfv.substr(sfv.size() - 9, 8));
    all.push_back(HashAlgorithm::Crc32);

    // All at once over one stream, in pieces larger than its slices.
    MultiHasher several = MultiHasher::of(all).value();
    several.update(bytes.data(), 200'000);
    several.update(bytes.data() + 200'000, bytes.size() - 200'000);
    const Strings digests = several.digests();
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(digests[i], digestOf(all[i], bytes)) << algorithmName(all[i]);
    // Each starts afresh after its digest.
    EXPECT_EQ(several.digest(HashAlgorithm::Md5), digestOf(HashAlgorithm::Md5, ""));
}

// Pieces whose names a list must carry as they are: blanks, a backslash, a
// line feed, a leading dash.
const Strings kAwkward = {"a b.001", "we\\ird.002", "new\nline.003", "-dash.004"};

struct ToolList {
    const char* label;
    const char* listName;
    const char* commands; // writes the list from the pieces named in $P
    ChecksumFormat format;
    HashAlgorithm algorithm;
};

class ListsOfTools : public ::testing::TestWithParam<ToolList> {};

TEST_P(ListsOfTools, ReadEveryPieceWithItsChecksum) {
    const ToolList& tool = GetParam();
    TempDir dir;
    std::map<std::string, std::string> bytes;
    std::string quotedNames;
    for (std::size_t i = 0; i < kAwkward.size(); ++i) {
        bytes[kAwkward[i]] = randomBytes(100 + i, static_cast<unsigned>(i));
        writeFile(dir / kAwkward[i], bytes[kAwkward[i]]);
    }
    ASSERT_EQ(runIn(dir.folder(), std::string("set -- ./*.00? && ") + tool.commands), 0);
    const Result<ChecksumList> read = readChecksumList(dir / tool.listName);
    ASSERT_TRUE(read.ok());
    const ChecksumList& list = *read;
    EXPECT_EQ(list.problems, Strings{});
    EXPECT_EQ(list.format, tool.format);
    Strings names;
    for (const ChecksumEntry& entry : list.entries) {
        std::string name = entry.name.substr(0, 2) == "./" ? entry.name.substr(2) : entry.name;
        names.push_back(name);
        EXPECT_EQ(entry.algorithm, tool.algorithm);
        EXPECT_EQ(entry.digest, digestOf(tool.algorithm, bytes[name])) << name;
    }
    std::sort(names.begin(), names.end());
    Strings expected = kAwkward;
    std::sort(expected.begin(), expected.end());
    // cksfv cannot write a name with a line feed: it is left out of its list.
    if (tool.format == ChecksumFormat::Sfv)
        expected.erase(std::find(expected.begin(), expected.end(), "new\nline.003"));
    EXPECT_EQ(names, expected);
}

const ToolList kToolLists[] = {
    {"md5sum_binary", "p.md5", "md5sum -b \"$@\" > p.md5", ChecksumFormat::Lines,
     HashAlgorithm::Md5},
    {"sha1sum_tag", "p.sha1", "sha1sum --tag \"$@\" > p.sha1", ChecksumFormat::Tags,
     HashAlgorithm::Sha1},
    {"b2sum", "p.b2", "b2sum \"$@\" > p.b2", ChecksumFormat::Lines, HashAlgorithm::Blake2b512},
    {"b2sum_tag", "B2SUMS", "b2sum --tag \"$@\" > B2SUMS", ChecksumFormat::Tags,
     HashAlgorithm::Blake2b512},
    {"sha256sum_tag", "p.sums", "sha256sum --tag \"$@\" > p.sums", ChecksumFormat::Tags,
     HashAlgorithm::Sha256},
    {"sha1sum_by_length", "p.sums", "sha1sum \"$@\" > p.sums", ChecksumFormat::Lines,
     HashAlgorithm::Sha1},
    {"sha512sum", "SHA512SUMS", "sha512sum \"$@\" > SHA512SUMS", ChecksumFormat::Lines,
     HashAlgorithm::Sha512},
    {"cksfv", "p.sfv", "cksfv -b a* w* ./-d* > p.sfv", ChecksumFormat::Sfv, HashAlgorithm::Crc32},
};

INSTANTIATE_TEST_SUITE_P(Tools, ListsOfTools, ::testing::ValuesIn(kToolLists),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ChecksumList, RefusesWhatItCannotCheckAndSaysWhy) {
    const std::string b2_200 = outputOf("printf hello | b2sum -l 200 --tag");
    const std::string d64(64, 'a'), d40(40, 'b'), d128(128, 'c');
    const struct {
        std::string text;
        const char* listName;
        const char* why;
    } cases[] = {
        {b2_200, "x.b2", "line 1: a BLAKE2b checksum of 200 bits (b2sum -l 200); only those"},
        {d64 + "  p1\n", "x.sums", "line 1: 64 digits are a SHA-256 or a BLAKE2b-256"},
        {d128 + "  p1\n", "x.sums", "line 1: 128 digits are a SHA-512 or a BLAKE2b-512"},
        {"\n# note\n" + d40 + "  p1\n", "x.sha256", "line 3: not a SHA-256 checksum (40 digits"},
        {"\\" + d64 + "  p\\x1\n", "x.sha256", "line 1: a backslash that is not followed"},
        {"SHA384 (p1) = " + d64 + "\n", "x.sums", "line 1: not a SHA-384 checksum"},
        {"SHA3 (p1) = " + d64 + "\n", "x.sums", "line 1: checksums of the kind SHA3"},
        {"p1 12345\n", "x.sfv", "line 1: not a file name followed by a CRC-32 of 8 digits"},
        {"filename=big\nsize=10\n", "big.crc", "no crc32= line"},
    };
    for (const auto& c : cases) {
        const ChecksumList list = parseChecksumList(c.text, c.listName);
        ASSERT_FALSE(list.problems.empty()) << c.text;
        EXPECT_EQ(list.problems.front().substr(0, std::string(c.why).size()), c.why);
        EXPECT_TRUE(list.entries.empty());
    }
}

// Our own manifest reads as Manifest reads it: every piece with its length,
// and the whole file.
TEST(ChecksumList, ReadsOurManifestAsManifestDoes) {
    Manifest ours;
    ours.entries = {{std::string(64, '1'), "disk.img.part1", false, 1000},
                    {std::string(64, '2'), "odd\\name\n2", false, 1000},
                    {std::string(64, '3'), "disk.img.part3", false, 7},
                    {std::string(64, '4'), "disk.img", true, 2007}};
    const ChecksumList list = parseChecksumList(ours.text(), "disk.img.part.sha256");
    EXPECT_EQ(list.format, ChecksumFormat::Ours);
    const Manifest again = Manifest::parse(ours.text());
    ASSERT_EQ(list.entries.size(), again.entries.size());
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const ChecksumEntry& entry = list.entries[i];
        EXPECT_EQ(entry.name, again.entries[i].name);
        EXPECT_EQ(entry.digest, again.entries[i].digest);
        EXPECT_EQ(entry.length, again.entries[i].length);
        EXPECT_EQ(entry.role == ChecksumEntry::Role::Whole, again.entries[i].whole);
        EXPECT_EQ(entry.algorithm, HashAlgorithm::Sha256);
    }
}

// A set of 10 pieces of 100 bytes by split, and lists of other tools beside it.
class ListBesideSet : public ::testing::Test {
  protected:
    void SetUp() override {
        source = randomBytes(1000, 9);
        writeFile(dir / "big.iso", source);
        ASSERT_EQ(runIn(dir.folder(), "split -b 100 -d -a 3 --numeric-suffixes=1 big.iso big.iso."),
                  0);
    }
    JoinPlan plan(const std::string& given) { return planJoin(dir / given); }

    TempDir dir;
    std::string source;
};

TEST_F(ListBesideSet, FindsTheListThatNamesItsPiecesByWhatTheyAre) {
    // md5sum run from the folder above, through a link to the folder.
    ASSERT_EQ(runIn(dir.folder(), "ln -s . here && md5sum here/big.iso.0* > pieces.md5 && "
                                  "sha1sum big.iso.001 > other.sha1 && printf 'unrelated' > x.sfv"),
              0);
    // A list beside the pieces that cannot be read may be the one that checks
    // them: it is named, and nothing is joined.
    const JoinPlan refused = plan("big.iso.004");
    ASSERT_EQ(refused.problems.size(), 1u);
    EXPECT_EQ(refused.problems.front().message,
              "The list of checksums \"" + dir / "x.sfv" +
                  "\" beside the pieces cannot be read: line 1: not a file name followed by a "
                  "CRC-32.");
    EXPECT_TRUE(planJoin(dir / "big.iso.004", std::nullopt, false).joinable());
    ASSERT_EQ(runIn(dir.folder(), "rm x.sfv"), 0);
    const JoinPlan found = plan("big.iso.004");
    ASSERT_TRUE(found.joinable()) << found.problems.front().message;
    ASSERT_TRUE(found.checks);
    EXPECT_EQ(found.checks->path, dir / "pieces.md5");
    EXPECT_TRUE(found.checks->listsEveryPiece());
    EXPECT_EQ(found.checks->pieces[9]->digest, digestOf(HashAlgorithm::Md5, source.substr(900)));
    EXPECT_EQ(found.outputName, "big.iso");
}

TEST_F(ListBesideSet, TheFileManagersCrcFileNamesTheJoinedFile) {
    // As file managers write it: the whole file's name, size and CRC-32.
    writeFile(dir / "big.iso.crc", "filename=restored.iso\r\nsize=1000\r\ncrc32=" +
                                       digestOf(HashAlgorithm::Crc32, source) + "\r\n");
    JoinPlan found = plan("big.iso.010");
    ASSERT_TRUE(found.joinable());
    ASSERT_TRUE(found.checks && found.checks->whole);
    EXPECT_EQ(found.checks->whole->digest, digestOf(HashAlgorithm::Crc32, source));
    EXPECT_EQ(found.outputName, "restored.iso");
    // A last piece gone is told by the size of the whole.
    ASSERT_EQ(runIn(dir.folder(), "rm big.iso.010"), 0);
    found = plan("big.iso.001");
    ASSERT_FALSE(found.problems.empty());
    EXPECT_NE(found.problems.front().message.find("add up to 900 bytes"), std::string::npos)
        << found.problems.front().message;
}

TEST_F(ListBesideSet, ListedPiecesMissingOrOfAnotherLengthAreRefused) {
    ASSERT_EQ(runIn(dir.folder(), "cksfv -b big.iso.0* > set.sfv && rm big.iso.010 && "
                                  "truncate -s 99 big.iso.003 && printf x >> big.iso.009"),
              0);
    const JoinPlan found = plan("big.iso.002");
    Strings messages;
    for (const SetProblem& p : found.problems)
        messages.push_back(p.message);
    // The short piece is told from the sizes cksfv noted, the missing last
    // piece from its line.
    const Strings expected = {
        "\"" + dir / "big.iso.003" + "\" is 99 bytes, but \"" + dir / "set.sfv" +
            "\" (line 16) says 100.",
        "\"" + dir / "big.iso.009" + "\" is 101 bytes, but \"" + dir / "set.sfv" +
            "\" (line 22) says 100.",
        "\"" + dir / "big.iso.010" + "\" is listed in \"" + dir / "set.sfv" +
            "\" (line 23) as a piece, but is not there.",
    };
    for (const std::string& message : expected)
        EXPECT_NE(std::find(messages.begin(), messages.end(), message), messages.end()) << message;
}

TEST_F(ListBesideSet, PiecesOfUnevenSizesPassWhenAListChecksThem) {
    ASSERT_EQ(runIn(dir.folder(), "rm big.iso.* && seq 1 3000 > log && split -l 500 -d log log. "
                                  "&& sha256sum --tag log.* > log.sha256"),
              0);
    const JoinPlan found = plan("log.03");
    EXPECT_TRUE(found.joinable()) << found.problems.front().message;
    ASSERT_TRUE(found.checks);
    EXPECT_TRUE(found.checks->listsEveryPiece());
    EXPECT_EQ(found.outputName, "log");
    EXPECT_TRUE(planJoin(dir / "log.03", dir / "big.iso").checks->listed() == 0);
}

TEST(ChecksumList, NamesThatLeadOutOfTheFolderAreNotRead) {
    for (const char* name : {"../x", "/etc/passwd", "a/../../x", ".."})
        EXPECT_FALSE(staysInFolder(name)) << name;
    for (const char* name : {"x", "./x", "a/b", "..x", "x.."})
        EXPECT_TRUE(staysInFolder(name)) << name;
}

} // namespace

namespace {

// A random line of sha256sum and its kin for the file `name`: plain or
// tagged, digits of every count (some that fit two algorithms, some none),
// in either case.
std::string randomSumLine(std::mt19937& random, const std::string& name) {
    static const std::size_t counts[] = {32, 40, 56, 64, 96, 128, 31, 65, 50};
    static const char* const tags[] = {"MD5",     "SHA1",        "SHA256", "SHA512",
                                       "BLAKE2b", "BLAKE2b-256", "SHA3"};
    std::string digits(counts[random() % std::size(counts)], '0');
    for (char& digit : digits)
        digit = "0123456789abcdefABCDEF"[random() % 22];
    if (random() % 3 == 0)
        return std::string(tags[random() % std::size(tags)]) + " (" + name + ") = " + digits;
    return digits + (random() % 2 ? "  " : " *") + name;
}

// The problems without their line numbers, sorted.
Strings problemsWithoutLines(const ChecksumList& list) {
    Strings problems;
    for (const std::string& problem : list.problems)
        problems.push_back(problem.substr(problem.find(':') + 1));
    std::sort(problems.begin(), problems.end());
    return problems;
}

} // namespace

// Which algorithm each line is read as is the list's name's and the line's
// own answer: the same whatever the order of the lines, over random lists.
TEST(ChecksumList, TheOrderOfItsLinesDoesNotChangeHowEachIsRead) {
    std::mt19937 random(20261209);
    const char* const listNames[] = {"x.sums", "x.md5", "x.sha1", "SHA256SUMS", "x.b2", "x.sha512"};
    for (int round = 0; round < 200; ++round) {
        const std::string listName = listNames[random() % std::size(listNames)];
        Strings lines;
        for (std::size_t i = 0, count = 1 + random() % 12; i < count; ++i)
            lines.push_back(randomSumLine(random, "piece" + std::to_string(i)));
        std::map<std::string, std::pair<HashAlgorithm, std::string>> first;
        Strings firstProblems;
        for (int order = 0; order < 3; ++order) {
            std::shuffle(lines.begin(), lines.end(), random);
            std::string text;
            for (const std::string& line : lines)
                text += line + "\n";
            const ChecksumList list = parseChecksumList(text, listName);
            std::map<std::string, std::pair<HashAlgorithm, std::string>> read;
            for (const ChecksumEntry& entry : list.entries)
                read[entry.name] = {entry.algorithm, entry.digest};
            if (order == 0) {
                first = read;
                firstProblems = problemsWithoutLines(list);
                continue;
            }
            ASSERT_EQ(read, first) << listName << ":\n" << text;
            ASSERT_EQ(problemsWithoutLines(list), firstProblems) << listName << ":\n" << text;
        }
    }
}
