#pragma once

#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace shardix {

// An open file descriptor that closes itself (quietly: a failure to close is
// seen only through close()).
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
    // Lets go of the descriptor without closing it: the caller closes it.
    int release() { return std::exchange(fd_, -1); }

    // Closes, with the failure of close (a delayed write error) naming the path.
    Result<> close();

  private:
    int fd_ = -1;
    std::string path_;
};

// Opens an existing file for reading only. Never waits for a writer, should the
// name be a pipe.
Result<FileHandle> openInput(const std::string& path);

// Creates `path` for writing; an existing file of that name is emptied. Writes
// go through a symbolic link to its target. Refuses a pipe or a socket rather
// than wait for a reader.
Result<FileHandle> createOutput(const std::string& path);

// Opens `path` for writing at its end, creating it when missing. Nothing already
// in the file is changed. Refuses a pipe or a socket as createOutput does.
Result<FileHandle> openForAppend(const std::string& path);

// The message that refuses `path` as an output: set when it exists and is a
// folder, a pipe, a socket or a disk device, where writing would fail, wait for
// a reader or overwrite a disk. Files, character devices and names that do not
// exist yet pass.
Result<> refusedOutput(const std::string& path);

// Writes all `length` bytes of `bytes` at the position of `out`, a short write
// continued; a failure names `out`.
Result<> writeExactly(const FileHandle& out, const char* bytes, std::int64_t length);

// Reads exactly `length` bytes of `in` from `offset` into `buffer`; a file that
// ends sooner is a failure (shortInput).
Result<> readExactly(const FileHandle& in, std::int64_t offset, char* buffer, std::int64_t length);

// True when both paths name the same file (device and inode), through links too.
// False when either does not exist.
bool sameFile(const std::string& a, const std::string& b);

// True when `path` names the file that `file` has open, through links too.
bool sameFile(const FileHandle& file, const std::string& path);

// The failure of an input that ends before the length it was measured at: it
// was changed while it was copied.
Error shortInput(const FileHandle& in);

} // namespace shardix
