#pragma once

#include "engines/io/FileIo.h"

#include <string>

namespace shardix {

// `path` with its symbolic links followed, also where the last one leads to no
// file yet: the name of the file that writing to `path` writes. Fails for a
// loop of links or a link that cannot be read.
Result<std::string> followLinks(const std::string& path);

// A new file written beside `path` under a temporary name, and renamed into
// its place only by commit(): until then whatever `path` holds stays as it
// was, and a replacement dropped without commit() leaves nothing behind. The
// new file gets the mode and owner of the file it replaces, or the mode a new
// file gets. Failures name `path`.
class ReplacementFile {
  public:
    // The new file beside `path`, created.
    static Result<ReplacementFile> create(const std::string& path);
    ~ReplacementFile();
    ReplacementFile(ReplacementFile&& other) noexcept;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ReplacementFile& operator=(ReplacementFile&&) = delete;

    FileHandle& file() { return file_; }
    // The temporary name, for reading the new file back.
    const std::string& temporaryPath() const { return temporary_; }

    // Closes the new file and renames it into place; with `flush`, its bytes
    // and the folder's entry are written to the disk first and after.
    Result<> commit(bool flush);

  private:
    ReplacementFile(std::string path, std::string target) noexcept
        : path_(std::move(path)), target_(std::move(target)) {}

    std::string path_;   // as the caller named it, for messages
    std::string target_; // where the file lands, links followed
    std::string temporary_;
    FileHandle file_;
    bool committed_ = false;
};

} // namespace shardix
