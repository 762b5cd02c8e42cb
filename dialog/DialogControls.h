#pragma once

#include "dialog/CommandSteps.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace shardix {

class DriveList;
class DriveTable;
class FileList;
class FolderList;
class NameBox;

// The operation dialog's controls, made in the order of its rows. The dialog
// lays them out once it has its font; steps show and hide some of them.
struct DialogControls {
    DialogControls(QWidget* dialog, DriveTable& drives);

    // Names the controls (tests find them by name), places them, gives them
    // their first state and the tab order of the rows.
    void layOut();

    // Access keys for the controls that have no text of their own to carry
    // one: Alt+D the drive list, Alt+R the folder list, Alt+L the file list
    // shown, Alt+N the name box. The others carry theirs in their texts.
    void addAccessKeys();

    // Shows the list that picks several files in place of the one that picks
    // one, over the name box, which leaves the tab order; or puts both back.
    void pickSeveralFiles(bool several);
    // Shows or hides the number of pieces with its label and the choice of a
    // checksum file, for which the file list makes room.
    void showCount(bool shown);
    // The file list that `pick` picks from.
    FileList* listFor(FilePick pick) const;

    DriveList* const driveList;
    FolderList* const folderList;
    FileList* const fileList;
    FileList* const multiFileList;
    NameBox* const nameBox;
    NameBox* const countBox;
    QLabel* const countLabel;
    QCheckBox* const checksumBox;
    QPushButton* const okButton;
    QPushButton* const cancelButton;
    QProgressBar* const progressBar;
    QLabel* const workingLabel;
    QLabel* const instruction; // the step's caption, in the row of the progress bar
};

} // namespace shardix
