#pragma once

#include "errors/Error.h"

#include <string>

namespace shardix::cli {

// Whether anything (a file, a folder, a link, even one that leads nowhere) is
// at `path`. Without --force an existing output is left alone.
bool exists(const std::string& path);

// The refusal to replace the existing `path`; `why`, when given, follows
// "already exists" and says what the file is.
Error notReplaced(const std::string& path, const std::string& why = {});

} // namespace shardix::cli
