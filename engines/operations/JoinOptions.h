#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"

#include <cstdint>

namespace shardix {

// How assemble and append join their files.
struct JoinOptions {
    // The largest slice copied at once.
    std::int64_t copyChunk = kCopyChunk;
    // The checksums the files' bytes must match (one for each file, and maybe
    // one for the whole), from a manifest; none: nothing is checked.
    const Checksums* expected = nullptr;
};

} // namespace shardix
