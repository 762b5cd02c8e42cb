#pragma once

// Names grouped by what they share, each group judged as a set. For PieceSet
// and SetRule only.

#include "engines/names/PieceReadings.h"
#include "engines/names/PieceSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace shardix::pieces {

// A group of names that share a key, and what they say of the set.
struct Group {
    Key key;
    struct Member {
        std::int64_t number;
        std::size_t entry;
        bool widened;
    };
    std::vector<Member> members;

    // Filled by evaluate().
    std::int64_t first = 0; // the number the set starts with
    std::int64_t last = 0;  // the highest number it should have
    std::int64_t distinct = 0;
    std::int64_t missing = 0;
    bool complete = false;
};

// Builds the groups of every reading of every name of `names`.
struct Groups {
    std::vector<Group> all;
    std::vector<std::vector<std::size_t>> ofEntry; // the groups of each name
};

bool anyWidened(const Group& group);

// The name of piece `number` of the group's set.
std::string nameOf(const Group& group, std::int64_t number);

PieceNaming namingOf(const Group& group);

Key keyOf(const PieceNaming& naming);

// Fills in what the group's members say of its set. `firstNumber`, when
// given, is where a set of decimal numbers begins (split --numeric-suffixes).
void evaluate(Group& group, std::optional<std::int64_t> firstNumber = std::nullopt);

bool isDecimal(Family family);

// Lower is preferred, among groups of equal merit that read the same names:
// not a prefix that ends in the zeros of padded numbers ("p0" of p01 .. p09),
// a prefix that ends with a separator or is split's "x" ("big.iso." rather
// than "big.iso.00"), our own numbers, then the widest number.
std::tuple<int, int, int, int, std::size_t> preference(const Group& group);

PieceScheme schemeOf(const Group& group);

std::optional<std::string> baseNameOf(const Group& group, PieceScheme scheme);

Groups groupNames(const std::vector<std::string>& names);

} // namespace shardix::pieces
