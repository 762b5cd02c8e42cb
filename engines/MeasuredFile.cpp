#include "engines/MeasuredFile.h"

#include "engines/AppError.h"
#include "engines/Messages.h"

#include <cerrno>
#include <sys/stat.h>

namespace shardix {

namespace {

AppError noSuchFile(const std::string& path) {
    return AppError(ErrNo::FileNotFound, msg::kNoSuchFile, path);
}

AppError notAFile(const std::string& path, mode_t mode) {
    const std::string what = S_ISDIR(mode) ? "is a folder" : "is not a regular file";
    return AppError(ErrNo::PathFileAccess, "Cannot read \"" + path + "\": it " + what + ".");
}

} // namespace

MeasuredFile openMeasured(const std::string& path) {
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw noSuchFile(path);
        throw AppError::fromErrno(errno, "open", path);
    }
    if (!S_ISREG(named.st_mode))
        throw notAFile(path, named.st_mode);

    MeasuredFile result;
    try {
        result.file = openInput(path);
    } catch (const AppError& e) {
        if (e.number() == ErrNo::FileNotFound) // gone since it was looked at
            throw noSuchFile(path);
        throw;
    }
    // Measure the file that was opened (not the name, which may change hands).
    struct stat opened {};
    if (::fstat(result.file.fd(), &opened) != 0)
        throw AppError::fromErrno(errno, "measure", path);
    if (!S_ISREG(opened.st_mode))
        throw notAFile(path, opened.st_mode);
    result.length = opened.st_size;
    return result;
}

} // namespace shardix
