#pragma once

#include "errors/Result.h"

#include <QTreeWidget>

namespace shardix {

// The folder list: the folders from the root down to the one it stands in,
// and that folder's subfolders. Double-click or Enter moves into an entry.
class FolderList : public QTreeWidget {
    Q_OBJECT
  public:
    explicit FolderList(QWidget* parent = nullptr);

    // The folder shown, without a trailing "/" except at the root.
    QString path() const { return path_; }
    // Moves to `folder` and raises pathChanged when the folder changes. An
    // Error when `folder` cannot be entered; the list then stays where it was.
    Result<> setPath(const QString& folder);
    // Brings the list up to date: the subfolders are read again, and when the
    // folder shown is gone, the list moves to the nearest folder above it that
    // can be entered. The folder shown stays selected and in view.
    Result<> refresh();

  signals:
    void pathChanged();
    void gotFocus();
    // The user asked to move to a folder that cannot be entered.
    void moveFailed(const shardix::Error& error);

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

} // namespace shardix
