#include "dialog/DriveTable.h"

#include "errors/Error.h"
#include "errors/Quoted.h"
#include "platform/PathText.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace shardix {

namespace {

bool isUnder(const QString& folder, const QString& mountPoint) {
    return mountPoint == QLatin1String("/") || folder == mountPoint ||
           folder.startsWith(mountPoint + QLatin1Char('/'));
}

} // namespace

DriveTable::DriveTable(QStringList alsoDrives, const QString& startFolder)
    : alsoDrives_(std::move(alsoDrives)),
      start_(folderText(startFolder.isEmpty() ? QDir::currentPath() : startFolder)) {
    refresh();
    current_.insert(driveOf(start_), start_);
}

QStringList DriveTable::drives() const {
    return drives_;
}

void DriveTable::refresh() {
    QStringList roots = alsoDrives_;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            roots.append(volume.rootPath());
    }
    QStringList found{QStringLiteral("/")};
    for (const QString& mountPoint : roots) {
        const QString root = folderText(mountPoint);
        const QFileInfo info(root);
        if (info.isDir() && info.isReadable() && info.isExecutable() && !found.contains(root))
            found.append(root);
    }
    sortByBytes(found);
    drives_ = found;
}

QString DriveTable::driveOf(const QString& folder) const {
    const QString clean = folderText(folder);
    QString best = QStringLiteral("/");
    for (const QString& drive : drives_) {
        if (isUnder(clean, drive) && drive.size() > best.size())
            best = drive;
    }
    return best;
}

QString DriveTable::currentFolder(const QString& drive) const {
    return current_.value(drive, drive);
}

Result<> DriveTable::enter(const QString& folder) {
    if (!QDir::setCurrent(folder))
        return Error::of(ErrorKind::PathNotFound, "Path not found: the folder " +
                                                      shardix::quoted(folder.toStdString()) +
                                                      " cannot be made the current folder.");
    return {};
}

Result<> DriveTable::makeCurrent(const QString& folder) {
    if (Result<> entered = enter(folder); !entered.ok())
        return entered;
    // Remembered as written, not with its links resolved, so that the folder
    // list comes back to the folder the user chose.
    const QString now = folderText(QFileInfo(folder).absoluteFilePath());
    current_.insert(driveOf(now), now);
    return {};
}

} // namespace shardix
