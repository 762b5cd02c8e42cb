#pragma once

// What is wrong with a set of pieces: numbers missing or given twice, files
// that are no pieces, sizes that cannot be right. For PieceSet only.

#include "engines/names/FolderListing.h"
#include "engines/names/PieceGroups.h"
#include "engines/names/PieceSet.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace shardix::pieces {

void addProblem(std::vector<SetProblem>& problems, SetProblem::Kind kind, std::string message,
                std::vector<std::string> files);

// The pieces missing from the group's set, and the numbers given twice.
// `shown` names each entry in messages; a missing piece is named by `folder`
// and its name. With `givenList`, two entries of one number are one name given
// twice (the inputs of sortPieces).
// Reports the pieces from number `from` to `to` of `group` as missing, `where`
// saying where they belong.
void missingRun(const Group& group, const std::string& folder, std::int64_t from, std::int64_t to,
                const std::string& where, std::vector<SetProblem>& problems);

// Reports two members of `group` that are one piece number.
void duplicate(const Group& group, const std::string& folder, std::int64_t number,
               const std::string& before, const std::string& name, bool givenList,
               std::vector<SetProblem>& problems);

void numberProblems(const Group& group, const std::vector<std::string>& shown,
                    const std::string& folder, bool givenList, std::vector<SetProblem>& problems);

// Reports the names of `names` outside `group` that give one of its members'
// numbers with other padding ("p.part2" beside "p.part02", "x1" beside "x01").
void paddingDuplicates(const Group& group, const std::vector<std::string>& names,
                       const std::vector<std::string>& shown, std::vector<SetProblem>& problems);

void fileProblems(const PieceSet& set, const std::vector<FolderEntry>& listing,
                  const std::vector<std::size_t>& entries, std::vector<SetProblem>& problems);

// The size that most pieces before the last have, and how many have it.
std::pair<std::int64_t, std::size_t> usualSize(const std::vector<PieceMember>& ms);

// Pieces before the last that are not as long as the others: a file cut by
// size or by count has none. Pieces that are empty up to the end are
// what split -n writes when there are more pieces than bytes.
void sizeProblems(const PieceSet& set, const PieceSetOptions& options,
                  std::vector<SetProblem>& problems);

// Whether most pieces before the last are of one size, as in a set with a
// damaged piece, unlike numbered files of their own (photos, documents).
bool mostlyEven(const PieceSet& set);

// Sets whose names are those of an archive's volumes (name.part1.rar,
// name.r00, name.z01), which are no pieces of one file.
void archiveProblems(const Group& group, const PieceSet& set, std::vector<SetProblem>& problems);

// Names beside the set that continue its numbers with another count of digits
// ("p010" after "p01" .. "p09", "d.1000" after "d.001" .. "d.999").
void continuations(const Group& group, const std::vector<std::string>& names,
                   const std::string& folder, std::vector<SetProblem>& problems);

} // namespace shardix::pieces
