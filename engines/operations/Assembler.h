#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Joins the files of `fileList`, in order, into `target`. Before the target is
// created or emptied, every input is measured, and a target that is one of the
// inputs, a pipe, a socket or a disk device is refused: an existing target is
// left as it was. A failure while writing keeps what was written.
// With `expected` (a checksum for each input, and maybe for the whole), the
// target is read back beside the copy: the first input whose bytes there do not
// match its checksum stops the run, and a whole that does not match at the end
// fails it; a target that is not a regular file is then refused.
Result<> assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                       RunProgress& progress, std::int64_t pieceSize = kPieceSize,
                       const Checksums* expected = nullptr);

// The refusal of a target that is one of the inputs (also through a link).
std::string targetIsAnInput(const std::string& target);

// Why `target` cannot take the files of `fileList` (it is one of them, a pipe,
// a socket or a disk device), or nothing when it can.
Result<> refusedTarget(const std::vector<std::string>& fileList, const std::string& target);

} // namespace shardix
