#include "engines/recovery/RecoveryEncoder.h"

#include "engines/io/PositionedIo.h"
#include "engines/recovery/EncoderState.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace shardix {

using namespace par2;

RecoveryEncoder::RecoveryEncoder(const std::string& indexPath, std::vector<RecoveryPiece> pieces,
                                 const RecoveryPlan& plan, RecoveryControl control, bool replace)
    : state_(std::make_unique<State>()) {
    state_->control = std::move(control);
    state_->plan = plan;
    state_->replace = replace;
    Result<> started = state_->start(indexPath, pieces);
    if (!started.ok())
        state_->failure = started.error();
}

RecoveryEncoder::~RecoveryEncoder() {
    // The accumulator waits for the pool's threads; the temporary files go
    // with the state.
    state_->accumulator.reset();
    state_->stopWholeHasher = true;
    if (state_->wholeHasher.joinable())
        state_->wholeHasher.join();
}

void RecoveryEncoder::rereadPiecesWith(StreamRead read) {
    State& s = *state_;
    if (s.failure || s.done > 0 || s.current > 0 || s.fill > 0 || s.wholeHasher.joinable() ||
        !streamsWorthLanes(s.pieces.size()))
        return;
    s.hashWholePieces(std::move(read));
}

Result<> RecoveryEncoder::status() const {
    if (state_->failure)
        return *state_->failure;
    return {};
}

const std::vector<std::string>& RecoveryEncoder::written() const {
    return state_->written;
}

Result<> RecoveryEncoder::feed(const void* bytes, std::size_t length) {
    State& s = *state_;
    if (s.failure)
        return *s.failure;
    // A shortage of memory stops the stream as any failure does.
    Result<> fed =
        guarded([&] { return s.stream(static_cast<const std::uint8_t*>(bytes), length); });
    if (!fed.ok())
        s.failure = fed.error();
    return fed;
}

Result<> RecoveryEncoder::finish() {
    State& s = *state_;
    if (s.failure)
        return *s.failure;
    Result<> finished = guarded([&] { return s.complete(); });
    if (!finished.ok()) {
        s.failure = finished.error();
        s.index.discard();
        for (TempFile& volume : s.volumes)
            volume.discard();
    }
    return finished;
}

namespace {

constexpr std::size_t kReadChunk = 4 << 20;

// The pieces of a set being created, files of the index's folder: their
// lengths and first bytes read at the start, the rest streamed to the
// encoder a piece at a time.
class PieceFiles {
  public:
    PieceFiles(const std::string& indexPath, const std::vector<std::string>& paths);

    const std::vector<RecoveryPiece>& pieces() const { return pieces_; }
    // Gives piece `i` to `encoder`, through `buffer`; stops early when the
    // encoder fails (its status says why).
    void stream(std::size_t i, RecoveryEncoder& encoder, std::vector<char>& buffer) const;

  private:
    struct Identity {
        dev_t device;
        ino_t inode;
    };
    void measure(const std::string& path, const std::string& indexPath,
                 const struct stat& folderInfo);

    Folder folder_;
    std::vector<std::string> paths_;
    std::vector<RecoveryPiece> pieces_;
    std::vector<Identity> identities_;
};

PieceFiles::PieceFiles(const std::string& indexPath, const std::vector<std::string>& paths)
    : paths_(paths) {
    folder_ = valueOrRaise(Folder::open(indexPath)).folder;
    struct stat folderInfo {};
    if (::fstat(folder_.fd(), &folderInfo) != 0)
        fail(Error::fromErrno(errno, "read", folder_.shownPath()));
    for (const std::string& path : paths)
        measure(path, indexPath, folderInfo);
}

// A piece's length and first bytes, and what file it is.
void PieceFiles::measure(const std::string& path, const std::string& indexPath,
                         const struct stat& folderInfo) {
    const auto [pieceFolder, name] = valueOrRaise(Folder::open(path));
    struct stat info {};
    if (::fstat(pieceFolder.fd(), &info) != 0)
        fail(Error::fromErrno(errno, "read", path));
    if (info.st_dev != folderInfo.st_dev || info.st_ino != folderInfo.st_ino)
        fail(Error::of(ErrorKind::Refused, shardix::quoted(path) + " is not in the folder of " +
                                               shardix::quoted(indexPath) +
                                               "; the recovery files must lie beside the pieces."));
    const FileHandle fd = valueOrRaise(retold(folder_.openForReading(name), "read", path));
    if (::fstat(fd.fd(), &info) != 0)
        fail(Error::fromErrno(errno, "read", path));
    RecoveryPiece piece{name, info.st_size, {}};
    piece.head.resize(
        static_cast<std::size_t>(std::min<std::int64_t>(info.st_size, kRecoveryHeadBytes)));
    if (valueOrRaise(retold(readAt(fd, 0, piece.head.data(), piece.head.size()), "read", path)) !=
        piece.head.size())
        fail(Error::fromErrno(EIO, "read", path));
    pieces_.push_back(std::move(piece));
    identities_.push_back(Identity{info.st_dev, info.st_ino});
}

void PieceFiles::stream(std::size_t i, RecoveryEncoder& encoder, std::vector<char>& buffer) const {
    const RecoveryPiece& piece = pieces_[i];
    const std::string& path = paths_[i];
    if (piece.length == 0)
        return;
    const FileHandle fd = valueOrRaise(retold(folder_.openForReading(piece.name), "read", path));
    struct stat info {};
    if (::fstat(fd.fd(), &info) != 0 || info.st_dev != identities_[i].device ||
        info.st_ino != identities_[i].inode)
        fail(Error::of(ErrorKind::Mismatch,
                       shardix::quoted(path) + " was replaced while it was read."));
    ::posix_fadvise(fd.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    for (std::int64_t at = 0; at < piece.length;) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(kReadChunk, piece.length - at));
        const std::size_t got =
            valueOrRaise(retold(readAt(fd, at, buffer.data(), wanted), "read", path));
        if (got != wanted)
            fail(Error::of(ErrorKind::InputPastEnd,
                           shardix::quoted(path) + " became shorter while it was read."));
        if (!encoder.feed(buffer.data(), wanted).ok())
            return;
        at += static_cast<std::int64_t>(got);
    }
}

} // namespace

Result<> createRecovery(const std::string& indexPath, const std::vector<std::string>& piecePaths,
                        const RecoveryPlan& plan, const RecoveryControl& control, bool replace) {
    return guarded([&]() -> Result<> {
        const PieceFiles files(indexPath, piecePaths);
        RecoveryEncoder encoder(indexPath, files.pieces(), plan, control, replace);
        std::vector<char> buffer(kReadChunk);
        for (std::size_t i = 0; i < files.pieces().size() && encoder.status().ok(); ++i)
            files.stream(i, encoder, buffer);
        return encoder.finish();
    });
}

} // namespace shardix
