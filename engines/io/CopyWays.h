#pragma once

#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"

#include <cstdint>
#include <vector>

namespace shardix {

// The ways bytes get from an input to an output, for copyRange. Not for use
// elsewhere.

enum class CopyWay {
    Kernel, // copy_file_range: the file system may share blocks or copy on its server
    Pipe,   // splice through a pipe of our own, into space reserved beforehand
    Buffer, // pread and write through memory
};

// The way a copy into `out` starts with.
CopyWay chooseWay(const FileHandle& out);

// A pipe that closes both its ends.
class Pipe {
  public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool isOpen() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    std::int64_t capacity() const { return capacity_; }

  private:
    int fds_[2];
    std::int64_t capacity_ = 0;
};

// Room on the disk reserved a little ahead of the writes into `out`, without
// changing its size: never more than one step ahead, so that a run killed in
// the middle leaves at most a step allocated beyond the output's end. Only a
// help: when the system refuses, the copy goes on without it.
class Reservation {
  public:
    Reservation(const FileHandle& out, std::int64_t length, std::int64_t step);
    // Called before the copy's bytes [from, to) are written; counted from the
    // copy's first byte.
    void cover(std::int64_t from, std::int64_t to);
    // Gives back what was reserved and not written.
    void giveBack();

  private:
    const FileHandle& out_;
    std::int64_t length_;
    std::int64_t step_;
    std::int64_t base_ = 0;       // the output's position where the copy starts
    std::int64_t reservedTo_ = 0; // reserved up to here, from the copy's start
    bool active_ = false;
};

// Copies exactly `length` bytes from `in` at `offset` to the position of `out`,
// the way given or, where that cannot be used between these two files, through
// memory (and `way` becomes Buffer). `pipe` is needed for the Pipe way.
Result<> copyPiece(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
                   CopyWay& way, const Pipe* pipe, std::vector<char>& buffer);

// The size of the blocks of the file system that holds `out`: the unit in
// which it can share data between files. 0 when it cannot be told.
std::int64_t blockSize(const FileHandle& out);

// The part of a copy that may share blocks: after the first `head` bytes, the
// next `blocks` bytes are whole blocks both in the input and in the output.
struct Shareable {
    std::int64_t head = 0;
    std::int64_t blocks = 0;
};

// Of `length` bytes from `offset` of an input to `position` of an output, the
// whole blocks; none unless the two fall at the same place in a block.
Shareable shareablePart(std::int64_t offset, std::int64_t position, std::int64_t length,
                        std::int64_t block);

// Asks the file system to let the `length` bytes of `out` from `position` share
// the blocks that hold those of `in` from `offset` (whole blocks), and puts the
// output's position after them. False where it will not (it cannot share, or
// not between these two files, or not these blocks): the output's position is
// unchanged then, and copying the bytes there writes over whatever part of the
// request it may have done. A failure only where the position cannot be put.
Result<bool> shareBlocks(const FileHandle& in, std::int64_t offset, std::int64_t length,
                         const FileHandle& out, std::int64_t position);

} // namespace shardix
