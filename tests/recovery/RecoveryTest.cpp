#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/Md5Lanes.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "engines/recovery/RecoverySet.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

using Bytes = std::map<std::string, std::string>;

// Every file of a folder by name with its bytes, links as "-> target" and
// folders as "<folder>".
Bytes snapshot(const std::string& folder) {
    Bytes files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        files[name] = entry.is_symlink()     ? "-> " + fs::read_symlink(entry.path()).string()
                      : entry.is_directory() ? "<folder>"
                                             : readFile(entry.path());
    }
    return files;
}

bool havePar2() {
    return std::system("command -v par2 > /dev/null 2>&1") == 0;
}

// par2 ARGUMENTS run in `folder`; its exit status.
int par2(const std::string& folder, const std::string& arguments) {
    const int status =
        std::system(("cd '" + folder + "' && par2 " + arguments + " > /dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string pieceName(std::size_t i) {
    return "piece." + std::to_string(100 + i).substr(1); // par2 0.8.1 fails on 1-letter names
}

// ---- The kernels: each one against the portable kernel on the same data.

class Kernels : public ::testing::TestWithParam<std::string> {};

TEST_P(Kernels, AgreeWithThePortableKernel) {
    auto kernel = par2::makeGfKernel(GetParam());
    if (!kernel)
        GTEST_SKIP() << "this processor cannot run " << GetParam();
    auto portable = par2::makeGfKernel("portable");
    const std::size_t bytes = 5 * par2::kBlockAlign * 9; // not a power of two
    std::mt19937 random(3);
    for (std::size_t count : {1u, 3u, 16u}) {
        std::vector<std::string> natural(count, std::string(bytes, '\0'));
        std::vector<std::vector<std::uint8_t>> mine(count), theirs(count);
        std::vector<const std::uint8_t*> mineSources, theirSources;
        std::vector<std::uint8_t> minePrepared, theirPrepared;
        for (std::size_t k = 0; k < count; ++k) {
            natural[k] = randomBytes(bytes, static_cast<unsigned>(random()));
            // Factors 0, 1 and the largest, then random ones.
            const std::uint16_t factor = k == 0   ? 0
                                         : k == 1 ? 1
                                         : k == 2 ? 0xFFFF
                                                  : static_cast<std::uint16_t>(random());
            for (auto [which, prepared, sources, blocks] :
                 {std::tuple{kernel.get(), &minePrepared, &mineSources, &mine},
                  std::tuple{portable.get(), &theirPrepared, &theirSources, &theirs}}) {
                (*blocks)[k].resize(bytes);
                which->toLayout((*blocks)[k].data(),
                                reinterpret_cast<const std::uint8_t*>(natural[k].data()), bytes);
                prepared->resize((k + 1) * which->preparedSize());
                which->prepare(factor, prepared->data() + k * which->preparedSize());
            }
        }
        for (std::size_t k = 0; k < count; ++k) {
            mineSources.push_back(mine[k].data());
            theirSources.push_back(theirs[k].data());
        }
        // Added into a target that is not zero, from an offset into the sources.
        const std::string start = randomBytes(bytes, 9);
        std::vector<std::uint8_t> mineTarget(bytes), theirTarget(bytes);
        kernel->toLayout(mineTarget.data(), reinterpret_cast<const std::uint8_t*>(start.data()),
                         bytes);
        portable->toLayout(theirTarget.data(), reinterpret_cast<const std::uint8_t*>(start.data()),
                           bytes);
        const std::size_t offset = 2 * par2::kBlockAlign;
        kernel->multiplyAdd(mineTarget.data() + offset, mineSources.data(), count,
                            minePrepared.data(), offset, bytes - offset);
        portable->multiplyAdd(theirTarget.data() + offset, theirSources.data(), count,
                              theirPrepared.data(), offset, bytes - offset);
        kernel->fromLayout(mineTarget.data(), mineTarget.data(), bytes); // in place
        portable->fromLayout(theirTarget.data(), theirTarget.data(), bytes);
        EXPECT_EQ(mineTarget, theirTarget) << count << " sources";
    }
}

// The whole engine with each kernel: the same recovery files as with the
// portable kernel, and the same pieces rebuilt (the matrix inversion and the
// rebuilding in the kernel's own layout).
TEST_P(Kernels, MakeTheSameFilesAndRebuildThePieces) {
    if (!par2::makeGfKernel(GetParam()))
        GTEST_SKIP() << "this processor cannot run " << GetParam();
    const std::vector<std::int64_t> lengths{30000, 30000, 30000, 30000, 30000, 17};
    const auto plan = std::get<RecoveryPlan>(planRecovery(lengths, 40, 1024));
    Bytes made[2];
    for (int run = 0; run < 2; ++run) {
        TempDir dir;
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            paths.push_back(dir / pieceName(i));
            writeFile(paths.back(),
                      randomBytes(static_cast<std::size_t>(lengths[i]), static_cast<unsigned>(i)));
        }
        const Bytes pieces = snapshot(dir.folder());
        RecoveryControl control;
        control.kernel = run == 0 ? "portable" : GetParam();
        control.memory = 7 * 1024; // several passes
        ASSERT_FALSE(createRecovery(dir / "set.par2", paths, plan, control));
        made[run] = snapshot(dir.folder());
        fs::remove(paths[0]);
        fs::remove(paths[3]);
        const RecoveryReport report = repairRecovery(dir / "set.par2", control);
        ASSERT_FALSE(report.problem) << report.problem->message;
        for (std::size_t i = 0; i < lengths.size(); ++i)
            EXPECT_EQ(readFile(paths[i]), pieces.at(pieceName(i))) << control.kernel;
    }
    EXPECT_EQ(made[1], made[0]);
}

INSTANTIATE_TEST_SUITE_P(Every, Kernels, ::testing::ValuesIn(par2::gfKernelNames()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(Field, PortableKernelMatchesItBitByBit) {
    auto portable = par2::makeGfKernel("portable");
    std::vector<std::uint8_t> prepared(portable->preparedSize());
    std::mt19937 random(5);
    for (int round = 0; round < 64; ++round) {
        const auto factor = static_cast<std::uint16_t>(random());
        portable->prepare(factor, prepared.data());
        std::vector<std::uint8_t> source(par2::kBlockAlign), target(par2::kBlockAlign, 0);
        for (auto& byte : source)
            byte = static_cast<std::uint8_t>(random());
        const std::uint8_t* sources[] = {source.data()};
        portable->multiplyAdd(target.data(), sources, 1, prepared.data(), 0, source.size());
        for (std::size_t w = 0; w < source.size(); w += 2) {
            const auto word = static_cast<std::uint16_t>(source[w] | source[w + 1] << 8);
            ASSERT_EQ(target[w] | target[w + 1] << 8, par2::gf16MultiplySlow(word, factor));
        }
    }
    // The format's first input constants.
    const std::uint16_t constants[] = {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132};
    for (std::uint32_t i = 0; i < std::size(constants); ++i)
        EXPECT_EQ(par2::gf16().inputConstant(i), constants[i]);
}

TEST(Checksums, MD5sSideBySideMatchLibcrypto) {
    if (!par2::canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    // Lengths around the ends of the 64-byte chunks, where the padding goes.
    for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 134220u}) {
        std::vector<std::string> messages;
        messages.reserve(par2::kMd5Lanes); // the lanes point into them
        const std::uint8_t* lanes[par2::kMd5Lanes];
        for (std::size_t lane = 0; lane < par2::kMd5Lanes; ++lane) {
            messages.push_back(randomBytes(length, static_cast<unsigned>(lane + length)));
            lanes[lane] = reinterpret_cast<const std::uint8_t*>(messages.back().data());
        }
        par2::Md5Digest digests[par2::kMd5Lanes];
        par2::md5OfLanes(lanes, length, digests);
        for (std::size_t lane = 0; lane < par2::kMd5Lanes; ++lane)
            EXPECT_EQ(digests[lane], par2::md5Of(lanes[lane], length)) << length << " bytes";
    }
}

// ---- Plans at their limits.

TEST(RecoveryPlan, KeepsToTheFormatsLimits) {
    constexpr std::int64_t GiB = 1 << 30;
    struct Case {
        std::vector<std::int64_t> lengths;
        int percent;
        std::uint64_t blockSize;
        std::string refusal; // empty: planned
    };
    const Case cases[] = {
        {std::vector<std::int64_t>(10, GiB / 10), 10, 0, ""},
        {std::vector<std::int64_t>(999, 5000), 100, 0, ""},
        {{2000 * GiB}, 1, 0, ""}, // needs blocks above the 2000-block rule
        {{3000 * GiB}, 1, 0, "too large"},
        {{1 << 20, 0, 1 << 20}, 50, 0, ""},
        {{0, 0}, 10, 0, "nothing to protect"},
        {{1 << 20}, 0, 0, "1 to 100 percent"},
        {{1 << 20}, 101, 0, "1 to 100 percent"},
        {{1 << 20}, 10, 1022, "multiple of 4"},
        {{1 << 20}, 10, 16, "more than the 32768"},
    };
    for (const Case& c : cases) {
        auto planned = planRecovery(c.lengths, c.percent, c.blockSize);
        if (!c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<RecoveryProblem>(planned)) << c.refusal;
            EXPECT_NE(std::get<RecoveryProblem>(planned).message.find(c.refusal), std::string::npos)
                << std::get<RecoveryProblem>(planned).message;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<RecoveryPlan>(planned))
            << std::get<RecoveryProblem>(planned).message;
        const RecoveryPlan& plan = std::get<RecoveryPlan>(planned);
        std::uint64_t blocks = 0;
        for (std::int64_t length : c.lengths)
            blocks += (static_cast<std::uint64_t>(length) + plan.blockSize - 1) / plan.blockSize;
        EXPECT_EQ(plan.dataBlocks, blocks);
        EXPECT_LE(blocks, kMaxBlocks);
        EXPECT_EQ(plan.blockSize % 4, 0u);
        EXPECT_LE(plan.blockSize, kMaxBlockSize);
        EXPECT_GE(plan.recoveryBlocks * 100, blocks * static_cast<std::uint64_t>(c.percent));
        std::uint32_t inVolumes = 0;
        for (const RecoveryVolume& volume : plan.volumes) {
            EXPECT_EQ(volume.firstExponent, inVolumes);
            inVolumes += volume.count;
        }
        EXPECT_EQ(inVolumes, plan.recoveryBlocks);
    }
}

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
    friend void PrintTo(const RoundTrip& trip, std::ostream* out) { *out << trip.name; }
};

class RoundTrips : public ::testing::TestWithParam<RoundTrip> {
  protected:
    void SetUp() override {
        if (!havePar2())
            GTEST_SKIP() << "par2 is not installed (Debian package par2)";
        const RoundTrip& trip = GetParam();
        std::vector<std::int64_t> lengths;
        for (std::size_t i = 0; i < trip.sizes.size(); ++i) {
            pieces.push_back(randomBytes(trip.sizes[i], static_cast<unsigned>(i + 11)));
            writeFile(dir / pieceName(i), pieces.back());
            names += " " + pieceName(i);
            lengths.push_back(static_cast<std::int64_t>(trip.sizes[i]));
        }
        auto planned = planRecovery(lengths, trip.percent, trip.blockSize);
        ASSERT_TRUE(std::holds_alternative<RecoveryPlan>(planned));
        plan = std::get<RecoveryPlan>(planned);
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
    bool intact() {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (readFile(dir / pieceName(i)) != pieces[i])
                return false;
        }
        return true;
    }

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
    ASSERT_FALSE(encoder.problem()) << encoder.problem()->message;
    std::mt19937 random(1);
    const std::string all = [&] {
        std::string joined;
        for (const std::string& piece : pieces)
            joined += piece;
        return joined;
    }();
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t slice = std::min<std::size_t>(all.size() - at, random() % 70000 + 1);
        ASSERT_TRUE(encoder.feed(all.data() + at, slice));
        at += slice;
    }
    const auto finished = encoder.finish();
    ASSERT_FALSE(finished) << finished->message;
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
    const RecoveryReport clean = verifyRecovery(dir / "set.par2", control);
    ASSERT_FALSE(clean.problem) << clean.problem->message;
    EXPECT_TRUE(clean.complete());
    EXPECT_EQ(clean.recoveryBlocks, plan.recoveryBlocks);

    damage();
    const RecoveryReport verified = verifyRecovery(dir / "set.par2", control);
    EXPECT_EQ(verified.missingBlocks, damagedBlocks());
    EXPECT_EQ(verified.repairable(), GetParam().repairable);
    Bytes damaged = snapshot(dir.folder());
    const RecoveryReport report = repairRecovery(dir / "set.par2", control);
    if (!GetParam().repairable) {
        ASSERT_TRUE(report.problem);
        EXPECT_NE(report.problem->message.find("more are needed"), std::string::npos)
            << report.problem->message;
        EXPECT_EQ(snapshot(dir.folder()), damaged);
        return;
    }
    ASSERT_FALSE(report.problem) << report.problem->message;
    EXPECT_TRUE(report.complete());
    EXPECT_TRUE(intact());
    // Each damaged piece set aside as it was; nothing else new.
    for (const RecoveryFileReport& file : report.files) {
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
                  5 * 4096}),
    [](const auto& info) { return info.param.name; });

// ---- Hostile indexes: refused before any file is read or written.

// A small set described by hand, then serialized with right hashes unless a
// case breaks them on purpose.
struct HandMadeSet {
    std::uint64_t blockSize = 4096;
    std::vector<par2::FileDescription> files;
    std::vector<std::vector<par2::BlockCheck>> checks;
    std::vector<par2::Md5Digest> mainIds; // empty: the files' ids

    void add(const std::string& name, const std::string& bytes) {
        par2::FileDescription file;
        file.name = name;
        file.length = bytes.size();
        file.hash = par2::md5Of(bytes.data(), bytes.size());
        file.hash16k = par2::md5Of(bytes.data(), std::min<std::size_t>(bytes.size(), par2::k16k));
        file.id = par2::fileId(file.hash16k, file.length, name);
        std::vector<par2::BlockCheck> blocks;
        for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
            std::string block = bytes.substr(at, blockSize);
            block.resize(blockSize, '\0');
            blocks.push_back({par2::md5Of(block.data(), block.size()),
                              par2::crc32Of(block.data(), block.size())});
        }
        files.push_back(file);
        checks.push_back(blocks);
    }
    std::string index(par2::Md5Digest* setIdOut = nullptr) const {
        std::vector<par2::Md5Digest> ids = mainIds;
        if (ids.empty())
            for (const auto& file : files)
                ids.push_back(file.id);
        const std::string main = par2::mainBody(blockSize, ids);
        const par2::Md5Digest setId = par2::md5Of(main.data(), main.size());
        if (setIdOut)
            *setIdOut = setId;
        std::string bytes = par2::makePacket(setId, par2::PacketKind::Main, main);
        for (std::size_t f = 0; f < files.size(); ++f) {
            bytes += par2::makePacket(setId, par2::PacketKind::FileDescription,
                                      par2::fileDescriptionBody(files[f]));
            bytes += par2::makePacket(setId, par2::PacketKind::BlockChecksums,
                                      par2::blockChecksumsBody(files[f].id, checks[f]));
        }
        return bytes;
    }
};

struct Hostile {
    std::string name;
    std::function<std::string(HandMadeSet&)> make; // changes the set, returns the index's bytes
    std::string refusal;
    friend void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }
};

class HostileIndexes : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileIndexes, AreRefusedAndNothingIsTouched) {
    TempDir dir;
    fs::create_directory(dir / "set");
    const std::string folder = dir / "set";
    HandMadeSet set;
    for (const char* name : {"alpha.bin", "beta.bin"}) {
        writeFile(folder + "/" + name, randomBytes(10000, name[0]));
        set.add(name, readFile(folder + "/" + name));
    }
    fs::remove(folder + "/beta.bin"); // a repair would rebuild it, if it went so far
    writeFile(folder + "/set.par2", GetParam().make(set));
    writeFile(dir / "alpha.bin", "outside the folder");
    const Bytes inside = snapshot(folder), outside = snapshot(dir.folder());

    for (bool repair : {false, true}) {
        const RecoveryReport report =
            repair ? repairRecovery(folder + "/set.par2") : verifyRecovery(folder + "/set.par2");
        ASSERT_TRUE(report.problem);
        EXPECT_NE(report.problem->message.find(GetParam().refusal), std::string::npos)
            << report.problem->message;
        EXPECT_TRUE(report.files.empty());
        EXPECT_EQ(snapshot(folder), inside);
        EXPECT_EQ(snapshot(dir.folder()), outside);
    }
    // The bytes alone, as the fuzzer gives them, meet the same refusal.
    EXPECT_TRUE(std::holds_alternative<RecoveryProblem>(
        par2::assembleSetFromBytes(readFile(folder + "/set.par2"), {}, "set.par2")));
}

std::uint64_t setU64(std::string& bytes, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileIndexes,
    ::testing::Values(Hostile{"CutShort", [](HandMadeSet& s) { return s.index().substr(0, 100); },
                              "cut short"},
                      Hostile{"WrongPacketLength",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  setU64(bytes, 8, 1u << 30); // the main packet's
                                  return bytes;
                              },
                              "main packet"},
                      Hostile{"WrongHash",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  bytes[64] ^= 1; // the main packet's block size
                                  return bytes;
                              },
                              "main packet"},
                      Hostile{"AbsurdBlockSize",
                              [](HandMadeSet& s) {
                                  s.blockSize = 1ull << 40;
                                  return s.index();
                              },
                              "larger than"},
                      Hostile{"ZeroBlockSize",
                              [](HandMadeSet& s) {
                                  s.blockSize = 0;
                                  return s.index();
                              },
                              "positive multiple of 4"},
                      Hostile{"AbsurdFileLength",
                              [](HandMadeSet& s) {
                                  s.files[0].length = 1ull << 62;
                                  return s.index();
                              },
                              "impossible length"},
                      Hostile{"AbsurdBlockCount",
                              [](HandMadeSet& s) {
                                  s.blockSize = 4;
                                  s.files[0].length = s.files[1].length = 80000;
                                  return s.index();
                              },
                              "more than 32768 blocks"},
                      Hostile{"AbsurdFileCount",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  const std::string main = bytes.substr(64, 12 + 32);
                                  std::string changed = main;
                                  changed[8] = static_cast<char>(0xFF); // 255 files in room for 2
                                  par2::Md5Digest id{};
                                  std::memcpy(id.data(), bytes.data() + 32, 16);
                                  return par2::makePacket(id, par2::PacketKind::Main, changed) +
                                         bytes.substr(64 + main.size());
                              },
                              "lists 255 files in room for 2"},
                      Hostile{"NameWithSlash",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "sub/beta.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"NameUpOneFolder",
                              [](HandMadeSet& s) {
                                  s.files[0].name = "../alpha.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"DotDot",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "..";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"AbsoluteName",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "/tmp/beta.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"SameIdListedTwice",
                              [](HandMadeSet& s) {
                                  s.mainIds = {s.files[0].id, s.files[0].id};
                                  return s.index();
                              },
                              "twice"},
                      Hostile{"SameNameListedTwice",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "alpha.bin";
                                  return s.index();
                              },
                              "lists \"alpha.bin\" twice"},
                      Hostile{"ItsOwnIndexListed",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "set.par2";
                                  return s.index();
                              },
                              "its own recovery file"},
                      Hostile{"ChecksumsOfAnotherLength",
                              [](HandMadeSet& s) {
                                  s.checks[1].pop_back();
                                  return s.index();
                              },
                              "do not fit its length"},
                      Hostile{"PacketsOfTwoSets",
                              [](HandMadeSet& s) {
                                  const std::string first = s.index();
                                  s.blockSize = 2048;
                                  return first + s.index();
                              },
                              "2 different recovery sets"},
                      Hostile{"NotPar2", [](HandMadeSet&) { return std::string(5000, 'x'); },
                              "no intact PAR 2.0 packet"}),
    [](const auto& info) { return info.param.name; });

TEST(HostileFolders, ALinkInPlaceOfAPieceIsNotFollowed) {
    TempDir dir;
    fs::create_directory(dir / "set");
    const std::string folder = dir / "set", piece = folder + "/piece.00";
    const std::string bytes = randomBytes(50000, 4);
    writeFile(piece, bytes);
    auto planned = planRecovery({50000}, 100);
    ASSERT_FALSE(createRecovery(folder + "/set.par2", {piece}, std::get<RecoveryPlan>(planned)));
    // The piece moved out of the folder, a link to it in its place.
    fs::rename(piece, dir / "outside");
    fs::create_symlink(dir / "outside", piece);

    const RecoveryReport verified = verifyRecovery(folder + "/set.par2");
    ASSERT_EQ(verified.files.size(), 1u);
    EXPECT_EQ(verified.files[0].state, RecoveryFileState::Damaged);
    EXPECT_EQ(verified.files[0].detail, "a symbolic link, not followed");

    const RecoveryReport repaired = repairRecovery(folder + "/set.par2");
    ASSERT_FALSE(repaired.problem) << repaired.problem->message;
    EXPECT_FALSE(fs::is_symlink(piece));
    EXPECT_EQ(readFile(piece), bytes);
    EXPECT_TRUE(fs::is_symlink(piece + ".1"));
    EXPECT_EQ(readFile(dir / "outside"), bytes);
}

TEST(HostileFolders, AVolumeOfAnotherSetIsLeftOut) {
    // Two sets of the same piece names and block size; the other set's first
    // volume (exponent 0 too) lies beside this set's files, and is read first.
    TempDir mine, theirs;
    std::vector<std::string> myPaths, theirPaths;
    for (std::size_t i = 0; i < 4; ++i) {
        myPaths.push_back(mine / pieceName(i));
        theirPaths.push_back(theirs / pieceName(i));
        writeFile(myPaths.back(), randomBytes(50000, static_cast<unsigned>(i)));
        writeFile(theirPaths.back(), randomBytes(50000, static_cast<unsigned>(i + 100)));
    }
    const auto plan = std::get<RecoveryPlan>(planRecovery({50000, 50000, 50000, 50000}, 30));
    ASSERT_FALSE(createRecovery(mine / "set.par2", myPaths, plan));
    ASSERT_FALSE(createRecovery(theirs / "set.par2", theirPaths, plan));
    fs::copy_file(theirs / plan.volumeName("set.par2", 0), mine / "set.a.par2");
    const std::string lost = readFile(myPaths[2]);
    fs::remove(myPaths[2]);

    const RecoveryReport report = repairRecovery(mine / "set.par2");
    ASSERT_FALSE(report.problem) << report.problem->message;
    EXPECT_EQ(readFile(myPaths[2]), lost);
    EXPECT_NE(std::find_if(report.notes.begin(), report.notes.end(),
                           [](const std::string& note) {
                               return note.find(
                                          "set.a.par2\": 11 packets of another recovery set") !=
                                      std::string::npos;
                           }),
              report.notes.end());
}

// The fuzzer's regression corpus: the inputs of its runs that together reach
// every branch it found in the parser, and any input that made it fail.
TEST(FuzzerCorpus, EveryInputIsHandled) {
    std::size_t replayed = 0;
    for (const auto& entry : fs::directory_iterator(SHARDIX_RECOVERY_CORPUS)) {
        const std::string bytes = readFile(entry.path());
        auto set = par2::assembleSetFromBytes(bytes, {bytes});
        if (auto* problem = std::get_if<RecoveryProblem>(&set)) {
            EXPECT_FALSE(problem->message.empty()) << entry.path();
        }
        ++replayed;
    }
    std::cout << replayed << " inputs replayed\n";
}

// ---- The encoder's and the repair's own refusals: nothing is left behind.

TEST(RecoveryEncoder, RefusesWhatDoesNotFitAndLeavesNothing) {
    struct Case {
        std::string name;
        std::function<void(RecoveryEncoder&, const std::string&)> drive;
        std::string refusal;
        std::string head; // the head given for the piece; empty: its own
        bool stop = false;
    };
    const std::string bytes = randomBytes(100000, 8);
    const Case cases[] = {
        {"too many bytes",
         [](RecoveryEncoder& e, const std::string& b) { e.feed((b + "x").data(), b.size() + 1); },
         "More bytes", ""},
        {"too few bytes",
         [](RecoveryEncoder& e, const std::string& b) { e.feed(b.data(), b.size() - 10); },
         "ended 10 bytes early", ""},
        {"another head",
         [](RecoveryEncoder& e, const std::string& b) { e.feed(b.data(), b.size()); },
         "differ from those streamed", randomBytes(kRecoveryHeadBytes, 9)},
        {"stopped", [](RecoveryEncoder& e, const std::string& b) { e.feed(b.data(), b.size()); },
         "Stopped", "", true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir / "piece.00", bytes);
        const Bytes before = snapshot(dir.folder());
        std::atomic<bool> stop{c.stop};
        RecoveryControl control;
        control.stop = &stop;
        auto plan = std::get<RecoveryPlan>(planRecovery({100000}, 10));
        {
            RecoveryEncoder encoder(
                dir / "set.par2",
                {{"piece.00", 100000,
                  c.head.empty() ? bytes.substr(0, kRecoveryHeadBytes) : c.head}},
                plan, control);
            ASSERT_FALSE(encoder.problem()) << c.name;
            c.drive(encoder, bytes);
            const auto finished = encoder.finish();
            ASSERT_TRUE(finished) << c.name;
            EXPECT_NE(finished->message.find(c.refusal), std::string::npos) << finished->message;
        }
        EXPECT_EQ(snapshot(dir.folder()), before) << c.name;
    }
    // An existing index is replaced only when asked.
    TempDir dir;
    writeFile(dir / "piece.00", bytes);
    writeFile(dir / "set.par2", "mine");
    auto plan = std::get<RecoveryPlan>(planRecovery({100000}, 10));
    const auto refused = createRecovery(dir / "set.par2", {dir / "piece.00"}, plan);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->message.find("already exists"), std::string::npos);
    EXPECT_EQ(readFile(dir / "set.par2"), "mine");
    EXPECT_FALSE(createRecovery(dir / "set.par2", {dir / "piece.00"}, plan, {}, true));
    EXPECT_TRUE(verifyRecovery(dir / "set.par2").complete());
}

TEST(RecoveryRepair, StoppedChangesNothing) {
    TempDir dir;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < 4; ++i) {
        paths.push_back(dir / pieceName(i));
        writeFile(paths.back(), randomBytes(300000, static_cast<unsigned>(i)));
    }
    auto plan = std::get<RecoveryPlan>(planRecovery({300000, 300000, 300000, 300000}, 30, 4096));
    ASSERT_FALSE(createRecovery(dir / "set.par2", paths, plan));
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
    const RecoveryReport report = repairRecovery(dir / "set.par2", control);
    ASSERT_TRUE(report.problem);
    EXPECT_NE(report.problem->message.find("Stopped"), std::string::npos);
    EXPECT_GT(lastDone, 900000);
    EXPECT_EQ(snapshot(dir.folder()), before);
}

} // namespace
