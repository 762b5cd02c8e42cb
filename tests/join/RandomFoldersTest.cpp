// Random folders of several piece sets, joined from a random piece through the
// planner: a join succeeds only with exactly the bytes of the piece's set, no
// file but TARGET changes, and the answer does not depend on the order in
// which the files were made or are listed.

#include "engines/checksums/Hasher.h"
#include "engines/manifest/JoinPlan.h"
#include "engines/operations/Assembler.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

using namespace shardix;
using namespace shardix::testing;

namespace {

using Files = std::map<std::string, std::string>; // name: bytes

struct MadeSet {
    std::vector<std::string> names; // in number order
    std::string bytes;              // what they join into
    std::optional<std::int64_t> first;
    bool damagedAndListed = false;
};

// The names of a set of `count` pieces, as one of the schemes writes them.
std::vector<std::string> namesOf(std::mt19937& random, int count, // NOLINT
                                 std::optional<std::int64_t>& first) {
    static const char* const kPrefixes[] = {"eps_", "eps_1",  "eps_10",  "p",
                                            "p1",   "p0",     "x",       "x1",
                                            "x10",  "d.bin.", "d.bin.0", "v.part"};
    const std::string prefix = kPrefixes[random() % std::size(kPrefixes)];
    const int scheme = static_cast<int>(random() % 7);
    std::vector<std::string> names;
    const auto padded = [](std::int64_t n, int width) {
        std::string text = std::to_string(n);
        return std::string(static_cast<std::size_t>(std::max(0, width - int(text.size()))), '0') +
               text;
    };
    const std::int64_t from = scheme == 3 ? std::vector<std::int64_t>{8, 100, 5}[random() % 3]
                              : scheme == 2 || scheme == 6 ? 0
                                                           : 1;
    if (scheme == 3)
        first = from;
    const int width = scheme == 0                  ? 0
                      : scheme == 6                ? 1
                      : scheme == 3 && from == 100 ? 3
                                                   : 2 + int(random() % 2);
    if (scheme == 6) // split -d -a 1: x0 .. x9
        count = std::min(count, 10);
    for (int i = 0; i < count; ++i) {
        const std::int64_t n = from + i;
        if (scheme == 4) { // letters
            names.push_back(prefix + char('a' + n / 26 % 26) + char('a' + n % 26));
        } else if (scheme == 5) {
            names.push_back(prefix + std::to_string(n) + ".bin");
        } else {
            names.push_back(prefix + (width == 0 ? std::to_string(n) : padded(n, width)));
        }
    }
    if (scheme == 4 || scheme == 2 || scheme == 6)
        first.reset();
    return names;
}

std::string sha256Of(const std::string& bytes) {
    auto hasher = Hasher::make(HashAlgorithm::Sha256);
    hasher->update(bytes.data(), bytes.size());
    return hasher->digest();
}

// A folder of one to three sets whose names do not collide, some with a list.
struct Folder {
    Files files;
    std::vector<MadeSet> sets;
};

Folder randomFolder(unsigned seed) {
    std::mt19937 random(seed);
    Folder folder;
    const int setCount = 1 + int(random() % 4);
    for (int s = 0; s < setCount; ++s) {
        MadeSet set;
        static const int kCounts[] = {1, 2, 3, 5, 9, 10, 11, 12, 13};
        set.names = namesOf(random, kCounts[random() % std::size(kCounts)], set.first);
        if (std::any_of(set.names.begin(), set.names.end(),
                        [&](const std::string& n) { return folder.files.count(n) > 0; }))
            continue;
        // Pieces of one size, the last shorter (files of other lengths), or of
        // a size that another set may share, the last as long.
        const bool even = random() % 3 == 0;
        const std::size_t size = even ? 4 : 2 + random() % 40;
        const std::size_t length = set.names.size() * size - (even ? 0 : 1 + random() % (size - 1));
        set.bytes = randomBytes(length, static_cast<unsigned>(random()));
        std::string list;
        for (std::size_t i = 0; i < set.names.size(); ++i) {
            const std::string piece = set.bytes.substr(i * size, size);
            folder.files[set.names[i]] = piece;
            list += sha256Of(piece) + "  " + set.names[i] + "\n";
        }
        if (random() % 3 == 0) {
            folder.files["sums" + std::to_string(s) + ".sha256"] = list;
            if (random() % 4 == 0) {
                folder.files[set.names.back()][0] ^= 1;
                set.damagedAndListed = true;
            }
        }
        set.bytes.clear();
        for (const std::string& name : set.names)
            set.bytes += folder.files[name];
        folder.sets.push_back(std::move(set));
    }
    return folder;
}

void make(const TempDir& dir, const Files& files, std::mt19937& random) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
        names.push_back(name);
    std::shuffle(names.begin(), names.end(), random);
    for (const std::string& name : names)
        writeFile(dir / name, files.at(name));
}

Files read(const TempDir& dir) {
    Files files;
    for (const auto& item : std::filesystem::directory_iterator(dir.folder()))
        files[item.path().filename()] = readFile(item.path());
    return files;
}

// What the planner decided, to compare between orders.
std::string decision(const JoinPlan& plan) {
    std::string text = plan.joinable() ? "joins" : "refuses";
    for (const PieceMember& member : plan.set.members)
        text += " " + member.name;
    text += " -> " + plan.outputName.value_or("?");
    for (const SetProblem& problem : plan.problems)
        text += " | " + std::to_string(int(problem.kind));
    return text;
}

// Thousands of small folders: in memory where the system has a place for it.
const std::filesystem::path kBase =
    std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();

TEST(RandomFolders, JoinOnlyTheSetOfThePieceAndChangeNothingElse) {
    int joined = 0;
    int refused = 0;
    for (unsigned seed = 1; seed <= 2000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Folder folder = randomFolder(seed);
        std::mt19937 random(seed * 7919u);
        const MadeSet& set = folder.sets[random() % folder.sets.size()];
        const std::string piece = set.names[random() % set.names.size()];
        PieceSetOptions options;
        if (random() % 2 == 0)
            options.firstNumber = set.first;
        TempDir one(kBase);
        TempDir two(kBase);
        make(one, folder.files, random);
        make(two, folder.files, random);
        const JoinPlan plan = planJoin(one / piece, std::nullopt, true, options);
        const JoinPlan again = planJoin(two / piece, std::nullopt, true, options);
        ASSERT_EQ(decision(plan), decision(again));
        if (!plan.joinable()) {
            ++refused;
            continue;
        }
        const std::string target = one / plan.outputName.value_or("joined.out");
        if (targetRefusal(target, plan)) {
            ++refused;
            continue;
        }
        const Checksums expected = plan.checks ? plan.checks->expected() : Checksums{};
        RecordingProgress progress;
        const Result<> result = assembleFiles(plan.set.paths(), target, progress,
                                              {kCopyChunk, plan.checks ? &expected : nullptr});
        Files after = read(one);
        const std::string name = std::filesystem::path(target).filename();
        if (result.ok()) {
            ++joined;
            ASSERT_FALSE(set.damagedAndListed) << decision(plan);
            if (!(after[name] == set.bytes)) {
                std::string all;
                for (const auto& f : folder.files)
                    all += f.first + "(" + std::to_string(f.second.size()) + ") ";
                ADD_FAILURE() << "joined " << decision(plan) << " from " << piece << " in " << all;
                continue;
            }
        }
        for (const auto& [file, bytes] : folder.files) {
            if (file != name) {
                ASSERT_TRUE(after.count(file) && after[file] == bytes) << file << " changed";
            }
        }
    }
    std::printf("%d joined, %d refused\n", joined, refused);
    EXPECT_GT(joined, 500);
    EXPECT_GT(refused, 100);
}

} // namespace
