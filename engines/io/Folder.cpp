#include "engines/io/Folder.h"

#include "errors/Quoted.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#include <utility>

namespace shardix {

Error openError(int error, const std::string& name) {
    const char* why = error == EINVAL  ? "it is not a regular file"
                      : error == ELOOP ? "it is a symbolic link"
                                       : nullptr;
    const Unreadable reason = error == EINVAL   ? Unreadable::NotRegular
                              : error == ELOOP  ? Unreadable::Link
                              : error == EISDIR ? Unreadable::Folder
                                                : Unreadable::Other;
    Error told = why ? Error{ErrorKind::FileAccess,
                             "Cannot read " + shardix::quoted(name) + ": " + why + ".",
                             {},
                             why,
                             0}
                     : Error::fromErrno(error, "read", name);
    told.detail = static_cast<int>(reason);
    return told;
}

Error retold(const Error& error, const std::string& action, const std::string& name) {
    Error told = error;
    told.message = "Cannot " + action + " " + shardix::quoted(name) + ": " + error.cause + ".";
    return told;
}

Result<FileInFolder> Folder::open(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..")
        return Error::of(ErrorKind::Refused,
                         shardix::quoted(path) + " names a folder, not a file.");
    const std::string opened = folderPath.empty() ? "." : folderPath;
    const int fd = ::open(opened.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Error::fromErrno(errno, "open the folder", opened);
    FileInFolder found;
    found.folder.handle_ = FileHandle(fd, opened);
    found.folder.path_ = folderPath;
    found.name = std::move(leaf);
    return found;
}

namespace {

// Enters the folders of `name` below the folder `root` into `place`; the errno
// of a folder on the way that cannot be entered, else 0.
int enter(int root, const std::string& name, bool create, Folder::Place& place) {
    place.fd = root;
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
            const int error = errno == ENOTDIR ? ELOOP : errno;
            place.fd = -1;
            return error;
        }
        place.held = FileHandle(next, name.substr(0, slash));
        place.fd = next;
    }
    place.leaf = name.substr(start);
    return 0;
}

// Why a file of type `mode` is not read as a file: 0 for a regular file.
int typeError(mode_t mode) {
    if (S_ISREG(mode))
        return 0;
    return S_ISDIR(mode) ? EISDIR : S_ISLNK(mode) ? ELOOP : EINVAL;
}

// Opens `leaf` of the folder `at` for reading: 0, or the errno of the failure.
int openLeaf(int at, const std::string& leaf, bool followLink, FileHandle& file) {
    // Never wait on a pipe or read a device in place of a file: the type is
    // looked at first, and what was opened (without waiting) is looked at again.
    struct stat info {};
    if (::fstatat(at, leaf.c_str(), &info, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (const int wrong = typeError(info.st_mode))
        return wrong;
    FileHandle opened(
        ::openat(at, leaf.c_str(),
                 O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC),
        file.path());
    if (!opened.isOpen())
        return errno;
    if (::fstat(opened.fd(), &info) != 0)
        return errno;
    if (const int wrong = typeError(info.st_mode))
        return wrong;
    const int flags = ::fcntl(opened.fd(), F_GETFL);
    if (flags >= 0)
        ::fcntl(opened.fd(), F_SETFL, flags & ~O_NONBLOCK);
    file = std::move(opened);
    return 0;
}

} // namespace

Result<Folder::Place> Folder::placeOf(const std::string& name, bool create) const {
    Place place;
    if (const int error = enter(fd(), name, create, place))
        return Error::fromErrno(error, "open the folder of", display(name));
    return place;
}

Result<FileHandle> Folder::openForReading(const std::string& name, bool followLink) const {
    Place place;
    if (const int error = enter(fd(), name, false, place))
        return openError(error, display(name));
    FileHandle file(-1, display(name));
    if (const int error = openLeaf(place.fd, place.leaf, followLink, file))
        return openError(error, display(name));
    return file;
}

Result<struct stat> Folder::status(const std::string& name) const {
    Place place;
    int error = enter(fd(), name, false, place);
    struct stat info {};
    if (error == 0 && ::fstatat(place.fd, place.leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error != 0)
        return Error::fromErrno(error, "read", display(name));
    return info;
}

Result<std::vector<std::string>> Folder::list() const {
    const int copy = ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return Error::fromErrno(errno, "list", shownPath());
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        return Error::fromErrno(error, "list", shownPath());
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        return Error::fromErrno(error, "list", shownPath());
    return names;
}

bool Folder::exists(const std::string& name) const {
    return status(name).ok();
}

namespace {

// Renames within the folders `from` and `to`: 0, or the errno of the failure.
int renameIn(const Folder::Place& from, const Folder::Place& to, bool replace) {
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

} // namespace

Result<> Folder::rename(const std::string& fromName, const std::string& toName,
                        bool replace) const {
    Place from, to;
    int error = enter(fd(), fromName, false, from);
    if (error == 0)
        error = enter(fd(), toName, false, to);
    if (error == 0)
        error = renameIn(from, to, replace);
    if (error != 0)
        return Error::fromErrno(error, "rename", display(fromName));
    return {};
}

Result<> Folder::remove(const std::string& name) const {
    Place place;
    int error = enter(fd(), name, false, place);
    if (error == 0 && ::unlinkat(place.fd, place.leaf.c_str(), 0) != 0)
        error = errno;
    if (error != 0)
        return Error::fromErrno(error, "remove", display(name));
    return {};
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

bool isTreePath(const std::string& name) {
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

} // namespace shardix
