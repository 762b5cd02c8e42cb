#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Marks of 64 bytes written at these places; the rest of the file is a hole (zeros).
const std::int64_t kSize = (std::int64_t{1} << 31) + 4'000'003; // just over 2 GiB
const std::int64_t kMarks[] = {0,
                               3'999'999,
                               (std::int64_t{1} << 31) - 5,
                               kSize / 3 - 1,
                               kSize - 64,
                               (std::int64_t{1} << 31) + 7};

// Compares two files with the standard tool, without holding either in memory.
bool sameContents(const std::string& a, const std::string& b) {
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

TEST(LargeFile, JustOverTwoGibibytesSegmentsAssemblesAndAppends) {
    TempDir dir;
    writeFile(dir / "big", "");
    std::filesystem::resize_file(dir / "big", kSize);
    std::fstream big(dir / "big", std::ios::binary | std::ios::in | std::ios::out);
    for (std::int64_t at : kMarks)
        big.seekp(at) << randomBytes(64, static_cast<unsigned>(at));
    big.close();
    ASSERT_EQ(std::filesystem::file_size(dir / "big"), static_cast<std::uintmax_t>(kSize));

    RecordingProgress ui;
    ASSERT_TRUE((segmentFile(dir / "big", dir / "big.part", 3, ui)).ok());
    const std::uintmax_t share = kSize / 3;
    EXPECT_EQ(std::filesystem::file_size(dir / "big.part1"), share);
    EXPECT_EQ(std::filesystem::file_size(dir / "big.part3"), kSize - 2 * share);
    const std::vector<std::string> parts{dir / "big.part1", dir / "big.part2", dir / "big.part3"};
    ASSERT_TRUE((assembleFiles(parts, dir / "joined", ui)).ok());
    EXPECT_TRUE(sameContents(dir / "big", dir / "joined"));
    std::filesystem::remove(dir / "joined");
    // Complete a copy of segment 1 from all three segments.
    std::filesystem::copy_file(dir / "big.part1", dir / "grown");
    ASSERT_TRUE((appendFile(parts, dir / "grown", ui)).ok());
    EXPECT_TRUE(sameContents(dir / "big", dir / "grown"));
}

} // namespace
