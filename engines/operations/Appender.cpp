#include "engines/operations/Appender.h"

#include "engines/checksums/Hasher.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/RunProgress.h"
#include "engines/operations/OutputCheck.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace shardix {

namespace {

constexpr std::int64_t kCompareAllUpTo = 16 << 20;
constexpr std::int64_t kTailSpan = 1 << 20;
constexpr int kSamples = 64;
constexpr std::int64_t kSampleSize = 64 << 10;
constexpr std::int64_t kEdgeSize = 4 << 10;

// The first place (0-based, in the target) in [from, to) where the target
// differs from `source`, which holds the whole's bytes from `offset` on.
std::optional<std::int64_t> firstDifference(const FileHandle& target, const FileHandle& source,
                                            std::int64_t offset, std::int64_t from,
                                            std::int64_t to) {
    constexpr std::int64_t kChunk = 64 << 10;
    std::vector<char> mine(kChunk), theirs(kChunk);
    for (std::int64_t at = from; at < to; at += kChunk) {
        const std::int64_t n = std::min(kChunk, to - at);
        valueOrRaise(readExactly(target, at, mine.data(), n));
        valueOrRaise(readExactly(source, at - offset, theirs.data(), n));
        if (std::memcmp(mine.data(), theirs.data(), static_cast<std::size_t>(n)) != 0) {
            const auto first = std::mismatch(mine.begin(), mine.begin() + n, theirs.begin()).first;
            return at + (first - mine.begin());
        }
    }
    return std::nullopt;
}

// Compares the target's bytes with those of the whole at the same places, one
// source at a time, at a cost bounded whatever the size.
class PrefixCheck {
  public:
    PrefixCheck(const FileHandle& target, std::int64_t length) : target_(target), length_(length) {
        if (length <= kCompareAllUpTo) {
            spans_.emplace_back(0, length);
            return;
        }
        const std::int64_t rest = length - kTailSpan;
        for (int i = 0; i < kSamples; ++i) {
            const std::int64_t at = (rest - kSampleSize) * i / (kSamples - 1);
            spans_.emplace_back(at, at + kSampleSize);
        }
        spans_.emplace_back(rest, length);
    }

    // The first place found (0-based, in the target) where the target differs
    // from `source`, which holds the whole's bytes from `offset` on.
    std::optional<std::int64_t> differsFrom(const MeasuredFile& source, std::int64_t offset) {
        const std::int64_t end = std::min(offset + source.length, length_);
        if (end <= offset)
            return std::nullopt;
        // The first and last bytes this source covers: a source out of its place
        // shows there, even between two samples.
        std::vector<std::pair<std::int64_t, std::int64_t>> spans{
            {offset, std::min(end, offset + kEdgeSize)}, {std::max(offset, end - kEdgeSize), end}};
        for (const auto& [from, to] : spans_) {
            if (from < end && to > offset)
                spans.emplace_back(std::max(from, offset), std::min(to, end));
        }
        std::sort(spans.begin(), spans.end());
        for (const auto& [from, to] : spans) {
            if (auto at = firstDifference(target_, source.file, offset, from, to))
                return at;
        }
        return std::nullopt;
    }

  private:
    const FileHandle& target_;
    std::int64_t length_;
    std::vector<std::pair<std::int64_t, std::int64_t>> spans_; // of the target, in order
};

Error notItsBeginning(const std::string& target, std::int64_t at, const std::string& source,
                      std::int64_t offset) {
    return Error::of(
        ErrorKind::FileAccess,
        shardix::quoted(target) + " does not hold the beginning of the chosen files: its byte " +
            std::to_string(at + 1) + " differs from byte " + std::to_string(at - offset + 1) +
            " of " + shardix::quoted(source) + ".  Nothing was appended.");
}

// The target as it is before the run: its length, taken without opening it,
// and, when it holds anything, the file open for reading so that it can be
// compared. A target that does not exist counts as empty.
struct TargetBefore {
    std::int64_t length = 0;
    FileHandle file;
};

TargetBefore takeUpTarget(const std::string& target) {
    TargetBefore before;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return before;
        fail(Error::fromErrno(errno, "open", target));
    }
    if (S_ISDIR(st.st_mode))
        fail(Error::fromErrno(EISDIR, "open for appending", target));
    if (!S_ISREG(st.st_mode) || st.st_size == 0)
        return before; // a character device holds nothing to compare
    before.file = valueOrRaise(openInput(target));
    struct stat opened {};
    if (::fstat(before.file.fd(), &opened) != 0)
        fail(Error::fromErrno(errno, "measure", target));
    before.length = opened.st_size;
    return before;
}

// The file opened for appending is the one that was checked, still as long.
bool stillTheSame(const FileHandle& output, const TargetBefore& before) {
    struct stat now {};
    if (::fstat(output.fd(), &now) != 0)
        return false;
    if (!before.file.isOpen())
        return !S_ISREG(now.st_mode) || now.st_size == 0;
    struct stat then {};
    return ::fstat(before.file.fd(), &then) == 0 && now.st_dev == then.st_dev &&
           now.st_ino == then.st_ino && now.st_size == before.length;
}

// With checksums: the target's bytes where whole sources lie, each compared
// with that source's checksum, and the part of the source in which it ends
// compared byte for byte, so that a mismatch found later lies in the new
// bytes. Reads the target's bytes once, on two threads.
Result<> checkTargetAgainst(const Checksums& expected, const TargetBefore& before,
                            const std::string& target, const std::vector<std::string>& sources,
                            const std::vector<std::int64_t>& lengths, const MeasuredFile& last,
                            std::int64_t lastOffset) {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges; // whole sources in the target
    for (std::int64_t k = 0, at = 0; k < static_cast<std::int64_t>(lengths.size()); ++k) {
        const std::int64_t length = lengths[static_cast<std::size_t>(k)];
        if (at + length > before.length)
            break;
        ranges.emplace_back(at, length);
        at += length;
    }
    std::vector<std::string> found(ranges.size());
    std::exception_ptr failed[2];
    const auto hashEvery = [&](std::size_t first, std::exception_ptr& error) {
        try {
            std::atomic<std::int64_t> done{0};
            for (std::size_t k = first; k < ranges.size(); k += 2) {
                if (!expected.parts[k].empty())
                    found[k] = valueOrRaise(digestOfRange(expected.partAlgorithm(k), before.file,
                                                          ranges[k].first, ranges[k].second, done));
            }
        } catch (...) {
            error = std::current_exception();
        }
    };
    std::thread other(hashEvery, 1, std::ref(failed[1]));
    hashEvery(0, failed[0]);
    other.join();
    for (const std::exception_ptr& error : failed)
        if (error)
            std::rethrow_exception(error);
    for (std::size_t k = 0; k < ranges.size(); ++k)
        if (found[k] != expected.parts[k])
            return Error::of(ErrorKind::FileAccess,
                             shardix::quoted(target) +
                                 " does not hold the beginning of the chosen files: its bytes " +
                                 std::to_string(ranges[k].first + 1) + " to " +
                                 std::to_string(ranges[k].first + ranges[k].second) + ", where " +
                                 shardix::quoted(sources[k]) +
                                 " belongs, do not match the checksum of " +
                                 shardix::quoted(sources[k]) + " in " +
                                 shardix::quoted(expected.source) + ".  Nothing was appended.");
    const std::int64_t held = before.length - lastOffset; // of the last source, in the target
    if (held <= 0 || held >= last.length)
        return {};
    if (auto at = firstDifference(before.file, last.file, lastOffset, lastOffset, before.length))
        return notItsBeginning(target, *at, sources[static_cast<std::size_t>(ranges.size())],
                               lastOffset);
    return {};
}

// One append: the target as it was before the run, the sources, and how far
// the run has got.
class AppendRun {
  public:
    AppendRun(const std::vector<std::string>& sources, const std::string& target,
              RunProgress& progress, const JoinOptions& options)
        : sources_(sources), target_(target), progress_(progress), options_(options) {}

    Result<> run() {
        before_ = takeUpTarget(target_);
        measureSources();
        startProgress();
        if (Result<> found = findWhereTargetEnds(); !found.ok())
            return found;
        Result<> done = appendTheRest();
        if (done.ok()) {
            progress_.setProgressValue(progressMax());
            done = checkAtTheEnd();
        }
        return done.ok() ? done : undone(done.error());
    }

    // Bytes appended that do not match their checksums are taken away again.
    Error undone(Error error) {
        valueOrRaise(output_.close());
        if (written_ > before_.length)
            error.message +=
                ::truncate(target_.c_str(), before_.length) == 0
                    ? "  The bytes appended were taken away: " + shardix::quoted(target_) +
                          " holds what it held before."
                    : "  " + shardix::quoted(target_) + " is not the original file.";
        return error;
    }

  private:
    // With checksums to match, every source is there before anything is
    // written; otherwise their lengths are only looked at, for the display.
    void measureSources() {
        for (const std::string& source : sources_) {
            struct stat st {};
            lengths_.push_back(options_.expected ? valueOrRaise(openMeasured(source)).length
                               : ::stat(source.c_str(), &st) == 0 ? st.st_size
                                                                  : 0);
        }
        total_ = std::max(before_.length,
                          std::accumulate(lengths_.begin(), lengths_.end(), std::int64_t{0}));
        written_ = before_.length;
    }

    int sourceCount() const {
        return static_cast<int>(std::clamp<std::size_t>(sources_.size(), 1, INT_MAX));
    }
    // One source runs the display from 1 to 2; more, from 1 to their count.
    int progressMax() const { return sourceCount() == 1 ? 2 : sourceCount(); }

    void startProgress() {
        progress_.setProgressMin(1);
        progress_.setProgressMax(progressMax());
        progress_.setProgressValue(1);
        progress_.setProgressVisible(true);
    }

    void advanceProgress() {
        value_ = sourceCount() == 1 ? progressMax() : std::min(value_ + 1, progressMax());
        progress_.setProgressValue(value_);
    }

    // The search for the source in which the target ends, comparing the
    // target with every source it covers; the sources before it are only
    // measured and compared. With checksums, the target's whole sources are
    // then compared with theirs.
    Result<> findWhereTargetEnds() {
        PrefixCheck check(before_.file, before_.length);
        for (; index_ < sources_.size(); ++index_) {
            progress_.pumpEvents();
            found_ = valueOrRaise(openMeasured(sources_[index_]));
            if (auto at = check.differsFrom(found_, offset_))
                return notItsBeginning(target_, *at, sources_[index_], offset_);
            if (before_.length < offset_ + found_.length)
                break;
            offset_ += found_.length;
        }
        if (index_ < sources_.size() && options_.expected)
            return checkTargetAgainst(*options_.expected, before_, target_, sources_, lengths_,
                                      found_, offset_);
        return {};
    }

    Result<> appendTheRest() {
        if (index_ == sources_.size()) {
            if (options_.expected)
                check_.emplace(valueOrRaise(OutputCheck::readBackOf(before_.file, target_, total_)),
                               target_, sources_, lengths_, total_, before_.length,
                               *options_.expected);
            return {};
        }
        output_ = valueOrRaise(openForAppend(target_));
        progress_.writing(target_);
        if (!stillTheSame(output_, before_))
            return Error::of(ErrorKind::FileAccess,
                             shardix::quoted(target_) +
                                 " was changed while it was being checked.  Nothing was "
                                 "appended.");
        if (options_.expected)
            check_.emplace(valueOrRaise(OutputCheck::readBackOf(output_, target_, total_)), target_,
                           sources_, lengths_, total_, before_.length, *options_.expected);
        if (Result<> copied = copySources(); !copied.ok())
            return copied;
        valueOrRaise(output_.close());
        return {};
    }

    // The rest of the source in which the target ends, then every source
    // after it, each exactly as long as it was measured when taken up, so a
    // source that is also the target never feeds itself.
    Result<> copySources() {
        std::int64_t start = before_.length - offset_; // 0-based
        for (;;) {
            progress_.pumpEvents();
            const std::int64_t end = written_;
            valueOrRaise(copyRange(found_.file, start, found_.length - start, output_, progress_,
                                   options_.copyChunk, kReserveStep,
                                   [&](std::int64_t copied) { showCopied(end + copied); }));
            written_ += found_.length - start;
            offset_ += found_.length;
            start = 0;
            if (check_) {
                if (Result<> mismatch = check_->rangesSoFar(); !mismatch.ok())
                    return mismatch;
            }
            const bool more = ++index_ < sources_.size();
            if (more)
                found_ = valueOrRaise(openMeasured(sources_[index_]));
            advanceProgress();
            if (!more)
                return {};
        }
    }

    void showCopied(std::int64_t writtenNow) {
        if (check_)
            check_->advance(writtenNow);
        progress_.setBytesDone(check_ ? std::min(writtenNow, check_->checked()) : writtenNow,
                               total_);
    }

    Result<> checkAtTheEnd() {
        if (!check_) {
            progress_.setBytesDone(written_, total_);
            return {};
        }
        if (written_ != total_)
            return Error::of(ErrorKind::Refused, "The files appended to " +
                                                     shardix::quoted(target_) +
                                                     " changed while they were copied.");
        // A failure to read the output back is one of the run, not a mismatch.
        const Checksums found = valueOrRaise(check_->readAll(progress_));
        return check_->compareAll(found);
    }

    const std::vector<std::string>& sources_;
    const std::string& target_;
    RunProgress& progress_;
    const JoinOptions& options_;
    TargetBefore before_;
    std::vector<std::int64_t> lengths_;
    std::int64_t total_ = 0;
    std::int64_t written_ = 0; // the target's length as far as it is written
    std::size_t index_ = 0;    // the source examined or copied
    std::int64_t offset_ = 0;  // bytes of the whole before that source
    MeasuredFile found_;       // that source, taken up
    FileHandle output_;        // the target, open for appending
    std::optional<OutputCheck> check_;
    int value_ = 1;
};

} // namespace

Result<> appendFile(const std::vector<std::string>& sources, const std::string& target,
                    RunProgress& progress, const JoinOptions& options) {
    Result<> refused = refusedAppendTarget(sources, target);
    if (refused.ok() && options.expected)
        refused = OutputCheck::refused(target, sources.size(), *options.expected);
    if (!refused.ok())
        return refused;
    AppendRun run(sources, target, progress, options);
    return guarded([&] { return run.run(); });
}

} // namespace shardix
