#pragma once

#include "engines/Checksums.h"
#include "engines/Failure.h"
#include "engines/Manifest.h"

#include <string>
#include <vector>

namespace shardix {

// Checks, before anything is written, that `inputs` are the segments that
// `manifest` (read from `manifestPath`) lists: all of them, each once, in the
// manifest's order and each as long as its note says, the files compared by
// identity, so that any spelling of a name or a link to it will do. Fills
// `expected` with the checksums to check the inputs' bytes against, in order,
// and that of the whole file when the manifest has one. A failure names the
// first segment that is missing, not listed, given twice, out of its place or
// of another length, or a line of the manifest that cannot be read.
RunResult matchSegments(const Manifest& manifest, const std::string& manifestPath,
                        const std::vector<std::string>& inputs, Checksums& expected);

} // namespace shardix
