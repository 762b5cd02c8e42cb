// The copy beneath every engine.
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Room reserved ahead of the writes is bounded: a run killed in the middle (no
// clean-up runs) leaves at most a step allocated beyond the output's end.
TEST(Engines, ARunKilledInTheMiddleLeavesLittleRoomBeyondTheOutputsEnd) {
    TempDir dir;
    struct statfs fs {};
    if (::statfs(dir.folder().c_str(), &fs) != 0 || fs.f_type != EXT4_SUPER_MAGIC)
        GTEST_SKIP() << "room is reserved ahead of the writes only on ext4";
    const std::int64_t piece = 1 << 20, step = 2 << 20, length = 32 << 20;
    writeFile(dir / "src", randomBytes(length));
    const pid_t child = ::fork();
    if (child == 0) {
        RecordingProgress progress;
        progress.onPump = [](int n) {
            if (n == 4) // four pieces written
                ::raise(SIGKILL);
        };
        FileHandle in = openInput(dir / "src").value();
        FileHandle out = createOutput(dir / "out").value();
        (void)copyRange(in, 0, length, out, progress, piece, step);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the copy was not killed";
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4 * piece);
    EXPECT_LE(st.st_blocks * 512 - st.st_size, step);
}

} // namespace
