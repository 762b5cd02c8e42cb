#include "engines/io/FileIo.h"

#include "engines/io/PositionedIo.h"

#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

Result<> FileHandle::close() {
    if (fd_ < 0)
        return {};
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        return Error::fromErrno(errno, "write", path_);
    return {};
}

namespace {

FileHandle openOrThrow(const std::string& path, int flags, const char* action) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail(Error::fromErrno(errno, action, path,
                              (flags & O_CREAT) != 0 ? Missing::Folder : Missing::File));
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
    return "Cannot write " + shardix::quoted(path) + ": it is " + kind + ", not a file.";
}

// Opens an output without waiting for a reader, should the name have become a
// pipe since it was checked, then refuses anything that refusedOutput would.
FileHandle openOutput(const std::string& path, int flags, const char* action) {
    FileHandle f = openOrThrow(path, flags | O_NONBLOCK, action);
    struct stat st {};
    if (::fstat(f.fd(), &st) != 0)
        fail(Error::fromErrno(errno, action, path, Missing::Folder));
    if (const char* kind = unwritableKind(st.st_mode))
        fail(Error::of(ErrorKind::FileAccess, refusal(path, kind)));
    ::fcntl(f.fd(), F_SETFL, ::fcntl(f.fd(), F_GETFL) & ~O_NONBLOCK);
    return f;
}

} // namespace

Error shortInput(const FileHandle& in) {
    return Error::of(ErrorKind::InputPastEnd,
                     "Cannot read " + shardix::quoted(in.path()) +
                         ": the file is shorter than when it was measured; it was changed "
                         "while it was being copied.");
}

Result<FileHandle> openInput(const std::string& path) {
    return guarded(
        [&]() -> Result<FileHandle> { return openOrThrow(path, O_RDONLY | O_NONBLOCK, "open"); });
}

Result<FileHandle> createOutput(const std::string& path) {
    return guarded([&]() -> Result<FileHandle> {
        return openOutput(path, O_WRONLY | O_CREAT | O_TRUNC, "create");
    });
}

Result<FileHandle> openForAppend(const std::string& path) {
    return guarded([&]() -> Result<FileHandle> {
        // Not O_APPEND: the kernel will not copy into such a file. The position
        // is put at the end instead; nothing before it is touched.
        FileHandle f = openOutput(path, O_WRONLY | O_CREAT, "open for appending");
        if (::lseek(f.fd(), 0, SEEK_END) < 0)
            fail(Error::fromErrno(errno, "open for appending", path, Missing::Folder));
        return f;
    });
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

Result<> writeExactly(const FileHandle& out, const char* bytes, std::int64_t length) {
    while (length > 0) {
        const ssize_t w = ::write(out.fd(), bytes, static_cast<std::size_t>(length));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return Error::fromErrno(w < 0 ? errno : ENOSPC, "write", out.path());
        bytes += w;
        length -= w;
    }
    return {};
}

Result<> readExactly(const FileHandle& in, std::int64_t offset, char* buffer, std::int64_t length) {
    const Result<std::size_t> got =
        readAt(in, offset, buffer, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
    if (!got.ok())
        return got.error();
    if (static_cast<std::int64_t>(*got) < length)
        return shortInput(in);
    return {};
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
