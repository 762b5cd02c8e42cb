#include "engines/manifest/SetChecksums.h"

#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>

namespace shardix {

namespace {

// `text` ending with a full stop.
std::string sentence(std::string text) {
    if (text.empty() || text.back() != '.')
        text += '.';
    return text;
}

// "p1" for "./p1"; the name as written when it has folders in it.
std::string plainName(const std::string& name) {
    std::string normal = std::filesystem::path(name).lexically_normal().string();
    return normal.empty() ? name : normal;
}

std::string where(const std::string& listPath, const ChecksumEntry& entry) {
    return shardix::quoted(listPath) + " (line " + std::to_string(entry.line) + ")";
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
        governMembership();
        return std::move(match_);
    }

  private:
    void add(SetProblem::Kind kind, std::string message, std::vector<std::string> files) {
        match_.problems.push_back({kind, std::move(message), std::move(files), {}});
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

    // A list that lists pieces of the set says which files are its pieces: a
    // numbered file that it leaves out is no piece to join without a word.
    void governMembership() {
        if (match_.listed() == 0)
            return;
        for (std::size_t i = 0; i < match_.pieces.size(); ++i) {
            if (match_.pieces[i])
                continue;
            const std::string path = set_.folder + set_.members[i].name;
            add(SetProblem::Kind::NotPieces,
                shardix::quoted(path) + " is numbered as a piece of the set, but " +
                    shardix::quoted(listPath_) + ", which lists its pieces, does not list it.",
                {path, listPath_});
        }
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

ListsBeside checksumListsBeside(const PieceSet& set, const std::vector<FolderEntry>& listing,
                                const IdentifyName& identify) {
    ListsBeside found;
    std::vector<const FolderEntry*> lists;
    for (const FolderEntry& entry : listing) {
        if (entry.kind != FolderEntry::Kind::Folder && isChecksumListName(entry.name))
            lists.push_back(&entry);
    }
    // The same answer whatever the order of the listing.
    std::sort(lists.begin(), lists.end(),
              [](const FolderEntry* a, const FolderEntry* b) { return a->name < b->name; });
    for (const FolderEntry* entry : lists) {
        const std::string path = set.folder + entry->name;
        const Result<ChecksumList> read = readChecksumList(path);
        if (!read.ok()) {
            found.unreadable.push_back({SetProblem::Kind::Unreadable,
                                        "The list of checksums " + shardix::quoted(path) +
                                            " beside the pieces cannot be read: " +
                                            sentence(read.error().causeOrMessage()),
                                        {path},
                                        {}});
            continue;
        }
        const ChecksumList& list = *read;
        if (!list.problems.empty())
            found.unreadable.push_back(
                {SetProblem::Kind::Unreadable,
                 "The list of checksums " + shardix::quoted(path) +
                     " beside the pieces cannot be read: " + list.problems.front() + ".",
                 {path},
                 {}});
        SetChecksums match = matchChecksums(list, path, set, identify);
        // A list of the whole file alone (a .crc file) goes with the set whose
        // base name it names, or is named for; or with a set that has none.
        const bool forThisSet = !set.baseName ||
                                (match.whole && match.whole->name == *set.baseName) ||
                                entry->name == *set.baseName + ".crc";
        if (!match.whole && list.format == ChecksumFormat::CrcFile && forThisSet &&
            !list.entries.empty())
            match.whole = list.entries.front();
        if (match.listed() > 0 || (match.whole && forThisSet))
            found.matched.push_back(std::move(match));
    }
    std::stable_sort(found.matched.begin(), found.matched.end(),
                     [](const SetChecksums& a, const SetChecksums& b) {
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

} // namespace shardix
