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
                 0};
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

Folder::Place Folder::placeOf(const std::string& name, bool create) const {
    Place place;
    place.fd = fd_.get();
    std::size_t start = 0;
    for (std::size_t slash = name.find('/'); slash != std::string::npos;
         start = slash + 1, slash = name.find('/', start)) {
        const std::string part = name.substr(start, slash - start);
        constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(place.fd, part.c_str(), kFlags);
        if (next < 0 && errno == ENOENT && create && ::mkdirat(place.fd, part.c_str(), 0777) == 0)
            next = ::openat(place.fd, part.c_str(), kFlags);
        if (next < 0) {
            // A link on the way is not entered: O_NOFOLLOW says ELOOP or ENOTDIR.
            place.error = errno == ENOTDIR ? ELOOP : errno;
            place.fd = -1;
            return place;
        }
        place.held = Fd(next);
        place.fd = next;
    }
    place.leaf = name.substr(start);
    return place;
}

namespace {

// Why a file of type `mode` is not read as a file: 0 for a regular file.
int typeError(mode_t mode) {
    if (S_ISREG(mode))
        return 0;
    return S_ISDIR(mode) ? EISDIR : S_ISLNK(mode) ? ELOOP : EINVAL;
}

} // namespace

int Folder::openForReading(const std::string& name, Fd& fd, bool followLink) const {
    const Place place = placeOf(name);
    if (place.error)
        return place.error;
    // Never wait on a pipe or read a device in place of a file: the type is
    // looked at first, and what was opened (without waiting) is looked at again.
    struct stat info {};
    if (::fstatat(place.fd, place.leaf.c_str(), &info, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (const int wrong = typeError(info.st_mode))
        return wrong;
    Fd opened(
        ::openat(place.fd, place.leaf.c_str(),
                 O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!opened.isOpen())
        return errno;
    if (::fstat(opened.get(), &info) != 0)
        return errno;
    if (const int wrong = typeError(info.st_mode))
        return wrong;
    const int flags = ::fcntl(opened.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK);
    fd = std::move(opened);
    return 0;
}

int Folder::status(const std::string& name, struct stat& info) const {
    const Place place = placeOf(name);
    if (place.error)
        return place.error;
    return ::fstatat(place.fd, place.leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
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

int Folder::rename(const std::string& fromName, const std::string& toName, bool replace) const {
    const Place from = placeOf(fromName), to = placeOf(toName);
    if (from.error || to.error)
        return from.error ? from.error : to.error;
    const char* const source = from.leaf.c_str();
    const char* const target = to.leaf.c_str();
    if (replace)
        return ::renameat(from.fd, source, to.fd, target) == 0 ? 0 : errno;
    if (::renameat2(from.fd, source, to.fd, target, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without RENAME_NOREPLACE: a link fails on an existing
    // name, then the old name goes.
    if (::linkat(from.fd, source, to.fd, target, 0) != 0)
        return errno;
    ::unlinkat(from.fd, source, 0);
    return 0;
}

int Folder::remove(const std::string& name) const {
    const Place place = placeOf(name);
    if (place.error)
        return place.error;
    return ::unlinkat(place.fd, place.leaf.c_str(), 0) == 0 ? 0 : errno;
}

TempFile::TempFile(TempFile&& other) noexcept
    : folder_(std::exchange(other.folder_, nullptr)), fd_(std::move(other.fd_)),
      finalName_(std::move(other.finalName_)), tempName_(std::move(other.tempName_)),
      keepFailures_(other.keepFailures_), failure_(std::move(other.failure_)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = std::exchange(other.folder_, nullptr);
        fd_ = std::move(other.fd_);
        finalName_ = std::move(other.finalName_);
        tempName_ = std::move(other.tempName_);
        keepFailures_ = other.keepFailures_;
        failure_ = std::move(other.failure_);
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
    // In the folder of the final name, made where it is missing.
    const Folder::Place place = folder.placeOf(finalName, true);
    if (place.error)
        fail(systemError(place.error, "create a temporary file for", folder.display(finalName)));
    const std::string dir = finalName.substr(0, finalName.size() - place.leaf.size());
    const std::size_t limit = nameLimit(place.fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string ending = ".tmp-";
        for (int i = 0; i < 6; ++i)
            ending += kLetters[random() % (sizeof kLetters - 1)];
        const std::string leaf = nameWithEnding(place.leaf, ending, limit);
        const std::string name = dir + leaf;
        const int fd = ::openat(place.fd, leaf.c_str(),
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
            fail(Error::fromErrno(errno, "create", folder.display(name), Missing::Folder));
    }
    fail(systemError(EEXIST, "create a temporary file for", folder.display(finalName)));
}

TempFile TempFile::failed(Error error) {
    TempFile file;
    file.keepFailures_ = true;
    file.failure_ = std::move(error);
    return file;
}

void TempFile::failWith(Error error) {
    if (!keepFailures_)
        fail(std::move(error));
    failure_ = std::move(error);
}

void TempFile::writeAt(std::int64_t offset, const void* bytes, std::size_t length) {
    if (failure_)
        return;
    if (const int error = par2::writeAt(fd_.get(), offset, bytes, length))
        failWith(systemError(error, "write", folder_->display(tempName_)));
}

void TempFile::resize(std::uint64_t length) {
    if (failure_)
        return;
    if (::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0)
        failWith(systemError(errno, "write", folder_->display(tempName_)));
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

std::string nameWithEnding(const std::string& name, const std::string& ending, std::size_t limit) {
    std::size_t keep = name.size();
    if (keep + ending.size() > limit) {
        keep = limit > ending.size() ? limit - ending.size() : 0;
        // Not inside a character: back to the start of the one cut.
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;
    }
    return name.substr(0, keep) + ending;
}

std::size_t nameLimit(int folder) {
    const long limit = ::fpathconf(folder, _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

bool isSetPath(const std::string& name) {
    if (name.empty() || name.size() > 4095)
        return false;
    for (std::size_t start = 0;;) {
        const std::size_t slash = name.find('/', start);
        if (!isPlainName(name.substr(start, slash == std::string::npos ? slash : slash - start)))
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace shardix::par2
