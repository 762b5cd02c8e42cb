#include "engines/operations/StreamCut.h"

#include "engines/names/FolderListing.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace shardix {

namespace {

constexpr std::size_t kBuffer = 1 << 20;

// A piece being written under a temporary name, removed unless it is kept.
class PieceFile {
  public:
    PieceFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
        auto [folder, name] = splitPath(finalPath_);
        temporary_ = folder + "." + name + ".cut-XXXXXX";
        fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
        if (fd_ < 0)
            fail(Error::fromErrno(errno, "create", finalPath_, Missing::Folder));
    }
    ~PieceFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!kept_)
            ::unlink(temporary_.c_str());
    }
    PieceFile(const PieceFile&) = delete;
    PieceFile& operator=(const PieceFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return finalPath_; }

    void write(const char* bytes, std::size_t length) {
        for (std::size_t done = 0; done < length;) {
            const ssize_t n = ::write(fd_, bytes + done, length - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(Error::fromErrno(n < 0 ? errno : ENOSPC, "write", finalPath_));
            done += static_cast<std::size_t>(n);
        }
    }

    // Closes the piece and gives it its name, with the mode of a file the
    // user creates (mkostemp made it 0600): 0666 less `mask`.
    void keep(bool replace, mode_t mask) {
        if (::fchmod(fd_, 0666 & ~mask) != 0)
            fail(Error::fromErrno(errno, "write", finalPath_));
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR)
            fail(Error::fromErrno(errno, "write", finalPath_));
        if (replace) {
            if (::rename(temporary_.c_str(), finalPath_.c_str()) != 0)
                fail(Error::fromErrno(errno, "create", finalPath_, Missing::Folder));
        } else {
            // A link never replaces a file of that name.
            if (::link(temporary_.c_str(), finalPath_.c_str()) != 0) {
                if (errno == EEXIST)
                    fail(Error::of(ErrorKind::FileAccess,
                                   "Cannot create " + shardix::quoted(finalPath_) +
                                       ": a file of that name exists already."));
                fail(Error::fromErrno(errno, "create", finalPath_, Missing::Folder));
            }
            ::unlink(temporary_.c_str());
        }
        kept_ = true;
    }

  private:
    std::string finalPath_;
    std::string temporary_;
    int fd_ = -1;
    bool kept_ = false;
};

// The process's file mode mask, read without changing it (umask() would,
// for every thread).
mode_t currentMask() {
    FILE* status = std::fopen("/proc/self/status", "r");
    unsigned mask = 022;
    char line[256];
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "Umask: %o", &mask) == 1)
            break;
    }
    if (status)
        std::fclose(status);
    return static_cast<mode_t>(mask);
}

bool isPipe(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

// One cut of a stream: the input, the checksums taken on the way, and the
// pieces written so far.
class StreamCutter {
  public:
    StreamCutter(int input, const std::string& inputName, const std::string& basePath,
                 std::int64_t pieceLength, const StreamCutOptions& options, StreamCut& cut)
        : input_(input), inputName_(inputName), basePath_(basePath), pieceLength_(pieceLength),
          options_(options), cut_(cut),
          pieceSums_(valueOrRaise(MultiHasher::of(options.pieceChecksums))),
          wholeSums_(valueOrRaise(MultiHasher::of(options.wholeChecksums))), mask_(currentMask()) {
        // Without checksums the bytes need not come to us: a pipe's pages are
        // moved to the file in the kernel.
        splicing_ = pieceSums_.empty() && wholeSums_.empty() && isPipe(input);
    }

    Result<> run() {
        for (std::int64_t number = 1; !ended_; ++number) {
            if (Result<> refused = roomFor(number); !refused.ok())
                return refused;
            const std::string path = pieceName(basePath_, number, options_.digits);
            PieceFile piece(path);
            const std::int64_t length = fill(piece);
            // The input ended just after a whole piece: no empty piece after it.
            if (length == 0 && number > 1)
                break;
            piece.keep(options_.replace, mask_);
            cut_.pieces.push_back({path, length, pieceSums_.digests()});
        }
        cut_.wholeChecksums = wholeSums_.digests();
        return {};
    }

  private:
    // Refuses a piece beyond the most that may be written, or numbered.
    Result<> roomFor(std::int64_t number) const {
        const std::string written = std::to_string(cut_.pieces.size());
        if (number > options_.maxPieces)
            return Error::of(ErrorKind::Refused, shardix::quoted(inputName_) + " needs more than " +
                                                     std::to_string(options_.maxPieces) +
                                                     " pieces of " + std::to_string(pieceLength_) +
                                                     " bytes; " + written +
                                                     " are written. Choose larger pieces.");
        if (options_.digits > 0 &&
            std::to_string(number).size() > static_cast<std::size_t>(options_.digits))
            return Error::of(ErrorKind::Refused, shardix::quoted(inputName_) +
                                                     " needs more pieces than " +
                                                     std::to_string(options_.digits) +
                                                     " digits can number; " + written +
                                                     " are written. Choose larger pieces or more "
                                                     "digits.");
        return {};
    }

    // Fills `piece` from the input, up to a piece's length or the input's
    // end; returns how many bytes it took.
    std::int64_t fill(PieceFile& piece) {
        std::int64_t length = 0;
        while (length < pieceLength_) {
            const ssize_t n = move(piece, pieceLength_ - length);
            if (n < 0)
                continue;
            if (n == 0) {
                ended_ = true;
                break;
            }
            length += n;
            cut_.length += n;
            if (options_.progress)
                options_.progress(cut_.length);
        }
        return length;
    }

    // Moves up to `want` bytes into `piece`: what read() or splice() gives;
    // below 0 to try again (interrupted, or an input that does not wait for
    // its writer and has nothing yet).
    ssize_t move(PieceFile& piece, std::int64_t want) {
        awaitInput();
        return splicing_ ? splice(piece, want) : readAndWrite(piece, want);
    }

    // Waits until the input has bytes, or has ended; in short waits, between
    // which it asks whether to stop, when it may be asked.
    void awaitInput() const {
        const int wait = options_.stopRequested ? 250 : -1;
        for (;;) {
            if (options_.stopRequested && options_.stopRequested())
                fail(Error::of(ErrorKind::Stopped, stoppedMessage()));
            pollfd ready{input_, POLLIN, 0};
            if (::poll(&ready, 1, wait) != 0)
                return;
        }
    }

    std::string stoppedMessage() const {
        const std::string read = "The run was stopped after " + std::to_string(cut_.length) +
                                 " bytes of " + shardix::quoted(inputName_);
        if (cut_.pieces.empty())
            return read + "; no piece was whole, and none was kept.";
        return read + ".  " + shardix::quoted(cut_.pieces.back().path) +
               " and the pieces before it are whole; the bytes read after them were not kept.";
    }

    ssize_t splice(PieceFile& piece, std::int64_t want) {
        const ssize_t n = ::splice(input_, nullptr, piece.fd(), nullptr,
                                   static_cast<std::size_t>(std::min<std::int64_t>(want, 1 << 30)),
                                   SPLICE_F_MOVE);
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
            splicing_ = false; // a file system that takes no pages from a pipe
            errno = EINTR;
            return -1;
        }
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            fail(Error::fromErrno(errno, "read", inputName_));
        return n;
    }

    ssize_t readAndWrite(PieceFile& piece, std::int64_t want) {
        if (!buffer_)
            buffer_ = std::make_unique<char[]>(kBuffer);
        const ssize_t n = ::read(input_, buffer_.get(),
                                 static_cast<std::size_t>(std::min<std::int64_t>(want, kBuffer)));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            fail(Error::fromErrno(errno, "read", inputName_));
        if (n > 0) {
            const auto bytes = static_cast<std::size_t>(n);
            pieceSums_.update(buffer_.get(), bytes);
            wholeSums_.update(buffer_.get(), bytes);
            piece.write(buffer_.get(), bytes);
        }
        return n;
    }

    const int input_;
    const std::string& inputName_;
    const std::string& basePath_;
    const std::int64_t pieceLength_;
    const StreamCutOptions& options_;
    StreamCut& cut_;
    MultiHasher pieceSums_;
    MultiHasher wholeSums_;
    const mode_t mask_;
    bool splicing_ = false;
    bool ended_ = false;
    std::unique_ptr<char[]> buffer_;
};

} // namespace

Result<> cutStream(int input, const std::string& inputName, const std::string& basePath,
                   std::int64_t pieceLength, const StreamCutOptions& options, StreamCut& cut) {
    cut = StreamCut{};
    if (pieceLength < 1)
        return Error::of(ErrorKind::Refused, "A piece must hold at least one byte.");
    return guarded([&] {
        StreamCutter cutter(input, inputName, basePath, pieceLength, options, cut);
        return cutter.run();
    });
}

} // namespace shardix
