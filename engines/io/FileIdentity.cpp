#include "engines/io/FileIdentity.h"

#include "errors/Quoted.h"

#include <cerrno>
#include <map>
#include <sys/stat.h>

namespace shardix {

Result<FileIdentity> identityOf(const std::string& path) {
    struct stat st {};
    if (path.empty())
        return Error::fromErrno(ENOENT, "look at", path);
    if (::stat(path.c_str(), &st) != 0)
        return Error::fromErrno(errno, "look at", path);
    return FileIdentity{st.st_dev, st.st_ino};
}

Result<FileIdentity> folderIdentityOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return identityOf(".");
    return identityOf(slash == 0 ? "/" : path.substr(0, slash));
}

std::optional<std::pair<std::size_t, std::size_t>>
firstSameFile(const std::vector<std::string>& paths) {
    std::map<std::pair<dev_t, ino_t>, std::size_t> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Result<FileIdentity> id = identityOf(paths[i]);
        if (!id.ok())
            continue;
        const auto [at, added] = seen.emplace(std::pair{id->device, id->inode}, i);
        if (!added)
            return std::pair{at->second, i};
    }
    return std::nullopt;
}

std::string oneFile(const std::string& a, const std::string& b) {
    return shardix::quoted(a) + " and " + shardix::quoted(b) + " are one file";
}

} // namespace shardix
