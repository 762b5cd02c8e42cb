#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "tests/recovery/RecoverySupport.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// ---- The encoder's and the repair's own refusals: nothing is left behind.

TEST(RecoveryEncoder, RefusesWhatDoesNotFitAndLeavesNothing) {
    struct Case {
        std::string name;
        std::size_t fed; // bytes fed of the piece's 100000 (one more: a byte beyond)
        ErrorKind kind;
        std::string refusal;
        std::string head; // the head given for the piece; empty: its own
        bool stop = false;
    };
    const std::string bytes = randomBytes(100000, 8);
    const Case cases[] = {
        {"too many bytes", 100001, ErrorKind::Refused, "More bytes", ""},
        {"too few bytes", 99990, ErrorKind::InputPastEnd, "ended 10 bytes early", ""},
        {"another head", 100000, ErrorKind::Mismatch, "differ from those streamed",
         randomBytes(kRecoveryHeadBytes, 9)},
        {"stopped", 100000, ErrorKind::Stopped, "Stopped", "", true},
    };
    const RecoveryPlan plan = planRecovery({100000}, 10).value();
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir / "piece.00", bytes);
        const Bytes before = snapshot(dir.folder());
        std::atomic<bool> stop{c.stop};
        RecoveryControl control;
        control.stop = &stop;
        {
            RecoveryEncoder encoder(
                dir / "set.par2",
                {{"piece.00", 100000,
                  c.head.empty() ? bytes.substr(0, kRecoveryHeadBytes) : c.head}},
                plan, control);
            ASSERT_TRUE(succeeded(encoder.status())) << c.name;
            const std::string fed = (bytes + "x").substr(0, c.fed);
            // A failure of the stream is the one finish() tells.
            const Result<> streamed = encoder.feed(fed.data(), fed.size());
            const Result<> finished = encoder.finish();
            EXPECT_TRUE(failedWith(finished, c.kind, c.refusal)) << c.name;
            if (!streamed.ok()) {
                EXPECT_EQ(streamed.error().message, finished.error().message) << c.name;
            }
        }
        EXPECT_EQ(snapshot(dir.folder()), before) << c.name;
    }
    // An existing index is replaced only when asked.
    TempDir dir;
    writeFile(dir / "piece.00", bytes);
    writeFile(dir / "set.par2", "mine");
    const Result<> refused = createRecovery(dir / "set.par2", {dir / "piece.00"}, plan);
    ASSERT_TRUE(failedWith(refused, ErrorKind::NameRefused, "already exists"));
    EXPECT_EQ(readFile(dir / "set.par2"), "mine");
    EXPECT_TRUE(succeeded(createRecovery(dir / "set.par2", {dir / "piece.00"}, plan, {}, true)));
    const Result<RecoveryReport> verified = verifyRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(verified));
    EXPECT_TRUE(verified->complete());
}

TEST(RecoveryRepair, StoppedChangesNothing) {
    TempDir dir;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < 4; ++i) {
        paths.push_back(dir / pieceName(i));
        writeFile(paths.back(), randomBytes(300000, static_cast<unsigned>(i)));
    }
    const RecoveryPlan plan = planRecovery({300000, 300000, 300000, 300000}, 30, 4096).value();
    ASSERT_TRUE(succeeded(createRecovery(dir / "set.par2", paths, plan)));
    fs::remove(paths[1]);
    const Bytes before = snapshot(dir.folder());
    std::atomic<bool> stop{false};
    RecoveryControl control;
    control.stop = &stop;
    std::int64_t lastDone = 0, lastTotal = 0;
    control.progress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_LE(done, total);
        lastDone = done;
        lastTotal = total;
        stop = done > 900000; // once the pieces are verified: the rebuilding stops
    };
    const Result<RecoveryReport> report = repairRecovery(dir / "set.par2", control);
    EXPECT_TRUE(failedWith(report, ErrorKind::Stopped, "Stopped"));
    EXPECT_GT(lastDone, 900000);
    EXPECT_EQ(snapshot(dir.folder()), before);
}

} // namespace
