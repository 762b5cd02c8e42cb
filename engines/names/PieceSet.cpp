#include "engines/names/PieceSet.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <queue>
#include <sys/stat.h>
#include <tuple>
#include <unordered_map>

namespace shardix {

namespace {

// How a name carries its number. Every scheme is one of these, told apart by
// the text around the number (see schemeOf).
enum class Family {
    Unpadded, // digits without a leading zero, any count of them
    Digits,   // a fixed count of digits, maybe widened as split widens them
    Letters,  // a fixed count of letters a..z, maybe widened as split widens them
    OfTotal,  // -N-of-M
};

// What the names of one set share: all but the number.
struct Key {
    Family family = Family::Unpadded;
    std::string prefix; // before the number
    std::string extra;  // after it: "" or a tail from a dot (".bin", split's --additional-suffix)
    int width = 0;      // Digits, Letters: the count of characters before any widening
    std::string total;  // OfTotal: M as written
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const {
        const std::hash<std::string> h;
        return h(k.prefix) ^ (h(k.extra) * 31) ^ (h(k.total) * 131) ^
               (static_cast<std::size_t>(k.width) << 8) ^ static_cast<std::size_t>(k.family);
    }
};

struct Reading {
    Key key;
    std::int64_t number = 0;
    bool widened = false;
};

constexpr int kLongestLetters = 12; // 26^12 and its widened offsets still fit 63 bits
constexpr int kLongestDigits = 18;
constexpr int kLongestUnpadded = 9;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return c >= 'a' && c <= 'z';
}

int radixOf(Family family) {
    return family == Family::Letters ? 26 : 10;
}
char firstSymbol(Family family) {
    return family == Family::Letters ? 'a' : '0';
}
char lastSymbol(Family family) {
    return family == Family::Letters ? 'z' : '9';
}

std::int64_t power(std::int64_t radix, int exponent) {
    std::int64_t value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= radix;
    return value;
}

// How many names split writes at widening level `level` of a suffix `width`
// long: at level 0 all but those that start with the last symbol, which begin
// the next level ("xaa" .. "xyz", then "xzaaa" .. "xzyzz", "xzzaaaa" ..).
std::int64_t levelCount(Family family, int width, int level) {
    const std::int64_t radix = radixOf(family);
    return (radix - 1) * power(radix, width + level - 1);
}

std::int64_t valueOf(Family family, std::string_view symbols) {
    std::int64_t value = 0;
    for (const char c : symbols)
        value = value * radixOf(family) + (c - firstSymbol(family));
    return value;
}

std::string symbolsOf(Family family, std::int64_t value, int width) {
    std::string text(static_cast<std::size_t>(width), firstSymbol(family));
    for (int i = width - 1; i >= 0 && value > 0; --i) {
        text[static_cast<std::size_t>(i)] =
            static_cast<char>(firstSymbol(family) + value % radixOf(family));
        value /= radixOf(family);
    }
    return text;
}

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '.' || text.back() == '_' || text.back() == '-');
}

// Whether the prefix ends with ".part" (or "-part", "_part"), in any capitals.
bool endsWithPartMarker(const std::string& prefix) {
    if (prefix.size() < 6)
        return false;
    std::string tail = prefix.substr(prefix.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return static_cast<char>(c | 0x20); });
    const char before = prefix[prefix.size() - 5];
    return tail == "part" && (before == '.' || before == '-' || before == '_');
}

// Adds the readings of the digits or letters that end `stem`, as a fixed
// count of them and as split's widened names.
void fixedReadings(Family family, const std::string& stem, const std::string& extra,
                   std::vector<Reading>& out) {
    const auto belongs = family == Family::Letters ? isLetter : isDigit;
    std::size_t run = 0;
    while (run < stem.size() && belongs(stem[stem.size() - 1 - run]))
        ++run;
    const int longest = family == Family::Letters ? kLongestLetters : kLongestDigits;
    for (std::size_t length = 1; length <= run && length <= static_cast<std::size_t>(longest);
         ++length) {
        const std::size_t start = stem.size() - length;
        if (start == 0)
            break;
        const std::string prefix = stem.substr(0, start);
        const std::string_view suffix = std::string_view(stem).substr(start);
        out.push_back({{family, prefix, extra, static_cast<int>(length), {}},
                       valueOf(family, suffix),
                       false});
        // Widened: `level` last symbols, then width + level symbols that do
        // not start with the last symbol.
        for (std::size_t level = 1; 2 * level < length; ++level) {
            if (suffix[level - 1] != lastSymbol(family))
                break;
            if (suffix[level] == lastSymbol(family))
                continue;
            const int width = static_cast<int>(length - 2 * level);
            std::int64_t number = valueOf(family, suffix.substr(level));
            for (int below = 0; below < static_cast<int>(level); ++below)
                number += levelCount(family, width, below);
            out.push_back({{family, prefix, extra, width, {}}, number, true});
        }
    }
}

void unpaddedReadings(const std::string& stem, const std::string& extra,
                      std::vector<Reading>& out) {
    std::size_t run = 0;
    while (run < stem.size() && isDigit(stem[stem.size() - 1 - run]))
        ++run;
    for (std::size_t length = 1; length <= run && length <= kLongestUnpadded; ++length) {
        const std::size_t start = stem.size() - length;
        if (start == 0 || stem[start] == '0')
            continue;
        out.push_back({{Family::Unpadded, stem.substr(0, start), extra, 0, {}},
                       std::stoll(stem.substr(start)),
                       false});
    }
}

// name-00001-of-00005.ext
void ofTotalReadings(const std::string& name, std::vector<Reading>& out) {
    for (std::size_t at = name.find("-of-"); at != std::string::npos;
         at = name.find("-of-", at + 1)) {
        std::size_t digits = 0;
        while (digits < at && isDigit(name[at - 1 - digits]))
            ++digits;
        const std::size_t numberStart = at - digits;
        if (digits == 0 || digits > kLongestUnpadded || numberStart < 2 ||
            name[numberStart - 1] != '-')
            continue;
        std::size_t totalEnd = at + 4;
        while (totalEnd < name.size() && isDigit(name[totalEnd]))
            ++totalEnd;
        const std::size_t totalDigits = totalEnd - at - 4;
        if (totalDigits == 0 || totalDigits > kLongestUnpadded ||
            (totalEnd < name.size() && name[totalEnd] != '.'))
            continue;
        out.push_back({{Family::OfTotal, name.substr(0, numberStart), name.substr(totalEnd),
                        static_cast<int>(digits), name.substr(at + 4, totalDigits)},
                       std::stoll(name.substr(numberStart, digits)),
                       false});
    }
}

// Every way of reading `name` as a piece's name.
std::vector<Reading> readingsOf(const std::string& name) {
    std::vector<Reading> out;
    ofTotalReadings(name, out);
    // The number ends the name, or stands before a tail from a dot.
    for (std::size_t cut = name.size(); cut > 0; cut = name.find_last_of('.', cut - 1)) {
        if (cut == std::string::npos)
            break;
        const std::string stem = name.substr(0, cut);
        const std::string extra = name.substr(cut);
        unpaddedReadings(stem, extra, out);
        fixedReadings(Family::Digits, stem, extra, out);
        fixedReadings(Family::Letters, stem, extra, out);
        if (cut == 0)
            break;
    }
    return out;
}

std::string inQuotes(const std::string& name) {
    return "\"" + name + "\"";
}

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

void evaluate(Group& group) {
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
        group.score = 0;
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
    group.score = group.distinct - group.missing;
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

// Whether `a` should be taken before `b`.
bool better(const Group& a, const Group& b) {
    if (a.score != b.score)
        return a.score > b.score;
    if (a.complete != b.complete)
        return a.complete;
    return preference(a) < preference(b);
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
        // split's own prefix says nothing of the file.
        if (base == "x")
            return std::nullopt;
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

// Builds the groups of every reading of every name of `names`.
struct Groups {
    std::vector<Group> all;
    std::vector<std::vector<std::size_t>> ofEntry; // the groups of each name
};

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

void addProblem(std::vector<SetProblem>& problems, SetProblem::Kind kind, std::string message,
                std::vector<std::string> files) {
    problems.push_back({kind, std::move(message), std::move(files)});
}

// The pieces missing from the group's set, and the numbers given twice.
// `shown` names each entry in messages; a missing piece is named by `folder`
// and its name. With `givenList`, two entries of one number are one name given
// twice (the inputs of sortPieces).
// Reports the pieces from number `from` to `to` of `group` as missing, `where`
// saying where they belong.
void missingRun(const Group& group, const std::string& folder, std::int64_t from, std::int64_t to,
                const std::string& where, std::vector<SetProblem>& problems) {
    std::vector<std::string> files;
    if (to - from < 1000) {
        for (std::int64_t n = from; n <= to; ++n)
            files.push_back(folder + nameOf(group, n));
    } else {
        files = {folder + nameOf(group, from), folder + nameOf(group, to)};
    }
    const std::string what =
        from == to ? inQuotes(files.front()) + " is missing"
                   : inQuotes(files.front()) + " to " + inQuotes(files.back()) + " are missing";
    addProblem(problems, SetProblem::Kind::Missing, what + " " + where + ".", files);
}

// Reports two members of `group` that are one piece number.
void duplicate(const Group& group, const std::string& folder, std::int64_t number,
               const std::string& before, const std::string& name, bool givenList,
               std::vector<SetProblem>& problems) {
    if (givenList)
        addProblem(problems, SetProblem::Kind::Duplicate,
                   inQuotes(folder + nameOf(group, number)) + " is given more than once.",
                   {before, name});
    else
        addProblem(problems, SetProblem::Kind::Duplicate,
                   inQuotes(before) + " and " + inQuotes(name) + " are both piece " +
                       std::to_string(number) + " of the set.",
                   {before, name});
}

void numberProblems(const Group& group, const std::vector<std::string>& shown,
                    const std::string& folder, bool givenList, std::vector<SetProblem>& problems) {
    const auto& members = group.members;
    std::int64_t expected = group.first;
    std::optional<std::size_t> previous;
    const auto nameAt = [&](std::size_t i) -> const std::string& {
        return shown[members[i].entry];
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& m = members[i];
        if (previous && members[*previous].number == m.number) {
            duplicate(group, folder, m.number, nameAt(*previous), nameAt(i), givenList, problems);
            continue;
        }
        if (m.number < group.first || m.number > group.last) {
            addProblem(problems, SetProblem::Kind::NotPieces,
                       inQuotes(nameAt(i)) + " names a piece beyond the " + group.key.total +
                           " that the names say there are.",
                       {nameAt(i)});
            continue;
        }
        if (m.number > expected)
            missingRun(group, folder, expected, m.number - 1,
                       previous ? "between " + inQuotes(nameAt(*previous)) + " and " +
                                      inQuotes(nameAt(i))
                                : "before " + inQuotes(nameAt(i)),
                       problems);
        expected = m.number + 1;
        previous = i;
    }
    if (previous && expected <= group.last)
        missingRun(group, folder, expected, group.last, "after " + inQuotes(nameAt(*previous)),
                   problems);
}

void fileProblems(const PieceSet& set, const std::vector<FolderEntry>& listing,
                  const std::vector<std::size_t>& entries, std::vector<SetProblem>& problems) {
    std::map<FileId, std::string> seen;
    for (const std::size_t e : entries) {
        const FolderEntry& entry = listing[e];
        switch (entry.kind) {
        case FolderEntry::Kind::File:
            break;
        case FolderEntry::Kind::Folder:
            addProblem(problems, SetProblem::Kind::NotAFile,
                       inQuotes(set.folder + entry.name) + " is a folder, not a piece.",
                       {set.folder + entry.name});
            continue;
        case FolderEntry::Kind::Other:
            addProblem(problems, SetProblem::Kind::NotAFile,
                       inQuotes(set.folder + entry.name) + " is not a regular file.",
                       {set.folder + entry.name});
            continue;
        case FolderEntry::Kind::Unreadable:
            addProblem(problems, SetProblem::Kind::NotAFile,
                       "Cannot read \"" + set.folder + entry.name + "\": " + entry.error + ".",
                       {set.folder + entry.name});
            continue;
        }
        const auto [at, added] = seen.try_emplace(entry.id, entry.name);
        if (!added)
            addProblem(problems, SetProblem::Kind::SameFile,
                       inQuotes(set.folder + entry.name) + " is the same file as " +
                           inQuotes(set.folder + at->second) +
                           " (a link to it): one piece cannot be joined twice.",
                       {set.folder + at->second, set.folder + entry.name});
    }
}

// The size that most pieces before the last have, and how many have it.
std::pair<std::int64_t, std::size_t> usualSize(const std::vector<PieceMember>& ms) {
    std::map<std::int64_t, std::size_t> counts;
    for (std::size_t i = 0; i + 1 < ms.size(); ++i)
        ++counts[ms[i].size];
    std::pair<std::int64_t, std::size_t> usual{ms.front().size, counts[ms.front().size]};
    for (const auto& [size, count] : counts) {
        if (count > usual.second)
            usual = {size, count};
    }
    return usual;
}

// Pieces before the last that are not as long as the others: a file cut by
// size or into equal parts has none. Pieces that are empty up to the end are
// what split -n writes when there are more pieces than bytes.
void sizeProblems(const PieceSet& set, const PieceSetOptions& options,
                  std::vector<SetProblem>& problems) {
    const auto& ms = set.members;
    if (ms.size() < 2)
        return;
    const std::int64_t usual = usualSize(ms).first;
    std::size_t emptyFrom = ms.size();
    while (emptyFrom > 0 && ms[emptyFrom - 1].size == 0)
        --emptyFrom;
    const auto example = std::find_if(ms.begin(), ms.end() - 1,
                                      [&](const PieceMember& m) { return m.size == usual; });
    const std::string usualPath = set.folder + example->name;
    for (std::size_t i = 0; i + 1 < ms.size(); ++i) {
        if (ms[i].size == usual || i >= emptyFrom)
            continue;
        if (options.sizeVouched && options.sizeVouched(ms[i]))
            continue;
        const std::string path = set.folder + ms[i].name;
        addProblem(problems, SetProblem::Kind::Sizes,
                   inQuotes(path) + " is " + std::to_string(ms[i].size) + " bytes, " +
                       (ms[i].size < usual ? "shorter" : "longer") + " than " +
                       inQuotes(usualPath) + " (" + std::to_string(usual) +
                       " bytes), and is not the last piece: a piece is damaged, or the files "
                       "are not one set.",
                   {path, usualPath});
    }
}

// Whether most pieces before the last are of one size, as in a set with a
// damaged piece, unlike numbered files of their own (photos, documents).
bool mostlyEven(const PieceSet& set) {
    if (set.members.size() < 3)
        return true;
    return usualSize(set.members).second * 2 > set.members.size() - 1;
}

// The set of the taken group `g`.
PieceSet setOf(const std::string& folder, const std::vector<FolderEntry>& listing,
               const std::vector<std::string>& names, const Group& group,
               const PieceSetOptions& options) {
    PieceSet set;
    set.folder = folder;
    set.scheme = schemeOf(group);
    set.naming = namingOf(group);
    set.baseName = baseNameOf(group, set.scheme);
    if (group.key.family == Family::OfTotal)
        set.declaredCount = std::stoll(group.key.total);
    std::vector<std::size_t> entries;
    for (const auto& m : group.members) {
        const FolderEntry& entry = listing[m.entry];
        set.members.push_back({entry.name, m.number, entry.size, entry.id});
        entries.push_back(m.entry);
    }
    std::vector<std::string> shown;
    for (const std::string& name : names)
        shown.push_back(folder + name);
    numberProblems(group, shown, folder, false, set.problems);
    fileProblems(set, listing, entries, set.problems);
    if (set.scheme == PieceScheme::PartNumbers) {
        std::string extra = group.key.extra;
        std::transform(extra.begin(), extra.end(), extra.begin(),
                       [](char c) { return static_cast<char>(c | 0x20); });
        if (extra == ".rar")
            addProblem(set.problems, SetProblem::Kind::NotPieces,
                       inQuotes(folder + set.members.front().name) +
                           " and the files numbered like it are the volumes of an archive, which "
                           "its archiver opens one after the other; joined they give no file.",
                       {set.members.front().name});
    }
    sizeProblems(set, options, set.problems);
    return set;
}

std::string sampleOf(const PieceSet& set) {
    const std::string first = inQuotes(set.folder + set.members.front().name);
    if (set.members.size() == 1)
        return first;
    return first + " .. " + inQuotes(set.folder + set.members.back().name) + " (" +
           std::to_string(set.members.size()) + " files)";
}

std::vector<std::string> namesOf(const std::vector<FolderEntry>& listing) {
    std::vector<std::string> names;
    names.reserve(listing.size());
    for (const FolderEntry& entry : listing)
        names.push_back(entry.name);
    return names;
}

PieceSet noSet(const std::string& folder, std::string message, std::vector<std::string> files) {
    PieceSet set;
    set.folder = folder;
    set.problems.push_back({SetProblem::Kind::NoSet, std::move(message), std::move(files)});
    return set;
}

constexpr const char* kSchemesKnown =
    "(name1, name01, name.001, xaa, x00, name.part1, name-00001-of-00005)";

PieceSet setOfPiece(const std::string& folder, const std::vector<FolderEntry>& listing,
                    const std::string& piece, const PieceSetOptions& options) {
    std::vector<std::string> names = namesOf(listing);
    auto at = std::find(names.begin(), names.end(), piece);
    if (at == names.end()) {
        PieceSet set;
        set.folder = folder;
        set.problems.push_back(
            {SetProblem::Kind::Unreadable,
             "Cannot read \"" + folder + piece + "\": No such file or directory.",
             {piece}});
        return set;
    }
    const std::size_t pieceEntry = static_cast<std::size_t>(at - names.begin());
    Groups groups = groupNames(names);
    if (groups.ofEntry[pieceEntry].empty())
        return noSet(folder,
                     inQuotes(folder + piece) + " is not named as a piece of a set " +
                         kSchemesKnown + ".",
                     {piece});
    // The groups that read the piece, as they stand before any is taken: those
    // that tie with the one taken read the piece as well as it does.
    std::vector<Group> rivals;
    for (std::size_t g : groups.ofEntry[pieceEntry])
        rivals.push_back(groups.all[g]);
    std::optional<std::size_t> chosen;
    partition(groups, [&](std::size_t g) {
        const auto& ms = groups.all[g].members;
        if (std::any_of(ms.begin(), ms.end(), [&](const auto& m) { return m.entry == pieceEntry; }))
            chosen = g;
        return chosen.has_value();
    });
    const Group& group = groups.all[*chosen];
    PieceSet set = setOf(folder, listing, names, group, options);
    const auto entriesOf = [](const Group& gr) {
        std::vector<std::size_t> entries;
        for (const auto& m : gr.members)
            entries.push_back(m.entry);
        return entries;
    };
    for (const Group& rival : rivals) {
        if (rival.key == group.key || rival.score != group.score ||
            rival.complete != group.complete || entriesOf(rival) == entriesOf(group) ||
            group.score < 2)
            continue;
        const PieceSet other = setOf(folder, listing, names, rival, {});
        set.problems.push_back({SetProblem::Kind::Ambiguous,
                                inQuotes(folder + piece) + " may be a piece of " + sampleOf(set) +
                                    " or of " + sampleOf(other) + "; give the pieces one by one.",
                                {set.members.front().name, other.members.front().name}});
        break;
    }
    return set;
}

PieceSet setOfFolder(const std::string& folder, const std::vector<FolderEntry>& listing,
                     const PieceSetOptions& options) {
    const std::vector<std::string> names = namesOf(listing);
    Groups groups = groupNames(names);
    std::vector<std::size_t> taken;
    partition(groups, [&](std::size_t g) {
        const Group& group = groups.all[g];
        if (group.members.size() >= 2 && group.distinct > group.missing)
            taken.push_back(g);
        return false;
    });
    const std::string shown = folder.empty() ? "." : folder;
    if (taken.empty())
        return noSet(
            folder,
            "The folder " + inQuotes(shown) + " holds no set of pieces " + kSchemesKnown + ".", {});
    // Numbered files of uneven sizes (photos, documents) are no pieces; they
    // need not make a set beside them ambiguous.
    std::vector<PieceSet> sets;
    std::vector<PieceSet> lookAlikes;
    for (std::size_t g : taken) {
        PieceSet set = setOf(folder, listing, names, groups.all[g], options);
        const bool lookAlike = set.has(SetProblem::Kind::Sizes) && !mostlyEven(set);
        (lookAlike ? lookAlikes : sets).push_back(std::move(set));
    }
    if (sets.empty()) {
        PieceSet set = std::move(lookAlikes.front());
        set.problems.clear();
        set.problems.push_back(
            {SetProblem::Kind::NotPieces,
             "The folder " + inQuotes(shown) + " holds numbered files, " + sampleOf(set) +
                 ", but they are not the pieces of one file: their sizes differ as the pieces "
                 "of a cut never do.",
             {set.members.front().name}});
        return set;
    }
    if (sets.size() > 1) {
        std::string list;
        std::vector<std::string> files;
        for (const PieceSet& set : sets) {
            list += (list.empty() ? "" : ", ") + sampleOf(set);
            files.push_back(set.members.front().name);
        }
        PieceSet set = std::move(sets.front());
        set.problems.push_back({SetProblem::Kind::Ambiguous,
                                "The folder " + inQuotes(shown) + " holds " +
                                    std::to_string(sets.size()) + " sets of pieces: " + list +
                                    "; give one piece of the set to join.",
                                files});
        return set;
    }
    return std::move(sets.front());
}

std::string normalFolder(const std::string& folder) {
    if (folder.empty())
        return ".";
    return std::filesystem::path(folder).lexically_normal().string();
}

} // namespace

std::string_view schemeName(PieceScheme scheme) {
    switch (scheme) {
    case PieceScheme::Numbered:
        return "name1, name2 ..";
    case PieceScheme::Padded:
        return "name01, name02 ..";
    case PieceScheme::DotNumbers:
        return "name.001, name.002 ..";
    case PieceScheme::SplitLetters:
        return "xaa, xab .. (split)";
    case PieceScheme::SplitDigits:
        return "x00, x01 .. (split -d)";
    case PieceScheme::PartNumbers:
        return "name.part1, name.part2 ..";
    case PieceScheme::NumberOfTotal:
        return "name-00001-of-00005 ..";
    }
    return "?";
}

std::string PieceNaming::nameOf(std::int64_t number) const {
    Group group{keyOf(*this), {}};
    if (widened)
        group.members.push_back({0, 0, true});
    return shardix::nameOf(group, number);
}

std::optional<std::int64_t> PieceNaming::numberOf(const std::string& name) const {
    const Key key = keyOf(*this);
    for (const Reading& reading : readingsOf(name)) {
        if (reading.key == key)
            return reading.number;
    }
    return std::nullopt;
}

std::vector<std::string> PieceSet::paths() const {
    std::vector<std::string> result;
    for (const PieceMember& member : members)
        result.push_back(folder + member.name);
    return result;
}

bool PieceSet::has(SetProblem::Kind kind) const {
    return std::any_of(problems.begin(), problems.end(),
                       [kind](const SetProblem& p) { return p.kind == kind; });
}

PieceSet findPieceSetIn(const std::string& folder, const std::vector<FolderEntry>& listing,
                        const std::optional<std::string>& piece, const PieceSetOptions& options) {
    return piece ? setOfPiece(folder, listing, *piece, options)
                 : setOfFolder(folder, listing, options);
}

PieceSet findPieceSet(const std::string& pieceOrFolder, const PieceSetOptions& options) {
    struct stat st {};
    const bool isFolder = (!pieceOrFolder.empty() && pieceOrFolder.back() == '/') ||
                          (::stat(pieceOrFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    std::string folder;
    std::optional<std::string> piece;
    if (isFolder) {
        folder = pieceOrFolder.back() == '/' ? pieceOrFolder : pieceOrFolder + "/";
    } else {
        auto [dir, name] = splitPath(pieceOrFolder);
        folder = std::move(dir);
        piece = std::move(name);
    }
    std::vector<FolderEntry> listing;
    if (Result<> failed = listFolder(folder, listing); !failed.ok()) {
        PieceSet set;
        set.folder = folder;
        set.problems.push_back({SetProblem::Kind::Unreadable, failed.error().message, {}});
        return set;
    }
    return findPieceSetIn(folder, listing, piece, options);
}

SortedPieces sortPieces(const std::vector<std::string>& paths) {
    SortedPieces sorted;
    sorted.paths = paths;
    std::vector<std::string> names;
    std::string folder;
    bool oneFolder = true;
    for (const std::string& path : paths) {
        auto [dir, name] = splitPath(path);
        if (names.empty())
            folder = normalFolder(dir);
        else if (normalFolder(dir) != folder)
            oneFolder = false;
        names.push_back(std::move(name));
    }
    std::optional<Group> best;
    if (oneFolder && !paths.empty()) {
        Groups groups = groupNames(names);
        for (const Group& group : groups.all) {
            std::vector<bool> read(names.size(), false);
            for (const auto& m : group.members)
                read[m.entry] = true;
            if (std::find(read.begin(), read.end(), false) != read.end())
                continue;
            if (!best || better(group, *best))
                best = group;
        }
    }
    if (!best) {
        // As the desktop program's file list orders them: by bytes, then length.
        std::vector<std::size_t> order(paths.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return names[a].size() < names[b].size();
        });
        for (std::size_t i = 0; i < order.size(); ++i)
            sorted.paths[i] = paths[order[i]];
        return sorted;
    }
    sorted.scheme = schemeOf(*best);
    sorted.naming = namingOf(*best);
    sorted.paths.clear();
    for (const auto& m : best->members)
        sorted.paths.push_back(paths[m.entry]);
    // Names given twice ("p1", "./p1") read as one number.
    std::vector<std::string> shownNames;
    for (const std::string& path : paths)
        shownNames.push_back(path);
    numberProblems(*best, shownNames, splitPath(paths.front()).first, true, sorted.problems);
    return sorted;
}

} // namespace shardix
