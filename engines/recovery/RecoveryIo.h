#pragma once

#include "errors/Error.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace shardix::par2 {

// A file descriptor that closes itself.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    int release();

  private:
    int fd_ = -1;
};

// Inside the engine failures are thrown (as Failed, see errors/Error.h):
// what here says "Throws" throws the Error of its failure. The engine's
// interface returns them, through guarded().

// "Cannot ACTION "NAME": CAUSE." with the system's words for `error`.
Error systemError(int error, const std::string& action, const std::string& name);

// Why Folder::openForReading() failed on `name`, in words.
Error openError(int error, const std::string& name);

// A folder, held open so that every name used in it is a name in this very
// folder, whatever happens to the path that named it. Names given to it are
// plain names or paths of plain names below it ("sub/name": see isSetPath());
// the folders on such a path are entered without following a symbolic link,
// so no name leads out of the folder's tree.
class Folder {
  public:
    // Opens the folder that holds `path` (the current one for a bare name);
    // `leaf` is set to the last part of the path. Throws.
    static Folder open(const std::string& path, std::string& leaf);

    // The folder as a path, for messages: what the caller wrote before the leaf.
    const std::string& path() const { return path_; }
    // The same, "." for the current folder.
    std::string shownPath() const { return path_.empty() ? "." : path_; }
    int fd() const { return fd_.get(); }

    // The name as the user sees it: the folder's path and the name.
    std::string display(const std::string& name) const { return path_ + name; }

    // Opens the regular file `name` for reading, without following a
    // symbolic link unless `followLink`; errno on failure.
    int openForReading(const std::string& name, Fd& fd, bool followLink = false) const;
    // Status of `name` itself (a link is not followed); errno on failure.
    int status(const std::string& name, struct stat& info) const;
    // The names of the entries of the folder; errno on failure.
    int list(std::vector<std::string>& names) const;
    // True when something (a file, a link, anything) is named `name` here.
    bool exists(const std::string& name) const;
    // Renames `from` to `to` within the folder; fails rather than replace
    // `to` when `replace` is false. errno on failure.
    int rename(const std::string& from, const std::string& to, bool replace) const;
    int remove(const std::string& name) const;

    // The folder that holds `name`, entered part by part without following a
    // link (made, with `create`, where it is missing), and the last part.
    struct Place {
        Fd held;     // the folder opened, when it is not this one
        int fd = -1; // the folder that holds the last part
        std::string leaf;
        int error = 0; // errno of a folder on the way
    };
    Place placeOf(const std::string& name, bool create = false) const;

  private:
    Fd fd_;
    std::string path_; // empty or ending with "/"
};

// A file written under a temporary name beside its final one, renamed into
// place by commit(); removed when it is dropped without.
class TempFile {
  public:
    TempFile() = default;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile();

    // Creates "FINAL.tmp-XXXXXX" in `folder` for reading and writing, FINAL
    // cut short when the name would be longer than the folder allows. Throws.
    static TempFile create(const Folder& folder, const std::string& finalName);
    // One that could not be created, for `error`: it keeps its failures.
    static TempFile failed(Error error);

    int fd() const { return fd_.get(); }
    const std::string& finalName() const { return finalName_; }
    const std::string& tempName() const { return tempName_; }

    // From now on, writeAt() and resize() keep their first failure instead of
    // throwing it, and do nothing once one is kept.
    void keepFailures() { keepFailures_ = true; }
    const std::optional<Error>& failure() const { return failure_; }

    // Throws, unless it keeps its failures.
    void writeAt(std::int64_t offset, const void* bytes, std::size_t length);
    // Makes the file `length` bytes long. Throws, unless it keeps its failures.
    void resize(std::uint64_t length);
    // Closes the file (throwing a late write error) and renames it into place,
    // replacing what has the final name when `replace` is true.
    void commit(bool replace);
    // Removes the temporary file now.
    void discard();

  private:
    void failWith(Error error);

    const Folder* folder_ = nullptr;
    Fd fd_;
    std::string finalName_;
    std::string tempName_;
    bool keepFailures_ = false;
    std::optional<Error> failure_;
};

// `name` with `ending` after it, the name cut short (not inside a UTF-8
// character) so that the whole is at most `limit` bytes long.
std::string nameWithEnding(const std::string& name, const std::string& ending, std::size_t limit);

// The longest name the open folder `folder` allows (255 when it does not say).
std::size_t nameLimit(int folder);

// Reads `length` bytes at `offset`, fewer only at the end of the file; the
// count read, or -1 with errno set.
std::int64_t readAt(int fd, std::int64_t offset, void* buffer, std::size_t length);

// Writes all of `length` bytes at `offset`; 0, or the errno of the failure.
int writeAt(int fd, std::int64_t offset, const void* bytes, std::size_t length);

// True when `name` may name a file in the folder itself: not empty, not "."
// or "..", no "/" and no NUL, at most 255 bytes.
bool isPlainName(const std::string& name);

// True when `name` may name a file in the folder's tree: plain names joined
// by "/" (no empty part, no "." or "..", not absolute), at most 4095 bytes.
bool isSetPath(const std::string& name);

} // namespace shardix::par2
