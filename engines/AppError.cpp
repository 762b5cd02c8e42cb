#include "engines/AppError.h"

#include "engines/EngineUi.h"

#include <cerrno>
#include <cstring>

namespace shardix {

AppError AppError::fromErrno(int err, const std::string& action, const std::string& path) {
    std::int32_t number = ErrNo::PathFileAccess;
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
    case EFBIG:
        number = ErrNo::DiskFull;
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
    std::string condition = std::strerror(err);
    if (number == ErrNo::DiskFull)
        condition = "the disk is full (" + condition + ")";
    return AppError(number, "Cannot " + action + " \"" + path + "\": " + condition + ".");
}

std::string dialogHandleError(EngineUi& ui, const AppError& error) {
    ui.setBusy(false);
    return error.description();
}

} // namespace shardix
