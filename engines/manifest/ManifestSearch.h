#pragma once

#include "errors/Result.h"

#include <string>
#include <vector>

namespace shardix {

// Looks for the manifest that governs `inputs`: a list of checksums (ours, a
// ".sha256" file, or another tool's: ".md5", ".sfv", "SHA1SUMS", ...) in the
// folder of one of them that lists one of them as a piece, the files compared
// by what they are (device and inode), however they are named. Gives its path, or an
// empty one when no manifest lists them. Refuses two different manifests that
// each list some of them, and one that cannot be read. A file listed only as
// the whole file is governed by none.
Result<std::string> findManifest(const std::vector<std::string>& inputs);

} // namespace shardix
