#include "engines/operations/StreamCut.h"

#include "engines/names/FolderListing.h"
#include "errors/Error.h"

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
            fail(Error::fromErrno(errno, "create", finalPath_));
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
                fail(Error::fromErrno(errno, "create", finalPath_));
        } else {
            // A link never replaces a file of that name.
            if (::link(temporary_.c_str(), finalPath_.c_str()) != 0) {
                if (errno == EEXIST)
                    fail(Error::of(ErrorKind::FileAccess,
                                   "Cannot create \"" + finalPath_ +
                                       "\": a file of that name exists already."));
                fail(Error::fromErrno(errno, "create", finalPath_));
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

} // namespace

std::string pieceName(const std::string& basePath, std::int64_t number, int digits) {
    std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return basePath + text;
}

Result<> cutStream(int input, const std::string& inputName, const std::string& basePath,
                   std::int64_t copyChunk, const StreamCutOptions& options, StreamCut& cut) {
    cut = StreamCut{};
    if (copyChunk < 1)
        return Error::of(ErrorKind::Refused, "A piece must hold at least one byte.");
    MultiHasher pieceSums(options.pieceChecksums);
    MultiHasher wholeSums(options.wholeChecksums);
    // Without checksums the bytes need not come to us: a pipe's pages are
    // moved to the file in the kernel.
    bool splicing = pieceSums.empty() && wholeSums.empty() && isPipe(input);
    std::unique_ptr<char[]> buffer;
    const mode_t mask = currentMask();
    const auto readError = [&](int err) { return Error::fromErrno(err, "read", inputName); };
    try {
        for (std::int64_t number = 1;; ++number) {
            if (number > options.maxPieces)
                return Error::of(
                    ErrorKind::Refused,
                    "\"" + inputName + "\" needs more than " + std::to_string(options.maxPieces) +
                        " pieces of " + std::to_string(copyChunk) + " bytes; " +
                        std::to_string(cut.pieces.size()) + " are written. Choose larger pieces.");
            const std::string path = pieceName(basePath, number, options.digits);
            if (options.digits > 0 &&
                std::to_string(number).size() > static_cast<std::size_t>(options.digits))
                return Error::of(ErrorKind::Refused,
                                 "\"" + inputName + "\" needs more pieces than " +
                                     std::to_string(options.digits) + " digits can number; " +
                                     std::to_string(cut.pieces.size()) +
                                     " are written. Choose larger pieces or more digits.");
            PieceFile piece(path);
            std::int64_t length = 0;
            bool ended = false;
            while (length < copyChunk) {
                const std::int64_t want = copyChunk - length;
                ssize_t n = 0;
                if (splicing) {
                    n = ::splice(input, nullptr, piece.fd(), nullptr,
                                 static_cast<std::size_t>(std::min<std::int64_t>(want, 1 << 30)),
                                 SPLICE_F_MOVE);
                    if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                        splicing = false; // a file system that takes no pages from a pipe
                        continue;
                    }
                    if (n < 0 && errno != EINTR && errno != EAGAIN)
                        return readError(errno);
                } else {
                    if (!buffer)
                        buffer = std::make_unique<char[]>(kBuffer);
                    n = ::read(input, buffer.get(),
                               static_cast<std::size_t>(std::min<std::int64_t>(want, kBuffer)));
                    if (n < 0 && errno != EINTR && errno != EAGAIN)
                        return readError(errno);
                    if (n > 0) {
                        const auto bytes = static_cast<std::size_t>(n);
                        pieceSums.update(buffer.get(), bytes);
                        wholeSums.update(buffer.get(), bytes);
                        piece.write(buffer.get(), bytes);
                    }
                }
                if (n < 0) {
                    // Interrupted, or an input that does not wait for its writer.
                    if (errno == EAGAIN) {
                        pollfd ready{input, POLLIN, 0};
                        ::poll(&ready, 1, -1);
                    }
                    continue;
                }
                if (n == 0) {
                    ended = true;
                    break;
                }
                length += n;
                cut.length += n;
                if (options.progress)
                    options.progress(cut.length);
            }
            // The input ended just after a whole piece: no empty piece after it.
            if (length == 0 && number > 1)
                break;
            piece.keep(options.replace, mask);
            cut.pieces.push_back({path, length, pieceSums.digests()});
            if (ended)
                break;
        }
    } catch (const Failed& e) {
        return e.error();
    }
    cut.wholeChecksums = wholeSums.digests();
    return {};
}

} // namespace shardix
