#include "engines/manifest/JoinPlan.h"

#include "engines/io/FileIo.h"
#include "engines/manifest/ChecksumFile.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <set>

namespace shardix {

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
                      {set.members.front().name},
                      {}};
}

// The lists that check the set: the one named, or those beside it.
struct FoundLists {
    std::optional<SetChecksums> chosen;
    std::vector<SetProblem> unreadable;
    std::vector<std::string> others; // lists that list the pieces too, not used
};

FoundLists listsFor(const PieceSet& set, const std::optional<std::string>& listPath) {
    FoundLists found;
    if (set.members.empty())
        return found;
    if (listPath) {
        const Result<ChecksumList> list = readChecksumList(*listPath);
        if (!list.ok()) {
            SetChecksums broken;
            broken.path = *listPath;
            broken.problems.push_back(
                {SetProblem::Kind::Unreadable, list.error().message, {*listPath}, {}});
            found.chosen = std::move(broken);
            return found;
        }
        found.chosen =
            matchChecksums(*list, *listPath, set, identifyOnDisk(splitPath(*listPath).first));
        return found;
    }
    const Result<std::vector<FolderEntry>> listing = listFolder(set.folder);
    if (!listing.ok())
        return found;
    ListsBeside beside = checksumListsBeside(set, *listing, identifyOnDisk(set.folder));
    found.unreadable = std::move(beside.unreadable);
    for (std::size_t i = 0; i < beside.matched.size(); ++i) {
        if (i == 0)
            found.chosen = std::move(beside.matched.front());
        else if (beside.matched[i].listed() > 0)
            found.others.push_back(beside.matched[i].path);
    }
    return found;
}

// The pieces that the list checks, whatever their sizes.
PieceSetOptions vouchedBy(const JoinPlan& plan, PieceSetOptions options) {
    std::set<FileId> listed;
    for (std::size_t i = 0; i < plan.checks->pieces.size(); ++i) {
        if (plan.checks->pieces[i])
            listed.insert(plan.set.members[i].id);
    }
    options.sizeVouched = [listed](const PieceMember& m) { return listed.count(m.id) > 0; };
    return options;
}

void takeLists(JoinPlan& plan, FoundLists found) {
    plan.checks = std::move(found.chosen);
    plan.problems = plan.set.problems;
    plan.problems.insert(plan.problems.end(), found.unreadable.begin(), found.unreadable.end());
    plan.notes.clear();
    if (!plan.checks)
        return;
    plan.problems.insert(plan.problems.end(), plan.checks->problems.begin(),
                         plan.checks->problems.end());
    plan.notes = plan.checks->notes;
    for (const std::string& other : found.others)
        plan.notes.push_back(shardix::quoted(other) +
                             " lists pieces of the set too; they are checked "
                             "against " +
                             shardix::quoted(plan.checks->path) + " only.");
}

} // namespace

JoinPlan planJoin(const std::string& pieceOrFolder, const std::optional<std::string>& listPath,
                  bool checked, const PieceSetOptions& setOptions) {
    JoinPlan plan;
    plan.set = findPieceSet(pieceOrFolder, setOptions);
    if (checked)
        takeLists(plan, listsFor(plan.set, listPath));
    else
        plan.problems = plan.set.problems;
    if (plan.checks && plan.checks->listed() > 0 && plan.set.has(SetProblem::Kind::Sizes)) {
        plan.set = findPieceSet(pieceOrFolder, vouchedBy(plan, setOptions));
        takeLists(plan, listsFor(plan.set, listPath));
    }
    if (plan.checks) {
        const auto& whole = plan.checks->whole;
        if (whole && staysInFolder(whole->name) && whole->name.find('/') == std::string::npos)
            plan.outputName = whole->name;
    }
    if (!plan.outputName)
        plan.outputName = plan.set.baseName;
    if (const std::optional<SetProblem> alone = lonePiece(plan))
        plan.problems.push_back(*alone);
    // A list named that checks nothing of the set is a mistake, not a check.
    if (listPath && plan.problems.empty() && plan.checks && plan.checks->listed() == 0 &&
        !plan.checks->whole && !plan.set.members.empty())
        plan.problems.push_back({SetProblem::Kind::ListsNone,
                                 shardix::quoted(*listPath) + " lists none of the pieces " +
                                     sampleOf(plan.set) + ", nor the file they join into.",
                                 {*listPath},
                                 {}});
    return plan;
}

std::string sampleOf(const PieceSet& set) {
    const std::string first = shardix::quoted(set.folder + set.members.front().name);
    if (set.members.size() == 1)
        return first;
    return first + " .. " + shardix::quoted(set.folder + set.members.back().name) + " (" +
           std::to_string(set.members.size()) + " pieces)";
}

namespace {

// Whether the list lists `target` (by what it is, or by its name where there
// is no such file) other than as the joined file.
bool listsAsPiece(const SetChecksums& checks, const std::string& target, bool exists,
                  const FileId& targetId) {
    const auto [listFolderPath, listName] = splitPath(checks.path);
    const auto [targetFolder, targetName] = splitPath(target);
    const IdentifyName identify = identifyOnDisk(listFolderPath);
    for (const ChecksumEntry& entry : checks.list.entries) {
        if (entry.role == ChecksumEntry::Role::Whole || !staysInFolder(entry.name) ||
            (checks.whole && entry.name == checks.whole->name))
            continue;
        const std::optional<FileId> listed = identify(entry.name);
        if (exists ? listed.has_value() && *listed == targetId
                   : !listed && entry.name == targetName &&
                         sameFile(listFolderPath.empty() ? "." : listFolderPath,
                                  targetFolder.empty() ? "." : targetFolder))
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> targetRefusal(const std::string& target, const JoinPlan& plan) {
    const auto [folder, name] = splitPath(target);
    const FolderEntry found = statEntry(target, name);
    const bool exists = found.kind != FolderEntry::Kind::Unreadable;
    const std::string shown = shardix::quoted(target);
    for (const PieceMember& member : plan.set.members) {
        if (exists && member.id == found.id)
            return shown + " is " +
                   (member.name == name
                        ? "one of the pieces"
                        : "the piece " + shardix::quoted(plan.set.folder + member.name)) +
                   ": joining into it would destroy it.";
    }
    if (plan.checks && exists && sameFile(target, plan.checks->path))
        return shown + " is the list of checksums that the pieces are checked against.";
    if (plan.checks && listsAsPiece(*plan.checks, target, exists, found.id))
        return shown + " is listed in " + shardix::quoted(plan.checks->path) +
               " as a piece: it is not written over.";
    // A name that is not there yet has no fellows to look for.
    const Result<std::vector<FolderEntry>> listing =
        exists ? listFolder(folder) : std::vector<FolderEntry>{};
    if (listing.ok()) {
        if (const std::optional<std::string> fellow = fellowPiece(*listing, name))
            return shown + " is named as a piece of a set, with " +
                   shardix::quoted(folder + *fellow) + ": it is not written over.";
    }
    return std::nullopt;
}

} // namespace shardix
