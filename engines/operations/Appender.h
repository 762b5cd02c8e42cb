#pragma once

#include "engines/io/FileIo.h"
#include "engines/manifest/JoinPlan.h" // refusedAppendTarget
#include "engines/operations/JoinOptions.h"
#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Completes `target`, which holds the beginning of the whole made of `sources`
// (in order), with exactly the bytes of the whole that lie beyond its length.
// A missing target counts as empty and is created. Before anything is written
// the target's bytes are compared with the whole's at the same places (all of
// them for a small target; for a large one, its last MiB, the first and last
// bytes that each source covers, and samples spread over the rest): a target
// that differs is refused, and so is one that cannot be read or is a pipe, a
// socket or a disk device.
// With `expected` (a checksum for each source, and maybe for the whole), every
// source is measured before anything is written, and the target is read again
// from its first byte, beside the copy: the first source whose bytes in the
// target do not match its checksum stops the run, and a target that does not
// match the whole at the end fails it, also when nothing was missing.
Result<> appendFile(const std::vector<std::string>& sources, const std::string& target,
                    RunProgress& progress, const JoinOptions& options = {});

} // namespace shardix
