#include "engines/names/FolderListing.h"

#include "errors/Error.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace shardix {

namespace {

FolderEntry entryOf(const struct stat& st, const std::string& name) {
    FolderEntry entry;
    entry.name = name;
    entry.kind = S_ISREG(st.st_mode)   ? FolderEntry::Kind::File
                 : S_ISDIR(st.st_mode) ? FolderEntry::Kind::Folder
                                       : FolderEntry::Kind::Other;
    entry.size = static_cast<std::int64_t>(st.st_size);
    entry.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return entry;
}

FolderEntry unreadable(const std::string& name, int err) {
    FolderEntry entry;
    entry.name = name;
    entry.kind = FolderEntry::Kind::Unreadable;
    entry.error = std::strerror(err);
    return entry;
}

} // namespace

Result<std::vector<FolderEntry>> listFolder(const std::string& folder) {
    const std::string shown = folder.empty() ? "." : folder;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(shown.c_str()), ::closedir);
    if (!dir)
        return Error::fromErrno(errno, "list the folder", shown);
    const int fd = ::dirfd(dir.get());
    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (!item) {
            if (errno != 0)
                return Error::fromErrno(errno, "list the folder", shown);
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(fd, item->d_name, &st, 0) != 0)
            entries.push_back(unreadable(name, errno));
        else
            entries.push_back(entryOf(st, name));
    }
    return entries;
}

FolderEntry statEntry(const std::string& path, const std::string& name) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return unreadable(name, errno);
    return entryOf(st, name);
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace shardix
