#pragma once

#include "engines/io/FileIo.h"

#include <cstdint>
#include <string>

namespace shardix {

// An input taken up for copying: open read-only and measured. Exactly the
// length measured here is copied, whatever happens to the file afterwards.
struct MeasuredFile {
    FileHandle file;
    std::int64_t length = 0;
};

// Opens the regular file `path` read-only and measures it. Fails with the
// fixed text of a missing file (its name in file()), with "is a folder" or
// "is not a regular file" for other things of that name, and with the system's
// own cause, naming the file, when it exists but cannot be opened.
Result<MeasuredFile> openMeasured(const std::string& path);

} // namespace shardix
