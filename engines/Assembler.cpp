#include "engines/Assembler.h"

#include "engines/AppError.h"
#include "engines/FileIdentity.h"
#include "engines/MeasuredFile.h"
#include "engines/OutputCheck.h"
#include "engines/ReplacementFile.h"
#include "engines/RunProgress.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace shardix {

std::string targetIsAnInput(const std::string& target) {
    return "\"" + target +
           "\" is one of the files to be assembled.  Assembling into it would destroy it.  "
           "Please choose another name for the assembled file.";
}

std::optional<std::string> refusedTarget(const std::vector<std::string>& fileList,
                                         const std::string& target) {
    // Writing the target changes it: if it is one of the inputs, by any name,
    // that input would be lost before it is read.
    for (const std::string& entry : fileList) {
        if (!sameFile(entry, target))
            continue;
        if (entry == target)
            return targetIsAnInput(target);
        return oneFile(target, entry) + ": " + targetIsAnInput(target);
    }
    return refusedOutput(target);
}

namespace {

// Why a new `total` bytes cannot be written beside the file `target` replaces;
// nothing when the disk has room for both.
std::optional<std::string> noRoomBeside(const std::string& target, std::int64_t total) {
    const std::string real = followLinks(target);
    const std::size_t slash = real.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : real.substr(0, slash + 1);
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return std::nullopt; // the writes will tell
    const auto free =
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
    if (free >= total)
        return std::nullopt;
    return "Not enough room on the disk for the new \"" + target +
           "\" beside the old one, which is kept until the new one is complete: " +
           std::to_string(total) + " bytes are needed and " + std::to_string(free) +
           " are free.  Nothing was changed.";
}

// Whether `target` is a file that the run replaces (rather than a name it
// creates, or a device it writes to).
bool replacesAFile(const std::string& target) {
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

RunResult assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                        RunProgress& progress, std::int64_t pieceSize, const Checksums* expected) {
    if (auto refused = refusedTarget(fileList, target))
        return Failure::refusedName(*refused);
    if (expected) {
        if (auto refused = OutputCheck::refused(target, fileList.size(), *expected))
            return refused;
    }

    FileHandle output;
    bool replacing = false;
    // A check that fails says that the file it was to replace is left as it was.
    const auto keptIfReplaced = [&](Failure failure) {
        if (replacing)
            failure.message +=
                "  Nothing was replaced: \"" + target + "\" holds what it held before.";
        return RunResult(std::move(failure));
    };
    try {
        // Every input is there and can be read before the target is touched.
        std::vector<std::int64_t> lengths;
        for (const std::string& entry : fileList)
            lengths.push_back(openMeasured(entry).length);
        const std::int64_t total = std::accumulate(lengths.begin(), lengths.end(), std::int64_t{0});

        const int count = static_cast<int>(std::clamp<std::size_t>(fileList.size(), 1, INT_MAX));
        progress.setProgressMin(1);
        progress.setProgressMax(count);
        progress.setProgressValue(1);
        progress.setProgressVisible(true);
        int value = 1;

        // An existing file is replaced only once the new one is complete: until
        // then the new bytes go into a file of their own beside it.
        std::optional<ReplacementFile> replacement;
        if (replacesAFile(target)) {
            if (auto noRoom = noRoomBeside(target, total))
                return Failure::of(ErrNo::DiskFull, *noRoom);
            replacement.emplace(target);
            replacing = true;
        } else {
            output = createOutput(target);
        }
        FileHandle& out = replacement ? replacement->file() : output;
        std::optional<OutputCheck> check;
        if (expected)
            check.emplace(out, target, fileList, lengths, total, 0, *expected,
                          replacement ? replacement->temporaryPath() : target);
        std::int64_t done = 0;
        const auto copied = [&](std::int64_t written) {
            if (check)
                check->advance(done + written);
            progress.setBytesDone(
                check ? std::min(done + written, check->checked()) : done + written, total);
        };
        for (const std::string& entry : fileList) {
            progress.pumpEvents();
            // Taken up again: it may have changed since it was measured.
            const MeasuredFile input = openMeasured(entry);
            copyRange(input.file, 0, input.length, out, progress, pieceSize, kReserveStep, copied);
            done += input.length;
            if (count > value)
                progress.setProgressValue(++value);
            if (check) {
                if (RunResult mismatch = check->rangesSoFar())
                    return keptIfReplaced(*mismatch);
            }
        }
        progress.setProgressValue(count);
        if (!replacement)
            output.close();
        if (check) {
            if (done != total)
                return keptIfReplaced(Failure::of(ErrNo::InvalidOperation,
                                                  "The files to be assembled into \"" + target +
                                                      "\" changed while they were copied."));
            if (RunResult mismatch = check->finish(progress))
                return keptIfReplaced(*mismatch);
        }
        if (replacement)
            replacement->commit(false);
        progress.setBytesDone(total, total);
        return std::nullopt;
    } catch (const AppError& e) {
        output = FileHandle(); // closes what was open; the inputs written before stay
        if (replacing && e.number() == ErrNo::UserInterrupt)
            return Failure::of(ErrNo::UserInterrupt,
                               "The run was stopped.  Nothing was replaced: \"" + target +
                                   "\" holds what it held before.");
        return Failure::from(e);
    }
}

} // namespace shardix
