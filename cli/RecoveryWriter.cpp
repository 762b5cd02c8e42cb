#include "cli/RecoveryWriter.h"

#include "engines/io/Residency.h"
#include "engines/io/RunProgress.h"
#include "engines/names/PiecePolicy.h"
#include "engines/recovery/RecoveryEncoder.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace shardix::cli {

namespace {

std::string fileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The pieces as the index lists them: their names in the index's folder, their
// lengths and first bytes, read from the source before the cut begins.
Result<std::vector<RecoveryPiece>> piecesOf(const std::string& basePath, int digits,
                                            const FileHandle& source,
                                            const std::vector<std::int64_t>& lengths) {
    std::vector<RecoveryPiece> pieces;
    std::int64_t offset = 0;
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        RecoveryPiece piece{
            fileNameOf(pieceName(basePath, static_cast<std::int64_t>(k) + 1, digits)),
            lengths[k],
            {}};
        piece.head.resize(static_cast<std::size_t>(
            std::min<std::int64_t>(lengths[k], static_cast<std::int64_t>(kRecoveryHeadBytes))));
        if (Result<> read = readExactly(source, offset, piece.head.data(),
                                        static_cast<std::int64_t>(piece.head.size()));
            !read.ok())
            return read.error();
        offset += lengths[k];
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

// Reads a piece again from the source, where it starts at starts[piece].
StreamRead sourceReader(const FileHandle& source, const std::vector<std::int64_t>& lengths) {
    std::vector<std::int64_t> starts;
    std::int64_t offset = 0;
    for (const std::int64_t length : lengths) {
        starts.push_back(offset);
        offset += length;
    }
    return [&source, starts = std::move(starts)](std::size_t piece, std::uint64_t at,
                                                 std::uint8_t* into, std::size_t length) {
        return readExactly(source, starts[piece] + static_cast<std::int64_t>(at),
                           reinterpret_cast<char*>(into), static_cast<std::int64_t>(length));
    };
}

// Feeds the encoder from the cut's read and finishes it after the last piece.
// While it finishes (the last blocks, the files written, and the pieces read
// back when the recovery blocks did not all fit in memory) it shows its
// progress and stops when the user asks.
class EncoderConsumer : public SourceConsumer {
  public:
    EncoderConsumer(const std::string& indexPath, const FileHandle& source,
                    const std::vector<std::int64_t>& lengths, std::vector<RecoveryPiece> pieces,
                    const RecoveryPlan& plan, bool replace, RecoveryWritten& written)
        : indexPath_(indexPath), replace_(replace),
          replaced_(replace ? setOfIndex(indexPath) : std::nullopt),
          inMemory_(isResident(source.fd(), 0, totalOf(lengths))),
          encoder_(indexPath, std::move(pieces), plan, control(inMemory_), replace),
          written_(written) {
        // A source in memory is read again for the pieces' MD5s, side by
        // side; one that is not would be read from the disk twice.
        if (encoder_.status().ok() && inMemory_)
            encoder_.rereadPiecesWith(sourceReader(source, lengths));
    }

    // The encoder's refusal of the pieces or the plan, before any byte.
    Result<> status() const { return encoder_.status(); }

    Result<> take(const char* bytes, std::size_t length) override {
        return encoder_.feed(bytes, length);
    }

    Result<> finish(RunProgress& progress) override {
        progress_ = &progress;
        const Result<> finished = encoder_.finish();
        progress_ = nullptr;
        if (!finished.ok())
            return finished;
        written_.names = encoder_.written();
        Result<StaleVolumes> stale =
            removeStaleVolumes(indexPath_, written_.names, replaced_, replace_);
        if (!stale.ok())
            return stale.error();
        written_.stale = std::move(stale).value();
        return {};
    }

  private:
    // Progress is told on the thread that calls the encoder: only that of
    // finish(), on the cut's own thread, is shown.
    static std::int64_t totalOf(const std::vector<std::int64_t>& lengths) {
        std::int64_t total = 0;
        for (const std::int64_t length : lengths)
            total += length;
        return total;
    }

    RecoveryControl control(bool inMemory) {
        RecoveryControl control;
        control.stop = &stop_;
        control.inputInMemory = inMemory;
        control.progress = [this](std::int64_t done, std::int64_t total) {
            if (!progress_)
                return;
            progress_->setBytesDone(done, total);
            if (progress_->stopRequested())
                stop_ = true;
        };
        return control;
    }

    const std::string indexPath_;
    const bool replace_;
    // The set of the index this cut replaces, read before the encoder starts.
    const std::optional<Md5Digest> replaced_;
    // The source is in the page cache: the encoder need not overlap its reads.
    const bool inMemory_;
    std::atomic<bool> stop_{false};
    RunProgress* progress_ = nullptr;
    RecoveryEncoder encoder_;
    RecoveryWritten& written_;
};

} // namespace

SourceConsumerMaker recoveryWriter(const RecoveryRequest& request, RecoveryWritten& written) {
    return [request, &written](const FileHandle& source, const std::vector<std::int64_t>& lengths)
               -> Result<std::unique_ptr<SourceConsumer>> {
        const std::string index = recoveryIndexPathFor(request.basePath);
        Result<RecoveryPlan> plan = planRecovery(lengths, request.percent, request.blockSize);
        if (!plan.ok())
            return Error::of(plan.error().kind, plan.error().message + "  Nothing was written.",
                             request.sourcePath);
        Result<std::vector<RecoveryPiece>> pieces =
            piecesOf(request.basePath, request.digits, source, lengths);
        if (!pieces.ok())
            return pieces.error();
        written = RecoveryWritten{{}, *plan, {}};
        auto consumer = std::make_unique<EncoderConsumer>(
            index, source, lengths, std::move(pieces).value(), *plan, request.replace, written);
        if (Result<> refused = consumer->status(); !refused.ok())
            return refused.error();
        return std::unique_ptr<SourceConsumer>(std::move(consumer));
    };
}

} // namespace shardix::cli
