#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/Segmenter.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

std::string diskFull(const std::string& path) {
    return "Cannot write \"" + path + "\": the disk is full (No space left on device).";
}

TEST(Faults, SegmenterStopsAtASegmentThatCannotBeCreated) {
    TempDir dir;
    const std::string source = randomBytes(50);
    writeFile(dir / "src", source);
    std::filesystem::create_directory(dir / "p3"); // in the way of segment 3

    RecordingUi ui;
    EXPECT_FALSE(segmentFile(dir / "src", dir / "p", "5", ui));
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Cannot create \"" + (dir / "p3") + "\": Is a directory."});
    EXPECT_EQ(ui.titles[0], "Shardix!");
    EXPECT_EQ(ui.styles[0], 0);
    EXPECT_EQ(readFile(dir / "p1") + readFile(dir / "p2"), source.substr(0, 20));
    EXPECT_FALSE(exists(dir / "p4"));
    EXPECT_FALSE(ui.busy);

    // A missing folder.
    RecordingUi nowhere;
    EXPECT_FALSE(segmentFile(dir / "src", dir / "no/such/folder/p", "2", nowhere));
    ASSERT_EQ(nowhere.messages.size(), 1u);
    EXPECT_NE(nowhere.messages[0].find("No such file or directory"), std::string::npos);
}

TEST(Faults, AFullDiskStopsEachEngineAndKeepsWhatWasWritten) {
    TempDir dir;
    const std::string source = randomBytes(30);
    writeFile(dir / "src", source);
    ASSERT_EQ(::symlink("/dev/full", (dir / "p2").c_str()), 0);

    RecordingUi seg;
    EXPECT_FALSE(segmentFile(dir / "src", dir / "p", "3", seg));
    EXPECT_EQ(seg.messages, std::vector<std::string>{diskFull(dir / "p2")});
    EXPECT_EQ(readFile(dir / "p1"), source.substr(0, 10));
    EXPECT_FALSE(exists(dir / "p3"));
    EXPECT_FALSE(seg.busy);

    ASSERT_EQ(::symlink("/dev/full", (dir / "joined").c_str()), 0);
    RecordingUi join;
    EXPECT_FALSE(assembleFiles({dir / "src", dir / "p1"}, dir / "joined", join));
    EXPECT_EQ(join.messages, std::vector<std::string>{diskFull(dir / "joined")});
    EXPECT_EQ(join.pumps, 1); // stopped at the first input

    RecordingUi add;
    EXPECT_FALSE(appendFile({dir / "src"}, dir / "p2", add));
    EXPECT_EQ(add.messages, std::vector<std::string>{diskFull(dir / "p2")});
    EXPECT_FALSE(add.busy);
}

TEST(Faults, AnInputThatShrinksWhileCopiedIsReportedNotPadded) {
    TempDir dir;
    const std::string source = randomBytes(1000);
    writeFile(dir / "src", source);

    RecordingUi ui;
    // The second event pump comes between the first and second piece of the input.
    ui.onPump = [&](int n) {
        if (n == 2)
            std::filesystem::resize_file(dir / "src", 150);
    };
    EXPECT_FALSE(assembleFiles({dir / "src"}, dir / "out", ui, 100));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("shorter than when it was measured"), std::string::npos);
    EXPECT_EQ(readFile(dir / "out"), source.substr(0, 150));
}

} // namespace
