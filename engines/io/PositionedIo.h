#pragma once

#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>

namespace shardix {

// Reads `length` bytes of `file` at `offset`, fewer only at the end of the
// file: the count read. A failure names the file's path.
Result<std::size_t> readAt(const FileHandle& file, std::int64_t offset, void* buffer,
                           std::size_t length);

// Writes all of `length` bytes at `offset` of `file`. A failure names the
// file's path.
Result<> writeAt(const FileHandle& file, std::int64_t offset, const void* bytes,
                 std::size_t length);

} // namespace shardix
