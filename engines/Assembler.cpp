#include "engines/Assembler.h"

#include "engines/AppError.h"
#include "engines/MeasuredFile.h"
#include "engines/OutputCheck.h"
#include "engines/RunProgress.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <optional>

namespace shardix {

std::string targetIsAnInput(const std::string& target) {
    return "\"" + target +
           "\" is one of the files to be assembled.  Assembling into it would destroy it.  "
           "Please choose another name for the assembled file.";
}

std::optional<std::string> refusedTarget(const std::vector<std::string>& fileList,
                                         const std::string& target) {
    // Creating the target empties it: if it is one of the inputs, that input
    // would be lost before it is read.
    for (const std::string& entry : fileList) {
        if (sameFile(entry, target))
            return targetIsAnInput(target);
    }
    return refusedOutput(target);
}

RunResult assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                        RunProgress& progress, std::int64_t pieceSize, const Checksums* expected) {
    if (auto refused = refusedTarget(fileList, target))
        return Failure::refusedName(*refused);
    if (expected) {
        if (auto refused = OutputCheck::refused(target, fileList.size(), *expected))
            return refused;
    }

    FileHandle output;
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

        output = createOutput(target);
        std::optional<OutputCheck> check;
        if (expected)
            check.emplace(output, target, fileList, lengths, total, 0, *expected);
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
            copyRange(input.file, 0, input.length, output, progress, pieceSize, kReserveStep,
                      copied);
            done += input.length;
            if (count > value)
                progress.setProgressValue(++value);
            if (check) {
                if (RunResult mismatch = check->rangesSoFar())
                    return mismatch;
            }
        }
        output.close();
        progress.setProgressValue(count);
        if (check) {
            if (done != total)
                return Failure::of(ErrNo::InvalidOperation,
                                   "The files to be assembled into \"" + target +
                                       "\" changed while they were copied.");
            return check->finish(progress);
        }
        progress.setBytesDone(total, total);
        return std::nullopt;
    } catch (const AppError& e) {
        output = FileHandle(); // closes what was open; the inputs written before stay
        return Failure::from(e);
    }
}

} // namespace shardix
