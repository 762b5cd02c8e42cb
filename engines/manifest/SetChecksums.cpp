#include "engines/manifest/SetChecksums.h"

#include "errors/Error.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>

namespace shardix {

namespace {

constexpr std::size_t kLongestList = 16u << 20;

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// "p1" for "./p1"; the name as written when it has folders in it.
std::string plainName(const std::string& name) {
    std::string normal = std::filesystem::path(name).lexically_normal().string();
    return normal.empty() ? name : normal;
}

std::string where(const std::string& listPath, const ChecksumEntry& entry) {
    return inQuotes(listPath) + " (line " + std::to_string(entry.line) + ")";
}

// The text of a list on disk; nothing when it cannot be read or is too long
// to be one.
std::optional<std::string> readWhole(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string text;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= kLongestList)
        text.append(buffer, n);
    const bool failed = std::ferror(file) != 0 || text.size() > kLongestList;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return text;
}

} // namespace

std::size_t SetChecksums::listed() const {
    return static_cast<std::size_t>(
        std::count_if(pieces.begin(), pieces.end(), [](const auto& p) { return p.has_value(); }));
}

SetChecksums matchChecksums(const ChecksumList& list, const std::string& listPath,
                            const PieceSet& set, const IdentifyName& identify) {
    SetChecksums match;
    match.path = listPath;
    match.list = list;
    match.pieces.resize(set.members.size());
    for (const std::string& unread : list.problems)
        match.notes.push_back(inQuotes(listPath) + ", " + unread + ".");
    std::map<FileId, std::size_t> memberOf;
    for (std::size_t i = 0; i < set.members.size(); ++i)
        memberOf.emplace(set.members[i].id, i);
    const auto add = [&](SetProblem::Kind kind, std::string message,
                         std::vector<std::string> files) {
        match.problems.push_back({kind, std::move(message), std::move(files)});
    };
    const std::string listFolder = splitPath(listPath).first;
    for (const ChecksumEntry& entry : list.entries) {
        // A list cannot make us read outside its folder.
        if (!staysInFolder(entry.name)) {
            match.notes.push_back(where(listPath, entry) + " names " + inQuotes(entry.name) +
                                  ", which leads out of its folder: not read.");
            continue;
        }
        const std::string name = plainName(entry.name);
        const std::optional<FileId> id = identify(name);
        const auto member = id ? memberOf.find(*id) : memberOf.end();
        if (member != memberOf.end() && entry.role != ChecksumEntry::Role::Whole) {
            const PieceMember& piece = set.members[member->second];
            auto& slot = match.pieces[member->second];
            const std::string path = set.folder + piece.name;
            if (slot && (slot->digest != entry.digest || slot->algorithm != entry.algorithm)) {
                add(SetProblem::Kind::Duplicate,
                    inQuotes(path) + " is listed twice in " + inQuotes(listPath) +
                        " with different checksums (lines " + std::to_string(slot->line) + " and " +
                        std::to_string(entry.line) + ").",
                    {path, listPath});
                continue;
            }
            slot = entry;
            if (entry.length && *entry.length != piece.size)
                add(SetProblem::Kind::Sizes,
                    inQuotes(path) + " is " + std::to_string(piece.size) + " bytes, but " +
                        where(listPath, entry) + " says " + std::to_string(*entry.length) + ".",
                    {path, listPath});
            continue;
        }
        const bool namesWhole =
            entry.role == ChecksumEntry::Role::Whole || (set.baseName && name == *set.baseName);
        if (namesWhole) {
            if (!match.whole)
                match.whole = entry;
            continue;
        }
        if (id)
            continue; // another file the list checks too
        if (entry.role == ChecksumEntry::Role::Piece || set.naming.numberOf(name)) {
            const std::string path = listFolder + name;
            match.missing.push_back(path);
            add(SetProblem::Kind::Missing,
                inQuotes(path) + " is listed in " + where(listPath, entry) +
                    " as a piece, but is not there.",
                {path, listPath});
        }
    }
    if (match.whole && match.whole->length) {
        const std::int64_t sum = std::accumulate(
            set.members.begin(), set.members.end(), std::int64_t{0},
            [](std::int64_t total, const PieceMember& m) { return total + m.size; });
        if (sum != *match.whole->length)
            add(SetProblem::Kind::Sizes,
                "The pieces from " + inQuotes(set.folder + set.members.front().name) + " to " +
                    inQuotes(set.folder + set.members.back().name) + " add up to " +
                    std::to_string(sum) + " bytes, but " + where(listPath, *match.whole) +
                    " says " + inQuotes(match.whole->name) + " is " +
                    std::to_string(*match.whole->length) + ".",
                {listPath});
    }
    return match;
}

IdentifyName identifyIn(const std::vector<FolderEntry>& listing) {
    std::map<std::string, FileId> ids;
    for (const FolderEntry& entry : listing) {
        if (entry.kind != FolderEntry::Kind::Unreadable)
            ids.emplace(entry.name, entry.id);
    }
    return [ids = std::move(ids)](const std::string& name) -> std::optional<FileId> {
        const auto at = ids.find(plainName(name));
        if (at == ids.end())
            return std::nullopt;
        return at->second;
    };
}

IdentifyName identifyOnDisk(const std::string& folder) {
    return [folder](const std::string& name) -> std::optional<FileId> {
        const FolderEntry entry = statEntry(folder + name, name);
        if (entry.kind == FolderEntry::Kind::Unreadable)
            return std::nullopt;
        return entry.id;
    };
}

std::vector<SetChecksums>
checksumListsBeside(const PieceSet& set, const std::vector<FolderEntry>& listing,
                    const std::function<std::optional<std::string>(const std::string&)>& readText,
                    const IdentifyName& identify) {
    std::vector<SetChecksums> found;
    for (const FolderEntry& entry : listing) {
        if (entry.kind != FolderEntry::Kind::File || !isChecksumListName(entry.name))
            continue;
        const auto text = readText(entry.name);
        if (!text)
            continue;
        const ChecksumList list = parseChecksumList(*text, entry.name);
        SetChecksums match = matchChecksums(list, set.folder + entry.name, set, identify);
        // A .crc file names the joined file; it goes with the set of its own name.
        if (!match.whole && list.format == ChecksumFormat::CrcFile && set.baseName &&
            entry.name == *set.baseName + ".crc" && !list.entries.empty())
            match.whole = list.entries.front();
        if (match.listed() > 0 || match.whole)
            found.push_back(std::move(match));
    }
    std::stable_sort(found.begin(), found.end(), [](const SetChecksums& a, const SetChecksums& b) {
        if (a.listed() != b.listed())
            return a.listed() > b.listed();
        if (a.whole.has_value() != b.whole.has_value())
            return a.whole.has_value();
        return a.problems.size() < b.problems.size();
    });
    return found;
}

JoinPlan planJoin(const std::string& pieceOrFolder, const std::optional<std::string>& listPath) {
    JoinPlan plan;
    plan.set = findPieceSet(pieceOrFolder);
    const auto matchWith = [&](const PieceSet& set) -> std::optional<SetChecksums> {
        if (set.members.empty())
            return std::nullopt;
        if (listPath) {
            ChecksumList list;
            if (Result<> failed = readChecksumList(*listPath, list); !failed.ok()) {
                SetChecksums broken;
                broken.path = *listPath;
                broken.problems.push_back(
                    {SetProblem::Kind::Unreadable, failed.error().message, {*listPath}});
                return broken;
            }
            return matchChecksums(list, *listPath, set, identifyOnDisk(splitPath(*listPath).first));
        }
        std::vector<FolderEntry> listing;
        if (!listFolder(set.folder, listing).ok())
            return std::nullopt;
        auto lists = checksumListsBeside(
            set, listing, [&](const std::string& name) { return readWhole(set.folder + name); },
            identifyOnDisk(set.folder));
        if (lists.empty())
            return std::nullopt;
        return std::move(lists.front());
    };
    plan.checks = matchWith(plan.set);
    if (plan.checks && plan.checks->listed() > 0 && plan.set.has(SetProblem::Kind::Sizes)) {
        // The pieces the list names are checked by it, whatever their sizes.
        std::set<FileId> listed;
        for (std::size_t i = 0; i < plan.checks->pieces.size(); ++i) {
            if (plan.checks->pieces[i])
                listed.insert(plan.set.members[i].id);
        }
        PieceSetOptions options;
        options.sizeVouched = [listed](const PieceMember& m) { return listed.count(m.id) > 0; };
        plan.set = findPieceSet(pieceOrFolder, options);
        plan.checks = matchWith(plan.set);
    }
    plan.problems = plan.set.problems;
    if (plan.checks) {
        plan.problems.insert(plan.problems.end(), plan.checks->problems.begin(),
                             plan.checks->problems.end());
        const auto& whole = plan.checks->whole;
        if (whole && staysInFolder(whole->name) && whole->name.find('/') == std::string::npos)
            plan.outputName = whole->name;
    }
    if (!plan.outputName)
        plan.outputName = plan.set.baseName;
    return plan;
}

} // namespace shardix
