// What a stopped run tells of the files it left.
#include "engines/io/StopAccount.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace shardix {
namespace {

TEST(StopAccount, DigitsAreGroupedByThousands) {
    EXPECT_EQ(groupedDigits(0), "0");
    EXPECT_EQ(groupedDigits(999), "999");
    EXPECT_EQ(groupedDigits(1000), "1,000");
    EXPECT_EQ(groupedDigits(600000000), "600,000,000");
    EXPECT_EQ(groupedDigits(-1234567), "-1,234,567");
}

// Files of one length in a row are told together; a file that is gone is
// left out, and nothing is told when none is there.
TEST(StopAccount, EveryFileLeftIsToldWithItsLength) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("stop-account-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = [&](const std::string& name, std::size_t length) {
        std::ofstream(dir / name) << std::string(length, 'x');
        return (dir / name).string();
    };
    const std::string p1 = file("p1", 1500), p2 = file("p2", 1500), p3 = file("p3", 1500),
                      p4 = file("p4", 7), gone = (dir / "gone").string();
    EXPECT_EQ(stoppedAccount({p1, p2, p3, p4, gone}, "Append completes it."),
              "The run was stopped.  It left 4 files: \"" + p1 + "\" to \"" + p3 +
                  "\", 3 files of 1,500 bytes each; and \"" + p4 +
                  "\" with 7 bytes.  Append completes it.");
    EXPECT_EQ(stoppedAccount({p4}, ""),
              "The run was stopped.  \"" + p4 + "\" was left with 7 bytes.");
    EXPECT_EQ(stoppedAccount({gone}, "x"), "");
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace shardix
