#pragma once

#include "errors/Result.h"

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

// What a file is, whatever names lead to it: its device and inode.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};

// One name in a folder, as stat shows it through symbolic links.
struct FolderEntry {
    enum class Kind {
        File,       // a regular file
        Folder,     // a folder
        Other,      // a pipe, a socket, a device
        Unreadable, // stat failed (a dangling link, no permission): `error` says why
    };
    std::string name;
    Kind kind = Kind::File;
    std::int64_t size = 0;
    FileId id;
    std::string error;
};

// The names in `folder` ("" or "dir/"; "" is the current folder), "." and ".."
// left out, in no particular order. Fails naming the folder and the system's cause.
Result<std::vector<FolderEntry>> listFolder(const std::string& folder);

// What stat says of `path`, named `name` in the entry.
FolderEntry statEntry(const std::string& path, const std::string& name);

// `path` split into its folder, ending with '/' ("" for none), and its name.
std::pair<std::string, std::string> splitPath(const std::string& path);

} // namespace shardix
