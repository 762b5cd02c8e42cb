#include "engines/recovery/Checksum.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "tests/recovery/RecoverySupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

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

// Two targets at once, each with its own factors, against the portable
// kernel one target at a time: an odd number of units, so that the last is
// added alone, from an offset into the sources.
TEST_P(Kernels, AddIntoTwoTargetsAsIntoEachAlone) {
    auto kernel = par2::makeGfKernel(GetParam());
    if (!kernel)
        GTEST_SKIP() << "this processor cannot run " << GetParam();
    auto portable = par2::makeGfKernel("portable");
    const std::size_t bytes = 7 * par2::kBlockAlign;
    const std::size_t offset = 2 * par2::kBlockAlign;
    std::mt19937 random(11);
    for (std::size_t count : {1u, 5u}) {
        // Per kernel: its sources, its two targets, its two sets of factors.
        struct Side {
            par2::GfKernel* kernel;
            std::vector<std::vector<std::uint8_t>> sources;
            std::vector<std::uint8_t> targets[2];
            std::vector<std::uint8_t> prepared[2];
        } sides[2] = {{kernel.get(), {}, {}, {}}, {portable.get(), {}, {}, {}}};
        std::vector<std::string> natural;
        for (std::size_t k = 0; k < count + 2; ++k)
            natural.push_back(randomBytes(bytes, static_cast<unsigned>(random())));
        std::vector<std::uint16_t> factors(2 * count);
        for (std::uint16_t& factor : factors)
            factor = static_cast<std::uint16_t>(random());
        for (Side& side : sides) {
            const std::size_t size = side.kernel->preparedSize();
            for (std::size_t k = 0; k < count + 2; ++k) {
                std::vector<std::uint8_t> block(bytes);
                side.kernel->toLayout(
                    block.data(), reinterpret_cast<const std::uint8_t*>(natural[k].data()), bytes);
                (k < count ? side.sources.emplace_back() : side.targets[k - count]) =
                    std::move(block);
            }
            for (int t = 0; t < 2; ++t) {
                side.prepared[t].resize(count * size);
                for (std::size_t k = 0; k < count; ++k)
                    side.kernel->prepare(factors[t * count + k],
                                         side.prepared[t].data() + k * size);
            }
        }
        std::vector<const std::uint8_t*> mineSources, theirSources;
        for (std::size_t k = 0; k < count; ++k) {
            mineSources.push_back(sides[0].sources[k].data());
            theirSources.push_back(sides[1].sources[k].data());
        }
        std::uint8_t* const targets[2] = {sides[0].targets[0].data() + offset,
                                          sides[0].targets[1].data() + offset};
        const void* const prepared[2] = {sides[0].prepared[0].data(), sides[0].prepared[1].data()};
        kernel->multiplyAddPair(targets, mineSources.data(), count, prepared, offset,
                                bytes - offset);
        for (int t = 0; t < 2; ++t) {
            portable->multiplyAdd(sides[1].targets[t].data() + offset, theirSources.data(), count,
                                  sides[1].prepared[t].data(), offset, bytes - offset);
            for (Side& side : sides)
                side.kernel->fromLayout(side.targets[t].data(), side.targets[t].data(), bytes);
            EXPECT_EQ(sides[0].targets[t], sides[1].targets[t])
                << "target " << t << ", " << count << " sources";
        }
    }
}

// The whole engine with each kernel: the same recovery files as with the
// portable kernel, and the same pieces rebuilt (the matrix inversion and the
// rebuilding in the kernel's own layout).
TEST_P(Kernels, MakeTheSameFilesAndRebuildThePieces) {
    if (!par2::makeGfKernel(GetParam()))
        GTEST_SKIP() << "this processor cannot run " << GetParam();
    const std::vector<std::int64_t> lengths{30000, 30000, 30000, 30000, 30000, 17};
    const RecoveryPlan plan = planRecovery(lengths, 40, 1024).value();
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
        ASSERT_TRUE(succeeded(createRecovery(dir / "set.par2", paths, plan, control)));
        made[run] = snapshot(dir.folder());
        fs::remove(paths[0]);
        fs::remove(paths[3]);
        ASSERT_TRUE(succeeded(repairRecovery(dir / "set.par2", control)));
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

// The field's tables against multiplication by its definition; the sums of
// two logarithms fall past the group's order about half the time.
TEST(Field, MultipliesAndDividesAsItsDefinitionSays) {
    const par2::Gf16& field = par2::gf16();
    std::mt19937 random(16);
    const std::uint16_t edges[] = {0, 1, 2, field.exp(65534), 0xffff};
    for (int round = 0; round < 100000; ++round) {
        auto a = static_cast<std::uint16_t>(random());
        auto b = static_cast<std::uint16_t>(random());
        if (round < 25) {
            a = edges[round % 5];
            b = edges[round / 5];
        }
        ASSERT_EQ(field.multiply(a, b), par2::gf16MultiplySlow(a, b)) << a << " x " << b;
        if (b != 0) {
            ASSERT_EQ(field.divide(field.multiply(a, b), b), a) << a << " x " << b;
        }
    }
}

} // namespace
