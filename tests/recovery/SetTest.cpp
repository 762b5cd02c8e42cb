#include "engines/recovery/Checksum.h"
#include "engines/recovery/PacketScanner.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "tests/recovery/RecoverySupport.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// ---- Recovery blocks whose packets' hashes fit but whose data is wrong.

// Changes a byte of the data of every recovery packet of the file `path`,
// and writes the packets' hashes anew so that they fit.
void forgeRecoveryData(const std::string& path) {
    std::string bytes = readFile(path);
    for (std::size_t at = 0; at + par2::kHeaderSize <= bytes.size();) {
        const std::uint64_t length = par2::readU64(bytes.data() + at + 8);
        if (par2::packetKindOf(bytes.data() + at + 48) == par2::PacketKind::Recovery) {
            bytes[at + par2::kHeaderSize + 4 + 10] ^= 0x5A;
            const Md5Digest hash =
                md5Of(bytes.data() + at + 32, static_cast<std::size_t>(length) - 32);
            std::memcpy(bytes.data() + at + 16, hash.data(), hash.size());
        }
        at += static_cast<std::size_t>(length);
    }
    writeFile(path, bytes);
}

class ForgedVolume : public ::testing::TestWithParam<bool> {};

// A volume of the lowest exponents (the first chosen) forged: the repair
// tries again without it, from the other volumes' blocks or, when every
// block is needed, from an intact copy of it under another name, and names it.
TEST_P(ForgedVolume, IsLeftOutAndNamed) {
    const bool everyBlockNeeded = GetParam();
    TempDir dir;
    std::vector<std::string> paths, pieces;
    for (std::size_t i = 0; i < 4; ++i) {
        paths.push_back(dir / pieceName(i));
        pieces.push_back(randomBytes(50000, static_cast<unsigned>(i + 40)));
        writeFile(paths.back(), pieces.back());
    }
    const RecoveryPlan plan = planRecovery({50000, 50000, 50000, 50000}, 10, 4096).value();
    ASSERT_TRUE(succeeded(createRecovery(dir / "set.par2", paths, plan)));
    const std::string forged = plan.volumeName("set.par2", 1);
    if (everyBlockNeeded)
        fs::copy_file(dir / forged, dir / "set.zcopy.par2");
    forgeRecoveryData(dir / forged);
    // As many blocks overwritten as there are recovery blocks, or as the other
    // volumes hold.
    const std::uint32_t lost = plan.recoveryBlocks - (everyBlockNeeded ? 0 : plan.volumes[1].count);
    ASSERT_GT(lost, plan.volumes[0].count);
    for (std::uint32_t b = 0; b < lost; ++b) {
        const std::size_t piece = b % 4, block = b / 4;
        std::string bytes = readFile(paths[piece]);
        bytes[block * 4096] ^= 1;
        writeFile(paths[piece], bytes);
    }

    const Result<RecoveryReport> report = repairRecovery(dir / "set.par2");
    ASSERT_TRUE(succeeded(report));
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(readFile(paths[i]), pieces[i]) << paths[i];
    const std::string named =
        "\"" + (dir / forged) + "\" holds recovery blocks whose data is wrong";
    EXPECT_NE(std::find_if(report->notes.begin(), report->notes.end(),
                           [&](const std::string& note) { return note.rfind(named, 0) == 0; }),
              report->notes.end());
}

INSTANTIATE_TEST_SUITE_P(Cases, ForgedVolume, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? "CopyNeeded" : "SpareBlocks";
});

// ---- Memory: one budget for the packets of all the files scanned together.

TEST(PacketStore, BoundsAllTheFilesScannedTogether) {
    // Forged files of distinct packets of 64 KiB bodies, far more of them together
    // than the budget; each file alone would fit it.
    constexpr std::uint64_t kBudget = 1 << 20;
    par2::PacketStore store(kBudget);
    Md5Digest setId{};
    setId[0] = 7;
    std::size_t listed = 0, overflowNotes = 0;
    for (unsigned file = 0; file < 12; ++file) {
        std::string bytes;
        for (unsigned p = 0; p < 4; ++p) {
            std::string body = randomBytes(65536, file * 16 + p);
            bytes += par2::makePacket(setId, par2::PacketKind::FileDescription, body);
        }
        par2::MemorySource source(bytes);
        const par2::ScanResult scan = par2::scanPackets(source, store);
        for (const par2::Packet& packet : scan.packets)
            listed += store.body(packet.hash) ? 1 : 0;
        overflowNotes += static_cast<std::size_t>(
            std::count_if(scan.damage.begin(), scan.damage.end(), [](const std::string& d) {
                return d.find("left out: too many of them") != std::string::npos;
            }));
    }
    EXPECT_LE(listed * 65536, kBudget);
    EXPECT_GE(listed, 8u);
    EXPECT_GT(overflowNotes, 0u);
}

// Bytes of memory, counting what is read of them.
class CountingSource final : public par2::ByteSource {
  public:
    explicit CountingSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return bytes_.size(); }
    Result<std::size_t> read(std::int64_t offset, void* buffer, std::size_t length) override {
        Result<std::size_t> got = bytes_.read(offset, buffer, length);
        if (got.ok())
            read_ += static_cast<std::int64_t>(*got);
        return got;
    }
    std::int64_t bytesRead() const { return read_; }

  private:
    par2::MemorySource bytes_;
    std::int64_t read_ = 0;
};

// Another set's volume is passed over by its packets' headers: its recovery
// blocks are not read; packets of the set looked for after it are all found.
TEST(PacketScan, PassesOverAnotherSetsVolumeByItsHeaders) {
    const RecoveryPlan plan = planRecovery({1 << 20, 1 << 20, 1 << 20, 1 << 20}, 50, 65536).value();
    TempDir mine, theirs;
    for (const TempDir* dir : {&mine, &theirs}) {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < 4; ++i) {
            paths.push_back(*dir / pieceName(i));
            writeFile(paths.back(),
                      randomBytes(1 << 20, static_cast<unsigned>(i + (dir == &mine ? 60 : 70))));
        }
        ASSERT_TRUE(succeeded(createRecovery(*dir / "set.par2", paths, plan)));
    }
    std::size_t largest = 0;
    for (std::size_t v = 0; v < plan.volumes.size(); ++v)
        if (plan.volumes[v].count > plan.volumes[largest].count)
            largest = v;
    const std::string volume = readFile(theirs / plan.volumeName("set.par2", largest));
    const std::string index = readFile(mine / "set.par2");
    par2::PacketStore store;
    par2::MemorySource indexSource(index);
    const par2::ScanResult own = par2::scanPackets(indexSource, store);
    ASSERT_FALSE(own.packets.empty());
    const Md5Digest ours = own.packets[0].setId;

    CountingSource foreign(volume);
    const par2::ScanResult passed = par2::scanPackets(foreign, store, &ours);
    EXPECT_TRUE(passed.packets.empty());
    EXPECT_GE(passed.foreign, 16u);
    EXPECT_GT(volume.size(), std::size_t{1} << 20);
    EXPECT_LT(foreign.bytesRead(), 64 * 1024) << "of " << volume.size();

    // Ours behind the foreign volume, and behind a foreign packet whose
    // length is forged (no header follows it): searched past, all found.
    std::string forged = volume.substr(0, 64 + 4 + 65536);
    forged.replace(8, 8, std::string("\xC8\0\0\0\0\0\0\0", 8));
    CountingSource mixed(volume + forged + index);
    const par2::ScanResult found = par2::scanPackets(mixed, store, &ours);
    EXPECT_EQ(found.packets.size(), own.packets.size());
}

} // namespace

// ---- The set and its version go by the file named, whatever the names of the others.

TEST(SetChoice, GoesByTheFileNamedWhateverTheOthersAreCalled) {
    // Two versions of one set (the same names, lengths and first bytes: the
    // same id), and a set of other pieces, their volumes side by side under
    // random names, so that they list and sort in any order.
    std::mt19937 random(99);
    for (int round = 0; round < 6; ++round) {
        TempDir mine, older, other;
        std::vector<std::string> myPaths, olderPaths, otherPaths;
        for (std::size_t i = 0; i < 3; ++i) {
            std::string bytes = randomBytes(40000, static_cast<unsigned>(i + 70));
            writeFile(older / pieceName(i), bytes);
            bytes[30000] ^= 1; // past the first 16 KiB
            writeFile(mine / pieceName(i), bytes);
            writeFile(other / pieceName(i), randomBytes(40000, static_cast<unsigned>(i + 90)));
            myPaths.push_back(mine / pieceName(i));
            olderPaths.push_back(older / pieceName(i));
            otherPaths.push_back(other / pieceName(i));
        }
        const RecoveryPlan plan = planRecovery({40000, 40000, 40000}, 20, 4096).value();
        ASSERT_TRUE(succeeded(createRecovery(mine / "set.par2", myPaths, plan)));
        ASSERT_TRUE(succeeded(createRecovery(older / "set.par2", olderPaths, plan)));
        ASSERT_TRUE(succeeded(createRecovery(other / "set.par2", otherPaths, plan)));
        std::vector<std::string> strangers;
        for (const auto* from : {&older, &other}) {
            const std::string name = "v" + std::to_string(random() % 1000) + "-" +
                                     std::to_string(strangers.size()) + ".par2";
            fs::copy_file(*from / plan.volumeName("set.par2", 2), mine / name);
            strangers.push_back(name);
        }
        fs::remove(mine / "set.par2"); // the index lost: a volume is named
        const std::string named = plan.volumeName("set.par2", random() % plan.volumes.size());
        const Result<RecoveryReport> report = verifyRecovery(mine / named);
        ASSERT_TRUE(succeeded(report));
        EXPECT_TRUE(report->complete()) << "named " << named;
        const auto told = [&](const std::string& text) {
            return std::any_of(report->notes.begin(), report->notes.end(),
                               [&](const std::string& note) { return note.find(text) == 0; });
        };
        EXPECT_TRUE(told("\"" + (mine / strangers[0]) + "\" holds another version"));
        EXPECT_TRUE(told("\"" + (mine / strangers[1]) + "\" belongs to another recovery set"));
        // The older version's volume named: its version goes, and the pieces differ from it.
        const Result<RecoveryReport> theirs = verifyRecovery(mine / strangers[0]);
        ASSERT_TRUE(succeeded(theirs));
        EXPECT_FALSE(theirs->complete());
    }
}
