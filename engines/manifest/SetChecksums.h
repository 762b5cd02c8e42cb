#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/names/PieceSet.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

// What a file is, for a name relative to a list's folder; nothing when there
// is no such file.
using IdentifyName = std::function<std::optional<FileId>(const std::string& name)>;

// A checksum list matched with a set of pieces: which of its entries are which
// pieces, found by what the files are, however the list spells their names.
struct SetChecksums {
    std::string path; // the list
    ChecksumList list;
    // One for each member of the set, in its order: the entry that checks it.
    std::vector<std::optional<ChecksumEntry>> pieces;
    // The entry that checks the joined file.
    std::optional<ChecksumEntry> whole;
    // Pieces of the set that the list names but that are not there.
    std::vector<std::string> missing;
    // Everything that keeps the list from checking the set as it is: pieces of
    // another length than it says, listed pieces missing, names that lead out of
    // its folder, lines that cannot be read; each names the file.
    std::vector<SetProblem> problems;
    // What does not keep the set from being joined but is worth telling: names
    // that lead out of the list's folder (not read), lines that cannot be read.
    std::vector<std::string> notes;

    // How many members have an entry.
    std::size_t listed() const;
    // The checksums to check the set's bytes against, one for each member in
    // order (empty for one the list leaves out), and the whole file's.
    Checksums expected() const;
    bool listsEveryPiece() const { return listed() == pieces.size() && !pieces.empty(); }
};

// Matches `list`, read from `listPath` beside the set's pieces, with `set`.
// `identify` tells what a name in the list is (see identifyIn). An entry that
// the list marks as the whole file (ours, a .crc file), or whose name is the
// set's base name, checks the joined file.
SetChecksums matchChecksums(const ChecksumList& list, const std::string& listPath,
                            const PieceSet& set, const IdentifyName& identify);

// Tells names by the folder's listing: a name of the folder itself ("p1",
// "./p1"); names in other folders are nothing.
IdentifyName identifyIn(const std::vector<FolderEntry>& listing);

// Tells names by looking them up in `folder` ("" or ending with '/').
IdentifyName identifyOnDisk(const std::string& folder);

// The checksum lists in the set's folder (by name, isChecksumListName): those
// that list its pieces or name its joined file, the best first (the most
// pieces listed, then one that checks the whole file too), and every one that
// cannot be read, or has lines that cannot be, each named with why.
struct ListsBeside {
    std::vector<SetChecksums> matched;
    std::vector<SetProblem> unreadable;
};
ListsBeside checksumListsBeside(const PieceSet& set, const std::vector<FolderEntry>& listing,
                                const IdentifyName& identify);

} // namespace shardix
