#pragma once

#include <string>
#include <vector>

namespace shardix {

// The manifest found for a list of files to join.
struct ManifestSearch {
    std::string path;    // the manifest that lists them; empty when none does
    std::string refusal; // why none can be chosen; empty when one or none was found
};

// Looks for the manifest that governs `inputs`: a ".sha256" file in the folder
// of one of them that lists one of them as a segment, the files compared by
// what they are (device and inode), however they are named. Refuses two
// different manifests that each list some of them, and one that cannot be
// read. A file listed only as the whole file is governed by none.
ManifestSearch findManifest(const std::vector<std::string>& inputs);

} // namespace shardix
