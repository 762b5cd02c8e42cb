// The order of pieces given by name (sortPieces): the reading of the naming
// rules that takes them all, or the desktop program's order of a file list.
#include "engines/names/FolderListing.h"
#include "engines/names/PieceGroups.h"
#include "engines/names/PieceProblems.h"
#include "engines/names/PieceSet.h"

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string_view>
#include <tuple>

namespace shardix {

using namespace pieces;

namespace {

// Of two readings of all the names given, the one that orders them: a
// complete one, then the fewer missing, then the better named.
bool readsBetter(const Group& a, const Group& b) {
    if (a.complete != b.complete)
        return a.complete;
    if (a.missing != b.missing)
        return a.missing < b.missing;
    const auto pa = preference(a);
    const auto pb = preference(b);
    if (pa != pb)
        return pa < pb;
    return std::tie(a.key.family, a.key.prefix, a.key.extra, a.key.width, a.key.total) <
           std::tie(b.key.family, b.key.prefix, b.key.extra, b.key.width, b.key.total);
}

std::string normalFolder(const std::string& folder) {
    if (folder.empty())
        return ".";
    return std::filesystem::path(folder).lexically_normal().string();
}

// The names of `paths` without their folders, and whether they share one.
struct NamesOfPaths {
    std::vector<std::string> names;
    bool oneFolder = true;
};
NamesOfPaths namesOfPaths(const std::vector<std::string>& paths) {
    NamesOfPaths split;
    std::string folder;
    for (const std::string& path : paths) {
        auto [dir, name] = splitPath(path);
        if (split.names.empty())
            folder = normalFolder(dir);
        else if (normalFolder(dir) != folder)
            split.oneFolder = false;
        split.names.push_back(std::move(name));
    }
    return split;
}

// The group of the naming rules that reads every one of `names` as a piece,
// the one that reads best where several do.
std::optional<Group> groupOfAll(const std::vector<std::string>& names) {
    std::optional<Group> best;
    for (const Group& group : groupNames(names).all) {
        std::vector<bool> read(names.size(), false);
        for (const auto& m : group.members)
            read[m.entry] = true;
        if (std::find(read.begin(), read.end(), false) != read.end())
            continue;
        if (!best || readsBetter(group, *best))
            best = group;
    }
    return best;
}

// `paths` as the desktop program's file list orders them: by the bytes of
// their names, then by the names' length.
std::vector<std::string> listOrder(const std::vector<std::string>& paths,
                                   const std::vector<std::string>& names) {
    std::vector<std::size_t> order(paths.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::pair(names[a].size(), std::string_view(names[a])) <
               std::pair(names[b].size(), std::string_view(names[b]));
    });
    std::vector<std::string> ordered;
    for (const std::size_t i : order)
        ordered.push_back(paths[i]);
    return ordered;
}

} // namespace

SortedPieces sortPieces(const std::vector<std::string>& paths) {
    SortedPieces sorted;
    const NamesOfPaths split = namesOfPaths(paths);
    const std::optional<Group> best =
        split.oneFolder && !paths.empty() ? groupOfAll(split.names) : std::nullopt;
    if (!best) {
        sorted.paths = listOrder(paths, split.names);
        return sorted;
    }
    sorted.scheme = schemeOf(*best);
    sorted.naming = namingOf(*best);
    for (const auto& m : best->members)
        sorted.paths.push_back(paths[m.entry]);
    // Names given twice ("p1", "./p1") read as one number.
    numberProblems(*best, paths, splitPath(paths.front()).first, true, sorted.problems);
    return sorted;
}

} // namespace shardix
