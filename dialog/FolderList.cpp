#include "dialog/FolderList.h"

#include "dialog/FolderAccess.h"
#include "dialog/NewFocus.h"
#include "platform/PathText.h"

#include <QDir>
#include <QFocusEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeWidgetItemIterator>

namespace shardix {

namespace {

constexpr int kPathRole = Qt::UserRole;

} // namespace

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Moving rebuilds the list; it runs after the click that asked for it is done.
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString target = item->data(0, kPathRole).toString();
        QTimer::singleShot(0, this, [this, target] {
            if (const Result<> moved = setPath(target); !moved.ok())
                emit moveFailed(moved.error());
        });
    });
}

Result<> FolderList::setPath(const QString& folder) {
    const QString target =
        folderText(QDir(path_.isEmpty() ? QDir::currentPath() : path_).absoluteFilePath(folder));
    if (!canEnter(target))
        return cannotEnter(target);
    if (target == path_) {
        // Rebuilt only when its subfolders changed: otherwise the rows stay
        // where they are.
        if (subfoldersOf(path_) != shown_)
            fill();
        return {};
    }
    path_ = target;
    fill();
    emit pathChanged();
    return {};
}

QStringList FolderList::subfoldersOf(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    sortNaturally(names);
    return names;
}

void FolderList::fill() {
    const QSignalBlocker quiet(this);
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the folder shown, each one open.
    QStringList chain;
    for (QString f = path_; f != QLatin1String("/"); f = folderOf(f))
        chain.prepend(f);
    chain.prepend(QStringLiteral("/"));

    QTreeWidgetItem* parent = nullptr;
    for (const QString& f : chain) {
        const QString label = f == QLatin1String("/") ? f : f.section(QLatin1Char('/'), -1);
        auto* item =
            parent ? new QTreeWidgetItem(parent, {label}) : new QTreeWidgetItem(this, {label});
        item->setIcon(0, open);
        item->setData(0, kPathRole, f);
        item->setToolTip(0, f);
        parent = item;
    }
    shown_ = subfoldersOf(path_);
    for (const QString& name : shown_) {
        auto* item = new QTreeWidgetItem(parent, {name});
        item->setIcon(0, closed);
        item->setData(0, kPathRole, withSlash(path_) + name);
        item->setToolTip(0, name);
    }
    expandAll();
    setCurrentItem(parent);
    // The folder shown near the top, with the folders just above it in view.
    QTreeWidgetItem* anchor = parent;
    for (int up = 0; up < 2 && anchor->parent(); ++up)
        anchor = anchor->parent();
    scrollToItem(anchor, QAbstractItemView::PositionAtTop);
    scrollToItem(parent, QAbstractItemView::EnsureVisible);
}

Result<> FolderList::refresh() {
    QString folder = path_;
    while (folder != QLatin1String("/") && !canEnter(folder))
        folder = folderOf(folder);
    if (folder != path_)
        return setPath(folder);
    if (subfoldersOf(path_) != shown_) {
        fill();
        return {};
    }
    // A folder clicked once and not entered is no longer marked: the list
    // marks the folder whose files are listed.
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->data(0, kPathRole).toString() == path_) {
            const QSignalBlocker quiet(this);
            setCurrentItem(*it);
            scrollToItem(*it, QAbstractItemView::EnsureVisible);
            break;
        }
    }
    return {};
}

void FolderList::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    // A click acts on the rows the user aimed at: the list is neither moved nor
    // rebuilt under it. Focus from the keyboard takes the list back to the
    // drive's current folder.
    if (isNewFocus(event) && event->reason() != Qt::MouseFocusReason)
        emit gotFocus();
}

} // namespace shardix
