#include "engines/AppError.h"

#include <cerrno>
#include <cstring>

namespace shardix {

AppError AppError::fromErrno(int err, const std::string& action, const std::string& path) {
    std::int32_t number = ErrNo::PathFileAccess;
    std::string condition = std::strerror(err);
    switch (err) {
    case ENOENT:
        // A missing file to read, or a missing folder for a file to create.
        number = (action == "create" || action == "open for appending") ? ErrNo::PathNotFound
                                                                        : ErrNo::FileNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = ErrNo::PermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
        number = ErrNo::DiskFull;
        condition = "the disk is full (" + condition + ")";
        break;
    case EFBIG:
        // The limit on file sizes (ulimit -f) or the file system's own.
        condition = "the file would grow beyond the largest size allowed (" + condition + ")";
        break;
    case EBUSY:
    case ETXTBSY:
        number = ErrNo::FileAlreadyOpen;
        break;
    case EIO:
        number = ErrNo::DeviceIo;
        break;
    case EMFILE:
    case ENFILE:
        number = ErrNo::TooManyFiles;
        break;
    default:
        break;
    }
    return AppError(number, "Cannot " + action + " \"" + path + "\": " + condition + ".", {},
                    condition);
}

} // namespace shardix
