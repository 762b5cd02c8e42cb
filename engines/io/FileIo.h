#pragma once

#include "errors/Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace shardix {

class RunProgress;

// The largest slice that any engine writes at once.
inline constexpr std::int64_t kCopyChunk = 4'000'000;

// Where the copy reserves room on the disk ahead of its writes, it reserves at
// most this much ahead, so that a run killed in the middle leaves little space
// allocated beyond the output's end.
inline constexpr std::int64_t kReserveStep = 32 << 20;

// An open file descriptor that closes itself. Failures raise Failed naming the path.
class FileHandle {
  public:
    FileHandle() = default;
    FileHandle(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // Closes and reports a failure of close (a delayed write error) as Failed.
    void close();

  private:
    int fd_ = -1;
    std::string path_;
};

// Opens an existing file for reading only. Never waits for a writer, should the
// name be a pipe.
FileHandle openInput(const std::string& path);

// Creates `path` for writing; an existing file of that name is emptied. Writes
// go through a symbolic link to its target. Refuses a pipe or a socket rather
// than wait for a reader.
FileHandle createOutput(const std::string& path);

// Opens `path` for writing at its end, creating it when missing. Nothing already
// in the file is changed. Refuses a pipe or a socket as createOutput does.
FileHandle openForAppend(const std::string& path);

// The message that refuses `path` as an output: set when it exists and is a
// folder, a pipe, a socket or a disk device, where writing would fail, wait for
// a reader or overwrite a disk. Files, character devices and names that do not
// exist yet pass.
Result<> refusedOutput(const std::string& path);

// Where the file system can share blocks between files (Btrfs, XFS with
// reflink), the block-aligned part of a copy is handed to it in requests of at
// most this many bytes: each returns in microseconds to milliseconds, so window
// events still run often.
inline constexpr std::int64_t kShareStep = std::int64_t{64} << 20;

// Told, after each piece of a copy, how many of its bytes are written so far.
using CopiedBytes = std::function<void(std::int64_t written)>;

// Copies `length` bytes of `in`, starting at byte `offset` (0-based), to the
// current end position of `out`, in consecutive pieces of at most `copyChunk`
// bytes. Where the byte at `offset` and the output's position fall at the same
// place in a block of the output's file system, the range's whole blocks are
// offered to the file system to share instead (in pieces of at most kShareStep
// bytes); what it refuses, and the range's unaligned head and tail, are copied.
// Before every piece but the first, pending window events run; after
// each, `copied` is told. A short input (the file shrank) is a failure: nothing
// is made up.
void copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               RunProgress& progress, std::int64_t copyChunk = kCopyChunk,
               std::int64_t reserveStep = kReserveStep, const CopiedBytes& copied = {});

// When `progress` asks the run to stop, raises the failure that says so
// (ErrorKind::Stopped), naming `output`, the file being written, and how many
// bytes it holds; with no output, it says that nothing was written.
void stopIfAsked(RunProgress& progress, const std::string& output);
void stopIfAsked(RunProgress& progress, const FileHandle& output);

// Reads exactly `length` bytes of `in` from `offset` into `buffer`; a file that
// ends sooner is a failure.
void readExactly(const FileHandle& in, std::int64_t offset, char* buffer, std::int64_t length);

// True when both paths name the same file (device and inode), through links too.
// False when either does not exist.
bool sameFile(const std::string& a, const std::string& b);

// True when `path` names the file that `file` has open, through links too.
bool sameFile(const FileHandle& file, const std::string& path);

} // namespace shardix
