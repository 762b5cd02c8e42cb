#include "engines/operations/StreamCut.h"
#include "tests/support/ToolRun.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Feeds `length` bytes of `bytes` (repeated) into a pipe from a thread of its
// own, in uneven writes, and gives the pipe's reading end.
class Feeder {
  public:
    Feeder(const std::string& bytes, std::int64_t length) {
        int fds[2];
        if (::pipe(fds) != 0)
            std::abort();
        readEnd_ = fds[0];
        writer_ = std::thread([bytes, length, fd = fds[1]] {
            std::int64_t done = 0;
            for (std::size_t step = 1; done < length; step = step * 7 % 65521 + 1) {
                const auto at =
                    static_cast<std::size_t>(done % static_cast<std::int64_t>(bytes.size()));
                const std::size_t n = std::min<std::size_t>(
                    {step, bytes.size() - at, static_cast<std::size_t>(length - done)});
                const ssize_t w = ::write(fd, bytes.data() + at, n);
                if (w <= 0)
                    break;
                done += w;
            }
            ::close(fd);
        });
    }
    ~Feeder() {
        writer_.join();
        ::close(readEnd_);
    }
    int fd() const { return readEnd_; }

  private:
    int readEnd_ = -1;
    std::thread writer_;
};

std::int64_t peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return 0;
}

struct Cut {
    const char* label;
    std::size_t length;
    std::int64_t size;
    int digits;
    bool checksums;
    const char* splitOptions; // split's for the same pieces
};

class PipeCut : public ::testing::TestWithParam<Cut> {};

TEST_P(PipeCut, GivesSplitsPiecesAndTheirChecksums) {
    const Cut& c = GetParam();
    TempDir dir;
    const std::string bytes = randomBytes(c.length, 5);
    writeFile(dir / "src", bytes);
    StreamCutOptions options;
    options.digits = c.digits;
    if (c.checksums) {
        options.pieceChecksums = {HashAlgorithm::Sha256, HashAlgorithm::Crc32};
        options.wholeChecksums = {HashAlgorithm::Sha256};
    }
    StreamCut cut;
    {
        Feeder feeder(bytes, static_cast<std::int64_t>(bytes.size()));
        ASSERT_TRUE(
            (cutStream(feeder.fd(), "standard input", dir / "p", c.size, options, cut)).ok());
    }
    EXPECT_EQ(cut.length, static_cast<std::int64_t>(c.length));
    ASSERT_EQ(runIn(dir.folder(), std::string("split ") + c.splitOptions + " src ref."), 0);
    std::vector<std::string> refs = namesIn(dir.folder());
    refs.erase(std::remove_if(refs.begin(), refs.end(),
                              [](const std::string& n) { return n.rfind("ref.", 0) != 0; }),
               refs.end());
    // split writes nothing for an empty input; we write one empty piece.
    if (c.length == 0)
        refs = {"none"};
    ASSERT_EQ(cut.pieces.size(), refs.size());
    for (std::size_t i = 0; i < refs.size(); ++i) {
        const std::string name = pieceName("p", static_cast<std::int64_t>(i + 1), c.digits);
        EXPECT_EQ(cut.pieces[i].path, dir / name);
        const std::string piece = readFile(dir / name);
        EXPECT_TRUE(c.length == 0 ? piece.empty() : piece == readFile(dir / refs[i])) << name;
        if (c.checksums) {
            EXPECT_EQ(cut.pieces[i].checksums[0],
                      runIn(dir.folder(), "sha256sum '" + name + "' | cut -c1-64 > sum") == 0
                          ? readFile(dir / "sum").substr(0, 64)
                          : "");
        }
    }
    EXPECT_FALSE(
        exists(dir / pieceName("p", static_cast<std::int64_t>(refs.size() + 1), c.digits)));
    if (c.checksums) {
        ASSERT_EQ(runIn(dir.folder(), "sha256sum src > sum"), 0);
        EXPECT_EQ(cut.wholeChecksums[0], readFile(dir / "sum").substr(0, 64));
    }
    // No temporary file is left.
    for (const auto& item : std::filesystem::directory_iterator(dir.folder()))
        EXPECT_EQ(item.path().filename().string().find(".cut-"), std::string::npos);
}

const Cut kCuts[] = {
    {"spliced", 1'000'003, 100'000, 0, false, "-b 100000"},
    {"hashed", 1'000'003, 100'000, 0, true, "-b 100000"},
    {"exact_multiple", 300'000, 100'000, 0, true, "-b 100000"},
    {"padded", 50'000, 4'000, 3, false, "-b 4000"},
    {"one_piece", 10, 1'000, 0, false, "-b 1000"},
    {"empty", 0, 1'000, 0, true, "-b 1000"},
};

INSTANTIATE_TEST_SUITE_P(Streams, PipeCut, ::testing::ValuesIn(kCuts),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StreamCut, FailuresNameTheFileAndTheCause) {
    TempDir dir;
    StreamCut cut;
    {
        Feeder feeder("abc", 10);
        const Result<> failed =
            cutStream(feeder.fd(), "standard input", dir / "no/such/p", 4, {}, cut);
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().message,
                  "Cannot create \"" + dir / "no/such/p1" + "\": No such file or directory.");
    }
    {
        Feeder feeder("abc", 10);
        StreamCutOptions options;
        options.digits = 1;
        const Result<> failed =
            cutStream(feeder.fd(), "standard input", dir / "q", 1, options, cut);
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().message,
                  "\"standard input\" needs more pieces than 1 digits can "
                  "number; 9 are written. Choose larger pieces or more digits.");
        EXPECT_EQ(cut.pieces.size(), 9u);
    }
    {
        writeFile(dir / "r2", "mine");
        Feeder feeder("abc", 10);
        const Result<> failed = cutStream(feeder.fd(), "standard input", dir / "r", 5, {}, cut);
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().message,
                  "Cannot create \"" + dir / "r2" + "\": a file of that name exists already.");
        EXPECT_EQ(readFile(dir / "r2"), "mine");
    }
}

// Half a gigabyte through a pipe, with and without checksums, in pieces of
// 64 MiB: the peak of the memory in use grows by far less than a piece.
TEST(StreamCut, MemoryStaysBoundedWhateverTheLength) {
    TempDir dir;
    const std::string block = randomBytes(1 << 20, 2);
    for (const bool hashed : {false, true}) {
        StreamCutOptions options;
        if (hashed)
            options.wholeChecksums = {HashAlgorithm::Md5};
        const std::int64_t before = peakMemoryKiB();
        StreamCut cut;
        {
            Feeder feeder(block, 512LL << 20);
            ASSERT_TRUE(cutStream(feeder.fd(), "standard input", dir / (hashed ? "h" : "s"),
                                  64 << 20, options, cut)
                            .ok());
        }
        EXPECT_EQ(cut.pieces.size(), 8u);
        EXPECT_LT(peakMemoryKiB() - before, 16 << 10) << (hashed ? "hashed" : "spliced");
        for (const CutPiece& piece : cut.pieces)
            std::filesystem::remove(piece.path);
    }
}

} // namespace
