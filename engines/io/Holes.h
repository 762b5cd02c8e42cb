#pragma once

#include "engines/io/FileIo.h"

#include <cstdint>
#include <optional>

namespace shardix {

// Holes: ranges of a file that hold no blocks on the disk and read as zeros.
// A file system that keeps them (ext4, XFS, Btrfs, tmpfs) tells where they lie
// (SEEK_DATA, SEEK_HOLE); one that cannot tell says that everything is data.

// A run of data in a file: `length` bytes from byte `offset` (0-based).
struct DataRun {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// The first run of data of `file` that starts at `from` or after it and
// before `end`, cut at `end`; none when the bytes from `from` up to `end` all
// lie in a hole. Where the file system cannot tell, all of them are data. A
// file that now ends before `end` is a failure (shortInput): it was changed
// while it was copied, and no zeros are made up for what it lost.
Result<std::optional<DataRun>> nextData(const FileHandle& file, std::int64_t from,
                                        std::int64_t end);

// `run` without the zero bytes at its start among its first `edge` bytes and
// at its end among its last `edge` bytes (all of them when it holds only
// zeros there): a file system keeps whole blocks of data, so the zeros that
// share a block with data lie in the run too. Reads those bytes of `file`.
Result<DataRun> withoutZeroEnds(const FileHandle& file, DataRun run, std::int64_t edge);

// How many of the `length` bytes of `file` from `offset` lie in runs of data:
// what a copy that keeps the holes writes.
Result<std::int64_t> dataBytes(const FileHandle& file, std::int64_t offset, std::int64_t length);

// Whether a copy may leave holes in `out` where its input has them: `out` is
// a regular file, not opened for appending, its position is at its end, and
// its file system keeps holes. That last is told by punching a hole past the
// end, which changes nothing: a file system that can punch one keeps holes by
// definition (ext4, XFS, Btrfs, tmpfs), while those that cannot hold them
// (FAT, exFAT) refuse, as does any other that cannot punch one; there the
// zeros are written. A position past the end would be filled by the holes
// too, and one before it would keep bytes of the file where the holes lie.
bool mayLeaveHoles(const FileHandle& out);

} // namespace shardix
