// Random folders of several piece sets, joined from a random piece through the
// planner into the derived TARGET or one named (a piece of another set, a list,
// a file that is no piece, a new name), written over as --force would: a join
// succeeds only with exactly the bytes of the piece's set, no piece and no list
// the join is checked against ever changes, a piece that two readings hold
// (prefix "eps_" numbered 1 .. 11, or "eps_1" numbered 0 .. 1) is refused
// until the prefix is given, and the answer does not depend on the order in
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
#include <set>

using namespace shardix;
using namespace shardix::testing;

namespace {

using Files = std::map<std::string, std::string>; // name: bytes

struct MadeSet {
    std::vector<std::string> names; // in number order
    std::string bytes;              // what they join into
    std::string prefix;             // the text before the number
    std::optional<std::int64_t> first;
    // Numbered 1, 2, .. 10, 11 without padding: "eps_10" .. "eps_19" are
    // also "eps_1" numbered from 0.
    bool unpaddedFromOne = false;
    std::string list; // the name of its checksum list; empty for none
    bool damagedAndListed = false;

    // Whether the piece `i` is held by two readings of the names.
    bool twoReadingsHold(std::size_t i) const {
        return unpaddedFromOne && names.size() >= 11 && i >= 9;
    }
};

// A file that is no piece, which a forced join may replace.
const std::string kNoPiece = "notes.txt";

// The names of a set of `count` pieces, as one of the schemes writes them.
std::vector<std::string> namesOf(std::mt19937& random, int count, // NOLINT
                                 MadeSet& set) {
    static const char* const kPrefixes[] = {"eps_", "eps_1",  "eps_10",  "p",
                                            "p1",   "p0",     "x",       "x1",
                                            "x10",  "d.bin.", "d.bin.0", "v.part"};
    const std::string prefix = kPrefixes[random() % std::size(kPrefixes)];
    const int scheme = static_cast<int>(random() % 7);
    set.prefix = prefix;
    set.unpaddedFromOne = scheme == 0;
    std::optional<std::int64_t>& first = set.first;
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
    auto hasher = Hasher::make(HashAlgorithm::Sha256).value();
    hasher->update(bytes.data(), bytes.size());
    return hasher->digest();
}

// A folder of one to four sets whose names do not collide, some with a list
// of their own or one list for them all.
struct Folder {
    Files files;
    std::vector<MadeSet> sets;
    std::map<std::string, std::set<std::string>> listed; // list: the pieces it lists
};

Folder randomFolder(unsigned seed) {
    std::mt19937 random(seed);
    Folder folder;
    const int setCount = 1 + int(random() % 4);
    const bool oneList = random() % 4 == 0;
    for (int s = 0; s < setCount; ++s) {
        MadeSet set;
        static const int kCounts[] = {1, 2, 3, 5, 9, 10, 11, 12, 13};
        set.names = namesOf(random, kCounts[random() % std::size(kCounts)], set);
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
            set.list = oneList ? "all.sha256" : "sums" + std::to_string(s) + ".sha256";
            folder.files[set.list] += list;
            folder.listed[set.list].insert(set.names.begin(), set.names.end());
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
    folder.files[kNoPiece] = "not a piece";
    if (oneList && folder.listed.count("all.sha256")) { // sha256sum * > all.sha256
        folder.files["all.sha256"] += sha256Of(folder.files[kNoPiece]) + "  " + kNoPiece + "\n";
        folder.listed["all.sha256"].insert(kNoPiece);
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
std::string decision(const JoinPlan& plan, const std::optional<std::string>& refusal) {
    std::string text = plan.joinable() ? "joins" : "refuses";
    for (const PieceMember& member : plan.set.members)
        text += " " + member.name;
    text += " -> " + plan.outputName.value_or("?");
    for (const SetProblem& problem : plan.problems)
        text += " | " + std::to_string(int(problem.kind));
    return text + (refusal ? " | TARGET refused" : "");
}

// Thousands of small folders: in memory where the system has a place for it.
const std::filesystem::path kBase =
    std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();

// The piece to join from: one that two readings hold, where the set has such.
std::size_t pieceOf(const MadeSet& set, std::mt19937& random) {
    if (set.twoReadingsHold(set.names.size() - 1) && random() % 2 == 0)
        return 9 + random() % (set.names.size() - 9);
    return random() % set.names.size();
}

// TARGET: derived, or named: any file of the folder (a piece of this set or
// another, a list), the file that is no piece (which a list may list) or a new
// name.
std::string targetName(const Folder& folder, const JoinPlan& plan, std::mt19937& random) {
    const unsigned choice = random() % 6;
    if (choice < 3)
        return plan.outputName.value_or("joined.out");
    if (choice == 4)
        return kNoPiece;
    if (choice == 5)
        return "new.out";
    auto at = folder.files.begin();
    std::advance(at, random() % folder.files.size());
    return at->first;
}

struct Outcome {
    std::string decided; // the planner's answer, TARGET's refusal included
    bool joined = false;
};

// Plans the join of `piece` in `dir` into `name` and runs it where the planner
// lets it, writing over a file that is there as --force does.
Outcome join(const TempDir& dir, const std::string& piece, const std::string& name,
             const PieceSetOptions& options) {
    const JoinPlan plan = planJoin(dir / piece, std::nullopt, true, options);
    const std::string target = dir / name;
    const std::optional<std::string> refusal =
        plan.joinable() ? targetRefusal(target, plan) : std::nullopt;
    Outcome outcome{decision(plan, refusal)};
    if (!plan.joinable() || refusal)
        return outcome;
    const Checksums expected = plan.checks ? plan.checks->expected() : Checksums{};
    RecordingProgress progress;
    outcome.joined = assembleFiles(plan.set.paths(), target, progress,
                                   {kCopyChunk, plan.checks ? &expected : nullptr})
                         .ok();
    return outcome;
}

// Whether `file`, which was there before the join, may have changed: only a
// named TARGET that is neither a piece, nor the list of the set joined nor a
// file it lists. A set of one piece is a file like any other.
bool mayChange(const Folder& folder, const MadeSet& set, const std::string& file,
               const std::string& target) {
    if (file != target || file == set.list ||
        (!set.list.empty() && folder.listed.at(set.list).count(file)))
        return false;
    return std::none_of(folder.sets.begin(), folder.sets.end(), [&](const MadeSet& other) {
        return other.names.size() > 1 && std::count(other.names.begin(), other.names.end(), file);
    });
}

TEST(RandomFolders, JoinOnlyTheSetOfThePieceAndChangeNothingElse) {
    int joined = 0;
    int refused = 0;
    int ambiguous = 0;
    for (unsigned seed = 1; seed <= 2000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Folder folder = randomFolder(seed);
        std::mt19937 random(seed * 7919u);
        const MadeSet& set = folder.sets[random() % folder.sets.size()];
        const std::size_t index = pieceOf(set, random);
        const std::string piece = set.names[index];
        PieceSetOptions options;
        if (random() % 2 == 0)
            options.firstNumber = set.first;
        TempDir one(kBase);
        TempDir two(kBase);
        make(one, folder.files, random);
        make(two, folder.files, random);
        if (set.twoReadingsHold(index)) {
            ++ambiguous;
            ASSERT_FALSE(planJoin(one / piece, std::nullopt, true, options).joinable())
                << piece << " is held by two readings";
            options.prefix = set.prefix;
        }
        const std::string target =
            targetName(folder, planJoin(one / piece, std::nullopt, true, options), random);
        const Outcome outcome = join(one, piece, target, options);
        ASSERT_EQ(outcome.decided, join(two, piece, target, options).decided);
        Files after = read(one);
        if (outcome.joined) {
            ++joined;
            ASSERT_FALSE(set.damagedAndListed) << outcome.decided;
            ASSERT_EQ(after[target], set.bytes)
                << piece << " into " << target << ": " << outcome.decided;
        } else {
            ++refused;
        }
        for (const auto& [file, bytes] : folder.files) {
            if (!mayChange(folder, set, file, target)) {
                ASSERT_TRUE(after.count(file) && after[file] == bytes)
                    << file << " changed, joining " << piece << " into " << target << ": "
                    << outcome.decided << " in " << [&] {
                           std::string all;
                           for (const MadeSet& m : folder.sets)
                               all += m.names.front() + ".." + m.names.back() + " ";
                           return all;
                       }();
            }
        }
    }
    std::printf("%d joined, %d refused, %d held by two readings\n", joined, refused, ambiguous);
    EXPECT_GT(joined, 500);
    EXPECT_GT(refused, 100);
    EXPECT_GT(ambiguous, 40);
}

} // namespace
