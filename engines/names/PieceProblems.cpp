#include "engines/names/PieceProblems.h"

#include "errors/Quoted.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace shardix::pieces {

void addProblem(std::vector<SetProblem>& problems, SetProblem::Kind kind, std::string message,
                std::vector<std::string> files) {
    problems.push_back({kind, std::move(message), std::move(files), {}});
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
    const std::string what = from == to ? shardix::quoted(files.front()) + " is missing"
                                        : shardix::quoted(files.front()) + " to " +
                                              shardix::quoted(files.back()) + " are missing";
    addProblem(problems, SetProblem::Kind::Missing, what + " " + where + ".", files);
}

// Reports two members of `group` that are one piece number.
void duplicate(const Group& group, const std::string& folder, std::int64_t number,
               const std::string& before, const std::string& name, bool givenList,
               std::vector<SetProblem>& problems) {
    if (givenList)
        addProblem(problems, SetProblem::Kind::Duplicate,
                   shardix::quoted(folder + nameOf(group, number)) + " is given more than once.",
                   {before, name});
    else
        addProblem(problems, SetProblem::Kind::Duplicate,
                   shardix::quoted(before) + " and " + shardix::quoted(name) + " are both piece " +
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
                       shardix::quoted(nameAt(i)) +
                           (group.key.total.empty()
                                ? " is numbered below the set's first piece, " +
                                      std::to_string(group.first) + "."
                                : " names a piece beyond the " + group.key.total +
                                      " that the names say there are."),
                       {nameAt(i)});
            continue;
        }
        if (m.number > expected)
            missingRun(group, folder, expected, m.number - 1,
                       previous ? "between " + shardix::quoted(nameAt(*previous)) + " and " +
                                      shardix::quoted(nameAt(i))
                                : "before " + shardix::quoted(nameAt(i)),
                       problems);
        expected = m.number + 1;
        previous = i;
    }
    if (previous && expected <= group.last)
        missingRun(group, folder, expected, group.last,
                   "after " + shardix::quoted(nameAt(*previous)), problems);
}

void paddingDuplicates(const Group& group, const std::vector<std::string>& names,
                       const std::vector<std::string>& shown, std::vector<SetProblem>& problems) {
    if (!isDecimal(group.key.family))
        return;
    std::map<std::int64_t, std::size_t> entryOf;
    for (const auto& m : group.members)
        entryOf.try_emplace(m.number, m.entry);
    for (std::size_t e = 0; e < names.size(); ++e) {
        if (std::any_of(group.members.begin(), group.members.end(),
                        [&](const auto& m) { return m.entry == e; }))
            continue;
        for (const Reading& reading : readingsOf(names[e])) {
            const Key& key = reading.key;
            const auto member = entryOf.find(reading.number);
            if (!isDecimal(key.family) || key.prefix != group.key.prefix ||
                key.extra != group.key.extra || key == group.key || member == entryOf.end())
                continue;
            addProblem(problems, SetProblem::Kind::Duplicate,
                       shardix::quoted(shown[member->second]) + " and " +
                           shardix::quoted(shown[e]) + " are both piece " +
                           std::to_string(reading.number) + " of the set.",
                       {shown[member->second], shown[e]});
            break;
        }
    }
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
                       shardix::quoted(set.folder + entry.name) + " is a folder, not a piece.",
                       {set.folder + entry.name});
            continue;
        case FolderEntry::Kind::Other:
            addProblem(problems, SetProblem::Kind::NotAFile,
                       shardix::quoted(set.folder + entry.name) + " is not a regular file.",
                       {set.folder + entry.name});
            continue;
        case FolderEntry::Kind::Unreadable:
            addProblem(problems, SetProblem::Kind::NotAFile,
                       "Cannot read " + shardix::quoted(set.folder + entry.name) + ": " +
                           entry.error + ".",
                       {set.folder + entry.name});
            continue;
        }
        const auto [at, added] = seen.try_emplace(entry.id, entry.name);
        if (!added)
            addProblem(problems, SetProblem::Kind::SameFile,
                       shardix::quoted(set.folder + entry.name) + " is the same file as " +
                           shardix::quoted(set.folder + at->second) +
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
// size or by count has none. Pieces that are empty up to the end are
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
                   shardix::quoted(path) + " is " + std::to_string(ms[i].size) + " bytes, " +
                       (ms[i].size < usual ? "shorter" : "longer") + " than " +
                       shardix::quoted(usualPath) + " (" + std::to_string(usual) +
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

} // namespace shardix::pieces

namespace shardix::pieces {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

void archiveProblems(const Group& group, const PieceSet& set, std::vector<SetProblem>& problems) {
    const Key& key = group.key;
    const std::string prefix = lowered(key.prefix);
    const std::string first = shardix::quoted(set.folder + set.members.front().name);
    std::string what;
    if (set.scheme == PieceScheme::PartNumbers && lowered(key.extra) == ".rar")
        what = "the volumes of a RAR archive (name.part1.rar, name.part2.rar ..)";
    else if (key.family == Family::Digits && key.extra.empty() && endsWith(prefix, ".r"))
        what = "the volumes of a RAR archive of the old naming (name.rar, name.r00, name.r01 ..)";
    else if (key.family == Family::Digits && key.extra.empty() && endsWith(prefix, ".z"))
        what = "the volumes of a split zip archive (name.z01, name.z02 .. and name.zip)";
    if (what.empty())
        return;
    addProblem(problems, SetProblem::Kind::NotPieces,
               first + " and the files numbered like it are " + what +
                   ", not the pieces of one file: an archive tool (unrar, 7z, unzip) opens them "
                   "one after the other; joined they give no file.",
               {set.members.front().name});
}

void continuations(const Group& group, const std::vector<std::string>& names,
                   const std::string& folder, std::vector<SetProblem>& problems) {
    if (!isDecimal(group.key.family) || group.members.empty())
        return;
    const std::int64_t next = group.members.back().number + 1;
    std::vector<bool> member(names.size(), false);
    for (const auto& m : group.members)
        member[m.entry] = true;
    std::vector<std::string> found;
    for (std::size_t e = 0; e < names.size(); ++e) {
        if (member[e])
            continue;
        for (const Reading& reading : readingsOf(names[e])) {
            if (isDecimal(reading.key.family) && reading.number == next &&
                reading.key.prefix == group.key.prefix && reading.key.extra == group.key.extra) {
                found.push_back(names[e]);
                break;
            }
        }
    }
    std::sort(found.begin(), found.end());
    for (const std::string& name : found)
        addProblem(problems, SetProblem::Kind::NotPieces,
                   shardix::quoted(folder + name) + " continues the numbering of " +
                       shardix::quoted(folder + names[group.members.back().entry]) +
                       ", with another count of digits: it may be the set's next piece, and is "
                       "not left out without a word.",
                   {folder + name});
}

} // namespace shardix::pieces
