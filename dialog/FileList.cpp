#include "dialog/FileList.h"

#include "dialog/FolderAccess.h"
#include "platform/PathText.h"

#include <QDir>
#include <QFileInfo>

namespace shardix {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
}

QStringList FileList::filesIn(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortByBytes(names);
    return names;
}

void FileList::setPath(const QString& folder) {
    const QString target = folderText(folder);
    if (!QFileInfo(target).isDir())
        throw cannotEnter(target);
    path_ = target;
    refresh();
}

void FileList::refresh() {
    clear();
    if (!path_.isEmpty())
        addItems(filesIn(path_));
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
