#include "engines/Assembler.h"

#include "engines/AppError.h"
#include "engines/MeasuredFile.h"
#include "engines/RunProgress.h"

#include <algorithm>
#include <climits>

namespace shardix {

std::string targetIsAnInput(const std::string& target) {
    return "\"" + target +
           "\" is one of the files to be assembled.  Assembling into it would destroy it.  "
           "Please choose another name for the assembled file.";
}

RunResult assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                        RunProgress& progress, std::int64_t pieceSize) {
    // Creating the target empties it: if it is one of the inputs, that input
    // would be lost before it is read.
    for (const std::string& entry : fileList) {
        if (sameFile(entry, target))
            return Failure::refusedName(targetIsAnInput(target));
    }
    if (auto refused = refusedOutput(target))
        return Failure::refusedName(*refused);

    FileHandle output;
    try {
        // Every input is there and can be read before the target is touched.
        for (const std::string& entry : fileList)
            openMeasured(entry);

        const int count = static_cast<int>(std::clamp<std::size_t>(fileList.size(), 1, INT_MAX));
        progress.setProgressMin(1);
        progress.setProgressMax(count);
        progress.setProgressValue(1);
        progress.setProgressVisible(true);
        int value = 1;

        output = createOutput(target);
        for (const std::string& entry : fileList) {
            progress.pumpEvents();
            // Taken up again: it may have changed since it was measured.
            const MeasuredFile input = openMeasured(entry);
            copyRange(input.file, 0, input.length, output, progress, pieceSize);
            if (count > value)
                progress.setProgressValue(++value);
        }
        output.close();
        progress.setProgressValue(count);
        return std::nullopt;
    } catch (const AppError& e) {
        output = FileHandle(); // closes what was open; the inputs written before stay
        return Failure::from(e);
    }
}

} // namespace shardix
