#pragma once

#include "engines/io/FileIo.h"
#include "engines/operations/JoinOptions.h"
#include "errors/Result.h"

#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Joins the files of `fileList`, in order, into the open `output` from its
// position on: standard output, which may be a pipe, a file or a device, and
// which is named by its handle's path in messages. Every input is measured
// before anything is written. With checksums to match (`options.expected`:
// one for each input, empty where an input is not checked, and maybe one for
// the whole), the bytes are hashed as they are written, since they cannot be
// read back: the first input whose bytes do not match its checksum stops the
// run, and a whole that does not match fails it at the end. What was written
// stays written.
Result<> joinToStream(const std::vector<std::string>& fileList, FileHandle& output,
                      RunProgress& progress, const JoinOptions& options = {});

} // namespace shardix
