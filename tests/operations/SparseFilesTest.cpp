// Files with holes, cut, assembled, appended and joined on the file systems
// that keep holes (tmpfs, and ext4, XFS and Btrfs images mounted through loop
// devices as root): the outputs hold the source's bytes, and only its data
// takes room in them. On FAT, which has no holes, the zeros are written.
#include "engines/io/Copy.h"
#include "engines/io/Holes.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "engines/operations/StreamJoin.h"
#include "errors/Error.h"
#include "tests/support/CannotRun.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/LoopMount.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// A source: its length and where its data lies; the rest is holes.
struct Layout {
    std::string name;
    std::int64_t length = 0;
    std::vector<DataRun> data;
};

// Holes at the start, across the boundaries of the pieces below (4 MiB and
// 1 MiB + 7 apart, and the thirds) and at the end; data across boundaries too.
const Layout kHoly{
    "holes",
    12 * kMiB + 5000,
    {{kMiB, 70'000}, {3 * kMiB, 2 * kMiB + 1000}, {6 * kMiB, 4096}, {10 * kMiB + 12'288, 3}}};
const Layout kDense{"dense", 3 * kMiB + 11, {{0, 3 * kMiB + 11}}};
const Layout kEmpty{"onlyhole", 9 * kMiB, {}};

// Writes the source of `layout` at `path`, its data random; returns its bytes.
std::string makeSource(const std::string& path, const Layout& layout) {
    std::string bytes(static_cast<std::size_t>(layout.length), '\0');
    const FileHandle file = createOutput(path).value();
    EXPECT_EQ(::ftruncate(file.fd(), layout.length), 0);
    unsigned seed = 3;
    for (const DataRun& run : layout.data) {
        const std::string data = randomBytes(static_cast<std::size_t>(run.length), ++seed);
        bytes.replace(static_cast<std::size_t>(run.offset), data.size(), data);
        EXPECT_EQ(::pwrite(file.fd(), data.data(), data.size(), run.offset),
                  static_cast<ssize_t>(data.size()));
    }
    return bytes;
}

std::int64_t allocated(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

// A folder on a file system of the test's kind.
// tmpfs is /dev/shm; ramfs, which cannot punch holes, is mounted in a mount
// namespace of the test program's own as root; the others are loop-mounted.
class Place {
  public:
    explicit Place(const std::string& type) {
        if (type == "tmpfs") {
            if (!std::filesystem::is_directory("/dev/shm"))
                refusal_ = "no /dev/shm here";
            else
                memory_ = std::make_unique<TempDir>("/dev/shm");
            return;
        }
        if (type == "ramfs") {
            mountRamfs();
            return;
        }
        disk_ = std::make_unique<LoopMount>(type, images_);
        refusal_ = disk_->refusal();
    }
    ~Place() {
        if (!ramfs_.empty())
            ::umount2(ramfs_.c_str(), MNT_DETACH);
    }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

    const std::string& refusal() const { return refusal_; }
    // Whether it is for want of root or of a tool, not of the system's support.
    bool lacking() const { return disk_ && disk_->lacking(); }
    std::string operator/(const std::string& name) const {
        if (memory_)
            return *memory_ / name;
        return disk_ ? *disk_ / name : ramfs_ + "/" + name;
    }

  private:
    void mountRamfs() {
        const std::string folder = images_ / "ram";
        std::filesystem::create_directory(folder);
        if (::geteuid() != 0)
            refusal_ = "mounting ramfs needs root";
        else if (::unshare(CLONE_NEWNS) != 0 ||
                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 ::mount("ramfs", folder.c_str(), "ramfs", 0, nullptr) != 0)
            refusal_ = std::string("cannot mount ramfs here: ") + std::strerror(errno);
        else
            ramfs_ = folder;
    }

    TempDir images_;
    std::unique_ptr<TempDir> memory_;
    std::unique_ptr<LoopMount> disk_;
    std::string ramfs_;
    std::string refusal_;
};

class SparseFiles : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        SHARDIX_NEEDS_PLACE(place);
        struct statfs fs {};
        ASSERT_EQ(::statfs((place / "").c_str(), &fs), 0);
        block = fs.f_bsize;
    }

    // The room that `length` bytes from `offset` of `layout` may take where
    // the holes are kept, written from `inputs` files: the data, a block more
    // at each end of each run (where it starts or ends inside a block), and a
    // block for each input (whose last block, partly past its end, is written
    // with zeros when a hole follows).
    std::int64_t roomFor(const Layout& layout, std::int64_t offset, std::int64_t length,
                         std::int64_t inputs = 1) const {
        std::int64_t room = inputs * block;
        for (const DataRun& run : layout.data) {
            const std::int64_t from = std::max(offset, run.offset);
            const std::int64_t to = std::min(offset + length, run.offset + run.length);
            if (from < to)
                room += to - from + 2 * block;
        }
        return room;
    }

    // Cuts the source into pieces of `length` bytes with checksums, and checks
    // their bytes, checksums and room; returns their names.
    Strings cutBySize(const Layout& layout, const std::string& source, std::int64_t length,
                      Checksums& sums) {
        SegmentReport report;
        const std::string base = place / (layout.name + std::to_string(length) + ".");
        EXPECT_EQ(failure(segmentFileBySize(place / layout.name, base, length, ui,
                                            {.computeChecksums = true}, &report)),
                  "");
        sums = report.checksums;
        Strings pieces;
        for (std::int64_t at = 0; at < layout.length; at += length) {
            pieces.push_back(base + std::to_string(pieces.size() + 1));
            SCOPED_TRACE(pieces.back());
            checkPiece(
                pieces.back(), sums.parts.at(pieces.size() - 1), layout,
                source.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length)), at);
        }
        EXPECT_EQ(sums.whole, sha256(source));
        return pieces;
    }

    // The piece from `at` holds `bytes`, has their checksum and takes no more room than
    // their data.
    void checkPiece(const std::string& piece, const std::string& checksum, const Layout& layout,
                    const std::string& bytes, std::int64_t at) {
        EXPECT_TRUE(readFile(piece) == bytes);
        EXPECT_EQ(checksum, sha256(bytes));
        EXPECT_LE(allocated(piece), roomFor(layout, at, static_cast<std::int64_t>(bytes.size())));
    }

    Place place{GetParam()};
    RecordingProgress ui;
    std::int64_t block = 0;
};

// Cut by sizes at and off block boundaries and into three, assembled (new and
// replacing a file) with checksums and appended: every output holds the
// source's bytes in no more room than its data takes.
TEST_P(SparseFiles, CutsAndJoinsKeepTheHoles) {
    for (const Layout* layout : {&kHoly, &kDense, &kEmpty}) {
        SCOPED_TRACE(layout->name);
        const std::string source = makeSource(place / layout->name, *layout);
        for (const std::int64_t length : {4 * kMiB, kMiB + 7}) {
            Checksums sums;
            const Strings pieces = cutBySize(*layout, source, length, sums);
            const std::string joined = place / (layout->name + "joined");
            ASSERT_EQ(failure(assembleFiles(pieces, joined, ui, {kCopyChunk, &sums})), "");
            EXPECT_TRUE(readFile(joined) == source) << length;
            EXPECT_LE(allocated(joined),
                      roomFor(*layout, 0, layout->length, static_cast<std::int64_t>(pieces.size())))
                << length;
        }
        const std::string base = place / (layout->name + "third");
        ASSERT_EQ(failure(segmentFile(place / layout->name, base, 3, ui)), "");
        std::string thirds;
        for (int k = 1; k <= 3; ++k)
            thirds += readFile(base + std::to_string(k));
        EXPECT_TRUE(thirds == source);

        // A copy of the first 5 MiB and some, completed from the source.
        const std::string copy = place / (layout->name + "copy");
        ASSERT_EQ(failure(segmentFileBySize(place / layout->name, copy, 5 * kMiB + 100, ui)), "");
        std::filesystem::rename(copy + "1", copy);
        ASSERT_EQ(failure(appendFile({place / layout->name}, copy, ui)), "");
        EXPECT_TRUE(readFile(copy) == source);
        EXPECT_LE(allocated(copy), roomFor(*layout, 0, layout->length, 2));
    }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, SparseFiles,
                         ::testing::Values("tmpfs", "ext4", "xfs", "btrfs"),
                         [](const auto& info) { return std::string(info.param); });

// Holes are left only in a regular file written at its end, on a file system
// that keeps them; a copy of a file that lost bytes since it was measured fails
// rather than fill their place with a hole.
TEST(SparseCopy, HolesAreLeftOnlyWhereTheyTakeTheBytesPlace) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm here";
    TempDir memory("/dev/shm");
    writeFile(memory / "file", "some bytes");
    const FileHandle atEnd = openForAppend(memory / "file").value();
    EXPECT_TRUE(mayLeaveHoles(atEnd));
    const FileHandle atStart(::open((memory / "file").c_str(), O_WRONLY | O_CLOEXEC),
                             memory / "file");
    EXPECT_FALSE(mayLeaveHoles(atStart));
    const FileHandle appending(::open((memory / "file").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC),
                               memory / "file");
    ASSERT_EQ(::lseek(appending.fd(), 0, SEEK_END), 10);
    EXPECT_FALSE(mayLeaveHoles(appending));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const FileHandle readEnd(fds[0], "pipe"), writeEnd(fds[1], "pipe");
    EXPECT_FALSE(mayLeaveHoles(writeEnd));

    makeSource(memory / "src", kHoly);
    const FileHandle in = openInput(memory / "src").value();
    FileHandle out = createOutput(memory / "out").value();
    RecordingProgress progress;
    const Result<> copied = copyRange(in, 0, kHoly.length + 4096, out, progress);
    ASSERT_FALSE(copied.ok()) << "a range past the input's end was copied";
    EXPECT_EQ(copied.error().kind, ErrorKind::InputPastEnd);
    EXPECT_LE(std::filesystem::file_size(memory / "out"), std::uintmax_t(kHoly.length));

    // A join into a stream writes every zero, even where the stream is a file.
    const std::string source = readFile(memory / "src");
    FileHandle stream = createOutput(memory / "stream").value();
    EXPECT_EQ(failure(joinToStream({memory / "src"}, stream, progress, {})), "");
    EXPECT_TRUE(readFile(memory / "stream") == source);
    EXPECT_GE(allocated(memory / "stream"), kHoly.length / 4096 * 4096);
}

// FAT has no holes, and ramfs cannot punch them: a cut into them from a file
// with holes and an assembly there write the zeros.
class NoHoles : public ::testing::TestWithParam<const char*> {};

TEST_P(NoHoles, TheZerosAreWritten) {
    Place place(GetParam());
    SHARDIX_NEEDS_PLACE(place);
    TempDir here;
    const std::string source = makeSource(here / "src", kHoly);
    const FileHandle probe = createOutput(place / "probe").value();
    EXPECT_FALSE(mayLeaveHoles(probe));
    RecordingProgress progress;
    ASSERT_EQ(failure(segmentFileBySize(here / "src", place / "p", 4 * kMiB, progress)), "");
    const Strings pieces{place / "p1", place / "p2", place / "p3", place / "p4"};
    std::string cut;
    for (const std::string& piece : pieces)
        cut += readFile(piece);
    EXPECT_TRUE(cut == source);
    EXPECT_GE(allocated(place / "p2"), 4 * kMiB);
    ASSERT_EQ(failure(assembleFiles(pieces, place / "joined", progress)), "");
    EXPECT_TRUE(readFile(place / "joined") == source);
    EXPECT_GE(allocated(place / "joined"), kHoly.length / 4096 * 4096);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, NoHoles, ::testing::Values("vfat", "ramfs"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
