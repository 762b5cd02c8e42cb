#include "errors/Error.h"
#include "errors/Quoted.h"

#include <cerrno>
#include <cstring>

namespace shardix {

namespace {

// The kind of a failure of the system, for a file being read or written.
ErrorKind kindOf(int err, Missing missing) {
    switch (err) {
    case ENOENT:
        return missing == Missing::Folder ? ErrorKind::PathNotFound : ErrorKind::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorKind::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
        return ErrorKind::DiskFull;
    case EBUSY:
    case ETXTBSY:
        return ErrorKind::FileBusy;
    case EIO:
        return ErrorKind::DeviceIo;
    case EMFILE:
    case ENFILE:
        return ErrorKind::TooManyFiles;
    default:
        return ErrorKind::FileAccess;
    }
}

// The system's cause in words, with what it means where the system's own
// words are short.
std::string conditionOf(int err) {
    const std::string condition = std::strerror(err);
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return "the disk is full (" + condition + ")";
    case EFBIG:
        // The limit on file sizes (ulimit -f) or the file system's own.
        return "the file would grow beyond the largest size allowed (" + condition + ")";
    default:
        return condition;
    }
}

} // namespace

Error Error::fromErrno(int err, const std::string& action, const std::string& path,
                       Missing missing) {
    const std::string condition = conditionOf(err);
    return Error{kindOf(err, missing),
                 "Cannot " + action + " " + shardix::quoted(path) + ": " + condition + ".",
                 {},
                 condition,
                 0};
}

std::string Error::withFile() const {
    return file.empty() ? message : shardix::quoted(file) + ": " + message;
}

} // namespace shardix
