#include "dialog/FileList.h"

#include "dialog/FolderAccess.h"
#include "platform/PathText.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

#include <algorithm>

namespace shardix {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void FileList::updateGeometries() {
    const int rowHeight = count() > 0 ? sizeHintForRow(0) : fontMetrics().height() + 2;
    const QSize cell(viewport()->width(), std::max(rowHeight, 1));
    if (gridSize() != cell)
        setGridSize(cell);
    QListWidget::updateGeometries();
}

QStringList FileList::filesIn(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortNaturally(names);
    return names;
}

Result<> FileList::setPath(const QString& folder) {
    const QString target = folderText(folder);
    if (!QFileInfo(target).isDir())
        return cannotEnter(target);
    path_ = target;
    refresh();
    return {};
}

void FileList::refresh() {
    clear();
    if (path_.isEmpty())
        return;
    for (const QString& name : filesIn(path_)) {
        auto* entry = new QListWidgetItem(name, this);
        entry->setToolTip(name);
    }
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        event->accept();
        // The entry is chosen as a double-click chooses it; one that the keys
        // moved to without selecting joins the selection.
        currentItem()->setSelected(true);
        emit entryChosen();
        return;
    }
    QListWidget::keyPressEvent(event);
}

QString FileList::fileName() const {
    const QListWidgetItem* current = currentItem();
    return current ? current->text() : QString();
}

QStringList FileList::selectedNames() const {
    QStringList names;
    for (int i = 0; i < count(); ++i) {
        if (item(i)->isSelected())
            names.append(item(i)->text());
    }
    return names;
}

} // namespace shardix
