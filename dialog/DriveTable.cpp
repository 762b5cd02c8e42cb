#include "dialog/DriveTable.h"

#include "engines/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace shardix {

namespace {

bool byBytes(const QString& a, const QString& b) {
    return a.toUtf8() < b.toUtf8();
}

bool isUnder(const QString& folder, const QString& mountPoint) {
    return mountPoint == QLatin1String("/") || folder == mountPoint ||
           folder.startsWith(mountPoint + QLatin1Char('/'));
}

} // namespace

QString folderText(const QString& path) {
    QString clean = QDir::cleanPath(path);
    if (clean.isEmpty())
        return QStringLiteral("/");
    return clean;
}

QString folderOf(const QString& filePath) {
    const qsizetype slash = filePath.lastIndexOf(QLatin1Char('/'));
    return folderText(slash <= 0 ? QStringLiteral("/") : filePath.left(slash));
}

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

DriveTable::DriveTable(QStringList alsoDrives) : alsoDrives_(std::move(alsoDrives)) {
    refresh();
    const QString start = folderText(QDir::currentPath());
    current_.insert(driveOf(start), start);
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
    std::sort(found.begin(), found.end(), byBytes);
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

void DriveTable::makeCurrent(const QString& folder) {
    if (!QDir::setCurrent(folder))
        throw AppError(ErrNo::PathNotFound, "Path not found: the folder \"" + folder.toStdString() +
                                                "\" cannot be made the current folder.");
    // Remembered as written, not with its links resolved, so that the folder
    // list comes back to the folder the user chose.
    const QString now = folderText(QFileInfo(folder).absoluteFilePath());
    current_.insert(driveOf(now), now);
}

} // namespace shardix
