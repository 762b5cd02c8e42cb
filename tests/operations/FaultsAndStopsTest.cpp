// Faults and stops in the middle of a run: what each engine says and keeps.
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/EngineFixture.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

std::string diskFull(const std::string& path) {
    return "Cannot write \"" + path + "\": the disk is full (No space left on device).";
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

} // namespace
