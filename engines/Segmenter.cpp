#include "engines/Segmenter.h"

#include "engines/AppError.h"
#include "engines/ChecksumReader.h"
#include "engines/MeasuredFile.h"
#include "engines/Messages.h"
#include "engines/RunProgress.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

namespace {

// A private, nameless copy of the source, for a run in which one of the
// segments to be written is the source itself: emptying that segment must not
// take the bytes that the later segments are cut from.
FileHandle privateCopy(const FileHandle& source, std::int64_t length, const std::string& nearPath,
                       RunProgress& progress, std::int64_t pieceSize) {
    std::string folder = nearPath.substr(0, nearPath.find_last_of('/') + 1);
    if (folder.empty())
        folder = "./";
    const auto cannot = [&](const std::string& cause, std::int32_t number) {
        return AppError(number, "Cannot make a working copy of \"" + source.path() +
                                    "\" in the folder \"" + folder +
                                    "\" (one of the segments is the file itself): " + cause + ".");
    };
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // No nameless files here: a named one, removed at once.
        std::string pattern = folder + ".shardix-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            const AppError e = AppError::fromErrno(errno, "create", folder);
            throw cannot(e.cause(), e.number());
        }
        ::unlink(pattern.c_str());
    }
    FileHandle copy(fd, folder);
    try {
        copyRange(source, 0, length, copy, progress, pieceSize);
    } catch (const AppError& e) {
        // Stopped while copying: no segment was touched yet.
        if (e.number() == ErrNo::UserInterrupt)
            stopIfAsked(progress, std::string());
        throw cannot(e.cause(), e.number());
    }
    return copy;
}

// The lengths of the segments of a source of the given length, or why it is
// not cut.
using SegmentLengths =
    std::function<RunResult(std::int64_t sourceLength, std::vector<std::int64_t>& lengths)>;

RunResult cutFile(const std::string& sourcePath, const std::string& basePath,
                  const SegmentLengths& lengthsOf, RunProgress& progress, std::int64_t pieceSize,
                  Checksums* checksums) {
    const auto segmentName = [&](int k) { return basePath + std::to_string(k); };
    FileHandle output;
    try {
        MeasuredFile source = openMeasured(sourcePath);
        std::vector<std::int64_t> lengths;
        if (RunResult refused = lengthsOf(source.length, lengths))
            return refused;
        const int count = static_cast<int>(lengths.size());
        for (int k = 1; k <= count; ++k) {
            if (auto refused = refusedOutput(segmentName(k)))
                return Failure::refusedName(*refused);
        }

        progress.setProgressMin(1);
        progress.setProgressMax(count);
        progress.setProgressValue(1);
        progress.setProgressVisible(true);

        // When a segment to be written is the source itself (the same name, or a
        // link to it), cut from a private copy so that every segment is right.
        for (int k = 1; k <= count; ++k) {
            if (sameFile(source.file, segmentName(k))) {
                source.file =
                    privateCopy(source.file, source.length, segmentName(k), progress, pieceSize);
                break;
            }
        }

        std::optional<ChecksumReader> reader;
        if (checksums)
            reader.emplace(source.file, source.length, lengths, source.length);
        const auto showDone = [&](std::int64_t copied) {
            progress.setBytesDone(reader ? std::min(copied, reader->hashed()) : copied,
                                  source.length);
        };
        std::int64_t pos = 0;
        for (int k = 1; k <= count; ++k) {
            progress.pumpEvents();
            // Asked before the next segment is created (and emptied).
            stopIfAsked(progress, k > 1 ? segmentName(k - 1) : std::string());
            const std::int64_t size = lengths[static_cast<std::size_t>(k - 1)];
            output = createOutput(segmentName(k));
            copyRange(source.file, pos, size, output, progress, pieceSize, kReserveStep,
                      [&](std::int64_t written) { showDone(pos + written); });
            pos += size;
            progress.setProgressValue(k);
            output.close();
        }
        if (reader) {
            *checksums = reader->finish([&] {
                showDone(pos);
                stopIfAsked(progress, segmentName(count));
            });
            checksums->lengths = lengths;
        }
        showDone(pos);
        return std::nullopt;
    } catch (const AppError& e) {
        output = FileHandle(); // closes what was open; its bytes stay
        return Failure::from(e);
    }
}

} // namespace

RunResult segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                      RunProgress& progress, std::int64_t pieceSize, Checksums* checksums) {
    if (count < 1)
        return Failure::of(ErrNo::InvalidOperation,
                           "The number of segments must be at least one; " + std::to_string(count) +
                               " was asked for.");
    const auto lengthsOf = [&](std::int64_t length, std::vector<std::int64_t>& lengths) {
        // An empty file gives empty segments; otherwise every segment holds a byte at least.
        if (length > 0 && count > length)
            return RunResult(
                Failure::of(ErrNo::InvalidOperation, msg::kPartsGreaterThanWhole, sourcePath));
        lengths.assign(static_cast<std::size_t>(count), length / count);
        lengths.back() = length - length / count * (count - 1);
        return RunResult();
    };
    return cutFile(sourcePath, basePath, lengthsOf, progress, pieceSize, checksums);
}

RunResult segmentFileBySize(const std::string& sourcePath, const std::string& basePath,
                            std::int64_t segmentLength, RunProgress& progress,
                            std::int64_t pieceSize, Checksums* checksums) {
    if (segmentLength < 1)
        return Failure::of(ErrNo::InvalidOperation,
                           "The length of the segments must be at least one byte.");
    const auto lengthsOf = [&](std::int64_t length, std::vector<std::int64_t>& lengths) {
        const std::int64_t count = std::max<std::int64_t>(1, (length - 1) / segmentLength + 1);
        if (count > kMaxSegments)
            return RunResult(Failure::of(
                ErrNo::InvalidOperation,
                "Cutting \"" + sourcePath + "\" (" + std::to_string(length) +
                    " bytes) into segments of " + std::to_string(segmentLength) +
                    " bytes would make " + std::to_string(count) + " segments; at most " +
                    std::to_string(kMaxSegments) + " can be made.  Please choose a larger size."));
        lengths.assign(static_cast<std::size_t>(count), segmentLength);
        lengths.back() = length - segmentLength * (count - 1);
        return RunResult();
    };
    return cutFile(sourcePath, basePath, lengthsOf, progress, pieceSize, checksums);
}

} // namespace shardix
