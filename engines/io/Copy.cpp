#include "engines/io/Copy.h"

#include "engines/io/CopyWays.h"
#include "engines/io/Holes.h"
#include "engines/io/RunProgress.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace shardix {

namespace {

Error stopped(const std::string& output, std::int64_t length) {
    if (output.empty())
        return Error::of(ErrorKind::Stopped, "The run was stopped before anything was written.");
    return Error::of(ErrorKind::Stopped, "The run was stopped.  " + shardix::quoted(output) +
                                             " was left with " + std::to_string(length) +
                                             (length == 1 ? " byte." : " bytes."));
}

// One copyRange: its way, what is written so far, and the events and stop
// requests between its pieces. Its steps raise their failures (valueOrRaise,
// fail), which copyRange turns back into a value.
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
        start_ = way_ == CopyWay::Buffer ? -1 : ::lseek(out_.fd(), 0, SEEK_CUR);
        block_ = start_ < 0 ? 0 : blockSize(out_);
    }

    // Every byte, the zeros of the input's holes too.
    void run(std::int64_t length) { copyData(length); }

    // Only the input's runs of data; its holes are passed over in the output,
    // which becomes as long as the range at the end.
    // Where the output's blocks do not lie over the input's, the zeros at the
    // ends of a run (in its first and last block) are left out too: they
    // would take a block more of the output at each end.
    void runKeepingHoles(std::int64_t length) {
        const std::int64_t end = offset_ + length;
        const bool blocksApart = block_ <= 0 || (offset_ - start_) % block_ != 0;
        for (auto data = valueOrRaise(nextData(in_, offset_, end)); data;
             data = valueOrRaise(nextData(in_, data->offset + data->length, end))) {
            const DataRun kept =
                blocksApart ? valueOrRaise(
                                  withoutZeroEnds(in_, *data, std::max<std::int64_t>(block_, 4096)))
                            : *data;
            if (kept.length == 0)
                continue;
            skipTo(kept.offset - offset_);
            copyData(kept.offset + kept.length - offset_);
        }
        if (written_ == length)
            return;
        beforePiece();
        skipTo(length);
        if (::ftruncate(out_.fd(), start_ + length) != 0)
            fail(Error::fromErrno(errno, "write", out_.path()));
        done(0);
    }

  private:
    // Copies the bytes from what is written up to `end`. Whether blocks are
    // shared is left to the file system: the range's whole blocks are offered
    // until it refuses, and what it refuses is copied.
    void copyData(std::int64_t end) {
        const Shareable part =
            shareRefused_ ? Shareable{}
                          : shareablePart(offset_ + written_, start_ < 0 ? -1 : start_ + written_,
                                          end - written_, block_);
        if (part.blocks > 0) {
            const std::int64_t from = written_;
            copyUpTo(from + part.head);
            shareUpTo(from + part.head + part.blocks);
        }
        copyUpTo(end);
    }

    // Moves the output's position on to byte `at` of the range, over a hole.
    // Blocks that the file system allocated past the output's end ahead of
    // the writes (XFS does) are freed first: a write or a length past them
    // would fill them with zeros. Only a help: the bytes are the same either
    // way.
    void skipTo(std::int64_t at) {
        if (at <= written_)
            return;
        (void)::fallocate(out_.fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, start_ + written_,
                          at - written_);
        if (::lseek(out_.fd(), start_ + at, SEEK_SET) < 0)
            fail(Error::fromErrno(errno, "write", out_.path()));
        written_ = at;
    }

    void beforePiece() {
        if (written_ > pumpedAt_) {
            progress_.pumpEvents();
            pumpedAt_ = written_;
        }
        valueOrRaise(stopIfAsked(progress_, out_));
    }

    void done(std::int64_t bytes) {
        written_ += bytes;
        if (copied_)
            copied_(written_);
    }

    // Offers the whole blocks up to `end` to be shared, until the file system
    // refuses.
    void shareUpTo(std::int64_t end) {
        const std::int64_t step = std::max(block_, kShareStep / block_ * block_);
        while (written_ < end) {
            beforePiece();
            const std::int64_t request = std::min(end - written_, step);
            if (!valueOrRaise(
                    shareBlocks(in_, offset_ + written_, request, out_, start_ + written_))) {
                shareRefused_ = true;
                return;
            }
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
            valueOrRaise(copyPiece(in_, offset_ + written_, piece, out_, way_,
                                   pipe_ ? &*pipe_ : nullptr, buffer_));
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
    off_t start_;              // the output's position at the range's start; -1: none
    std::int64_t block_;       // of the output's file system; 0: nothing is shared
    bool shareRefused_ = false;
    std::int64_t written_ = 0;
    std::int64_t pumpedAt_ = 0; // events last ran before the piece that starts here
};

} // namespace

Result<> copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
                   RunProgress& progress, std::int64_t copyChunk, std::int64_t reserveStep,
                   const CopiedBytes& copied, Holes holes) {
    if (length <= 0)
        return stopIfAsked(progress, out);
    return guarded([&]() -> Result<> {
        RangeCopy copy(in, offset, out, progress, copyChunk < 1 ? kCopyChunk : copyChunk,
                       reserveStep < 1 ? kReserveStep : reserveStep, copied);
        if (holes == Holes::Kept && mayLeaveHoles(out))
            copy.runKeepingHoles(length);
        else
            copy.run(length);
        return {};
    });
}

Result<> stopIfAsked(RunProgress& progress, const std::string& output) {
    if (!progress.stopRequested())
        return {};
    struct stat st {};
    return stopped(output, !output.empty() && ::stat(output.c_str(), &st) == 0 ? st.st_size : 0);
}

Result<> stopIfAsked(RunProgress& progress, const FileHandle& output) {
    if (!progress.stopRequested())
        return {};
    struct stat st {};
    return stopped(output.path(), ::fstat(output.fd(), &st) == 0 ? st.st_size : 0);
}

} // namespace shardix
