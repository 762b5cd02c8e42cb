#include "engines/io/MeasuredFile.h"

#include "engines/io/Messages.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <cerrno>
#include <sys/stat.h>

namespace shardix {

namespace {

Failed noSuchFile(const std::string& path) {
    return Failed(Error::of(ErrorKind::FileNotFound, msg::kNoSuchFile, path));
}

Failed notAFile(const std::string& path, mode_t mode) {
    const std::string what = S_ISDIR(mode) ? "is a folder" : "is not a regular file";
    return Failed(Error::of(ErrorKind::FileAccess,
                            "Cannot read " + shardix::quoted(path) + ": it " + what + "."));
}

} // namespace

namespace {

MeasuredFile measuredOrRaise(const std::string& path) {
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw noSuchFile(path);
        fail(Error::fromErrno(errno, "open", path));
    }
    if (!S_ISREG(named.st_mode))
        throw notAFile(path, named.st_mode);

    MeasuredFile result;
    Result<FileHandle> input = openInput(path);
    if (!input.ok()) {
        if (input.error().kind == ErrorKind::FileNotFound) // gone since it was looked at
            throw noSuchFile(path);
        fail(input.error());
    }
    result.file = std::move(input).value();
    // Measure the file that was opened (not the name, which may change hands).
    struct stat opened {};
    if (::fstat(result.file.fd(), &opened) != 0)
        fail(Error::fromErrno(errno, "measure", path));
    if (!S_ISREG(opened.st_mode))
        throw notAFile(path, opened.st_mode);
    result.length = opened.st_size;
    return result;
}

} // namespace

Result<MeasuredFile> openMeasured(const std::string& path) {
    return guarded([&]() -> Result<MeasuredFile> { return measuredOrRaise(path); });
}

} // namespace shardix
