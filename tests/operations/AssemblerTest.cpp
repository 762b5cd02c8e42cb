// Assemble: files written one after the other into one; the output checked
// against checksums, and names of one file refused.
#include "engines/operations/Assembler.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/Messages.h"
#include "engines/operations/Appender.h"
#include "engines/operations/OutputCheck.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

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

// The output of a checked join is read back through its name: a name that
// leads to another file by now is refused, not read as the output.
TEST_F(Engine, AnOutputReadBackThroughANameOfAnotherFileIsRefused) {
    writeFile(dir / "out", "written");
    writeFile(dir / "other", "written");
    const FileHandle output = openInput(dir / "out").value();
    const Result<FileHandle> same = OutputCheck::readBackOf(output, dir / "out", 7);
    ASSERT_TRUE(same.ok()) << same.error().message;
    EXPECT_TRUE(same->isOpen());
    const Result<FileHandle> other = OutputCheck::readBackOf(output, dir / "out", 7, dir / "other");
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.error().message,
              "\"" + (dir / "out") + "\" was replaced by another file while it was written.");
    const Result<FileHandle> gone = OutputCheck::readBackOf(output, dir / "out", 7, dir / "gone");
    ASSERT_FALSE(gone.ok());
    EXPECT_EQ(gone.error().kind, ErrorKind::FileNotFound);
    // An output that stays empty is not read back at all.
    const Result<FileHandle> empty = OutputCheck::readBackOf(output, dir / "out", 0, dir / "gone");
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(empty->isOpen());
}

} // namespace
