#pragma once

#include "dialog/DialogProgress.h"
#include "dialog/DriveTable.h"
#include "dialog/Step.h"
#include "engines/checksums/Checksums.h"
#include "engines/operations/Segmenter.h"
#include "errors/Result.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace shardix {

class DriveList;
class FileList;
class FolderList;
class NameBox;
class WindowServices;

// The operation dialog: every step of the file commands is set up, checked and
// run here. Created once, then only shown and hidden. What a command needs
// across its two steps (the file picked, the selection) stays in the dialog;
// its caller sees only the steps and how each ended.
class OperationDialog : public QDialog {
    Q_OBJECT
  public:
    // The engine calls of a run. Tests may put others in their place.
    struct EngineCalls {
        std::function<Result<>(const std::string& source, const std::string& basePath, int count,
                               RunProgress& progress, const SegmentOptions& options)>
            segment;
        // With checksums, from a manifest that lists the files, to check them against.
        std::function<Result<>(const std::vector<std::string>& fileList, const std::string& target,
                               RunProgress& progress, const Checksums* expected)>
            assemble;
        std::function<Result<>(const std::vector<std::string>& sources, const std::string& target,
                               RunProgress& progress, const Checksums* expected)>
            append;
    };

    // `programFolder` (the settings store's, ending with "/") is made current
    // while an engine runs; none when empty.
    OperationDialog(WindowServices& ui, QString programFolder, QWidget* parent = nullptr,
                    DriveTable drives = DriveTable());

    // Makes `step` the dialog's step: its caption, the controls it shows and the
    // folder its lists start in.
    void prepare(Step step);
    // Shows the prepared step modally; returns when it is hidden.
    StepResult showModal();
    // Prepares `step` and shows it; the controls are put back as the first steps
    // want them when it is hidden.
    StepResult showStep(Step step);

    // The step's caption, as the title shows it; empty without a step.
    QString caption() const { return windowTitle(); }

    // Moves the folder list to the current folder of the chosen drive, and the
    // list in use along with it (as when the folder list gets the focus).
    void goToDriveFolder();

    // The files picked for assembling or appending, as full paths in the order
    // they are joined.
    const std::vector<std::string>& selectedFiles() const { return selection_; }

    // Escape and the window's close control count as Cancel.
    void reject() override;

    void setEngineCalls(EngineCalls calls) { engines_ = std::move(calls); }

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
    void buildControls();
    void connectControls();
    void setCaption(const QString& text);
    // Shows the list that picks several files in place of the one that picks
    // one, over the name box, which leaves the tab order; or puts both back.
    void pickSeveralFiles(bool several);
    void hideCount();

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
    void takeStep();
    void acceptSegmentSource();
    void runSegment();
    void acceptAssembleSources();
    void runAssemble();
    void acceptAppendTarget();
    void runAppend();
    void run(const std::function<Result<>()>& engine);
    // Runs `engine` on the selection, with the checksums of the manifest that
    // lists the selected files, when one lies beside them.
    void runJoin(const std::string& target,
                 const std::function<Result<>(const Checksums* expected)>& engine);
    void finishRun(bool announce);
    // A run stopped by the user: its message, and the step shown again, for
    // another try or Cancel.
    void returnAfterStop(const QString& message);
    void stopAt(QWidget* control, const QString& message);
    void reportFailure(const Error& error);

    // The file named in the name box, in the folder shown; empty after its
    // message when the box is empty or no such file exists.
    QString namedFile(const QString& whenEmpty);
    // The output named in the name box, in the folder shown (destDir_, destPath_).
    void nameOutput();
    // Whether `path` may be written: it does not exist, or the user agrees to
    // overwrite it.
    bool mayWrite(const QString& path);
    // The files selected in the multi-file list under srcDir_, in the order the
    // user chooses when two or more are picked.
    std::vector<std::string> pickedFiles();

    WindowServices& ui_;
    const QString programFolder_;
    DriveTable drives_;
    EngineCalls engines_;
    std::function<bool()> readChecksumChoice_;
    std::function<void(bool)> writeChecksumChoice_;

    DriveList* driveList_;
    FolderList* folderList_;
    FileList* fileList_;
    FileList* multiFileList_;
    NameBox* nameBox_;
    NameBox* countBox_;
    QLabel* countLabel_;
    QCheckBox* checksumBox_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QProgressBar* progressBar_;
    QLabel* workingLabel_;
    QLabel* instruction_; // the step's caption, in the row of the progress bar
    DialogProgress progress_;

    std::optional<Step> step_;
    StepResult result_ = StepResult::Cancelled;
    bool running_ = false;       // OK is being handled: its checks, the run
    bool engineRunning_ = false; // an engine runs: Cancel stops it

    QString srcDir_;   // the folder of the inputs
    QString srcName_;  // the file to cut, picked at the first step of Segment
    QString destDir_;  // the folder of the output, as the completion message names it
    QString destPath_; // the output
    std::vector<std::string> selection_;
};

} // namespace shardix
