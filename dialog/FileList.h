#pragma once

#include "errors/Result.h"

#include <QListWidget>

namespace shardix {

// A file list: every file of one folder, hidden ones too, in the order of file
// managers (sortNaturally): part1, part2, ..., part10, so that pieces of one
// base name are shown, and joined, in number order. A name too
// long for the list keeps its beginning and its end (where a piece's number
// is), and each entry's tool tip shows its whole name. Enter on an entry raises
// entryChosen, as a double-click on it does.
class FileList : public QListWidget {
    Q_OBJECT
  public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Moves to `folder` and reads it; an Error when it is no folder.
    Result<> setPath(const QString& folder);
    // Reads the folder again; the selection is cleared.
    void refresh();

    // The name of the current entry (the one clicked last), empty when none.
    QString fileName() const;
    // The names of the selected entries, in the list's order.
    QStringList selectedNames() const;

    // Names of the files in `folder`, as the list orders them.
    static QStringList filesIn(const QString& folder);

  signals:
    void entryChosen();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Lays every entry out as wide as the list shows, so that a long name is
    // shortened in its middle instead of running out of view.
    void updateGeometries() override;

  private:
    QString path_;
};

} // namespace shardix
