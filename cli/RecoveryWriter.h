#pragma once

#include "engines/operations/Segmenter.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/StaleVolumes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shardix::cli {

// What segment --recovery asks for: `percent` of the pieces' size in
// recovery blocks of `blockSize` bytes (0: the plan's own choice), written as
// BASEPATH.par2 and its volumes beside the pieces BASEPATH1 .. BASEPATHn.
struct RecoveryRequest {
    std::string sourcePath;
    std::string basePath;
    int percent = 0;
    std::uint64_t blockSize = 0;
    int digits = 0;       // --digits: the pieces' numbers zero-padded to this width
    bool replace = false; // --force: recovery files of those names are replaced
};

// What a cut wrote of recovery files: their names (index first, set once
// they are in place) and the plan they were made by; and the volumes of an
// earlier cut of the same BASEPATH that it removed or left.
struct RecoveryWritten {
    std::vector<std::string> names;
    RecoveryPlan plan;
    StaleVolumes stale;
};

// The consumer of a cut that writes its recovery files from the bytes the cut
// reads: the plan and the names are checked, and refused, before the first
// piece is written. `written` is told what was written.
SourceConsumerMaker recoveryWriter(const RecoveryRequest& request, RecoveryWritten& written);

} // namespace shardix::cli
