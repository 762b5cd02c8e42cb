#include "engines/FileIo.h"

#include "engines/AppError.h"
#include "engines/EngineUi.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace shardix {

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileHandle::close() {
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw AppError::fromErrno(errno, "write", path_);
}

namespace {

FileHandle openOrThrow(const std::string& path, int flags, const char* action) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw AppError::fromErrno(errno, action, path);
    return FileHandle(fd, path);
}

// One buffer for the whole run, used only where the kernel cannot copy between
// the two files itself (for instance into a device).
std::vector<char>& copyBuffer(std::int64_t pieceSize) {
    thread_local std::vector<char> buffer;
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(pieceSize, kPieceSize));
    if (buffer.size() < want)
        buffer.resize(want);
    return buffer;
}

[[noreturn]] void throwShortInput(const FileHandle& in) {
    throw AppError(ErrNo::InputPastEnd,
                   "Cannot read \"" + in.path() +
                       "\": the file is shorter than when it was measured; it was changed "
                       "while it was being copied.");
}

// Copies exactly `length` bytes from `in` at `offset` to the position of `out`.
void copyPiece(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out) {
    bool kernelCopy = true;
    while (length > 0) {
        if (kernelCopy) {
            loff_t inPos = offset;
            const ssize_t n = ::copy_file_range(in.fd(), &inPos, out.fd(), nullptr,
                                                static_cast<std::size_t>(length), 0);
            if (n > 0) {
                offset += n;
                length -= n;
                continue;
            }
            if (n == 0)
                throwShortInput(in);
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == ETXTBSY || errno == EPERM) {
                kernelCopy = false; // not between these two files: copy through memory
                continue;
            }
            if (errno == EIO)
                throw AppError::fromErrno(errno, "copy into", out.path());
            throw AppError::fromErrno(errno, "write", out.path());
        }

        std::vector<char>& buffer = copyBuffer(length);
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(length, static_cast<std::int64_t>(buffer.size())));
        const ssize_t got = ::pread(in.fd(), buffer.data(), chunk, offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw AppError::fromErrno(errno, "read", in.path());
        }
        if (got == 0)
            throwShortInput(in);
        // Write everything that was read; a short write is continued.
        ssize_t done = 0;
        while (done < got) {
            const ssize_t w = ::write(out.fd(), buffer.data() + done, got - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                throw AppError::fromErrno(errno, "write", out.path());
            }
            if (w == 0)
                throw AppError::fromErrno(ENOSPC, "write", out.path());
            done += w;
        }
        offset += got;
        length -= got;
    }
}

} // namespace

FileHandle openInput(const std::string& path) { return openOrThrow(path, O_RDONLY, "open"); }

FileHandle createOutput(const std::string& path) {
    return openOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC, "create");
}

FileHandle openForAppend(const std::string& path) {
    // Not O_APPEND: the kernel will not copy into such a file. The position is
    // put at the end instead; nothing before it is touched.
    FileHandle f = openOrThrow(path, O_WRONLY | O_CREAT, "open for appending");
    if (::lseek(f.fd(), 0, SEEK_END) < 0)
        throw AppError::fromErrno(errno, "open for appending", path);
    return f;
}

void copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               EngineUi& ui, std::int64_t pieceSize) {
    if (pieceSize < 1)
        pieceSize = kPieceSize;
    bool first = true;
    while (length > 0) {
        if (!first)
            ui.pumpEvents();
        first = false;
        const std::int64_t piece = std::min(length, pieceSize);
        copyPiece(in, offset, piece, out);
        offset += piece;
        length -= piece;
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool sameFile(const FileHandle& file, const std::string& path) {
    struct stat sa {};
    struct stat sb {};
    if (!file.isOpen() || ::fstat(file.fd(), &sa) != 0 || ::stat(path.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace shardix
