#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/Segmenter.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Marks written at these places; the rest of the file is a hole (zeros).
const std::int64_t kSize = (std::int64_t{1} << 31) + 4'000'003; // just over 2 GiB
const std::int64_t kMarks[] = {0,
                               3'999'999,
                               (std::int64_t{1} << 31) - 5,
                               (std::int64_t{1} << 31) + 7,
                               kSize / 3 - 1,
                               kSize - 64};

void makeSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    for (std::int64_t at : kMarks) {
        const std::string mark = randomBytes(64, static_cast<unsigned>(at));
        ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), at), 64);
    }
    ::close(fd);
}

// Compares two files in slices, without holding either in memory.
bool sameContents(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    std::vector<char> ba(1 << 22), bb(1 << 22);
    bool same = fa >= 0 && fb >= 0 && ::lseek(fa, 0, SEEK_END) == ::lseek(fb, 0, SEEK_END);
    for (off_t pos = 0; same;) {
        const ssize_t na = ::pread(fa, ba.data(), ba.size(), pos);
        const ssize_t nb = ::pread(fb, bb.data(), na > 0 ? na : 1, pos);
        if (na <= 0)
            break;
        same = na == nb && std::equal(ba.begin(), ba.begin() + na, bb.begin());
        pos += na;
    }
    ::close(fa);
    ::close(fb);
    return same;
}

TEST(LargeFile, JustOverTwoGibibytesSegmentsAssemblesAndAppends) {
    TempDir dir;
    makeSource(dir / "big");

    RecordingUi ui;
    ASSERT_TRUE(segmentFile(dir / "big", dir / "big.part", "3", ui));
    const std::int64_t share = kSize / 3;
    EXPECT_EQ(std::filesystem::file_size(dir / "big.part1"), static_cast<std::uintmax_t>(share));
    EXPECT_EQ(std::filesystem::file_size(dir / "big.part3"),
              static_cast<std::uintmax_t>(kSize - 2 * share));

    ASSERT_TRUE(assembleFiles({dir / "big.part1", dir / "big.part2", dir / "big.part3"},
                              dir / "joined", ui));
    EXPECT_TRUE(sameContents(dir / "big", dir / "joined"));
    std::filesystem::remove(dir / "joined");

    // Complete a copy of segment 1 from all three segments.
    std::filesystem::copy_file(dir / "big.part1", dir / "grown");
    ASSERT_TRUE(appendFile({dir / "big.part1", dir / "big.part2", dir / "big.part3"},
                           dir / "grown", ui));
    EXPECT_TRUE(sameContents(dir / "big", dir / "grown"));
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
