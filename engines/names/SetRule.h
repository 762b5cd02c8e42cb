#pragma once

// The rule that decides which set a piece belongs to, from its name and the
// names beside it. For PieceSet only.
//
// Every way of reading the piece's name (the text before its number, how the
// number is written, the text after it) gives a set: all the names of its
// folder that read the same way. Such a set stands when it holds the piece
// and another name, and its numbers have fewer holes between its lowest and
// its highest than it has pieces. Readings of the same files in the same
// order are one set. A set gives way to another that holds all its files and
// more when each of its readings gives way to one of the other's, that is
// when
//   - each of its files has the same number in both (the same set, seen in
//     part: "p1" .. "p9" read with one digit within "p1" .. "p12"), or
//   - it is incomplete (its numbers do not run from its first), or
//   - the other is complete and its numbers are of one width ("xb" + one
//     letter within "xaa" .. "xbc"; "p1" + one digit within "p01" .. "p12").
// One set left is the piece's set; more are two different sets that hold the
// piece ("eps_10": piece 10 of "eps_1" .. "eps_11", or piece 0 of split -a 1's
// "eps_10", "eps_11"), and nothing is joined. No answer depends on the order
// of the names.

#include "engines/names/PieceGroups.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix::pieces {

struct RuleOptions {
    // Where a set of decimal numbers begins: a reading under which the
    // piece is numbered below it is none.
    std::optional<std::int64_t> firstNumber;
    // The text before the number, when the user fixes it.
    std::optional<std::string> prefix;
};

// The groups of every name, each judged once.
class SetRule {
  public:
    SetRule(Groups groups, const RuleOptions& options);

    // The sets that stand for the name `entry`, after the rule: one, the
    // piece's; more, each a set that holds it (largest first); none when its
    // name is read in no way (or not with the prefix given).
    std::vector<const Group*> setsOf(std::size_t entry) const;

    const Groups& groups() const { return groups_; }
    // Whether group `g` holds two names or more, with fewer holes between its
    // numbers than it has pieces.
    bool stands(std::size_t g) const { return stands_[g]; }

  private:
    // The groups that read the name `entry`, with the prefix and first
    // number given.
    std::vector<std::size_t> readingsOf(std::size_t entry) const;
    // `standing` grouped by the files they read, in their order.
    std::vector<std::vector<std::size_t>> classesOf(const std::vector<std::size_t>& standing) const;
    bool givesWay(std::size_t reading, std::size_t other) const;
    bool classGivesWay(const std::vector<std::size_t>& c, const std::vector<std::size_t>& d) const;

    Groups groups_;
    RuleOptions options_;
    std::vector<std::vector<std::size_t>> files_; // of each group, sorted
    std::vector<bool> stands_;                    // holds two names or more, few holes
};

} // namespace shardix::pieces
