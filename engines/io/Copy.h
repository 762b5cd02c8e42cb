#pragma once

#include "engines/io/FileIo.h"

#include <cstdint>
#include <functional>
#include <string>

namespace shardix {

class RunProgress;

// The largest slice that any engine writes at once.
inline constexpr std::int64_t kCopyChunk = 4'000'000;

// Where the copy reserves room on the disk ahead of its writes, it reserves at
// most this much ahead, so that a run killed in the middle leaves little space
// allocated beyond the output's end.
inline constexpr std::int64_t kReserveStep = 32 << 20;

// Where the file system can share blocks between files (Btrfs, XFS with
// reflink), the block-aligned part of a copy is handed to it in requests of at
// most this many bytes: each returns in microseconds to milliseconds, so window
// events still run often.
inline constexpr std::int64_t kShareStep = std::int64_t{64} << 20;

// Told, after each piece of a copy, how many of its bytes are written so far.
// It reports nothing back, and raises nothing.
using CopiedBytes = std::function<void(std::int64_t written)>;

// Whether a copy leaves holes in its output where its input has them, or
// writes their zeros.
enum class Holes {
    Kept,    // where the output can hold them (mayLeaveHoles in Holes.h)
    Written, // always: an output that others read as a stream
};

// Copies `length` bytes of `in`, starting at byte `offset` (0-based), to the
// current end position of `out`, in consecutive pieces of at most `copyChunk`
// bytes. With Holes::Kept, where the output can hold holes, only the input's
// runs of data are copied: its holes are passed over, so that they are holes
// in the output too, and the output is made as long as the range at the end.
// Where the byte at `offset` and the output's position fall at the same place
// in a block of the output's file system, the range's (or the run's) whole
// blocks are offered to the file system to share instead (in pieces of at
// most kShareStep bytes); what it refuses, and the unaligned head and tail,
// are copied.
// Before every piece but the first, pending window events run, and a run asked
// to stop stops (stopIfAsked); after each, `copied` is told. A short input (the
// file shrank) is a failure (shortInput): nothing is made up.
Result<> copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
                   RunProgress& progress, std::int64_t copyChunk = kCopyChunk,
                   std::int64_t reserveStep = kReserveStep, const CopiedBytes& copied = {},
                   Holes holes = Holes::Kept);

// When `progress` asks the run to stop, the failure that says so
// (ErrorKind::Stopped), naming `output`, the file being written, and how many
// bytes it holds; with no output, it says that nothing was written.
Result<> stopIfAsked(RunProgress& progress, const std::string& output);
Result<> stopIfAsked(RunProgress& progress, const FileHandle& output);

} // namespace shardix
