#include "engines/operations/StreamJoin.h"

#include "engines/io/Copy.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/RunProgress.h"
#include "engines/operations/OutputCheck.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <optional>

namespace shardix {

namespace {

// The bytes of a checked join pass through memory in slices of 1 MiB: read,
// written, then handed to the checksums' threads.
constexpr std::int64_t kSlice = 1 << 20;

// One join into a stream: the inputs as measured and how far it has got.
class StreamJoinRun {
  public:
    StreamJoinRun(const std::vector<std::string>& fileList, FileHandle& output,
                  RunProgress& progress, const JoinOptions& options)
        : fileList_(fileList), output_(output), progress_(progress), options_(options) {}

    Result<> run() {
        for (const std::string& entry : fileList_)
            lengths_.push_back(valueOrRaise(openMeasured(entry)).length);
        total_ = std::accumulate(lengths_.begin(), lengths_.end(), std::int64_t{0});
        progress_.setProgressMin(1);
        progress_.setProgressMax(count());
        progress_.setProgressValue(1);
        progress_.setProgressVisible(true);
        if (options_.expected)
            check_.emplace(output_.path(), fileList_, lengths_, *options_.expected);
        for (std::size_t k = 0; k < fileList_.size(); ++k) {
            if (Result<> copied = copyInput(k); !copied.ok())
                return copied;
        }
        progress_.setProgressValue(count());
        if (check_) {
            if (done_ != total_)
                return Error::of(ErrorKind::Refused, "The files written to " + output_.path() +
                                                         " changed while they were copied.");
            const Checksums found = valueOrRaise(check_->readAll(progress_));
            if (Result<> checked = check_->compareAll(found); !checked.ok())
                return checked;
        }
        if (Result<> closed = output_.close(); !closed.ok())
            return closed;
        progress_.setBytesDone(total_, total_);
        return {};
    }

    // A stop names what was written, which a stream cannot tell of itself.
    Error failed(const Error& error) const {
        if (!error.stopped())
            return error;
        return Error::of(ErrorKind::Stopped, "The run was stopped after " +
                                                 std::to_string(written_) +
                                                 (written_ == 1 ? " byte was" : " bytes were") +
                                                 " written to " + output_.path() + ".");
    }

  private:
    int count() const {
        return static_cast<int>(std::clamp<std::size_t>(fileList_.size(), 1, INT_MAX));
    }

    Result<> copyInput(std::size_t k) {
        progress_.pumpEvents();
        // Taken up again: it may have changed since it was measured.
        const MeasuredFile input = valueOrRaise(openMeasured(fileList_[k]));
        const std::int64_t start = done_;
        if (check_)
            copyChecked(input);
        else
            valueOrRaise(copyRange(
                input.file, 0, input.length, output_, progress_, options_.copyChunk, kReserveStep,
                [&](std::int64_t written) { showCopied(start + written); },
                Holes::Written)); // a stream's reader gets every byte
        done_ = start + input.length;
        if (k + 2 <= fileList_.size())
            progress_.setProgressValue(static_cast<int>(k) + 2);
        if (check_)
            return check_->rangesSoFar();
        return {};
    }

    // Read, written, and hashed as written: a stream cannot be read back.
    void copyChecked(const MeasuredFile& input) {
        buffer_.resize(static_cast<std::size_t>(kSlice));
        for (std::int64_t at = 0; at < input.length;) {
            valueOrRaise(stopIfAsked(progress_, output_.path()));
            const std::int64_t n = std::min(kSlice, input.length - at);
            valueOrRaise(readExactly(input.file, at, buffer_.data(), n));
            valueOrRaise(writeExactly(output_, buffer_.data(), n));
            valueOrRaise(check_->feed(buffer_.data(), n));
            at += n;
            showCopied(done_ + at);
        }
    }

    void showCopied(std::int64_t written) {
        written_ = written;
        progress_.setBytesDone(check_ ? std::min(written, check_->checked()) : written, total_);
    }

    const std::vector<std::string>& fileList_;
    FileHandle& output_;
    RunProgress& progress_;
    const JoinOptions& options_;
    std::vector<std::int64_t> lengths_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;    // of the inputs copied whole
    std::int64_t written_ = 0; // bytes written
    std::vector<char> buffer_;
    std::optional<OutputCheck> check_;
};

} // namespace

Result<> joinToStream(const std::vector<std::string>& fileList, FileHandle& output,
                      RunProgress& progress, const JoinOptions& options) {
    if (options.expected && options.expected->parts.size() != fileList.size())
        return Error::of(ErrorKind::Refused, shardix::quoted(options.expected->source) + " lists " +
                                                 std::to_string(options.expected->parts.size()) +
                                                 " pieces, not " + std::to_string(fileList.size()) +
                                                 ".");
    StreamJoinRun run(fileList, output, progress, options);
    Result<> result = guarded([&] { return run.run(); });
    return result.ok() ? result : Result<>(run.failed(result.error()));
}

} // namespace shardix
