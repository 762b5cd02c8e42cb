#pragma once

#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <string>

namespace shardix::cli {

// "-" as an output (join --output -, assemble - INPUT...): standard output.
bool isStandardOutput(const std::string& target);

// Standard output as an output, refused when it is a terminal, where the bytes
// would only scroll by: a handle of its own (a duplicate), named "standard
// output" in messages.
Result<FileHandle> openStandardOutput();

} // namespace shardix::cli
