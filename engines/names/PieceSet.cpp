#include "engines/names/PieceSet.h"

#include "engines/names/PieceGroups.h"
#include "engines/names/PieceProblems.h"
#include "engines/names/PieceReadings.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <tuple>

namespace shardix {

using namespace pieces;

namespace {

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
    Group numbered = group;
    const bool decimal = group.key.family == Family::Digits || group.key.family == Family::Unpadded;
    if (options.firstNumber && decimal && !group.members.empty()) {
        numbered.first = *options.firstNumber;
        numbered.last = std::max(group.members.back().number, numbered.first);
    }
    numberProblems(numbered, shown, folder, false, set.problems);
    paddingDuplicates(group, names, shown, set.problems);
    fileProblems(set, listing, entries, set.problems);
    if (set.scheme == PieceScheme::PartNumbers) {
        std::string extra = group.key.extra;
        std::transform(extra.begin(), extra.end(), extra.begin(),
                       [](char c) { return static_cast<char>(c | 0x20); });
        if (extra == ".rar")
            addProblem(set.problems, SetProblem::Kind::NotPieces,
                       shardix::quoted(folder + set.members.front().name) +
                           " and the files numbered like it are the volumes of an archive, which "
                           "its archiver opens one after the other; joined they give no file.",
                       {set.members.front().name});
    }
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
             "Cannot read " + shardix::quoted(folder + piece) + ": No such file or directory.",
             {piece}});
        return set;
    }
    const std::size_t pieceEntry = static_cast<std::size_t>(at - names.begin());
    Groups groups = groupNames(names);
    if (groups.ofEntry[pieceEntry].empty())
        return noSet(folder,
                     shardix::quoted(folder + piece) + " is not named as a piece of a set " +
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
                                shardix::quoted(folder + piece) + " may be a piece of " +
                                    sampleOf(set) + " or of " + sampleOf(other) +
                                    "; give the pieces one by one.",
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
        return noSet(folder,
                     "The folder " + shardix::quoted(shown) + " holds no set of pieces " +
                         kSchemesKnown + ".",
                     {});
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
             "The folder " + shardix::quoted(shown) + " holds numbered files, " + sampleOf(set) +
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
                                "The folder " + shardix::quoted(shown) + " holds " +
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
