#include "engines/names/SetRule.h"

#include <algorithm>
#include <tuple>

namespace shardix::pieces {

namespace {

// The numbers missing between the group's lowest and its highest.
std::int64_t holes(const Group& group) {
    if (group.members.empty())
        return 0;
    const std::int64_t span = group.members.back().number - group.members.front().number + 1;
    return span - group.distinct;
}

std::optional<std::int64_t> numberIn(const Group& group, std::size_t entry) {
    for (const Group::Member& member : group.members) {
        if (member.entry == entry)
            return member.number;
    }
    return std::nullopt;
}

std::vector<std::size_t> orderOf(const Group& group) {
    std::vector<std::size_t> order;
    for (const Group::Member& member : group.members)
        order.push_back(member.entry);
    return order;
}

auto keyTuple(const Key& key) {
    return std::tie(key.family, key.prefix, key.extra, key.width, key.total);
}

// Whether the group's numbers make a set: complete, or a run of decimal
// numbers that begins above the first (numbered from there, or its first
// pieces lost). Letters always begin at "a".
bool sound(const Group& group) {
    return group.complete || (isDecimal(group.key.family) && holes(group) == 0 &&
                              group.distinct == static_cast<std::int64_t>(group.members.size()));
}

// Of two groups of the same files in the same order, whether `a` names the set
// better than `b`; any two differ.
bool preferred(const Group& a, const Group& b) {
    if (sound(a) != sound(b))
        return sound(a);
    const auto pa = preference(a);
    const auto pb = preference(b);
    if (pa != pb)
        return pa < pb;
    return keyTuple(a.key) < keyTuple(b.key);
}

// Larger sets first, then the better named.
bool shownBefore(const Group& a, const Group& b) {
    if (a.members.size() != b.members.size())
        return a.members.size() > b.members.size();
    return preferred(a, b);
}

} // namespace

SetRule::SetRule(Groups groups, const RuleOptions& options)
    : groups_(std::move(groups)), options_(options) {
    for (Group& group : groups_.all) {
        evaluate(group, options_.firstNumber);
        std::vector<std::size_t> files = orderOf(group);
        std::sort(files.begin(), files.end());
        files_.push_back(std::move(files));
        stands_.push_back(group.members.size() >= 2 && holes(group) < group.distinct);
    }
}

bool SetRule::givesWay(std::size_t reading, std::size_t other) const {
    const Group& a = groups_.all[reading];
    const Group& b = groups_.all[other];
    const std::vector<std::size_t>& filesA = files_[reading];
    const std::vector<std::size_t>& filesB = files_[other];
    if (filesA.size() >= filesB.size() ||
        !std::includes(filesB.begin(), filesB.end(), filesA.begin(), filesA.end()))
        return false;
    const bool sameNumbers =
        std::all_of(a.members.begin(), a.members.end(), [&](const Group::Member& member) {
            return numberIn(b, member.entry) == member.number;
        });
    if (sameNumbers || !a.complete)
        return true;
    return b.complete && b.key.family != Family::Unpadded;
}

std::vector<std::size_t> SetRule::readingsOf(std::size_t entry) const {
    std::vector<std::size_t> readings;
    for (const std::size_t g : groups_.ofEntry[entry]) {
        const Group& group = groups_.all[g];
        if (options_.prefix && group.key.prefix != *options_.prefix)
            continue;
        if (options_.firstNumber && isDecimal(group.key.family) &&
            numberIn(group, entry) < *options_.firstNumber)
            continue;
        readings.push_back(g);
    }
    return readings;
}

std::vector<std::vector<std::size_t>>
SetRule::classesOf(const std::vector<std::size_t>& standing) const {
    std::vector<std::vector<std::size_t>> classes;
    for (const std::size_t g : standing) {
        const auto same = std::find_if(classes.begin(), classes.end(), [&](const auto& c) {
            return files_[c.front()] == files_[g] &&
                   orderOf(groups_.all[c.front()]) == orderOf(groups_.all[g]);
        });
        if (same == classes.end())
            classes.push_back({g});
        else
            same->push_back(g);
    }
    return classes;
}

bool SetRule::classGivesWay(const std::vector<std::size_t>& c,
                            const std::vector<std::size_t>& d) const {
    return std::all_of(c.begin(), c.end(), [&](std::size_t a) {
        return std::any_of(d.begin(), d.end(), [&](std::size_t b) { return givesWay(a, b); });
    });
}

std::vector<const Group*> SetRule::setsOf(std::size_t entry) const {
    const std::vector<std::size_t> readings = readingsOf(entry);
    std::vector<std::size_t> standing;
    std::copy_if(readings.begin(), readings.end(), std::back_inserter(standing),
                 [this](std::size_t g) { return stands_[g]; });
    std::vector<const Group*> sets;
    if (standing.empty()) {
        // The piece alone, or among names too far apart to be one set: the
        // largest reading, whose problems tell what is wrong.
        for (const std::size_t g : readings) {
            if (sets.empty() || shownBefore(groups_.all[g], *sets.front()))
                sets.assign(1, &groups_.all[g]);
        }
        return sets;
    }
    // Readings of the same files in the same order are one set; a set gives
    // way when each of its readings gives way.
    const std::vector<std::vector<std::size_t>> classes = classesOf(standing);
    // A set is named by a reading that gives way to none, which is why it stands.
    const auto firm = [&](std::size_t a) {
        return std::none_of(standing.begin(), standing.end(),
                            [&](std::size_t b) { return givesWay(a, b); });
    };
    for (const auto& c : classes) {
        if (std::any_of(classes.begin(), classes.end(),
                        [&](const auto& d) { return &d != &c && classGivesWay(c, d); }))
            continue;
        const std::size_t best = *std::min_element(c.begin(), c.end(), [&](auto a, auto b) {
            if (firm(a) != firm(b))
                return firm(a);
            return preferred(groups_.all[a], groups_.all[b]);
        });
        sets.push_back(&groups_.all[best]);
    }
    std::sort(sets.begin(), sets.end(),
              [](const Group* a, const Group* b) { return shownBefore(*a, *b); });
    return sets;
}

} // namespace shardix::pieces
