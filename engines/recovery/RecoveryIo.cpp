#include "engines/recovery/RecoveryIo.h"

#include "errors/Quoted.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <unistd.h>
#include <utility>

namespace shardix::par2 {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0)
        ::close(fd_);
}

int Fd::release() {
    return std::exchange(fd_, -1);
}

Error systemError(int error, const std::string& action, const std::string& name) {
    return Error::fromErrno(error, action, name);
}

Error openError(int error, const std::string& name) {
    const char* why = error == EINVAL  ? "it is not a regular file"
                      : error == ELOOP ? "it is a symbolic link"
                                       : nullptr;
    if (!why)
        return systemError(error, "read", name);
    return Error{ErrorKind::FileAccess,
                 "Cannot read " + shardix::quoted(name) + ": " + why + ".",
                 {},
                 why,
                 false};
}

Folder Folder::open(const std::string& path, std::string& leaf) {
    const auto slash = path.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..")
        fail(Error::of(ErrorKind::Refused, shardix::quoted(path) + " names a folder, not a file."));
    const std::string opened = folderPath.empty() ? "." : folderPath;
    const int fd = ::open(opened.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail(systemError(errno, "open the folder", opened));
    Folder folder;
    folder.fd_ = Fd(fd);
    folder.path_ = folderPath;
    return folder;
}

int Folder::openForReading(const std::string& name, Fd& fd, bool followLink) const {
    const int opened = ::openat(fd_.get(), name.c_str(),
                                O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0)
        return errno;
    fd = Fd(opened);
    struct stat info {};
    if (::fstat(opened, &info) != 0)
        return errno;
    // Never wait on a pipe or read a device in place of a file.
    if (!S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    const int flags = ::fcntl(opened, F_GETFL);
    if (flags >= 0)
        ::fcntl(opened, F_SETFL, flags & ~O_NONBLOCK);
    return 0;
}

int Folder::status(const std::string& name, struct stat& info) const {
    return ::fstatat(fd_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int Folder::list(std::vector<std::string>& names) const {
    const int copy = ::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return errno;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        return error;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    return error;
}

bool Folder::exists(const std::string& name) const {
    struct stat info {};
    return status(name, info) == 0;
}

int Folder::rename(const std::string& from, const std::string& to, bool replace) const {
    if (replace)
        return ::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) == 0 ? 0 : errno;
    if (::renameat2(fd_.get(), from.c_str(), fd_.get(), to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without RENAME_NOREPLACE: a link fails on an existing
    // name, then the old name goes.
    if (::linkat(fd_.get(), from.c_str(), fd_.get(), to.c_str(), 0) != 0)
        return errno;
    ::unlinkat(fd_.get(), from.c_str(), 0);
    return 0;
}

int Folder::remove(const std::string& name) const {
    return ::unlinkat(fd_.get(), name.c_str(), 0) == 0 ? 0 : errno;
}

TempFile::TempFile(TempFile&& other) noexcept
    : folder_(std::exchange(other.folder_, nullptr)), fd_(std::move(other.fd_)),
      finalName_(std::move(other.finalName_)), tempName_(std::move(other.tempName_)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = std::exchange(other.folder_, nullptr);
        fd_ = std::move(other.fd_);
        finalName_ = std::move(other.finalName_);
        tempName_ = std::move(other.tempName_);
    }
    return *this;
}

TempFile::~TempFile() {
    discard();
}

TempFile TempFile::create(const Folder& folder, const std::string& finalName) {
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = finalName + ".tmp-";
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::openat(folder.fd(), name.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            TempFile file;
            file.folder_ = &folder;
            file.fd_ = Fd(fd);
            file.finalName_ = finalName;
            file.tempName_ = name;
            return file;
        }
        if (errno != EEXIST)
            fail(systemError(errno, "create", folder.display(name)));
    }
    fail(systemError(EEXIST, "create a temporary file for", folder.display(finalName)));
}

void TempFile::writeAt(std::int64_t offset, const void* bytes, std::size_t length) const {
    if (const int error = par2::writeAt(fd_.get(), offset, bytes, length))
        fail(systemError(error, "write", folder_->display(tempName_)));
}

void TempFile::resize(std::uint64_t length) const {
    if (::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0)
        fail(systemError(errno, "write", folder_->display(tempName_)));
}

void TempFile::commit(bool replace) {
    // discard() lets go of the folder: the names are taken first.
    const std::string shownTemp = folder_->display(tempName_);
    const std::string shownFinal = folder_->display(finalName_);
    const int fd = fd_.release();
    if (::close(fd) != 0) {
        const int error = errno;
        discard();
        fail(systemError(error, "write", shownTemp));
    }
    if (const int error = folder_->rename(tempName_, finalName_, replace)) {
        discard();
        fail(systemError(error, "write", shownFinal));
    }
    folder_ = nullptr;
}

void TempFile::discard() {
    if (!folder_)
        return;
    fd_ = Fd();
    folder_->remove(tempName_);
    folder_ = nullptr;
}

std::int64_t readAt(int fd, std::int64_t offset, void* buffer, std::size_t length) {
    auto* at = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, at + done, length - done, offset + done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

int writeAt(int fd, std::int64_t offset, const void* bytes, std::size_t length) {
    const auto* at = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t put = ::pwrite(fd, at + done, length - done, offset + done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace shardix::par2
