#include "engines/operations/Segmenter.h"

#include "engines/checksums/ChecksumReader.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIdentity.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/Messages.h"
#include "engines/io/RunProgress.h"
#include "engines/operations/ManifestAndScript.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

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
// pieces to be written is the source itself: emptying that piece must not
// take the bytes that the later pieces are cut from.
FileHandle privateCopy(const FileHandle& source, std::int64_t length, const std::string& nearPath,
                       RunProgress& progress, std::int64_t copyChunk) {
    std::string folder = nearPath.substr(0, nearPath.find_last_of('/') + 1);
    if (folder.empty())
        folder = "./";
    const auto cannot = [&](const Error& error) {
        return Failed(Error::of(
            error.kind, "Cannot make a working copy of " + shardix::quoted(source.path()) +
                            " in the folder " + shardix::quoted(folder) +
                            " (one of the pieces is the file itself): " + error.causeOrMessage() +
                            "."));
    };
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // No nameless files here: a named one, removed at once.
        std::string pattern = folder + ".shardix-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            throw cannot(Error::fromErrno(errno, "create", folder, Missing::Folder));
        }
        ::unlink(pattern.c_str());
    }
    FileHandle copy(fd, folder);
    if (Result<> copied = copyRange(source, 0, length, copy, progress, copyChunk); !copied.ok()) {
        // Stopped while copying: no piece was touched yet.
        if (copied.error().kind == ErrorKind::Stopped)
            valueOrRaise(stopIfAsked(progress, std::string()));
        throw cannot(copied.error());
    }
    return copy;
}

// The lengths of the pieces of a source of the given length, or why it is
// not cut.
using PieceLengths =
    std::function<Result<>(std::int64_t sourceLength, std::vector<std::int64_t>& lengths)>;

std::string fileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

Error refusal(const std::string& message) {
    return Error::refusedName(message);
}

// Refuses a source that is the manifest or the join script to be written:
// they would take its place.
Result<> refusedSource(const std::string& sourcePath, const std::string& basePath,
                       const SegmentOptions& options) {
    if ((options.writeManifest && sameFile(sourcePath, manifestPathFor(basePath))) ||
        (options.writeJoinScript && sameFile(sourcePath, joinScriptPathFor(basePath))))
        return refusal(shardix::quoted(sourcePath) +
                       " is the manifest or the join script of the pieces; please choose "
                       "another base name.");
    return {};
}

// Every check of the names a cut writes, before anything is written.
Result<> refusedNames(const std::string& sourcePath, const std::string& basePath, int count,
                      const SegmentOptions& options) {
    const auto nameOfPiece = [&](int k) { return pieceName(basePath, k, options.digits); };
    if (options.digits > 0 && digitCount(count) > options.digits)
        return Error::of(ErrorKind::Refused,
                         shardix::quoted(sourcePath) + " would be cut into " +
                             std::to_string(count) + " pieces, which " +
                             std::to_string(options.digits) +
                             (options.digits == 1 ? " digit" : " digits") +
                             " cannot number.  Please ask for more digits or larger pieces.");
    if (Result<> refused = refusedLongName(nameOfPiece(count), "piece " + std::to_string(count));
        !refused.ok())
        return refused;
    std::vector<std::string> names;
    for (int k = 1; k <= count; ++k) {
        if (Result<> refused = refusedOutput(nameOfPiece(k)); !refused.ok())
            return refused;
        names.push_back(nameOfPiece(k));
    }
    if (const auto same = firstSameFile(names))
        return refusal(oneFile(names[same->first], names[same->second]) +
                       " (links to one another): writing one piece would change the other.  "
                       "Nothing was written; please remove one of them first.");
    if (Result<> refused = refusedCompanions(basePath, fileNameOf(sourcePath), options);
        !refused.ok())
        return refused;
    return refusedSource(sourcePath, basePath, options);
}

// One cut: the source taken up, the lengths of its pieces, and how far the
// writing has got.
class CutRun {
  public:
    CutRun(const std::string& sourcePath, const std::string& basePath, RunProgress& progress,
           const SegmentOptions& options, SegmentReport& report)
        : sourcePath_(sourcePath), basePath_(basePath), progress_(progress), options_(options),
          report_(report) {}

    // Everything before the first piece is written; refuses what cannot be cut.
    Result<> prepare(const PieceLengths& lengthsOf) {
        source_ = valueOrRaise(openMeasured(sourcePath_));
        if (Result<> refused = lengthsOf(source_.length, lengths_); !refused.ok())
            return refused;
        if (Result<> refused = refusedNames(sourcePath_, basePath_, count(), options_);
            !refused.ok())
            return refused;
        progress_.setProgressMin(1);
        progress_.setProgressMax(count());
        progress_.setProgressValue(1);
        progress_.setProgressVisible(true);
        cutFromPrivateCopyIfNeeded();
        if (options_.consumer)
            consumer_ = valueOrRaise(options_.consumer(source_.file, lengths_));
        return {};
    }

    void cut() {
        const bool hash = options_.writeManifest || options_.computeChecksums;
        std::optional<ChecksumReader> reader;
        if (hash || consumer_)
            reader.emplace(source_.file, source_.length, lengths_, source_.length,
                           hash ? ReaderHashes::sha256(lengths_.size())
                                : ReaderHashes::none(lengths_.size()),
                           sink());
        for (int k = 1; k <= count(); ++k)
            writePiece(k, reader ? &*reader : nullptr);
        if (reader) {
            Result<Checksums> sums = reader->finish([&]() -> Result<> {
                showDone(written_, &*reader);
                return stopIfAsked(progress_, nameOfPiece(count()));
            });
            if (!sums.ok())
                fail(sums.error());
            if (hash)
                report_.checksums = std::move(sums).value();
        }
        report_.checksums.lengths = lengths_;
        showDone(written_, nullptr);
        if (consumer_)
            valueOrRaise(consumer_->finish(progress_));
    }

    bool wrotePieces() const { return wrotePieces_; }

  private:
    int count() const { return static_cast<int>(lengths_.size()); }

    ChecksumReader::Sink sink() const {
        if (!consumer_)
            return {};
        return [consumer = consumer_.get()](const char* bytes, std::size_t length) {
            return consumer->take(bytes, length);
        };
    }

    std::string nameOfPiece(int k) const { return pieceName(basePath_, k, options_.digits); }

    // When a piece to be written is the source itself (the same name, or a
    // link to it), cut from a private copy so that every piece is right.
    void cutFromPrivateCopyIfNeeded() {
        for (int k = 1; k <= count(); ++k) {
            if (sameFile(source_.file, nameOfPiece(k))) {
                source_.file = privateCopy(source_.file, source_.length, nameOfPiece(k), progress_,
                                           options_.copyChunk);
                return;
            }
        }
    }

    void writePiece(int k, ChecksumReader* reader) {
        progress_.pumpEvents();
        // Asked before the next piece is created (and emptied).
        valueOrRaise(stopIfAsked(progress_, k > 1 ? nameOfPiece(k - 1) : std::string()));
        const std::int64_t size = lengths_[static_cast<std::size_t>(k - 1)];
        wrotePieces_ = true;
        FileHandle output = valueOrRaise(createOutput(nameOfPiece(k)));
        progress_.writing(nameOfPiece(k));
        const std::int64_t start = written_;
        valueOrRaise(copyRange(source_.file, start, size, output, progress_, options_.copyChunk,
                               kReserveStep,
                               [&](std::int64_t copied) { showDone(start + copied, reader); }));
        written_ += size;
        progress_.setProgressValue(k);
        valueOrRaise(output.close());
    }

    void showDone(std::int64_t copied, const ChecksumReader* reader) {
        progress_.setBytesDone(reader ? std::min(copied, reader->hashed()) : copied,
                               source_.length);
    }

    const std::string& sourcePath_;
    const std::string& basePath_;
    RunProgress& progress_;
    const SegmentOptions& options_;
    SegmentReport& report_;
    MeasuredFile source_;
    std::vector<std::int64_t> lengths_;
    std::unique_ptr<SourceConsumer> consumer_;
    std::int64_t written_ = 0;
    bool wrotePieces_ = false;
};

Result<> cutFile(const std::string& sourcePath, const std::string& basePath,
                 const PieceLengths& lengthsOf, RunProgress& progress,
                 const SegmentOptions& options, SegmentReport& report) {
    const OldCompanions old = oldCompanionsOf(basePath, options);
    CutRun run(sourcePath, basePath, progress, options, report);
    // A failure while writing keeps what was written.
    Result<> result = guarded([&]() -> Result<> {
        if (Result<> refused = run.prepare(lengthsOf); !refused.ok())
            return refused;
        run.cut();
        return {};
    });
    if (!run.wrotePieces())
        return result;
    return settleCompanions(basePath, fileNameOf(sourcePath), options, old, result, report);
}

// The piece lengths of a cut into `count` equal pieces.
PieceLengths equalLengths(const std::string& sourcePath, int count) {
    return [sourcePath, count](std::int64_t length, std::vector<std::int64_t>& lengths) {
        // An empty file gives empty pieces; otherwise every piece holds a byte at least.
        if (length > 0 && count > length)
            return Result<>(Error::of(ErrorKind::Refused, msg::kPartsGreaterThanWhole, sourcePath));
        lengths.assign(static_cast<std::size_t>(count), length / count);
        lengths.back() = length - length / count * (count - 1);
        return Result<>();
    };
}

// The piece lengths of a cut into pieces of `pieceLength` bytes.
PieceLengths lengthsOfSize(const std::string& sourcePath, std::int64_t pieceLength) {
    return [sourcePath, pieceLength](std::int64_t length, std::vector<std::int64_t>& lengths) {
        const std::int64_t count = std::max<std::int64_t>(1, (length - 1) / pieceLength + 1);
        if (count > kMaxPieces)
            return Result<>(Error::of(
                ErrorKind::Refused,
                "Cutting " + shardix::quoted(sourcePath) + " (" + std::to_string(length) +
                    " bytes) into pieces of " + std::to_string(pieceLength) + " bytes would make " +
                    std::to_string(count) + " pieces; at most " + std::to_string(kMaxPieces) +
                    " can be made.  Please choose a larger size."));
        lengths.assign(static_cast<std::size_t>(count), pieceLength);
        lengths.back() = length - pieceLength * (count - 1);
        return Result<>();
    };
}

Result<> badCount(int count) {
    return Error::of(ErrorKind::Refused, "The number of pieces must be at least one; " +
                                             std::to_string(count) + " was asked for.");
}

Result<> badLength() {
    return Error::of(ErrorKind::Refused, "The length of the pieces must be at least one byte.");
}

} // namespace

Result<> segmentFile(const std::string& sourcePath, const std::string& basePath, int count,
                     RunProgress& progress, const SegmentOptions& options, SegmentReport* report) {
    if (count < 1)
        return badCount(count);
    SegmentReport own;
    return cutFile(sourcePath, basePath, equalLengths(sourcePath, count), progress, options,
                   report ? *report : own);
}

Result<> segmentFileBySize(const std::string& sourcePath, const std::string& basePath,
                           std::int64_t pieceLength, RunProgress& progress,
                           const SegmentOptions& options, SegmentReport* report) {
    if (pieceLength < 1)
        return badLength();
    SegmentReport own;
    return cutFile(sourcePath, basePath, lengthsOfSize(sourcePath, pieceLength), progress, options,
                   report ? *report : own);
}

} // namespace shardix
