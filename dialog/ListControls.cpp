#include "dialog/ListControls.h"

#include "dialog/DriveTable.h"
#include "engines/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>

namespace shardix {

namespace {

void sortByBytes(QStringList& names) {
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
}

// Focus that comes back with the window (after a message box, on re-activation)
// is no new focus for the control.
bool isNewFocus(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}

AppError cannotEnter(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.exists())
        return AppError(ErrNo::PathNotFound,
                        "Path not found: the folder \"" + folder.toStdString() + "\" is gone.");
    if (!info.isDir())
        return AppError(ErrNo::PathNotFound,
                        "Path not found: \"" + folder.toStdString() + "\" is no folder.");
    return AppError(ErrNo::PermissionDenied, "Permission denied: the folder \"" +
                                                 folder.toStdString() + "\" cannot be opened.");
}

bool canEnter(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isExecutable() && info.isReadable();
}

constexpr int kPathRole = Qt::UserRole;

} // namespace

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
            try {
                setPath(target);
            } catch (const AppError& e) {
                emit moveFailed(e.number(), QString::fromStdString(e.description()));
            }
        });
    });
}

void FolderList::setPath(const QString& folder) {
    const QString target =
        folderText(QDir(path_.isEmpty() ? QDir::currentPath() : path_).absoluteFilePath(folder));
    if (!canEnter(target))
        throw cannotEnter(target);
    if (target == path_) {
        // Rebuilt only when its subfolders changed: otherwise the rows stay
        // where they are.
        if (subfoldersOf(path_) != shown_)
            fill();
        return;
    }
    path_ = target;
    fill();
    emit pathChanged();
}

QStringList FolderList::subfoldersOf(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    sortByBytes(names);
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

void FolderList::refresh() {
    QString folder = path_;
    while (folder != QLatin1String("/") && !canEnter(folder))
        folder = folderOf(folder);
    if (folder != path_)
        return setPath(folder);
    if (subfoldersOf(path_) != shown_)
        return fill();
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
}

void FolderList::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    // A click acts on the rows the user aimed at: the list is neither moved nor
    // rebuilt under it. Focus from the keyboard takes the list back to the
    // drive's current folder.
    if (isNewFocus(event) && event->reason() != Qt::MouseFocusReason)
        emit gotFocus();
}

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

void NameBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    focusedByClick_ = event->reason() == Qt::MouseFocusReason;
    if (isNewFocus(event))
        emit gotFocus();
}

void NameBox::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    // The press that gave the focus also placed the cursor and dropped the
    // selection made on focus. Select everything again, unless the user dragged
    // out a selection: typing then replaces the text, as after a Tab. In the
    // count box the cursor would otherwise sit past its three places, where
    // nothing can be typed.
    if (focusedByClick_ && !hasSelectedText())
        selectAll();
    focusedByClick_ = false;
}

void NameBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace shardix
