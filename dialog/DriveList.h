#pragma once

#include <QComboBox>

namespace shardix {

class DriveTable;

// The drive list: the mount points of a drive table, one of them chosen.
class DriveList : public QComboBox {
    Q_OBJECT
  public:
    DriveList(DriveTable& table, QWidget* parent = nullptr);

    QString drive() const { return currentText(); }
    // Chooses `drive`; raises driveChanged when the choice changes.
    void setDrive(const QString& drive);
    // Reads the mount table again, keeping the chosen drive while it is still
    // mounted (otherwise the root is chosen). Raises nothing.
    void refresh();

  signals:
    void driveChanged();

  private:
    DriveTable& table_;
};

} // namespace shardix
