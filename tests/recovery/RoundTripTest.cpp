#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "tests/recovery/RecoverySupport.h"
#include "tests/support/CannotRun.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// ---- Round trips through par2: ours repaired by par2, par2's by ours.

struct Damage {
    enum Kind { Delete, Overwrite, Truncate } kind;
    std::size_t piece;
    std::int64_t at = 0; // where bytes are overwritten, or the length cut to
};

struct RoundTrip {
    std::string name;
    std::vector<std::size_t> sizes;
    std::uint64_t blockSize; // 0: the plan's
    int percent;
    std::vector<Damage> damage;
    bool repairable;
    std::int64_t memory = kRecoveryMemory; // small: several passes
    bool zeroStretches = false;            // every other 10,000 bytes zero, and a piece all zero
    friend void PrintTo(const RoundTrip& trip, std::ostream* out) { *out << trip.name; }
};

class RoundTrips : public ::testing::TestWithParam<RoundTrip> {
  protected:
    void SetUp() override {
        if (!havePar2())
            SHARDIX_CANNOT_RUN("par2 is not installed (Debian package par2)");
        const RoundTrip& trip = GetParam();
        std::vector<std::int64_t> lengths;
        for (std::size_t i = 0; i < trip.sizes.size(); ++i) {
            pieces.push_back(randomBytes(trip.sizes[i], static_cast<unsigned>(i + 11)));
            if (trip.zeroStretches) {
                std::string& piece = pieces.back();
                for (std::size_t at = 0; at < piece.size(); at += 20000)
                    piece.replace(at, std::min<std::size_t>(10000, piece.size() - at),
                                  std::min<std::size_t>(10000, piece.size() - at), '\0');
                if (i == 1)
                    piece.assign(piece.size(), '\0');
            }
            writeFile(dir / pieceName(i), pieces.back());
            names += " " + pieceName(i);
            lengths.push_back(static_cast<std::int64_t>(trip.sizes[i]));
        }
        const Result<RecoveryPlan> planned = planRecovery(lengths, trip.percent, trip.blockSize);
        ASSERT_TRUE(succeeded(planned));
        plan = *planned;
        control.memory = trip.memory;
    }

    void damage() {
        for (const Damage& d : GetParam().damage) {
            const std::string path = dir / pieceName(d.piece);
            if (d.kind == Damage::Delete)
                fs::remove(path);
            else if (d.kind == Damage::Truncate)
                fs::resize_file(path, static_cast<std::uintmax_t>(d.at));
            else {
                std::string bytes = readFile(path);
                bytes.replace(static_cast<std::size_t>(d.at), 4, "\xDE\xAD\xBE\xEF");
                writeFile(path, bytes);
            }
        }
    }
    // The blocks that the damage leaves wrong, piece by piece.
    std::uint32_t damagedBlocks() const {
        std::map<std::size_t, std::set<std::uint64_t>> blocks;
        const std::uint64_t size = plan.blockSize;
        for (const Damage& d : GetParam().damage) {
            const std::uint64_t count = (pieces[d.piece].size() + size - 1) / size;
            const auto at = static_cast<std::uint64_t>(d.at);
            const std::uint64_t first = d.kind == Damage::Delete ? 0 : at / size;
            const std::uint64_t last = d.kind == Damage::Overwrite ? (at + 3) / size : count - 1;
            for (std::uint64_t b = first; b <= last; ++b)
                blocks[d.piece].insert(b);
        }
        std::uint32_t total = 0;
        for (const auto& [piece, wrong] : blocks)
            total += static_cast<std::uint32_t>(wrong.size());
        return total;
    }
    bool intact() const { return shardix::testing::intact(dir, pieces); }

    TempDir dir;
    std::vector<std::string> pieces;
    std::string names;
    RecoveryPlan plan;
    RecoveryControl control;
};

TEST_P(RoundTrips, OursVerifiedAndRepairedByPar2) {
    // Streamed in uneven slices, as a reader of the source would give them.
    std::vector<RecoveryPiece> given;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        given.push_back({pieceName(i), static_cast<std::int64_t>(pieces[i].size()),
                         pieces[i].substr(0, kRecoveryHeadBytes)});
    RecoveryEncoder encoder(dir / "set.par2", given, plan, control);
    ASSERT_TRUE(succeeded(encoder.status()));
    std::mt19937 random(1);
    const std::string all = [&] {
        std::string joined;
        for (const std::string& piece : pieces)
            joined += piece;
        return joined;
    }();
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t slice = std::min<std::size_t>(all.size() - at, random() % 70000 + 1);
        ASSERT_TRUE(succeeded(encoder.feed(all.data() + at, slice)));
        at += slice;
    }
    ASSERT_TRUE(succeeded(encoder.finish()));
    EXPECT_EQ(encoder.written().size(), plan.volumes.size() + 1);
    ASSERT_EQ(par2(dir.folder(), "verify set.par2"), 0);

    damage();
    const bool repaired = par2(dir.folder(), "repair set.par2") == 0;
    EXPECT_EQ(repaired, GetParam().repairable);
    if (GetParam().repairable) {
        EXPECT_TRUE(intact());
    }
}

TEST_P(RoundTrips, Par2sRepairedByOurs) {
    ASSERT_EQ(par2(dir.folder(), "create -s" + std::to_string(plan.blockSize) + " -c" +
                                     std::to_string(plan.recoveryBlocks) + " set.par2" + names),
              0);
    const Result<RecoveryReport> clean = verifyRecovery(dir / "set.par2", control);
    ASSERT_TRUE(succeeded(clean));
    EXPECT_TRUE(clean->complete());
    EXPECT_EQ(clean->recoveryBlocks, plan.recoveryBlocks);

    damage();
    const Result<RecoveryReport> verified = verifyRecovery(dir / "set.par2", control);
    ASSERT_TRUE(succeeded(verified));
    // Zero blocks are found again in the other zero stretches: fewer are missing.
    const auto missingAsDamaged = [this](std::uint32_t missing) {
        return GetParam().zeroStretches ? missing > 0 && missing < damagedBlocks()
                                        : missing == damagedBlocks();
    };
    EXPECT_PRED1(missingAsDamaged, verified->missingBlocks);
    EXPECT_EQ(verified->repairable(), GetParam().repairable);
    Bytes damaged = snapshot(dir.folder());
    // The repair tells what its verification found before it changes anything.
    std::optional<RecoveryReport> told;
    control.verified = [&told](const RecoveryReport& found) { told = found; };
    const Result<RecoveryReport> report = repairRecovery(dir / "set.par2", control);
    ASSERT_TRUE(told);
    EXPECT_EQ(told->missingBlocks, verified->missingBlocks);
    if (!GetParam().repairable) {
        EXPECT_TRUE(failedWith(report, ErrorKind::Refused, "more are needed"));
        EXPECT_EQ(snapshot(dir.folder()), damaged);
        return;
    }
    ASSERT_TRUE(succeeded(report));
    EXPECT_TRUE(report->complete());
    EXPECT_TRUE(intact());
    // Each damaged piece set aside as it was; nothing else new.
    for (const RecoveryFileReport& file : report->files) {
        EXPECT_EQ(file.rebuilt,
                  damaged.count(file.name) == 0 || damaged[file.name] != readFile(dir / file.name));
        if (!file.setAside.empty()) {
            EXPECT_EQ(file.setAside, file.name + ".1");
            EXPECT_EQ(readFile(dir / file.setAside), damaged[file.name]);
            damaged[file.setAside] = damaged[file.name];
        }
        damaged[file.name] = readFile(dir / file.name);
    }
    EXPECT_EQ(snapshot(dir.folder()), damaged);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, RoundTrips,
    ::testing::Values(
        RoundTrip{"OnePieceLost",
                  std::vector<std::size_t>(10, 50000),
                  0,
                  10,
                  {{Damage::Delete, 3}},
                  true},
        RoundTrip{"SeveralPiecesLost",
                  std::vector<std::size_t>(8, 40000),
                  0,
                  40,
                  {{Damage::Delete, 0}, {Damage::Delete, 4}, {Damage::Delete, 7}},
                  true},
        RoundTrip{"TooManyPiecesLost",
                  std::vector<std::size_t>(10, 50000),
                  0,
                  10,
                  {{Damage::Delete, 1}, {Damage::Delete, 2}},
                  false},
        RoundTrip{"OneBlockDamaged",
                  std::vector<std::size_t>(6, 100000),
                  0,
                  5,
                  {{Damage::Overwrite, 2, 12345}},
                  true},
        RoundTrip{"LastShortPieceLost",
                  {65536, 65536, 65536, 65536, 65536, 1000},
                  4096,
                  10,
                  {{Damage::Delete, 5}, {Damage::Overwrite, 1, 70}},
                  true},
        RoundTrip{"OnePieceCutShort", {300000}, 0, 20, {{Damage::Truncate, 0, 250000}}, true},
        RoundTrip{
            "MixedSizesOddBlocks",
            {70001, 3, 123456, 8192, 4097},
            1024,
            30,
            {{Damage::Delete, 1}, {Damage::Truncate, 2, 100000}, {Damage::Overwrite, 4, 4094}},
            true},
        RoundTrip{"SeveralPasses",
                  std::vector<std::size_t>(4, 200000),
                  4096,
                  50,
                  {{Damage::Delete, 0}, {Damage::Delete, 3}},
                  true,
                  5 * 4096},
        // Zero blocks add nothing to the recovery blocks and share their
        // checksums; par2 checks both, over several passes.
        RoundTrip{
            "ZeroStretches",
            std::vector<std::size_t>(4, 200000),
            2048,
            50,
            {{Damage::Delete, 1}, {Damage::Overwrite, 2, 5000}, {Damage::Overwrite, 3, 30000}},
            true,
            5 * 4096,
            true}),
    [](const auto& info) { return info.param.name; });

} // namespace
