#include "engines/names/PieceSet.h"

#include "engines/names/PieceGroups.h"
#include "engines/names/PieceProblems.h"
#include "engines/names/PieceReadings.h"
#include "engines/names/SetRule.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <tuple>

namespace shardix {

using namespace pieces;

namespace {

// The set of `group`, with everything that keeps it from being joined.
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
    paddingDuplicates(group, names, shown, set.problems);
    continuations(group, names, folder, set.problems);
    fileProblems(set, listing, entries, set.problems);
    archiveProblems(group, set, set.problems);
    sizeProblems(set, options, set.problems);
    return set;
}

std::string sampleOf(const PieceSet& set) {
    const std::string first = shardix::quoted(set.folder + set.members.front().name);
    if (set.members.size() == 1)
        return first;
    return first + " .. " + shardix::quoted(set.folder + set.members.back().name) + " (" +
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
    set.problems.push_back({SetProblem::Kind::NoSet, std::move(message), std::move(files), {}});
    return set;
}

constexpr const char* kSchemesKnown =
    "(name1, name01, name.001, xaa, x00, name.part1, name-00001-of-00005)";

RuleOptions ruleOptions(const PieceSetOptions& options) {
    return {options.firstNumber, options.prefix};
}

// "A (numbers after \"eps_\")": one set that a piece may belong to.
std::string readingOf(const PieceSet& set) {
    return sampleOf(set) + ", numbered after " + shardix::quoted(set.naming.prefix);
}

// The set of `sets.front()`, refused as ambiguous when more sets hold the piece.
PieceSet chosenSet(const std::string& folder, const std::vector<FolderEntry>& listing,
                   const std::vector<std::string>& names, const std::string& piece,
                   const std::vector<const Group*>& sets, const PieceSetOptions& options) {
    PieceSet set = setOf(folder, listing, names, *sets.front(), options);
    if (sets.size() == 1)
        return set;
    std::string readings;
    SetProblem ambiguous{SetProblem::Kind::Ambiguous, {}, {}, {}};
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const PieceSet other = setOf(folder, listing, names, *sets[i], {});
        readings += (i == 0 ? "" : i + 1 == sets.size() ? " or of " : ", of ") + readingOf(other);
        ambiguous.files.push_back(folder + other.members.front().name);
        ambiguous.prefixes.push_back(other.naming.prefix);
    }
    ambiguous.message = shardix::quoted(folder + piece) + " may be a piece of " + readings +
                        ": the names do not tell which set it belongs to.";
    set.problems.insert(set.problems.begin(), std::move(ambiguous));
    return set;
}

PieceSet setOfPiece(const std::string& folder, const std::vector<FolderEntry>& listing,
                    const std::string& piece, const PieceSetOptions& options) {
    std::vector<std::string> names = namesOf(listing);
    auto at = std::find(names.begin(), names.end(), piece);
    if (at == names.end()) {
        PieceSet set;
        set.folder = folder;
        set.problems.push_back(
            {SetProblem::Kind::Unreadable,
             "Cannot read " + shardix::quoted(folder + piece) + ": No such file or directory.",
             {piece},
             {}});
        return set;
    }
    const std::size_t pieceEntry = static_cast<std::size_t>(at - names.begin());
    const SetRule rule(groupNames(names), ruleOptions(options));
    const std::vector<const Group*> sets = rule.setsOf(pieceEntry);
    if (sets.empty()) {
        if (options.prefix && !rule.groups().ofEntry[pieceEntry].empty())
            return noSet(folder,
                         shardix::quoted(folder + piece) +
                             " is not named as a piece numbered after " +
                             shardix::quoted(*options.prefix) + ".",
                         {piece});
        if (options.firstNumber && !rule.groups().ofEntry[pieceEntry].empty())
            return noSet(folder,
                         shardix::quoted(folder + piece) + " is numbered below " +
                             std::to_string(*options.firstNumber) +
                             " in every reading of its name, so it is no piece of a set that "
                             "begins there.",
                         {piece});
        return noSet(folder,
                     shardix::quoted(folder + piece) + " is not named as a piece of a set " +
                         kSchemesKnown + ".",
                     {piece});
    }
    return chosenSet(folder, listing, names, piece, sets, options);
}

// The sets that the names of the folder make, each decided from its pieces.
PieceSet setOfFolder(const std::string& folder, const std::vector<FolderEntry>& listing,
                     const PieceSetOptions& options) {
    const std::vector<std::string> names = namesOf(listing);
    const SetRule rule(groupNames(names), ruleOptions(options));
    std::vector<const Group*> taken;
    for (std::size_t entry = 0; entry < names.size(); ++entry) {
        for (const Group* group : rule.setsOf(entry)) {
            if (group->members.size() >= 2 && group->distinct > group->missing &&
                std::find(taken.begin(), taken.end(), group) == taken.end())
                taken.push_back(group);
        }
    }
    // The same sets, whatever the order of the names.
    std::sort(taken.begin(), taken.end(), [](const Group* a, const Group* b) {
        return std::tie(a->key.family, a->key.prefix, a->key.extra, a->key.width, a->key.total) <
               std::tie(b->key.family, b->key.prefix, b->key.extra, b->key.width, b->key.total);
    });
    const std::string shown = folder.empty() ? "." : folder;
    if (taken.empty())
        return noSet(folder,
                     "The folder " + shardix::quoted(shown) + " holds no set of pieces " +
                         kSchemesKnown + ".",
                     {});
    // Numbered files of uneven sizes (photos, documents) are no pieces; they
    // need not make a set beside them ambiguous.
    std::vector<PieceSet> sets;
    std::vector<PieceSet> lookAlikes;
    for (const Group* group : taken) {
        PieceSet set = setOf(folder, listing, names, *group, options);
        const bool lookAlike = set.has(SetProblem::Kind::Sizes) && !mostlyEven(set);
        (lookAlike ? lookAlikes : sets).push_back(std::move(set));
    }
    if (sets.empty()) {
        PieceSet set = std::move(lookAlikes.front());
        set.problems.clear();
        set.problems.push_back(
            {SetProblem::Kind::NotPieces,
             "The folder " + shardix::quoted(shown) + " holds numbered files, " + sampleOf(set) +
                 ", but they are not the pieces of one file: their sizes differ as the pieces "
                 "of a cut never do.",
             {set.members.front().name},
             {}});
        return set;
    }
    if (sets.size() > 1) {
        std::string list;
        SetProblem ambiguous{SetProblem::Kind::Ambiguous, {}, {}, {}};
        for (const PieceSet& set : sets) {
            list += (list.empty() ? "" : ", ") + sampleOf(set);
            ambiguous.files.push_back(set.members.front().name);
            ambiguous.prefixes.push_back(set.naming.prefix);
        }
        ambiguous.message = "The folder " + shardix::quoted(shown) + " holds " +
                            std::to_string(sets.size()) + " sets of pieces: " + list +
                            "; give one piece of the set to join.";
        PieceSet set = std::move(sets.front());
        set.problems.insert(set.problems.begin(), std::move(ambiguous));
        return set;
    }
    return std::move(sets.front());
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
    const Result<std::vector<FolderEntry>> listing = listFolder(folder);
    if (!listing.ok()) {
        PieceSet set;
        set.folder = folder;
        set.problems.push_back({SetProblem::Kind::Unreadable, listing.error().message, {}, {}});
        return set;
    }
    return findPieceSetIn(folder, *listing, piece, options);
}

std::optional<std::string> fellowPiece(const std::vector<FolderEntry>& listing,
                                       const std::string& name) {
    std::vector<std::string> names = namesOf(listing);
    const auto at = std::find(names.begin(), names.end(), name);
    const auto entry = static_cast<std::size_t>(at - names.begin());
    if (at == names.end())
        names.push_back(name);
    const SetRule rule(groupNames(names), {});
    std::optional<std::string> fellow;
    for (const std::size_t g : rule.groups().ofEntry[entry]) {
        const Group& group = rule.groups().all[g];
        if (!rule.stands(g))
            continue;
        for (const auto& member : group.members) {
            if (member.entry != entry && (!fellow || names[member.entry] < *fellow))
                fellow = names[member.entry];
        }
    }
    return fellow;
}

} // namespace shardix
