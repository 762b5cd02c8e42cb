#include "dialog/FolderAccess.h"

#include "errors/Quoted.h"

#include <QFileInfo>

namespace shardix {

bool canEnter(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isExecutable() && info.isReadable();
}

Error cannotEnter(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.exists())
        return Error::of(ErrorKind::PathNotFound, "Path not found: the folder " +
                                                      shardix::quoted(folder.toStdString()) +
                                                      " is gone.");
    if (!info.isDir())
        return Error::of(ErrorKind::PathNotFound,
                         "Path not found: " + shardix::quoted(folder.toStdString()) +
                             " is no folder.");
    return Error::of(ErrorKind::PermissionDenied, "Permission denied: the folder " +
                                                      shardix::quoted(folder.toStdString()) +
                                                      " cannot be opened.");
}

} // namespace shardix
