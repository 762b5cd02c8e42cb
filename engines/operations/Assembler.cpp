#include "engines/operations/Assembler.h"

#include "engines/io/Copy.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/Holes.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/ReplacementFile.h"
#include "engines/io/RunProgress.h"
#include "engines/io/StopAccount.h"
#include "engines/operations/OutputCheck.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace shardix {

namespace {

// Why a new `total` bytes cannot be written beside the file `target` replaces;
// nothing when the disk has room for both.
Result<> noRoomBeside(const std::string& target, std::int64_t total) {
    const Result<std::string> followed = followLinks(target);
    if (!followed.ok())
        return followed.error();
    const std::string& real = *followed;
    const std::size_t slash = real.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : real.substr(0, slash + 1);
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return {}; // the writes will tell
    const auto free =
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
    if (free >= total)
        return {};
    return Error::of(ErrorKind::DiskFull,
                     "Not enough room on the disk for the new " + shardix::quoted(target) +
                         " beside the old one, which is kept until the new one is complete: " +
                         std::to_string(total) + " bytes are needed and " + std::to_string(free) +
                         " are free.  Nothing was changed.");
}

// Whether `target` is a file that the run replaces (rather than a name it
// creates, or a device it writes to).
bool replacesAFile(const std::string& target) {
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

namespace {

// Takes the known-wrong `target` away from its name: to TARGET.damaged (or
// .damaged2 ..), never over another file, or else removes it. Says where.
std::string damagedAway(const std::string& target) {
    for (int n = 1; n <= 9; ++n) {
        const std::string name = target + ".damaged" + (n == 1 ? "" : std::to_string(n));
        if (::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return "The file written is not kept under its name: it is " + shardix::quoted(name) +
                   ".";
        if (errno != EEXIST)
            break;
    }
    if (::unlink(target.c_str()) == 0)
        return "The file written was removed.";
    return shardix::quoted(target) + " could not be removed: it is not the original file.";
}

// One assembly: the inputs as measured, the output (a new file, or one beside
// the file it replaces) and how far the copy has got.
class AssembleRun {
  public:
    AssembleRun(const std::vector<std::string>& fileList, const std::string& target,
                RunProgress& progress, const JoinOptions& options)
        : fileList_(fileList), target_(target), progress_(progress), options_(options) {}

    Result<> run() {
        measureInputs();
        startProgress();
        if (Result<> opened = openOutput(); !opened.ok())
            return opened;
        if (Result<> copied = copyInputs(); !copied.ok())
            return keptIfReplaced(copied.error());
        progress_.setProgressValue(count());
        if (!replacement_)
            valueOrRaise(output_.close());
        if (Result<> checked = checkAtTheEnd(); !checked.ok())
            return keptIfReplaced(checked.error());
        if (replacement_) {
            if (Result<> committed = replacement_->commit(false); !committed.ok())
                return committed;
        }
        progress_.setBytesDone(total_, total_);
        return {};
    }

    // A run that stops or fails before it is complete leaves the file it was
    // to replace as it was, and says so where it stopped on purpose; a new
    // target checked against a list holds what was written, which append
    // completes, and says so (without a list, the caller tells).
    Error failed(Error error) const {
        if (replacement_ && error.stopped())
            return Error::of(ErrorKind::Stopped, "The run was stopped.  Nothing was replaced: " +
                                                     shardix::quoted(target_) +
                                                     " holds what it held before.");
        struct stat st {};
        if (options_.expected && !replacement_ && output_.isOpen() &&
            ::fstat(output_.fd(), &st) == 0 && st.st_size < total_)
            error.message += "  " + shortOutputAccount(target_, st.st_size, total_) +
                             ": append completes it from the same pieces.";
        return error;
    }

  private:
    // Every input is there and can be read before the target is touched.
    void measureInputs() {
        const bool replacing = replacesAFile(target_);
        for (const std::string& entry : fileList_) {
            const MeasuredFile input = valueOrRaise(openMeasured(entry));
            lengths_.push_back(input.length);
            if (replacing)
                data_ += valueOrRaise(dataBytes(input.file, 0, input.length));
        }
        total_ = std::accumulate(lengths_.begin(), lengths_.end(), std::int64_t{0});
    }

    int count() const {
        return static_cast<int>(std::clamp<std::size_t>(fileList_.size(), 1, INT_MAX));
    }

    void startProgress() {
        progress_.setProgressMin(1);
        progress_.setProgressMax(count());
        progress_.setProgressValue(1);
        progress_.setProgressVisible(true);
    }

    // An existing file is replaced only once the new one is complete: until
    // then the new bytes go into a file of their own beside it.
    Result<> openOutput() {
        if (replacesAFile(target_)) {
            // Where the new file keeps the inputs' holes, it needs room for
            // their data only.
            Result<ReplacementFile> made = ReplacementFile::create(target_);
            if (!made.ok())
                return made.error();
            replacement_.emplace(std::move(made).value());
            const bool holes = mayLeaveHoles(replacement_->file());
            if (Result<> noRoom = noRoomBeside(target_, holes ? data_ : total_); !noRoom.ok()) {
                replacement_.reset();
                return noRoom;
            }
        } else {
            output_ = valueOrRaise(createOutput(target_));
            progress_.writing(target_);
        }
        if (options_.expected)
            check_.emplace(valueOrRaise(OutputCheck::readBackOf(
                               out(), target_, total_,
                               replacement_ ? replacement_->temporaryPath() : target_)),
                           target_, fileList_, lengths_, total_, 0, *options_.expected);
        return {};
    }

    FileHandle& out() { return replacement_ ? replacement_->file() : output_; }

    Result<> copyInputs() {
        int value = 1;
        for (const std::string& entry : fileList_) {
            progress_.pumpEvents();
            // Taken up again: it may have changed since it was measured.
            const MeasuredFile input = valueOrRaise(openMeasured(entry));
            const std::int64_t start = done_;
            valueOrRaise(copyRange(input.file, 0, input.length, out(), progress_,
                                   options_.copyChunk, kReserveStep,
                                   [&](std::int64_t written) { showCopied(start + written); }));
            done_ += input.length;
            if (count() > value)
                progress_.setProgressValue(++value);
            if (check_) {
                if (Result<> mismatch = check_->rangesSoFar(); !mismatch.ok())
                    return mismatch;
            }
        }
        return {};
    }

    void showCopied(std::int64_t written) {
        if (check_)
            check_->advance(written);
        progress_.setBytesDone(check_ ? std::min(written, check_->checked()) : written, total_);
    }

    Result<> checkAtTheEnd() {
        if (!check_)
            return {};
        if (done_ != total_)
            return Error::of(ErrorKind::Refused, "The files to be assembled into " +
                                                     shardix::quoted(target_) +
                                                     " changed while they were copied.");
        // A failure to read the output back is one of the run, not a mismatch.
        const Checksums found = valueOrRaise(check_->readAll(progress_));
        return check_->compareAll(found);
    }

    // A check that fails says that the file it was to replace is left as it
    // was; a new target does not keep its name.
    Result<> keptIfReplaced(Error error) {
        if (replacement_) {
            error.message += "  Nothing was replaced: " + shardix::quoted(target_) +
                             " holds what it held before.";
            return error;
        }
        valueOrRaise(output_.close());
        error.message += "  " + damagedAway(target_);
        return error;
    }

    const std::vector<std::string>& fileList_;
    const std::string& target_;
    RunProgress& progress_;
    const JoinOptions& options_;
    std::vector<std::int64_t> lengths_;
    std::int64_t total_ = 0;
    std::int64_t data_ = 0; // of the inputs, outside their holes (when a file is replaced)
    std::int64_t done_ = 0;
    FileHandle output_; // a new target
    std::optional<ReplacementFile> replacement_;
    std::optional<OutputCheck> check_;
};

} // namespace

Result<> assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                       RunProgress& progress, const JoinOptions& options) {
    if (Result<> refused = refusedTarget(fileList, target); !refused.ok())
        return refused;
    if (options.expected) {
        if (Result<> refused = OutputCheck::refused(target, fileList.size(), *options.expected);
            !refused.ok())
            return refused;
    }
    // On a failure a new target keeps the inputs written before.
    AssembleRun run(fileList, target, progress, options);
    Result<> result = guarded([&] { return run.run(); });
    return result.ok() ? result : Result<>(run.failed(result.error()));
}

} // namespace shardix
