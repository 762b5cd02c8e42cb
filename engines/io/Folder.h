#pragma once

#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace shardix {

// Why a file was not opened for reading as a file, where it is not the
// system's own failure: the `detail` of such an Error (0 for any other).
enum class Unreadable : int { Other = 0, NotRegular = 1, Link = 2, Folder = 3 };

inline Unreadable unreadableOf(const Error& error) {
    return static_cast<Unreadable>(error.detail);
}

// "Cannot read "NAME": CAUSE." for a failure to open `name` for reading, with
// the system's words for `error`; a symbolic link (ELOOP), a folder (EISDIR)
// or another thing that is not a regular file (EINVAL) told as such.
Error openError(int error, const std::string& name);

// The same failure told of another action or another name: "Cannot ACTION
// "NAME": CAUSE." with the kind and cause of `error`.
Error retold(const Error& error, const std::string& action, const std::string& name);

// `result`, its failure told as retold() tells it.
template <typename T>
Result<T> retold(Result<T> result, const std::string& action, const std::string& name) {
    if (result.ok())
        return result;
    return retold(result.error(), action, name);
}

struct FileInFolder;

// A folder, held open so that every name used in it is a name in this very
// folder, whatever happens to the path that named it. Names given to it are
// plain names or paths of plain names below it ("sub/name": see isTreePath());
// the folders on such a path are entered without following a symbolic link,
// so no name leads out of the folder's tree. A failure names the file as
// display() shows it.
class Folder {
  public:
    // The folder that holds `path` (the current one for a bare name), opened,
    // and the last part of the path.
    static Result<FileInFolder> open(const std::string& path);

    // The folder as a path, for messages: what the caller wrote before the leaf.
    const std::string& path() const { return path_; }
    // The same, "." for the current folder.
    std::string shownPath() const { return path_.empty() ? "." : path_; }
    int fd() const { return handle_.fd(); }

    // The name as the user sees it: the folder's path and the name.
    std::string display(const std::string& name) const { return path_ + name; }

    // Opens the regular file `name` for reading, without following a symbolic
    // link unless `followLink`, and without waiting on a pipe or a device: its
    // type is looked at before it is opened and again after. The failure is
    // openError()'s.
    Result<FileHandle> openForReading(const std::string& name, bool followLink = false) const;
    // Status of `name` itself (a link is not followed).
    Result<struct stat> status(const std::string& name) const;
    // The names of the entries of the folder; "Cannot list ..." on failure.
    Result<std::vector<std::string>> list() const;
    // True when something (a file, a link, anything) is named `name` here.
    bool exists(const std::string& name) const;
    // Renames `from` to `to` within the folder; fails rather than replace `to`
    // when `replace` is false. "Cannot rename "FROM": ..." on failure.
    Result<> rename(const std::string& from, const std::string& to, bool replace) const;
    Result<> remove(const std::string& name) const;

    // The folder that holds `name`, entered part by part without following a
    // link (made, with `create`, where it is missing), and the last part.
    struct Place {
        FileHandle held; // the folder opened, when it is not this one
        int fd = -1;     // the folder that holds the last part
        std::string leaf;
    };
    Result<Place> placeOf(const std::string& name, bool create = false) const;

  private:
    FileHandle handle_;
    std::string path_; // empty or ending with "/"
};

// A file's folder, held open, and the file's name in it.
struct FileInFolder {
    Folder folder;
    std::string name;
};

// `name` with `ending` after it, the name cut short (not inside a UTF-8
// character) so that the whole is at most `limit` bytes long.
std::string nameWithEnding(const std::string& name, const std::string& ending, std::size_t limit);

// The longest name the open folder `folder` allows (255 when it does not say).
std::size_t nameLimit(int folder);

// True when `name` may name a file in the folder itself: not empty, not "."
// or "..", no "/" and no NUL, at most 255 bytes.
bool isPlainName(const std::string& name);

// True when `name` may name a file in the folder's tree: plain names joined
// by "/" (no empty part, no "." or "..", not absolute), at most 4095 bytes.
bool isTreePath(const std::string& name);

} // namespace shardix
