#include "engines/names/PieceGroups.h"

#include "errors/Quoted.h"

#include <algorithm>
#include <unordered_map>

namespace shardix::pieces {

bool anyWidened(const Group& group) {
    return std::any_of(group.members.begin(), group.members.end(),
                       [](const Group::Member& m) { return m.widened; });
}

// The name of piece `number` of the group's set.
std::string nameOf(const Group& group, std::int64_t number) {
    const Key& key = group.key;
    switch (key.family) {
    case Family::Unpadded:
        return key.prefix + std::to_string(number) + key.extra;
    case Family::OfTotal: {
        std::string digits = std::to_string(number);
        if (digits.size() < static_cast<std::size_t>(key.width))
            digits.insert(0, static_cast<std::size_t>(key.width) - digits.size(), '0');
        return key.prefix + digits + "-of-" + key.total + key.extra;
    }
    case Family::Digits:
    case Family::Letters:
        break;
    }
    const std::int64_t fixedCount = power(radixOf(key.family), key.width);
    if (!anyWidened(group) && number < fixedCount)
        return key.prefix + symbolsOf(key.family, number, key.width) + key.extra;
    std::int64_t rest = number;
    int level = 0;
    while (rest >= levelCount(key.family, key.width, level)) {
        rest -= levelCount(key.family, key.width, level);
        ++level;
    }
    return key.prefix + std::string(static_cast<std::size_t>(level), lastSymbol(key.family)) +
           symbolsOf(key.family, rest, key.width + level) + key.extra;
}

PieceNaming namingOf(const Group& group) {
    const Key& key = group.key;
    PieceNaming naming;
    naming.number = key.family == Family::Unpadded  ? PieceNaming::Number::Unpadded
                    : key.family == Family::Digits  ? PieceNaming::Number::Digits
                    : key.family == Family::Letters ? PieceNaming::Number::Letters
                                                    : PieceNaming::Number::OfTotal;
    naming.prefix = key.prefix;
    naming.suffix = key.extra;
    naming.width = key.width;
    naming.total = key.total;
    naming.widened = anyWidened(group);
    return naming;
}

Key keyOf(const PieceNaming& naming) {
    const Family family = naming.number == PieceNaming::Number::Unpadded  ? Family::Unpadded
                          : naming.number == PieceNaming::Number::Digits  ? Family::Digits
                          : naming.number == PieceNaming::Number::Letters ? Family::Letters
                                                                          : Family::OfTotal;
    return Key{family, naming.prefix, naming.suffix, naming.width, naming.total};
}

bool isDecimal(Family family) {
    return family == Family::Unpadded || family == Family::Digits;
}

void evaluate(Group& group, std::optional<std::int64_t> firstNumber) {
    auto& members = group.members;
    std::sort(members.begin(), members.end(),
              [](const Group::Member& a, const Group::Member& b) { return a.number < b.number; });
    group.distinct = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i == 0 || members[i].number != members[i - 1].number)
            ++group.distinct;
    }
    if (members.empty()) {
        group.complete = false;
        return;
    }
    const std::int64_t lowest = members.front().number;
    const std::int64_t highest = members.back().number;
    switch (group.key.family) {
    case Family::Unpadded:
        group.first = 1;
        break;
    case Family::Letters:
        group.first = 0;
        break;
    case Family::Digits:
        group.first = lowest == 0 ? 0 : 1;
        break;
    case Family::OfTotal: {
        const std::int64_t total = std::stoll(group.key.total);
        const bool fromOne = highest >= total || lowest > 0;
        group.first = fromOne ? 1 : 0;
        group.last = group.first + total - 1;
        break;
    }
    }
    if (firstNumber && isDecimal(group.key.family))
        group.first = *firstNumber;
    if (group.key.family != Family::OfTotal)
        group.last = std::max(highest, group.first);
    const std::int64_t span = group.last - group.first + 1;
    // Numbers given twice count once.
    std::int64_t insideDistinct = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto n = members[i].number;
        if (n >= group.first && n <= group.last && (i == 0 || members[i - 1].number != n))
            ++insideDistinct;
    }
    group.missing = span - insideDistinct;
    group.complete = group.missing == 0 &&
                     group.distinct == static_cast<std::int64_t>(members.size()) &&
                     insideDistinct == group.distinct;
}

// Lower is preferred, among groups of equal merit that read the same names:
// not a prefix that ends in the zeros of padded numbers ("p0" of p01 .. p09),
// a prefix that ends with a separator or is split's "x" ("big.iso." rather
// than "big.iso.00"), our own numbers, then the widest number.
std::tuple<int, int, int, int, std::size_t> preference(const Group& group) {
    const Key& key = group.key;
    const int zeros =
        key.family != Family::Letters && !key.prefix.empty() && key.prefix.back() == '0' ? 1 : 0;
    const int separated = endsWithSeparator(key.prefix) || key.prefix == "x" ? 0 : 1;
    const int family = key.family == Family::Unpadded  ? 0
                       : key.family == Family::OfTotal ? 1
                       : key.family == Family::Digits  ? 2
                                                       : 3;
    return {zeros, separated, family, -key.width, key.extra.size()};
}

PieceScheme schemeOf(const Group& group) {
    const Key& key = group.key;
    switch (key.family) {
    case Family::OfTotal:
        return PieceScheme::NumberOfTotal;
    case Family::Letters:
        return PieceScheme::SplitLetters;
    case Family::Unpadded:
        return endsWithPartMarker(key.prefix) ? PieceScheme::PartNumbers : PieceScheme::Numbered;
    case Family::Digits:
        break;
    }
    if (endsWithPartMarker(key.prefix))
        return PieceScheme::PartNumbers;
    if (key.width >= 3 && key.prefix.back() == '.')
        return PieceScheme::DotNumbers;
    if (key.width == 1 && group.first == 1)
        return PieceScheme::Numbered;
    return group.first == 0 ? PieceScheme::SplitDigits : PieceScheme::Padded;
}

std::optional<std::string> baseNameOf(const Group& group, PieceScheme scheme) {
    const Key& key = group.key;
    std::string base = key.prefix;
    switch (scheme) {
    case PieceScheme::NumberOfTotal:
        base.pop_back(); // the '-' before the number
        return base + key.extra;
    case PieceScheme::PartNumbers:
        base.resize(base.size() - 5);
        return base + key.extra;
    case PieceScheme::Numbered:
        break;
    case PieceScheme::SplitLetters:
    case PieceScheme::SplitDigits:
    case PieceScheme::Padded:
        // split's own prefix says nothing of the file; "big.iso.part" of
        // big.iso.partaa names big.iso.
        if (base == "x")
            return std::nullopt;
        if (endsWithPartMarker(base))
            base.resize(base.size() - 5);
        break;
    case PieceScheme::DotNumbers:
        break;
    }
    if (endsWithSeparator(base))
        base.pop_back();
    if (base.empty() || base.find('/') != std::string::npos)
        return std::nullopt;
    return base + key.extra;
}

Groups groupNames(const std::vector<std::string>& names) {
    Groups groups;
    groups.ofEntry.resize(names.size());
    std::unordered_map<Key, std::size_t, KeyHash> index;
    for (std::size_t entry = 0; entry < names.size(); ++entry) {
        for (Reading& reading : readingsOf(names[entry])) {
            auto [at, added] = index.try_emplace(reading.key, groups.all.size());
            if (added)
                groups.all.push_back(Group{std::move(reading.key), {}});
            Group& group = groups.all[at->second];
            // A name reads once under one key.
            if (!group.members.empty() && group.members.back().entry == entry)
                continue;
            group.members.push_back({reading.number, entry, reading.widened});
            groups.ofEntry[entry].push_back(at->second);
        }
    }
    for (Group& group : groups.all)
        evaluate(group);
    return groups;
}

} // namespace shardix::pieces
