#pragma once

#include "engines/Failure.h"
#include "engines/FileIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Joins the files of `fileList`, in order, into `target`. Before the target is
// created or emptied, every input is measured, and a target that is one of the
// inputs, a pipe, a socket or a disk device is refused: an existing target is
// left as it was. A failure while writing keeps what was written.
RunResult assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                        RunProgress& progress, std::int64_t pieceSize = kPieceSize);

// The refusal of a target that is one of the inputs (also through a link).
std::string targetIsAnInput(const std::string& target);

} // namespace shardix
