#pragma once

#include "engines/io/FileIo.h"
#include "engines/manifest/JoinPlan.h" // refusedTarget
#include "engines/operations/JoinOptions.h"
#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Joins the files of `fileList`, in order, into `target`. Before the target is
// touched, every input is measured, and a target that is one of the inputs, a
// pipe, a socket or a disk device is refused. An existing file is replaced only
// when the new one is complete (it is written beside it): a failure leaves it
// as it was. A new target keeps what was written when the run fails.
// With checksums to match (`options.expected`: one for each input, and maybe
// one for the whole), the target is read back beside the copy: the first input
// whose bytes there do not match its checksum stops the run, and a whole that
// does not match at the end fails it; a target that is not a regular file is
// then refused.
Result<> assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                       RunProgress& progress, const JoinOptions& options = {});

} // namespace shardix
