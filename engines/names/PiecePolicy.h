#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// How Shardix names and counts the pieces it cuts, in one place.

// The most pieces a source is cut into.
inline constexpr int kMaxPieces = 999;

// A manifest is named as its base name, followed by this.
inline constexpr std::string_view kManifestSuffix = ".sha256";

// The widest zero-padded piece numbers asked for (--digits).
inline constexpr int kMaxDigits = 9;

// A join script is named as its base name, followed by this.
inline constexpr std::string_view kJoinScriptSuffix = ".join.sh";
// What follows the base name in the name of the index of a cut's recovery
// files (its volumes are BASE.volNN+MM.par2).
inline constexpr std::string_view kRecoveryIndexSuffix = ".par2";

// The name of piece `number` of `basePath`, with `digits` zero-padded digits
// or none ("p" and 3: "p3"; with 2 digits "p03").
std::string pieceName(const std::string& basePath, std::int64_t number, int digits);

// How many digits `number` has in decimal.
int digitCount(std::int64_t number);

// The manifest of the pieces of `basePath`: `basePath` followed by ".sha256".
std::string manifestPathFor(const std::string& basePath);

// The join script of the pieces of `basePath`: `basePath` followed by ".join.sh".
std::string joinScriptPathFor(const std::string& basePath);

// The index of the recovery files of the pieces of `basePath`: `basePath`
// followed by ".par2".
std::string recoveryIndexPathFor(const std::string& basePath);

// The name that the whole file takes beside the pieces of `basePath` when
// nothing else names it (a stream has no name of its own): the file name of
// `basePath` without the '.', '-' or '_' that ends it ("disk.img" for
// "pieces/disk.img."); empty when nothing is left ("pieces/").
std::string joinedNameOf(const std::string& basePath);

// Whether `path` is named as a manifest is.
bool isManifestName(std::string_view path);

// The number order of pieces: `paths` ordered stably by the length, in
// characters, of their file names (the part after the last "/"), wherever the
// files lie. Names of one base name differ only in their trailing number, and a
// file list shows names of one length in number order, so pieces 1 .. 999 of
// one base name come out in number order from a list in byte order.
void orderByNameLength(std::vector<std::string>& paths);

// `paths` in number order from any order: by the bytes of their file names,
// then by orderByNameLength.
void orderByNumber(std::vector<std::string>& paths);

} // namespace shardix
