#pragma once

#include "dialog/CommandSteps.h"
#include "dialog/DialogControls.h"
#include "dialog/DialogProgress.h"
#include "dialog/DriveTable.h"
#include "dialog/StepContext.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

namespace shardix {

class WindowServices;

// The operation dialog: every step of the file commands is set up, checked and
// run here. Created once, then only shown and hidden. The dialog keeps the
// controls and the moves of the lists that follow one another; the checks
// every step shares and the run are its StepContext's; what each step shows
// and what its OK does is the command's (CommandSteps), and the dialog's
// caller sees only how each step ended.
class OperationDialog : public QDialog {
    Q_OBJECT
  public:
    // `programFolder` (the settings store's, ending with "/") is made current
    // while an engine runs; none when empty.
    OperationDialog(WindowServices& ui, QString programFolder, QWidget* parent = nullptr,
                    DriveTable drives = DriveTable());

    // Shows the steps of `command` in turn, each once the one before it was
    // accepted; the controls are put back as the first steps want them after
    // each.
    void walk(CommandSteps& command);
    // Makes `step` of `command` the dialog's step: its caption, the controls it
    // shows and the folder its lists start in. The command must outlive its
    // showing.
    void prepare(CommandSteps& command, int step);
    // Shows the prepared step modally; returns when it is hidden.
    StepResult showModal();

    // The step's caption, as the title shows it; empty without a step.
    QString caption() const { return windowTitle(); }

    // Moves the folder list to the current folder of the chosen drive, and the
    // list in use along with it (as when the folder list gets the focus).
    void goToDriveFolder();

    // The files picked for assembling or appending, as full paths in the order
    // they are joined.
    const std::vector<std::string>& selectedFiles() const { return context_.selection(); }

    // The next step shown starts in the folder of `filePath`, made its drive's
    // current folder, with that file chosen in the list and its name in the
    // name box, as though the user had clicked it.
    void chooseFile(const QString& filePath);

    // Escape and the window's close control count as Cancel.
    void reject() override;

    // Where the choice of a checksum file at Segment is kept: `read` gives it
    // when the step is shown, `write` takes each change. Without them the
    // choice starts off and is not kept.
    void setChecksumSetting(std::function<bool()> read, std::function<void(bool)> write) {
        readChecksumChoice_ = std::move(read);
        writeChecksumChoice_ = std::move(write);
    }
    DriveTable& drives() { return drives_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void connectLists();
    void connectButtons();
    void setCaption(const QString& text);
    void showControls(const StepControls& wanted);
    void putControlsBack();
    // The file list the step shown picks from.
    FileList* listInUse() const;

    void pickChosen(const QString& name);
    QWidget* owner() const;
    void settleActivation();
    void onShown();
    // Brings the folder list up to date (a step shown, the program active again).
    void refreshFolders();
    void driveChanged();
    void folderChanged();
    void fileClicked();
    void multiFileClicked();

    void ok();
    void cancel();

    WindowServices& ui_;
    const QString programFolder_;
    DriveTable drives_;
    std::function<bool()> readChecksumChoice_;
    std::function<void(bool)> writeChecksumChoice_;

    DialogControls controls_;
    DialogProgress progress_;
    StepContext context_;

    // The command whose step's OK the dialog runs, and that step: none before
    // the first, after Cancel and once a command's steps are over.
    CommandSteps* command_ = nullptr;
    int step_ = 0;
    // How the controls of the step last prepared behave; after Cancel, as
    // before any step: the file list in use, a file looked for in each folder.
    static constexpr StepControls kNoStep{.nameStartsAnewInEachFolder = true};
    StepControls shown_ = kNoStep;
    bool running_ = false; // OK is being handled: its checks, the run
    QString chosen_;       // the name chooseFile chose, for the next step
};

} // namespace shardix
