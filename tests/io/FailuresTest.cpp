// Failures of the reads, writes and copies over open files come back as values:
// a call that raised instead would end its test with an uncaught exception.
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/io/Holes.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Whether `error` is the one of an input that ended early, naming `path`.
::testing::AssertionResult shortInputNaming(const Error& error, const std::string& path) {
    if (error.kind != ErrorKind::InputPastEnd)
        return ::testing::AssertionFailure() << "another failure: " << error.message;
    if (error.message.find(path) == std::string::npos)
        return ::testing::AssertionFailure() << path << " is not named: " << error.message;
    return ::testing::AssertionSuccess();
}

// An input shorter than asked for, read, measured for holes and copied: each
// says so, naming it, and a copy leaves at most the bytes that were there.
TEST(IoFailures, AnInputShorterThanAskedIsAFailureNamingIt) {
    TempDir dir;
    const std::string bytes = randomBytes(10000);
    writeFile(dir / "in", bytes);
    const FileHandle in = openInput(dir / "in").value();
    std::string buffer(20000, '\0');
    const Result<> read = readExactly(in, 5000, buffer.data(), 6000);
    ASSERT_FALSE(read.ok());
    EXPECT_TRUE(shortInputNaming(read.error(), dir / "in"));
    EXPECT_TRUE(readExactly(in, 4000, buffer.data(), 6000).ok());
    EXPECT_EQ(buffer.substr(0, 6000), bytes.substr(4000));

    const Result<std::int64_t> data = dataBytes(in, 0, 20000);
    ASSERT_FALSE(data.ok());
    EXPECT_TRUE(shortInputNaming(data.error(), dir / "in"));
    EXPECT_EQ(dataBytes(in, 0, 10000).value(), 10000);
    const Result<DataRun> trimmed = withoutZeroEnds(in, {9000, 2000}, 4096);
    ASSERT_FALSE(trimmed.ok());
    EXPECT_TRUE(shortInputNaming(trimmed.error(), dir / "in"));

    // Through memory (a pipe's output), through the kernel (a file's).
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    FileHandle pipeIn(fds[0], "pipe"), pipeOut(fds[1], "pipe");
    FileHandle out = createOutput(dir / "out").value();
    for (FileHandle* target : {&pipeOut, &out}) {
        RecordingProgress progress;
        const Result<> copied =
            copyRange(in, 0, 10001, *target, progress, 4096, kReserveStep, {}, Holes::Written);
        ASSERT_FALSE(copied.ok()) << target->path();
        EXPECT_TRUE(shortInputNaming(copied.error(), dir / "in")) << target->path();
    }
    EXPECT_LE(readFile(dir / "out").size(), bytes.size());
}

// A full disk, a descriptor that is no longer open, and a stop asked for.
TEST(IoFailures, WritesClosesAndStopsFailAsValues) {
    const FileHandle full = createOutput("/dev/full").value();
    const Result<> written = writeExactly(full, "abc", 3);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().kind, ErrorKind::DiskFull);

    TempDir dir;
    FileHandle out = createOutput(dir / "out").value();
    ASSERT_EQ(::close(out.fd()), 0); // closed under the handle's feet
    const Result<> closed = out.close();
    ASSERT_FALSE(closed.ok());
    EXPECT_NE(closed.error().message.find(dir / "out"), std::string::npos);
    EXPECT_FALSE(out.isOpen());
    EXPECT_TRUE(out.close().ok()); // closing twice closes nothing

    writeFile(dir / "in", randomBytes(100000));
    const FileHandle in = openInput(dir / "in").value();
    FileHandle copy = createOutput(dir / "copy").value();
    RecordingProgress progress;
    progress.onPump = [&](int) { progress.stop = true; };
    // From an odd place, so that no blocks are shared and every piece is copied.
    const Result<> stopped = copyRange(in, 1, 99999, copy, progress, 4096);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error().kind, ErrorKind::Stopped);
    EXPECT_NE(stopped.error().message.find("4096 bytes"), std::string::npos)
        << stopped.error().message;
    EXPECT_TRUE(stopIfAsked(progress, std::string()).error().stopped());
}

} // namespace
