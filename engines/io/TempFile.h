#pragma once

#include "engines/io/FileIo.h"
#include "engines/io/Folder.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace shardix {

// A file written under a temporary name beside its final one in a held
// folder, renamed into place by commit(); removed when it is dropped without.
// Unlike ReplacementFile, it follows no link (the final name may be a path
// below the folder, see Folder), and its name, "FINAL.tmp-XXXXXX", is cut to
// fit the folder's limit. Failures name the temporary file as the folder
// shows it, or the final one for commit().
class TempFile {
  public:
    TempFile() = default;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    // Creates "FINAL.tmp-XXXXXX" in `folder` for reading and writing, FINAL
    // cut short when the name would be longer than the folder allows, and the
    // folders of a final name below `folder` where they are missing. `folder`
    // must outlive the file.
    static Result<TempFile> create(const Folder& folder, const std::string& finalName);
    // One that could not be created, for `error`: it keeps its failures.
    static TempFile failed(Error error);

    const FileHandle& file() const { return file_; }
    const std::string& finalName() const { return finalName_; }
    const std::string& tempName() const { return tempName_; }

    // From now on, writeAt() and resize() keep their first failure instead of
    // returning it, and do nothing once one is kept.
    void keepFailures() { keepFailures_ = true; }
    const std::optional<Error>& failure() const { return failure_; }

    Result<> writeAt(std::int64_t offset, const void* bytes, std::size_t length);
    // Makes the file `length` bytes long.
    Result<> resize(std::uint64_t length);
    // Closes the file (a late write error is its failure) and renames it into
    // place, replacing what has the final name when `replace` is true. On a
    // failure, the temporary file is removed.
    Result<> commit(bool replace);
    // Removes the temporary file now.
    void discard();

  private:
    Result<> failWith(Error error);

    const Folder* folder_ = nullptr;
    FileHandle file_;
    std::string finalName_;
    std::string tempName_;
    bool keepFailures_ = false;
    std::optional<Error> failure_;
};

} // namespace shardix
