#pragma once

// Names grouped by what they share, each group judged as a set, and the
// groups taken best first. For PieceSet only.

#include "engines/names/PieceReadings.h"
#include "engines/names/PieceSet.h"

#include <cstdint>
#include <optional>
#include <queue>
#include <string>
#include <tuple>
#include <vector>

namespace shardix::pieces {

// A group of names that share a key, and what they say of the set.
struct Group {
    Key key;
    struct Member {
        std::int64_t number;
        std::size_t entry;
        bool widened;
    };
    std::vector<Member> members;

    // Filled by evaluate().
    std::int64_t first = 0; // the number the set starts with
    std::int64_t last = 0;  // the highest number it should have
    std::int64_t distinct = 0;
    std::int64_t missing = 0;
    bool complete = false;
    std::int64_t score = 0;
    int version = 0;
    bool taken = false;
};

// Builds the groups of every reading of every name of `names`.
struct Groups {
    std::vector<Group> all;
    std::vector<std::vector<std::size_t>> ofEntry; // the groups of each name
};

bool anyWidened(const Group& group);

// The name of piece `number` of the group's set.
std::string nameOf(const Group& group, std::int64_t number);

PieceNaming namingOf(const Group& group);

Key keyOf(const PieceNaming& naming);

void evaluate(Group& group);

// Lower is preferred, among groups of equal merit that read the same names:
// not a prefix that ends in the zeros of padded numbers ("p0" of p01 .. p09),
// a prefix that ends with a separator or is split's "x" ("big.iso." rather
// than "big.iso.00"), our own numbers, then the widest number.
std::tuple<int, int, int, int, std::size_t> preference(const Group& group);

// Whether `a` should be taken before `b`.
bool better(const Group& a, const Group& b);

PieceScheme schemeOf(const Group& group);

std::optional<std::string> baseNameOf(const Group& group, PieceScheme scheme);

Groups groupNames(const std::vector<std::string>& names);

// Takes groups, the best first, each name going to the first group taken that
// reads it, until `done` says so. What a group loses to one taken before it is
// no longer its own: "p11" taken as piece 1 of "p1" is no piece of "p".
template <typename Done> void partition(Groups& groups, Done done) {
    using Entry = std::pair<std::size_t, int>; // group, version
    const auto after = [&](const Entry& a, const Entry& b) {
        return better(groups.all[b.first], groups.all[a.first]);
    };
    std::priority_queue<Entry, std::vector<Entry>, decltype(after)> queue(after);
    for (std::size_t g = 0; g < groups.all.size(); ++g)
        queue.push({g, 0});
    std::vector<bool> assigned(groups.ofEntry.size(), false);
    while (!queue.empty()) {
        const auto [g, version] = queue.top();
        queue.pop();
        Group& group = groups.all[g];
        if (group.taken || version != group.version || group.members.empty())
            continue;
        group.taken = true;
        std::vector<std::size_t> touched;
        for (const auto& member : group.members) {
            assigned[member.entry] = true;
            for (std::size_t other : groups.ofEntry[member.entry]) {
                if (other == g || groups.all[other].taken)
                    continue;
                auto& ms = groups.all[other].members;
                ms.erase(std::remove_if(ms.begin(), ms.end(),
                                        [&](const auto& m) { return m.entry == member.entry; }),
                         ms.end());
                touched.push_back(other);
            }
        }
        if (done(g))
            return;
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        for (std::size_t other : touched) {
            Group& changed = groups.all[other];
            evaluate(changed);
            ++changed.version;
            if (!changed.members.empty())
                queue.push({other, changed.version});
        }
    }
}

} // namespace shardix::pieces
