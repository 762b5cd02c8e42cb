#include "engines/Segmenter.h"

#include "engines/AppError.h"
#include "engines/EngineUi.h"
#include "engines/FileReader.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

std::optional<std::int64_t> parseSegmentCount(const std::string& segmentCount) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t first = 0;
    std::size_t last = segmentCount.size();
    while (first < last && isBlank(segmentCount[first]))
        ++first;
    while (last > first && isBlank(segmentCount[last - 1]))
        --last;
    if (first == last || last - first > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = first; i < last; ++i) {
        const char c = segmentCount[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

namespace {

// A private, nameless copy of the source, for a run in which one of the
// segments to be written is the source itself: emptying that segment must not
// take the bytes that the later segments are cut from.
FileHandle securePrivateCopy(const FileHandle& source, std::int64_t length,
                             const std::string& nearPath, EngineUi& ui, std::int64_t pieceSize) {
    std::string folder = nearPath.substr(0, nearPath.find_last_of('/') + 1);
    if (folder.empty())
        folder = ".";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // No nameless files here: a named one, removed at once.
        std::string pattern = folder + (folder.back() == '/' ? "" : "/") + ".shardix-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0)
            throw AppError::fromErrno(errno, "create a working copy in", folder);
        ::unlink(pattern.c_str());
    }
    FileHandle copy(fd, source.path());
    copyRange(source, 0, length, copy, ui, pieceSize);
    return copy;
}

} // namespace

bool segmentFile(const std::string& sourcePath, const std::string& basePath,
                 const std::string& segmentCount, EngineUi& ui, std::int64_t pieceSize) {
    FileHandle output;
    try {
        const std::optional<std::int64_t> count = parseSegmentCount(segmentCount);
        if (!count || *count < 1 || *count > INT_MAX)
            throw AppError(ErrNo::TypeMismatch, "Type mismatch: the number of segments \"" +
                                                    segmentCount + "\" is not a number.");
        const std::int64_t n = *count;

        FileContents source = getFileContents(sourcePath, n, ui);
        if (!source.theMessage.empty()) {
            ui.messageBox(source.theMessage, MsgStyle::Ok);
            ui.setBusy(false);
            return false;
        }

        ui.setProgressMin(1);
        ui.setProgressMax(static_cast<int>(n));
        ui.setProgressValue(1);
        ui.setProgressVisible(true);

        // When a segment to be written is the source itself (the same name, or a
        // link to it), cut from a private copy so that every segment is right.
        for (std::int64_t k = 1; k <= n; ++k) {
            if (sameFile(source.file, basePath + std::to_string(k))) {
                source.file = securePrivateCopy(source.file, source.fileLength,
                                                basePath + std::to_string(k), ui, pieceSize);
                break;
            }
        }

        const std::int64_t share = source.fileLength / n;
        std::int64_t pos = 0;
        for (std::int64_t k = 1; k <= n; ++k) {
            ui.pumpEvents();
            const std::string name = basePath + std::to_string(k);
            const std::int64_t size = k < n ? share : source.fileLength - pos;
            output = createOutput(name);
            copyRange(source.file, pos, size, output, ui, pieceSize);
            pos += size;
            ui.setProgressValue(static_cast<int>(k));
            output.close();
        }
        ui.setBusy(false);
        return true;
    } catch (const AppError& e) {
        const std::string theMessage = dialogHandleError(ui, e);
        ui.messageBox(theMessage, MsgStyle::Ok);
        output = FileHandle(); // closes what was open; its bytes stay
        return false;
    }
}

} // namespace shardix
