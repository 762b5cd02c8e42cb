#include "engines/manifest/SetChecksums.h"

#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>

namespace shardix {

namespace {

constexpr std::size_t kLongestList = 16u << 20;

// "p1" for "./p1"; the name as written when it has folders in it.
std::string plainName(const std::string& name) {
    std::string normal = std::filesystem::path(name).lexically_normal().string();
    return normal.empty() ? name : normal;
}

std::string where(const std::string& listPath, const ChecksumEntry& entry) {
    return shardix::quoted(listPath) + " (line " + std::to_string(entry.line) + ")";
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

namespace {

// The match of one checksum list with a set, entry by entry.
class ListMatch {
  public:
    ListMatch(const ChecksumList& list, const std::string& listPath, const PieceSet& set,
              const IdentifyName& identify)
        : list_(list), listPath_(listPath), set_(set), identify_(identify),
          listFolder_(splitPath(listPath).first) {
        match_.path = listPath;
        match_.list = list;
        match_.pieces.resize(set.members.size());
        for (std::size_t i = 0; i < set.members.size(); ++i)
            memberOf_.emplace(set.members[i].id, i);
    }

    SetChecksums run() {
        for (const std::string& unread : list_.problems)
            match_.notes.push_back(shardix::quoted(listPath_) + ", " + unread + ".");
        for (const ChecksumEntry& entry : list_.entries)
            take(entry);
        checkWholeLength();
        return std::move(match_);
    }

  private:
    void add(SetProblem::Kind kind, std::string message, std::vector<std::string> files) {
        match_.problems.push_back({kind, std::move(message), std::move(files)});
    }

    void take(const ChecksumEntry& entry) {
        // A list cannot make us read outside its folder.
        if (!staysInFolder(entry.name)) {
            match_.notes.push_back(where(listPath_, entry) + " names " +
                                   shardix::quoted(entry.name) +
                                   ", which leads out of its folder: not read.");
            return;
        }
        const std::string name = plainName(entry.name);
        const std::optional<FileId> id = identify_(name);
        const auto member = id ? memberOf_.find(*id) : memberOf_.end();
        if (member != memberOf_.end() && entry.role != ChecksumEntry::Role::Whole)
            return takePiece(entry, member->second);
        if (entry.role == ChecksumEntry::Role::Whole || (set_.baseName && name == *set_.baseName)) {
            if (!match_.whole)
                match_.whole = entry;
            return;
        }
        // Another file that the list checks too; or a piece that is not there.
        if (!id && (entry.role == ChecksumEntry::Role::Piece || set_.naming.numberOf(name)))
            missing(entry, listFolder_ + name);
    }

    void takePiece(const ChecksumEntry& entry, std::size_t member) {
        const PieceMember& piece = set_.members[member];
        auto& slot = match_.pieces[member];
        const std::string path = set_.folder + piece.name;
        if (slot && (slot->digest != entry.digest || slot->algorithm != entry.algorithm)) {
            add(SetProblem::Kind::Duplicate,
                shardix::quoted(path) + " is listed twice in " + shardix::quoted(listPath_) +
                    " with different checksums (lines " + std::to_string(slot->line) + " and " +
                    std::to_string(entry.line) + ").",
                {path, listPath_});
            return;
        }
        slot = entry;
        if (entry.length && *entry.length != piece.size)
            add(SetProblem::Kind::Sizes,
                shardix::quoted(path) + " is " + std::to_string(piece.size) + " bytes, but " +
                    where(listPath_, entry) + " says " + std::to_string(*entry.length) + ".",
                {path, listPath_});
    }

    void missing(const ChecksumEntry& entry, const std::string& path) {
        match_.missing.push_back(path);
        add(SetProblem::Kind::Missing,
            shardix::quoted(path) + " is listed in " + where(listPath_, entry) +
                " as a piece, but is not there.",
            {path, listPath_});
    }

    void checkWholeLength() {
        if (!match_.whole || !match_.whole->length)
            return;
        const std::int64_t sum = std::accumulate(
            set_.members.begin(), set_.members.end(), std::int64_t{0},
            [](std::int64_t total, const PieceMember& m) { return total + m.size; });
        if (sum == *match_.whole->length)
            return;
        add(SetProblem::Kind::Sizes,
            "The pieces from " + shardix::quoted(set_.folder + set_.members.front().name) + " to " +
                shardix::quoted(set_.folder + set_.members.back().name) + " add up to " +
                std::to_string(sum) + " bytes, but " + where(listPath_, *match_.whole) + " says " +
                shardix::quoted(match_.whole->name) + " is " +
                std::to_string(*match_.whole->length) + ".",
            {listPath_});
    }

    const ChecksumList& list_;
    const std::string& listPath_;
    const PieceSet& set_;
    const IdentifyName& identify_;
    const std::string listFolder_;
    std::map<FileId, std::size_t> memberOf_;
    SetChecksums match_;
};

} // namespace

SetChecksums matchChecksums(const ChecksumList& list, const std::string& listPath,
                            const PieceSet& set, const IdentifyName& identify) {
    return ListMatch(list, listPath, set, identify).run();
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
        // A list of the whole file alone (a .crc file) goes with the set whose
        // base name it names, or is named for; or with a set that has none.
        const bool forThisSet = !set.baseName ||
                                (match.whole && match.whole->name == *set.baseName) ||
                                entry.name == *set.baseName + ".crc";
        if (!match.whole && list.format == ChecksumFormat::CrcFile && forThisSet &&
            !list.entries.empty())
            match.whole = list.entries.front();
        if (match.listed() > 0 || (match.whole && forThisSet))
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

Checksums SetChecksums::expected() const {
    Checksums sums;
    sums.source = path;
    for (const auto& piece : pieces) {
        sums.parts.push_back(piece ? piece->digest : std::string());
        sums.partAlgorithms.push_back(piece ? piece->algorithm : HashAlgorithm::Sha256);
    }
    if (whole) {
        sums.whole = whole->digest;
        sums.wholeAlgorithm = whole->algorithm;
    }
    return sums;
}

namespace {

// A piece with no other of its set beside it joins into a copy of itself:
// most often the others have not come yet. Only a list that checks it, or
// names that count one piece (name-00001-of-00001), say that it is whole.
std::optional<SetProblem> lonePiece(const JoinPlan& plan) {
    const PieceSet& set = plan.set;
    if (set.members.size() != 1 || !plan.problems.empty() || set.declaredCount)
        return std::nullopt;
    if (plan.checks && (plan.checks->listed() > 0 || plan.checks->whole))
        return std::nullopt;
    const std::string name = shardix::quoted(set.folder + set.members.front().name);
    return SetProblem{SetProblem::Kind::Missing,
                      name + " is the only piece of its set in its folder: the others are "
                             "missing (or it is no piece, and there is nothing to join).",
                      {set.members.front().name}};
}

} // namespace

JoinPlan planJoin(const std::string& pieceOrFolder, const std::optional<std::string>& listPath,
                  bool checked, const PieceSetOptions& setOptions) {
    JoinPlan plan;
    plan.set = findPieceSet(pieceOrFolder, setOptions);
    const auto matchWith = [&](const PieceSet& set) -> std::optional<SetChecksums> {
        if (set.members.empty() || !checked)
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
        PieceSetOptions options = setOptions;
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
    if (const std::optional<SetProblem> alone = lonePiece(plan))
        plan.problems.push_back(*alone);
    return plan;
}

} // namespace shardix
