// On file systems that share blocks between files (Btrfs, XFS with reflink),
// made in an image file and mounted through a loop device: what the engines cut
// at block boundaries and assemble shares the source's blocks, and the bytes are
// right whatever the sizes.
#include "engines/io/Copy.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/CannotRun.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/LoopMount.h"

#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// How many of the bytes of `path` lie in extents that the file system marks as
// shared with another file (FIEMAP); -1 when it cannot tell. The files here
// are small: one call maps all their extents.
std::int64_t sharedBytes(const std::string& path) {
    const FileHandle file = openInput(path).value();
    constexpr unsigned kExtents = 512;
    std::vector<std::uint64_t> space((sizeof(fiemap) + kExtents * sizeof(fiemap_extent)) / 8 + 1);
    auto* map = reinterpret_cast<fiemap*>(space.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    if (::ioctl(file.fd(), FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == kExtents)
        return -1;
    const auto size = static_cast<std::uint64_t>(std::filesystem::file_size(path));
    std::int64_t shared = 0;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
        const fiemap_extent& extent = map->fm_extents[i];
        const std::uint64_t end =
            std::min<std::uint64_t>(size, extent.fe_logical + extent.fe_length);
        if ((extent.fe_flags & FIEMAP_EXTENT_SHARED) && end > extent.fe_logical)
            shared += static_cast<std::int64_t>(end - extent.fe_logical);
    }
    return shared;
}

// A file system of each kind that shares blocks, with a source on it.
class SharedExtents : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        SHARDIX_NEEDS_PLACE(disk);
        struct statfs fs {};
        ASSERT_EQ(::statfs((disk / "").c_str(), &fs), 0);
        block = fs.f_bsize;
        writeFile(disk / "src", source);
    }
    // The whole blocks among `length` bytes from `offset`.
    std::int64_t wholeBlocks(std::int64_t offset, std::int64_t length) const {
        const std::int64_t first = (offset + block - 1) / block * block;
        return std::max<std::int64_t>(0, (offset + length) / block * block - first);
    }
    // Cuts the source into pieces of `length` bytes, with checksums, and
    // checks their bytes and checksums; returns their names.
    Strings cutBySize(const std::string& base, std::int64_t length, Checksums& sums) {
        Strings pieces;
        SegmentReport report;
        EXPECT_EQ(failure(segmentFileBySize(disk / "src", disk / base, length, ui,
                                            {.computeChecksums = true}, &report)),
                  "");
        sums = report.checksums;
        for (std::int64_t at = 0; at < static_cast<std::int64_t>(source.size()); at += length) {
            pieces.push_back(disk / (base + std::to_string(pieces.size() + 1)));
            const std::string bytes = readFile(pieces.back());
            EXPECT_TRUE(bytes == source.substr(at, length)) << pieces.back();
            EXPECT_EQ(sums.parts.at(pieces.size() - 1), sha256(bytes)) << pieces.back();
        }
        EXPECT_EQ(sums.whole, sha256(source));
        return pieces;
    }

    TempDir dir;
    LoopMount disk{GetParam(), dir};
    RecordingProgress ui;
    std::int64_t block = 0;
    const std::string source = randomBytes((10 << 20) + 1000, 5);
};

// The pieces of a cut by a multiple of the block size, the file assembled from
// them and a truncated copy completed from the source share the source's blocks
// wherever both sides are at block boundaries; read back for their checksums,
// they hold the source's bytes.
TEST_P(SharedExtents, AlignedCutsAssemblyAndAppendShareTheSourcesBlocks) {
    const std::int64_t length = 4 << 20;
    Checksums sums;
    const Strings pieces = cutBySize("a", length, sums);
    ASSERT_EQ(pieces.size(), 3u);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(pieces[k]));
        EXPECT_GE(sharedBytes(pieces[k]), wholeBlocks(0, size)) << pieces[k];
    }

    ASSERT_EQ(failure(assembleFiles(pieces, disk / "joined", ui, {kCopyChunk, &sums})), "");
    EXPECT_TRUE(readFile(disk / "joined") == source);
    EXPECT_GE(sharedBytes(disk / "joined"), wholeBlocks(0, source.size()));

    // The copy holds a first part that is not at a block boundary: its rest
    // shares from the next boundary on.
    const std::int64_t kept = (3 << 20) + 100;
    writeFile(disk / "copy", source.substr(0, kept));
    Checksums whole;
    whole.parts = {sha256(source)};
    whole.whole = sha256(source);
    ASSERT_EQ(failure(appendFile({disk / "src"}, disk / "copy", ui, {kCopyChunk, &whole})), "");
    EXPECT_TRUE(readFile(disk / "copy") == source);
    EXPECT_GE(sharedBytes(disk / "copy"), wholeBlocks(kept, source.size() - kept));
}

// Sizes that are not multiples of the block size, and equal pieces, still give
// the source's bytes, and assemble back to it, checked.
TEST_P(SharedExtents, UnalignedCutsGiveTheSourcesBytes) {
    for (const std::int64_t length : {std::int64_t{1'000'000}, std::int64_t{(4 << 20) + 1}}) {
        Checksums sums;
        const std::string base = "u" + std::to_string(length) + ".";
        const Strings pieces = cutBySize(base, length, sums);
        EXPECT_GE(sharedBytes(pieces[0]), wholeBlocks(0, length)); // it starts at a boundary
        ASSERT_EQ(failure(assembleFiles(pieces, disk / (base + "joined"), ui, {kCopyChunk, &sums})),
                  "");
        EXPECT_TRUE(readFile(disk / (base + "joined")) == source) << length;
    }
    ASSERT_EQ(failure(segmentFile(disk / "src", disk / "n", 3, ui)), "");
    std::string joined;
    for (int k = 1; k <= 3; ++k)
        joined += readFile(disk / ("n" + std::to_string(k)));
    EXPECT_TRUE(joined == source);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, SharedExtents, ::testing::Values("btrfs", "xfs"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
