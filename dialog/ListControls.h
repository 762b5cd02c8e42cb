#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

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

// The folder list: the folders from the root down to the one it stands in,
// and that folder's subfolders. Double-click or Enter moves into an entry.
class FolderList : public QTreeWidget {
    Q_OBJECT
  public:
    explicit FolderList(QWidget* parent = nullptr);

    // The folder shown, without a trailing "/" except at the root.
    QString path() const { return path_; }
    // Moves to `folder` and raises pathChanged when the folder changes. Raises
    // AppError when `folder` cannot be entered; the list then stays where it was.
    void setPath(const QString& folder);
    // Brings the list up to date: the subfolders are read again, and when the
    // folder shown is gone, the list moves to the nearest folder above it that
    // can be entered. The folder shown stays selected and in view.
    void refresh();

  signals:
    void pathChanged();
    void gotFocus();
    // The user asked to move to a folder that cannot be entered.
    void moveFailed(int number, const QString& description);

  protected:
    void focusInEvent(QFocusEvent* event) override;
    // The folders are always open: no expand marks.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

  private:
    void fill();
    static QStringList subfoldersOf(const QString& folder);

    QString path_;
    QStringList shown_;
};

// A file list: every file of one folder, hidden ones too, in byte order of the
// names, so that part1, part10, part11, ..., part2 follow each other.
class FileList : public QListWidget {
    Q_OBJECT
  public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Moves to `folder` and reads it. Raises AppError when it is no folder.
    void setPath(const QString& folder);
    // Reads the folder again; the selection is cleared.
    void refresh();

    // The name of the current entry (the one clicked last), empty when none.
    QString fileName() const;
    int listCount() const { return count(); }
    QString list(int index) const { return item(index)->text(); }
    bool selected(int index) const { return item(index)->isSelected(); }

    // Names of the files in `folder`, as the list orders them.
    static QStringList filesIn(const QString& folder);

  private:
    QString path_;
};

// A one-line box that selects its whole text when it gets the focus and runs
// enterPressed on Enter. Every other key reaches the box unchanged.
class NameBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit NameBox(QWidget* parent = nullptr) : QLineEdit(parent) {}

  signals:
    void gotFocus();
    void enterPressed();

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool focusedByClick_ = false;
};

} // namespace shardix
