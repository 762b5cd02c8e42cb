#pragma once

#include "errors/Result.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace shardix {

// The drives of the desktop: the mounted file systems a user can browse, each
// known by its mount point, each with its own current folder. A drive's current
// folder is the one the program last made current on it; until then it is the
// start folder for the start folder's drive and the mount point for the others.
class DriveTable {
  public:
    // `startFolder` is the folder the user works in; without one, the process's
    // current folder. Folders in `alsoDrives` count as mount points too (tests
    // use them as other drives).
    explicit DriveTable(QStringList alsoDrives = {}, const QString& startFolder = {});

    // The folder the lists start in.
    QString startFolder() const { return start_; }

    // Mount points in byte order; "/" always among them.
    QStringList drives() const;
    // Reads the mount table again.
    void refresh();

    // The drive that holds `folder`: the deepest mount point above it.
    QString driveOf(const QString& folder) const;
    QString currentFolder(const QString& drive) const;

    // Makes `folder` the process's current folder and its drive's current
    // folder; an Error (76) when the folder cannot be entered.
    Result<> makeCurrent(const QString& folder);
    // Makes `folder` the process's current folder only: the lists never go
    // back there by themselves (the program's own folder, while a run lasts).
    // An Error (76) when the folder cannot be entered.
    static Result<> enter(const QString& folder);

  private:
    QStringList alsoDrives_;
    QString start_;
    QStringList drives_;
    QMap<QString, QString> current_;
};

} // namespace shardix
