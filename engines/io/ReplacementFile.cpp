#include "engines/io/ReplacementFile.h"

#include "errors/Error.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace shardix {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The mode bits a new file gets from the process's file mode mask.
mode_t newFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 0644;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Result<std::string> followLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0)
            return Error::fromErrno(errno, "follow the link", path);
        target.resize(static_cast<std::size_t>(n));
        current = target.front() == '/' ? target : folderOf(current) + "/" + target;
    }
    return Error::fromErrno(ELOOP, "follow the link", path);
}

Result<ReplacementFile> ReplacementFile::create(const std::string& path) {
    Result<std::string> target = followLinks(path);
    if (!target.ok())
        return target.error();
    ReplacementFile made(path, std::move(target).value());
    std::string pattern = folderOf(made.target_) + "/.shardix-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        made.committed_ = true; // nothing to remove
        return Error::fromErrno(errno, "create a new file beside", path);
    }
    made.temporary_ = pattern;
    made.file_ = FileHandle(fd, path);
    struct stat old {};
    if (::stat(made.target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own files keep their owner; the mode still follows.
        }
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        ::fchmod(fd, newFileMode());
    }
    return made;
}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)), file_(std::move(other.file_)),
      committed_(std::exchange(other.committed_, true)) {}

ReplacementFile::~ReplacementFile() {
    if (!committed_) {
        file_ = FileHandle();
        ::unlink(temporary_.c_str());
    }
}

Result<> ReplacementFile::commit(bool flush) {
    if (flush && ::fsync(file_.fd()) != 0)
        return Error::fromErrno(errno, "write", path_);
    // A delayed write error shows when the file is closed.
    if (Result<> closed = file_.close(); !closed.ok())
        return closed;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return Error::fromErrno(errno, "replace", path_);
    committed_ = true;
    if (flush)
        syncFolder(folderOf(target_));
    return {};
}

} // namespace shardix
