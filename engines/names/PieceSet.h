#pragma once

#include "engines/names/FolderListing.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// The ways that tools name the pieces of a file, each told from any one piece.
enum class PieceScheme {
    Numbered,      // BASE1 .. BASEN, no leading zeros: this program's names
    Padded,        // BASE01 .., BASE001 ..: zero-padded, from 1 (split --numeric-suffixes=1 too)
    DotNumbers,    // name.ext.001 .. (or .000 ..): three or more digits after a dot
    SplitLetters,  // split's xaa xab .. of any width, widened to xzaaa .. after xyz
    SplitDigits,   // split -d's x00 x01 .., widened to x9000 .. after x89
    PartNumbers,   // name.part1 .. or name.part01 ..
    NumberOfTotal, // name-00001-of-00005.ext ..
};

// How a scheme is named in messages ("name.ext.001 ..").
std::string_view schemeName(PieceScheme scheme);

// How the names of one set are made: all that they share but the number.
struct PieceNaming {
    enum class Number {
        Unpadded, // 1, 2, .. 10: no leading zeros
        Digits,   // `width` digits, widened as split widens them (x89, x9000)
        Letters,  // `width` letters a..z, widened as split widens them (xyz, xzaaa)
        OfTotal,  // `width` digits, then "-of-" and `total`
    };
    Number number = Number::Unpadded;
    std::string prefix; // before the number
    std::string suffix; // after it ("" or from a dot: split's --additional-suffix)
    int width = 0;
    std::string total;    // OfTotal: the count as written
    bool widened = false; // the set has names past split's widening

    // The name of piece `number` ("p" and 12: "p12"; width 3: "p012"; "xzaaa").
    std::string nameOf(std::int64_t number) const;
    // The number of the piece named `name`, when it is a name of this naming.
    std::optional<std::int64_t> numberOf(const std::string& name) const;
};

// One piece of a set, as its folder's listing shows it.
struct PieceMember {
    std::string name;        // in the set's folder
    std::int64_t number = 0; // as its name counts: 1 for "p1" and "p.001", 0 for "xaa"
    std::int64_t size = 0;
    FileId id;
};

// Something that keeps a set from being joined, found before anything is
// written. `message` names the files; `files` lists them.
struct SetProblem {
    enum class Kind {
        Unreadable, // the piece or the folder cannot be read
        NoSet,      // the name is no piece's name, or the folder holds no set
        Missing,    // a piece is missing: before the first given, between two, or after
                    // the last when the names say how many there are
        Duplicate,  // two names give one number (p.part1 and p.part01, xza and xzaaa)
        SameFile,   // two names of the set are one file (links)
        NotAFile,   // a name of the set is a folder, a pipe, a device
        Sizes,      // a piece before the last is not as long as the others
        Ambiguous,  // the piece, or the folder, may belong to more than one set
        NotPieces,  // files that are numbered but are not the pieces of one file
        ListsNone,  // the checksum list named lists none of the pieces, nor the whole
    };
    Kind kind = Kind::NoSet;
    std::string message;
    std::vector<std::string> files;
    // Ambiguous: the text before the number in each reading, as --prefix
    // takes it; the same text twice when the readings differ otherwise.
    std::vector<std::string> prefixes;
};

// A set of pieces found in one folder, in the order they are joined.
struct PieceSet {
    std::string folder; // ends with '/'; "" for the current folder
    PieceScheme scheme = PieceScheme::Numbered;
    PieceNaming naming;
    std::vector<PieceMember> members;
    // The name in `folder` that the joined file takes by the scheme ("disk.img"
    // for disk.img.001 or disk.img.part1); nothing where the names do not tell
    // (split's own x prefix), so that the caller asks for one. A checksum file
    // that names the whole file may tell better.
    std::optional<std::string> baseName;
    // How many pieces the names say there are (name-00001-of-00005).
    std::optional<std::int64_t> declaredCount;
    // Everything that keeps the set from being joined; empty when it can be.
    std::vector<SetProblem> problems;

    bool joinable() const { return !members.empty() && problems.empty(); }
    std::vector<std::string> paths() const;
    bool has(SetProblem::Kind kind) const;
};

struct PieceSetOptions {
    // Asked of each piece before the last whose size differs from the others':
    // true when something else vouches for it (a checksum file that lists it),
    // which lets the size pass. Unset, every such piece is a problem.
    std::function<bool(const PieceMember& member)> sizeVouched;
    // The number of the set's first piece, where the user knows it (split
    // --numeric-suffixes=FROM begins at FROM): no piece below it is missing.
    // Unset, a set of decimal numbers begins at 0 or 1. Ignored by the schemes
    // whose names say where they begin (letters, name-00001-of-00005).
    std::optional<std::int64_t> firstNumber;
    // The text of the names before the number ("eps_" of eps_1 .. eps_11),
    // where the user fixes it: the piece is read only with it.
    std::optional<std::string> prefix;
};

// The set that the piece `pieceOrFolder` belongs to, found among the names of
// its folder, or the one set that the folder `pieceOrFolder` holds (a path
// naming a folder or ending with '/'). Reads the folder; a folder that cannot be
// read is a problem of the result.
PieceSet findPieceSet(const std::string& pieceOrFolder, const PieceSetOptions& options = {});

// The same from a listing of `folder` ("" or ending with '/'): the set that the
// name `piece` belongs to, or with no piece the one set of the folder.
PieceSet findPieceSetIn(const std::string& folder, const std::vector<FolderEntry>& listing,
                        const std::optional<std::string>& piece,
                        const PieceSetOptions& options = {});

// A name of `listing` that, read as `name` is read in some way, makes a set
// of pieces with it (the first by bytes); nothing when `name` is no piece
// beside the others.
std::optional<std::string> fellowPiece(const std::vector<FolderEntry>& listing,
                                       const std::string& name);

// Inputs given in any order, put in the order of their pieces' numbers.
struct SortedPieces {
    std::vector<std::string> paths;
    // The scheme that all the inputs' names share; nothing when they share
    // none, and `paths` are then ordered as a file list orders them when asked
    // to (by the length of the names, then their bytes).
    std::optional<PieceScheme> scheme;
    PieceNaming naming; // when there is a scheme
    // Pieces missing between the first and the last given, or given twice.
    std::vector<SetProblem> problems;
};

// Orders `paths` by the numbers of their names when all of them are pieces of
// one set, in one folder however spelled ("p1", "./p2"). Reads nothing.
SortedPieces sortPieces(const std::vector<std::string>& paths);

} // namespace shardix
