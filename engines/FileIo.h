#pragma once

#include <cstdint>
#include <string>

namespace shardix {

class EngineUi;

// The largest slice that any engine writes at once.
inline constexpr std::int64_t kPieceSize = 4'000'000;

// An open file descriptor that closes itself. Failures raise AppError naming the path.
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

    // Closes and reports a failure of close (a delayed write error) as AppError.
    void close();

private:
    int fd_ = -1;
    std::string path_;
};

// Opens an existing file for reading only.
FileHandle openInput(const std::string& path);

// Creates `path` for writing; an existing file of that name is emptied. Writes
// go through a symbolic link to its target.
FileHandle createOutput(const std::string& path);

// Opens `path` for writing at its end, creating it when missing. Nothing already
// in the file is changed.
FileHandle openForAppend(const std::string& path);

// Copies `length` bytes of `in`, starting at byte `offset` (0-based), to the
// current end position of `out`, in consecutive pieces of at most `pieceSize`
// bytes. Before every piece but the first, pending window events run. A short
// input (the file shrank) is a failure: nothing is made up.
void copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               EngineUi& ui, std::int64_t pieceSize = kPieceSize);

// True when both paths name the same file (device and inode), through links too.
// False when either does not exist.
bool sameFile(const std::string& a, const std::string& b);

// True when `path` names the file that `file` has open, through links too.
bool sameFile(const FileHandle& file, const std::string& path);

} // namespace shardix
