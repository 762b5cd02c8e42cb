#include "engines/operations/Assembler.h"

#include "engines/io/Copy.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/ReplacementFile.h"
#include "engines/io/RunProgress.h"
#include "engines/operations/OutputCheck.h"
#include "errors/Error.h"

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

Result<> refusedTarget(const std::vector<std::string>& fileList, const std::string& target) {
    // Writing the target changes it: if it is one of the inputs, by any name,
    // that input would be lost before it is read.
    for (const std::string& entry : fileList) {
        if (!sameFile(entry, target))
            continue;
        return Error::refusedName(entry == target
                                      ? targetIsAnInput(target)
                                      : oneFile(target, entry) + ": " + targetIsAnInput(target));
    }
    return refusedOutput(target);
}

namespace {

// Why a new `total` bytes cannot be written beside the file `target` replaces;
// nothing when the disk has room for both.
Result<> noRoomBeside(const std::string& target, std::int64_t total) {
    const std::string real = followLinks(target);
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
                     "Not enough room on the disk for the new \"" + target +
                         "\" beside the old one, which is kept until the new one is complete: " +
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

Result<> assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                       RunProgress& progress, const JoinOptions& options) {
    const Checksums* expected = options.expected;
    const std::int64_t copyChunk = options.copyChunk;
    if (Result<> refused = refusedTarget(fileList, target); !refused.ok())
        return refused;
    if (expected) {
        if (Result<> refused = OutputCheck::refused(target, fileList.size(), *expected);
            !refused.ok())
            return refused;
    }

    FileHandle output;
    bool replacing = false;
    // A check that fails says that the file it was to replace is left as it was.
    const auto keptIfReplaced = [&](Error failure) {
        if (replacing)
            failure.message +=
                "  Nothing was replaced: \"" + target + "\" holds what it held before.";
        return Result<>(std::move(failure));
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
            if (Result<> noRoom = noRoomBeside(target, total); !noRoom.ok())
                return noRoom;
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
            copyRange(input.file, 0, input.length, out, progress, copyChunk, kReserveStep, copied);
            done += input.length;
            if (count > value)
                progress.setProgressValue(++value);
            if (check) {
                if (Result<> mismatch = check->rangesSoFar(); !mismatch.ok())
                    return keptIfReplaced(mismatch.error());
            }
        }
        progress.setProgressValue(count);
        if (!replacement)
            output.close();
        if (check) {
            if (done != total)
                return keptIfReplaced(
                    Error::of(ErrorKind::Refused, "The files to be assembled into \"" + target +
                                                      "\" changed while they were copied."));
            if (Result<> mismatch = check->finish(progress); !mismatch.ok())
                return keptIfReplaced(mismatch.error());
        }
        if (replacement)
            replacement->commit(false);
        progress.setBytesDone(total, total);
        return {};
    } catch (const Failed& e) {
        output = FileHandle(); // closes what was open; the inputs written before stay
        if (replacing && e.error().kind == ErrorKind::Stopped)
            return Error::of(ErrorKind::Stopped, "The run was stopped.  Nothing was replaced: \"" +
                                                     target + "\" holds what it held before.");
        return e.error();
    }
}

} // namespace shardix
