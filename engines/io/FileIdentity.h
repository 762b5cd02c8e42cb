#pragma once

#include "errors/Result.h"

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace shardix {

// What a file is, whatever name leads to it: its device and inode, links
// followed. Two names are one file exactly when their identities are equal.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity& other) const = default;
};

// The identity of the file `path` names (through links); the system's failure
// to look at it (FileNotFound where there is no such file) naming `path`.
Result<FileIdentity> identityOf(const std::string& path);

// The identity of the folder that holds `path` ("." for a bare name).
Result<FileIdentity> folderIdentityOf(const std::string& path);

// Whether both were found and are one file.
inline bool sameIdentity(const Result<FileIdentity>& a, const Result<FileIdentity>& b) {
    return a.ok() && b.ok() && *a == *b;
}

// The first two of `paths` (by their places, the earlier first) that name one
// file; nothing when all are different files or do not exist.
std::optional<std::pair<std::size_t, std::size_t>>
firstSameFile(const std::vector<std::string>& paths);

// The sentence that says that two names are one file: "\"a\" and \"b\" are one
// file".
std::string oneFile(const std::string& a, const std::string& b);

} // namespace shardix
