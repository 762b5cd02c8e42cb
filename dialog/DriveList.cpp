#include "dialog/DriveList.h"

#include "dialog/DriveTable.h"

namespace shardix {

DriveList::DriveList(DriveTable& table, QWidget* parent) : QComboBox(parent), table_(table) {
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit driveChanged(); });
}

void DriveList::setDrive(const QString& drive) {
    const int index = findText(drive);
    if (index >= 0)
        setCurrentIndex(index);
}

void DriveList::refresh() {
    table_.refresh();
    const QString chosen = drive();
    const QSignalBlocker quiet(this);
    clear();
    addItems(table_.drives());
    const int index = findText(chosen);
    setCurrentIndex(index >= 0 ? index : 0);
}

} // namespace shardix
