#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// How Shardix names and counts the pieces it cuts, in one place.

// The most segments a source is cut into.
inline constexpr int kMaxSegments = 999;

// A manifest is named as its base name, followed by this.
inline constexpr std::string_view kManifestSuffix = ".sha256";

// The manifest of the segments of `basePath`: `basePath` followed by ".sha256".
std::string manifestPathFor(const std::string& basePath);

// Whether `path` is named as a manifest is.
bool isManifestName(std::string_view path);

// The number order of segments: `paths` ordered stably by the length, in
// characters, of their file names (the part after the last "/"), wherever the
// files lie. Names of one base name differ only in their trailing number, and a
// file list shows names of one length in number order, so segments 1 .. 999 of
// one base name come out in number order from a list in byte order.
void orderByNameLength(std::vector<std::string>& paths);

// `paths` in number order from any order: by the bytes of their file names,
// then by orderByNameLength.
void orderByNumber(std::vector<std::string>& paths);

} // namespace shardix
