// Whether a file's pages are in memory, told by the system's own table of
// them: a file just written is; one whose pages were dropped is not; a few
// pages missing do not make it so.
#include "engines/io/Residency.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace shardix {
namespace {

using testing::TempDir;

constexpr std::int64_t kPage = 4096;
constexpr std::int64_t kPages = 256;

// Drops the clean pages of `fd` between `from` and `to` from the page cache.
void drop(int fd, std::int64_t from, std::int64_t to) {
    ASSERT_EQ(::fdatasync(fd), 0);
    ASSERT_EQ(::posix_fadvise(fd, from, to - from, POSIX_FADV_DONTNEED), 0);
}

void readRange(int fd, std::int64_t from, std::int64_t to) {
    std::vector<char> buffer(static_cast<std::size_t>(to - from));
    ASSERT_EQ(::pread(fd, buffer.data(), buffer.size(), from), to - from);
}

TEST(Residency, AllPagesButAFewInMemoryCountAsInMemory) {
    TempDir dir;
    const std::string path = dir / "file";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::vector<char> bytes(static_cast<std::size_t>(kPages * kPage), 'x');
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    struct statfs where {};
    ASSERT_EQ(::fstatfs(fd, &where), 0);
    if (where.f_type == TMPFS_MAGIC) {
        ::close(fd);
        GTEST_SKIP() << "a file in memory only cannot have its pages dropped";
    }
    EXPECT_TRUE(isResident(fd, 0, kPages * kPage));

    drop(fd, 0, kPages * kPage);
    EXPECT_FALSE(isResident(fd, 0, kPages * kPage));
    // Read back without the system reading ahead: half of it is in memory,
    // the file is not; all but one page in 16 (the system takes back a few
    // at any time) is, all but two in 16 is not.
    ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM), 0);
    readRange(fd, 0, kPages / 2 * kPage);
    EXPECT_TRUE(isResident(fd, 0, kPages / 2 * kPage));
    EXPECT_FALSE(isResident(fd, 0, kPages * kPage));
    readRange(fd, 0, kPages * 14 / 16 * kPage);
    EXPECT_FALSE(isResident(fd, 0, kPages * kPage));
    readRange(fd, 0, kPages * 15 / 16 * kPage);
    EXPECT_TRUE(isResident(fd, 0, kPages * kPage));
    ::close(fd);
}

TEST(Residency, WhatCannotBeToldIsNotInMemory) {
    EXPECT_FALSE(isResident(-1, 0, kPage));
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_FALSE(isResident(pipeEnds[0], 0, kPage));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

} // namespace
} // namespace shardix
