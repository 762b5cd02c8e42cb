#include "engines/io/Copy.h"

#include "engines/io/CopyWays.h"
#include "engines/io/RunProgress.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace shardix {

namespace {

[[noreturn]] void throwStopped(const std::string& output, std::int64_t length) {
    if (output.empty())
        fail(Error::of(ErrorKind::Stopped, "The run was stopped before anything was written."));
    fail(Error::of(ErrorKind::Stopped, "The run was stopped.  " + shardix::quoted(output) +
                                           " was left with " + std::to_string(length) +
                                           (length == 1 ? " byte." : " bytes.")));
}

// One copyRange: its way, what is written so far, and the events and stop
// requests between its pieces.
class RangeCopy {
  public:
    RangeCopy(const FileHandle& in, std::int64_t offset, FileHandle& out, RunProgress& progress,
              std::int64_t copyChunk, std::int64_t reserveStep, const CopiedBytes& copied)
        : in_(in), offset_(offset), out_(out), progress_(progress), copyChunk_(copyChunk),
          reserveStep_(reserveStep), copied_(copied), way_(chooseWay(out)) {
        if (way_ == CopyWay::Pipe) {
            pipe_.emplace();
            if (!pipe_->isOpen())
                way_ = CopyWay::Kernel;
        }
    }

    // Whether blocks are shared is left to the file system: they are offered
    // until it refuses, and what it refuses is copied.
    void run(std::int64_t length) {
        const off_t position = way_ == CopyWay::Buffer ? -1 : ::lseek(out_.fd(), 0, SEEK_CUR);
        const std::int64_t block = position < 0 ? 0 : blockSize(out_);
        const Shareable part = shareablePart(offset_, position, length, block);
        if (part.blocks > 0) {
            copyUpTo(part.head);
            shareUpTo(part.head + part.blocks, position, block);
        }
        copyUpTo(length);
    }

  private:
    void beforePiece() {
        if (written_ > pumpedAt_) {
            progress_.pumpEvents();
            pumpedAt_ = written_;
        }
        stopIfAsked(progress_, out_);
    }

    void done(std::int64_t bytes) {
        written_ += bytes;
        if (copied_)
            copied_(written_);
    }

    // Offers the whole blocks up to `end` to be shared, until the file system
    // refuses.
    void shareUpTo(std::int64_t end, off_t position, std::int64_t block) {
        const std::int64_t step = std::max(block, kShareStep / block * block);
        while (written_ < end) {
            beforePiece();
            const std::int64_t request = std::min(end - written_, step);
            if (!shareBlocks(in_, offset_ + written_, request, out_, position + written_))
                return;
            done(request);
        }
    }

    // Copies the bytes from what is written up to `end`, into room reserved
    // ahead where the way wants it: never room for blocks that are shared.
    void copyUpTo(std::int64_t end) {
        if (written_ >= end)
            return;
        std::optional<Reservation> reservation;
        if (way_ == CopyWay::Pipe)
            reservation.emplace(out_, end - written_, reserveStep_);
        try {
            copyPieces(end, reservation ? &*reservation : nullptr);
        } catch (...) {
            if (reservation)
                reservation->giveBack();
            throw;
        }
    }

    void copyPieces(std::int64_t end, Reservation* reservation) {
        const std::int64_t start = written_;
        while (written_ < end) {
            beforePiece();
            const std::int64_t piece = std::min(end - written_, copyChunk_);
            if (reservation)
                reservation->cover(written_ - start, written_ - start + piece);
            copyPiece(in_, offset_ + written_, piece, out_, way_, pipe_ ? &*pipe_ : nullptr,
                      buffer_);
            done(piece);
        }
    }

    const FileHandle& in_;
    const std::int64_t offset_;
    FileHandle& out_;
    RunProgress& progress_;
    const std::int64_t copyChunk_;
    const std::int64_t reserveStep_;
    const CopiedBytes& copied_;
    CopyWay way_;
    std::optional<Pipe> pipe_;
    std::vector<char> buffer_; // only where the kernel cannot copy between the two files
    std::int64_t written_ = 0;
    std::int64_t pumpedAt_ = 0; // events last ran before the piece that starts here
};

} // namespace

void copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               RunProgress& progress, std::int64_t copyChunk, std::int64_t reserveStep,
               const CopiedBytes& copied) {
    if (length <= 0)
        return stopIfAsked(progress, out);
    RangeCopy copy(in, offset, out, progress, copyChunk < 1 ? kCopyChunk : copyChunk,
                   reserveStep < 1 ? kReserveStep : reserveStep, copied);
    copy.run(length);
}

void stopIfAsked(RunProgress& progress, const std::string& output) {
    if (!progress.stopRequested())
        return;
    struct stat st {};
    throwStopped(output, !output.empty() && ::stat(output.c_str(), &st) == 0 ? st.st_size : 0);
}

void stopIfAsked(RunProgress& progress, const FileHandle& output) {
    if (!progress.stopRequested())
        return;
    struct stat st {};
    throwStopped(output.path(), ::fstat(output.fd(), &st) == 0 ? st.st_size : 0);
}

} // namespace shardix
