#include "engines/io/FileIo.h"

#include "engines/io/RunProgress.h"
#include "errors/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
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
        fail(Error::fromErrno(errno, "write", path_));
}

namespace {

FileHandle openOrThrow(const std::string& path, int flags, const char* action) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail(Error::fromErrno(errno, action, path));
    return FileHandle(fd, path);
}

// What `mode` is, for a name that cannot take an output; nothing for a file, a
// folder (refused by the system itself) or a character device.
const char* unwritableKind(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a pipe (FIFO)";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a disk device";
    return nullptr;
}

std::string refusal(const std::string& path, const char* kind) {
    return "Cannot write \"" + path + "\": it is " + kind + ", not a file.";
}

// Opens an output without waiting for a reader, should the name have become a
// pipe since it was checked, then refuses anything that refusedOutput would.
FileHandle openOutput(const std::string& path, int flags, const char* action) {
    FileHandle f = openOrThrow(path, flags | O_NONBLOCK, action);
    struct stat st {};
    if (::fstat(f.fd(), &st) != 0)
        fail(Error::fromErrno(errno, action, path));
    if (const char* kind = unwritableKind(st.st_mode))
        fail(Error::of(ErrorKind::FileAccess, refusal(path, kind)));
    ::fcntl(f.fd(), F_SETFL, ::fcntl(f.fd(), F_GETFL) & ~O_NONBLOCK);
    return f;
}

[[noreturn]] void throwShortInput(const FileHandle& in) {
    fail(Error::of(ErrorKind::InputPastEnd,
                   "Cannot read \"" + in.path() +
                       "\": the file is shorter than when it was measured; it was changed "
                       "while it was being copied."));
}

// How bytes get from an input to an output.
enum class CopyWay {
    Kernel, // copy_file_range: the file system may share blocks or copy on its server
    Pipe,   // splice through a pipe of our own, into space reserved beforehand
    Buffer, // pread and write through memory
};

// On ext2/3/4 copy_file_range copies through a small pipe of the kernel's own;
// moving the pages through a larger pipe of ours into space reserved beforehand
// was measured 10 to 20 per cent faster. Elsewhere copy_file_range is kept, as
// the file system may share blocks or copy on its server instead.
CopyWay chooseWay(const FileHandle& out) {
    struct stat st {};
    if (::fstat(out.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return CopyWay::Buffer;
    struct statfs fs {};
    if (::fstatfs(out.fd(), &fs) == 0 && fs.f_type == EXT4_SUPER_MAGIC)
        return CopyWay::Pipe;
    return CopyWay::Kernel;
}

// A pipe that closes both its ends.
class Pipe {
  public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        // Eight times the default 64 KiB where allowed: measured 10 per cent
        // faster than 256 KiB. Steps of 2 MiB and more make the kernel look for
        // large runs of free memory for the file's pages, which was measured to
        // slow copies down badly once memory is fragmented.
        ::fcntl(fds_[1], F_SETPIPE_SZ, 512 << 10);
        const int size = ::fcntl(fds_[1], F_GETPIPE_SZ);
        capacity_ = size > 0 ? size : 65536;
    }
    ~Pipe() {
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool isOpen() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    std::int64_t capacity() const { return capacity_; }

  private:
    int fds_[2];
    std::int64_t capacity_ = 0;
};

// Room on the disk reserved a little ahead of the writes into `out`, without
// changing its size: never more than one step ahead, so that a run killed in
// the middle leaves at most a step allocated beyond the output's end. Only a
// help: when the system refuses, the copy goes on without it.
class Reservation {
  public:
    Reservation(const FileHandle& out, std::int64_t length, std::int64_t step)
        : out_(out), length_(length), step_(step) {
        const off_t position = ::lseek(out.fd(), 0, SEEK_CUR);
        active_ = position >= 0;
        base_ = active_ ? position : 0;
    }

    // Called before the copy's bytes [from, to) are written; counted from the
    // copy's first byte.
    void cover(std::int64_t from, std::int64_t to) {
        if (!active_ || to <= reservedTo_)
            return;
        const std::int64_t start = std::max(from, reservedTo_);
        const std::int64_t until = std::min(length_, std::max(to, from + step_));
        if (::fallocate(out_.fd(), FALLOC_FL_KEEP_SIZE, base_ + start, until - start) != 0) {
            giveBack(); // what a partial reservation took
            active_ = false;
            return;
        }
        reservedTo_ = until;
    }

    // Gives back what was reserved and not written: cutting a file to its own
    // size frees the blocks past its end. A failure leaves them reserved: the
    // file's bytes are the same either way.
    void giveBack() {
        struct stat st {};
        if (::fstat(out_.fd(), &st) == 0 && st.st_size < base_ + reservedTo_ &&
            ::ftruncate(out_.fd(), st.st_size) != 0)
            return;
    }

  private:
    const FileHandle& out_;
    std::int64_t length_;
    std::int64_t step_;
    std::int64_t base_ = 0;       // the output's position where the copy starts
    std::int64_t reservedTo_ = 0; // reserved up to here, from the copy's start
    bool active_ = false;
};

[[noreturn]] void throwWriteError(int error, const FileHandle& out) {
    if (error == EIO)
        fail(Error::fromErrno(error, "copy into", out.path()));
    fail(Error::fromErrno(error, "write", out.path()));
}

bool cannotCopyThisWay(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF || error == ETXTBSY || error == EPERM;
}

// Copies exactly `length` bytes from `in` at `offset` to the position of `out`,
// the way given or, where that cannot be used between these two files, through
// memory.
void copyPiece(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               CopyWay& way, const Pipe* pipe, std::vector<char>& buffer) {
    while (length > 0) {
        if (way == CopyWay::Kernel) {
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
            if (!cannotCopyThisWay(errno))
                throwWriteError(errno, out);
            way = CopyWay::Buffer;
            continue;
        }

        if (way == CopyWay::Pipe) {
            loff_t inPos = offset;
            const auto step = static_cast<std::size_t>(std::min(length, pipe->capacity()));
            const ssize_t n = ::splice(in.fd(), &inPos, pipe->writeEnd(), nullptr, step, 0);
            if (n == 0)
                throwShortInput(in);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (!cannotCopyThisWay(errno))
                    fail(Error::fromErrno(errno, "read", in.path()));
                way = CopyWay::Buffer; // nothing is in the pipe yet
                continue;
            }
            // Everything taken into the pipe goes out before the next read.
            for (ssize_t left = n; left > 0;) {
                const ssize_t w = ::splice(pipe->readEnd(), nullptr, out.fd(), nullptr,
                                           static_cast<std::size_t>(left), 0);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0)
                    throwWriteError(w < 0 ? errno : ENOSPC, out);
                left -= w;
            }
            offset += n;
            length -= n;
            continue;
        }

        if (buffer.empty())
            buffer.resize(static_cast<std::size_t>(std::min(length, kCopyChunk)));
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(length, static_cast<std::int64_t>(buffer.size())));
        const ssize_t got = ::pread(in.fd(), buffer.data(), chunk, offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(Error::fromErrno(errno, "read", in.path()));
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
                fail(Error::fromErrno(errno, "write", out.path()));
            }
            if (w == 0)
                fail(Error::fromErrno(ENOSPC, "write", out.path()));
            done += w;
        }
        offset += got;
        length -= got;
    }
}

// The size of the blocks of the file system that holds `out`: the unit in
// which it can share data between files. 0 when it cannot be told.
std::int64_t blockSize(const FileHandle& out) {
    struct statfs fs {};
    if (::fstatfs(out.fd(), &fs) != 0 || fs.f_bsize <= 0)
        return 0;
    return fs.f_bsize;
}

// The part of a copy that may share blocks: after the first `head` bytes, the
// next `blocks` bytes are whole blocks both in the input and in the output.
struct Shareable {
    std::int64_t head = 0;
    std::int64_t blocks = 0;
};

// Of `length` bytes from `offset` of an input to `position` of an output, the
// whole blocks; none unless the two fall at the same place in a block.
Shareable shareablePart(std::int64_t offset, std::int64_t position, std::int64_t length,
                        std::int64_t block) {
    if (block <= 0 || position < 0 || (offset - position) % block != 0)
        return {};
    const std::int64_t head = (block - offset % block) % block;
    if (length - head < block)
        return {};
    return {head, (length - head) / block * block};
}

// Asks the file system to let the `length` bytes of `out` from `position` share
// the blocks that hold those of `in` from `offset` (whole blocks), and puts the
// output's position after them. False where it will not (it cannot share, or
// not between these two files, or not these blocks): the output's position is
// unchanged then, and copying the bytes there writes over whatever part of the
// request it may have done.
bool shareBlocks(const FileHandle& in, std::int64_t offset, std::int64_t length,
                 const FileHandle& out, std::int64_t position) {
    file_clone_range range{};
    range.src_fd = in.fd();
    range.src_offset = static_cast<std::uint64_t>(offset);
    range.src_length = static_cast<std::uint64_t>(length);
    range.dest_offset = static_cast<std::uint64_t>(position);
    int result;
    do {
        result = ::ioctl(out.fd(), FICLONERANGE, &range);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return false;
    if (::lseek(out.fd(), position + length, SEEK_SET) < 0)
        fail(Error::fromErrno(errno, "write", out.path()));
    return true;
}

} // namespace

FileHandle openInput(const std::string& path) {
    return openOrThrow(path, O_RDONLY | O_NONBLOCK, "open");
}

FileHandle createOutput(const std::string& path) {
    return openOutput(path, O_WRONLY | O_CREAT | O_TRUNC, "create");
}

FileHandle openForAppend(const std::string& path) {
    // Not O_APPEND: the kernel will not copy into such a file. The position is
    // put at the end instead; nothing before it is touched.
    FileHandle f = openOutput(path, O_WRONLY | O_CREAT, "open for appending");
    if (::lseek(f.fd(), 0, SEEK_END) < 0)
        fail(Error::fromErrno(errno, "open for appending", path));
    return f;
}

Result<> refusedOutput(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    if (S_ISDIR(st.st_mode))
        return Error::refusedName(refusal(path, "a folder"));
    if (const char* kind = unwritableKind(st.st_mode))
        return Error::refusedName(refusal(path, kind));
    return {};
}

namespace {

[[noreturn]] void throwStopped(const std::string& output, std::int64_t length) {
    if (output.empty())
        fail(Error::of(ErrorKind::Stopped, "The run was stopped before anything was written."));
    fail(Error::of(ErrorKind::Stopped, "The run was stopped.  \"" + output + "\" was left with " +
                                           std::to_string(length) +
                                           (length == 1 ? " byte." : " bytes.")));
}

} // namespace

void stopIfAsked(RunProgress& progress, const std::string& output) {
    if (!progress.stopRequested())
        return;
    struct stat st {};
    throwStopped(output, !output.empty() && ::stat(output.c_str(), &st) == 0 ? st.st_size : 0);
}

void stopIfAsked(RunProgress& progress, const FileHandle& output) {
    if (!progress.stopRequested())
        return;
    struct stat st {};
    throwStopped(output.path(), ::fstat(output.fd(), &st) == 0 ? st.st_size : 0);
}

void readExactly(const FileHandle& in, std::int64_t offset, char* buffer, std::int64_t length) {
    while (length > 0) {
        const ssize_t got = ::pread(in.fd(), buffer, static_cast<std::size_t>(length), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(Error::fromErrno(errno, "read", in.path()));
        if (got == 0)
            throwShortInput(in);
        buffer += got;
        offset += got;
        length -= got;
    }
}

void copyRange(const FileHandle& in, std::int64_t offset, std::int64_t length, FileHandle& out,
               RunProgress& progress, std::int64_t copyChunk, std::int64_t reserveStep,
               const CopiedBytes& copied) {
    if (copyChunk < 1)
        copyChunk = kCopyChunk;
    if (reserveStep < 1)
        reserveStep = kReserveStep;
    if (length <= 0)
        return stopIfAsked(progress, out);
    CopyWay way = chooseWay(out);
    std::optional<Pipe> pipe;
    if (way == CopyWay::Pipe) {
        pipe.emplace();
        if (!pipe->isOpen())
            way = CopyWay::Kernel;
    }
    std::vector<char> buffer; // only where the kernel cannot copy between the two files
    std::int64_t written = 0;
    std::int64_t pumpedAt = 0; // events last ran before the piece that starts here
    const auto beforePiece = [&] {
        if (written > pumpedAt) {
            progress.pumpEvents();
            pumpedAt = written;
        }
        stopIfAsked(progress, out);
    };
    const auto done = [&](std::int64_t bytes) {
        written += bytes;
        if (copied)
            copied(written);
    };
    // Copies the bytes from `written` up to `end`, into room reserved ahead
    // where the way wants it: never room for blocks that are shared.
    const auto copyUpTo = [&](std::int64_t end) {
        if (written >= end)
            return;
        std::optional<Reservation> reservation;
        if (way == CopyWay::Pipe)
            reservation.emplace(out, end - written, reserveStep);
        const std::int64_t start = written;
        try {
            while (written < end) {
                beforePiece();
                const std::int64_t piece = std::min(end - written, copyChunk);
                if (reservation)
                    reservation->cover(written - start, written - start + piece);
                copyPiece(in, offset + written, piece, out, way, pipe ? &*pipe : nullptr, buffer);
                done(piece);
            }
        } catch (...) {
            if (reservation)
                reservation->giveBack();
            throw;
        }
    };

    // Whether blocks are shared is left to the file system: they are offered
    // until it refuses, and what it refuses is copied.
    const off_t position = way == CopyWay::Buffer ? -1 : ::lseek(out.fd(), 0, SEEK_CUR);
    const std::int64_t block = position < 0 ? 0 : blockSize(out);
    const Shareable part = shareablePart(offset, position, length, block);
    if (part.blocks > 0) {
        copyUpTo(part.head);
        const std::int64_t step = std::max(block, kShareStep / block * block);
        const std::int64_t end = part.head + part.blocks;
        while (written < end) {
            beforePiece();
            const std::int64_t request = std::min(end - written, step);
            if (!shareBlocks(in, offset + written, request, out, position + written))
                break;
            done(request);
        }
    }
    copyUpTo(length);
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
